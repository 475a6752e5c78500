// parvenza-cli bin2shp run as a program on BIN files written by the Digi library; its layers
// read back once through GDAL's ogrinfo, the field's reference reader.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "digi/FicheroDigi.h"

namespace fs = std::filesystem;

namespace {

struct Salida {
    int estado = -1;
    std::string out, err;
};

std::string Lee(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

class Bin2ShpCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::string plantilla = (fs::temp_directory_path() / "bin2shp_cliXXXXXX").string();
        ASSERT_NE(mkdtemp(plantilla.data()), nullptr);
        dir = plantilla;
    }
    void TearDown() override { fs::remove_all(dir); }

    /// Runs a command line with stdout and stderr captured to files (never a terminal).
    Salida Ejecuta(const std::string& argumentos) {
        std::string orden = "cd '" + dir.string() + "' && " + std::string(PARVENZA_CLI) + " " + argumentos +
                            " >out.txt 2>err.txt";
        Salida s;
        int r = std::system(orden.c_str());
        s.estado = WIFEXITED(r) ? WEXITSTATUS(r) : -1;
        s.out = Lee(dir / "out.txt");
        s.err = Lee(dir / "err.txt");
        return s;
    }

    std::string Ogrinfo(const std::string& argumentos) {
        std::string orden = "ogrinfo " + argumentos + " 2>&1";
        std::string texto;
        FILE* p = popen(orden.c_str(), "r");
        std::array<char, 4096> buf;
        size_t n;
        while (p && (n = fread(buf.data(), 1, buf.size(), p)) > 0) texto.append(buf.data(), n);
        if (p) pclose(p);
        return texto;
    }

    void EscribeBin(const std::string& nombre, std::vector<brisquel::tipo_entidad> elementos) {
        std::string ruta = (dir / nombre).string();
        std::ofstream(ruta, std::ios::binary | std::ios::trunc);
        brisquel::FicheroDigi().CreaFicheroDigi(ruta, elementos);
    }

    fs::path dir;
};

brisquel::tipo_entidad Linea(const std::string& codigo, std::vector<brisquel::Fpunto3d> puntos) {
    brisquel::tipo_entidad e;
    e.elemento.cabecera.tipo = "C=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.cabecera.npuntos = static_cast<int16_t>(puntos.size());
    e.elemento.coordenadas = std::move(puntos);
    return e;
}

brisquel::tipo_entidad Texto(const std::string& codigo, std::string texto, brisquel::Fpunto3d p) {
    brisquel::tipo_entidad e;
    e.elemento.cabecera.tipo = "T=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.coordenadas = {p};
    e.elemento.rango.xlib = 200;
    e.elemento.rango.zlib = 1050;
    brisquel::FicheroDigi().ModificaTextoEntidad(texto, e);
    return e;
}

std::vector<brisquel::tipo_entidad> Hoja() {
    return {Linea("1802", {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 0, 0}}),
            Linea("0203", {{100, 200, 0}, {300, 400, 0}}), Linea("0501", {{700, 800, 0}}),
            Texto("0901", "A\xf1o", {1000, 2000, 0})};
}

TEST_F(Bin2ShpCli, ConvertsASheetAndSumsUpTheLayersOnStdout) {
    EscribeBin("hoja.bin", Hoja());
    Salida s = Ejecuta("bin2shp hoja.bin");
    EXPECT_EQ(s.estado, 0) << s.err;
    EXPECT_EQ(s.err, "");  // no progress when stderr is not a terminal
    EXPECT_EQ(s.out,
              "./hoja_P.shp: polygon, 1 records\n"
              "./hoja_L.shp: polyline, 1 records\n"
              "./hoja_X.shp: point, 1 records\n"
              "./hoja_TL.shp: polyline, 1 records\n"
              "1 file, 4 layers, 4 records\n");

    s = Ejecuta("bin2shp --3d --mm --texts-as-points --closed-as-lines hoja.bin");
    EXPECT_EQ(s.estado, 0) << s.err;
    EXPECT_NE(s.out.find("./hoja_L.shp: polylineZ, 2 records"), std::string::npos) << s.out;
    EXPECT_NE(s.out.find("./hoja_TX.shp: pointZ, 1 records"), std::string::npos) << s.out;
}

TEST_F(Bin2ShpCli, AllInFolderConvertsEveryBinFileIntoItsOwnLayers) {
    EscribeBin("b.bin", Hoja());
    EscribeBin("A.BIN", {Linea("1", {{0, 0, 0}, {5, 5, 0}})});
    std::ofstream(dir / "notas.txt") << "no";
    Salida s = Ejecuta("bin2shp --all-in-folder b.bin");
    EXPECT_EQ(s.estado, 0) << s.err;
    EXPECT_TRUE(fs::exists(dir / "A_L.shp"));
    EXPECT_TRUE(fs::exists(dir / "b_P.shp"));
    EXPECT_NE(s.out.find("2 files, 5 layers, 5 records"), std::string::npos) << s.out;
    EXPECT_LT(s.out.find("A_L.shp"), s.out.find("b_P.shp"));  // sorted without regard to case
}

TEST_F(Bin2ShpCli, FailuresSayWhatAndExitNonZero) {
    Salida s = Ejecuta("bin2shp falta.bin");
    EXPECT_NE(s.estado, 0);
    EXPECT_NE(s.err.find("falta.bin"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "falta.bin"));

    EscribeBin("hoja.bin", Hoja());
    std::ofstream(dir / "capa.shp") << "";
    s = Ejecuta("bin2shp --append capa.shp hoja.bin");
    EXPECT_NE(s.estado, 0);
    EXPECT_NE(s.err.find("\"_\""), std::string::npos) << s.err;
    EXPECT_FALSE(fs::exists(dir / "hoja_L.shp"));

    // appending to a set that lacks a layer stops at that layer, naming file and layer
    ASSERT_EQ(Ejecuta("bin2shp hoja.bin").estado, 0);
    fs::remove(dir / "hoja_L.shp");
    s = Ejecuta("bin2shp --append hoja_P.shp hoja.bin");
    EXPECT_NE(s.estado, 0);
    EXPECT_NE(s.err.find("hoja.bin"), std::string::npos) << s.err;
    EXPECT_NE(s.err.find("hoja_L.shp"), std::string::npos) << s.err;
    EXPECT_EQ(s.out, "");
}

TEST_F(Bin2ShpCli, GdalReadsTypesFieldsValuesAndAccentedTexts) {
    if (std::system("command -v ogrinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "ogrinfo not installed";
    EscribeBin("hoja.bin", Hoja());
    ASSERT_EQ(Ejecuta("bin2shp hoja.bin").estado, 0);

    std::string p = Ogrinfo("-ro -al '" + (dir / "hoja_P.shp").string() + "'");
    EXPECT_NE(p.find("Geometry: Polygon"), std::string::npos) << p;
    EXPECT_NE(p.find("Feature Count: 1"), std::string::npos) << p;
    EXPECT_NE(p.find("POLY_ID: Integer (6.0)"), std::string::npos) << p;
    EXPECT_NE(p.find("CODIGO: String (6.0)"), std::string::npos) << p;
    EXPECT_NE(p.find("TEXT: String (50.0)"), std::string::npos) << p;
    EXPECT_NE(p.find("ROTATION: Real (6.2)"), std::string::npos) << p;
    EXPECT_NE(p.find("CODIGO (String) = 1802"), std::string::npos) << p;
    // clockwise, as the format wants an outer ring
    EXPECT_NE(p.find("POLYGON ((0 0,10 10,10 0,0 0))"), std::string::npos) << p;

    std::string t = Ogrinfo("-ro -al '" + (dir / "hoja_TL.shp").string() + "'");
    EXPECT_NE(t.find("Geometry: Line String"), std::string::npos) << t;
    EXPECT_NE(t.find("TEXT (String) = A\xc3\xb1o"), std::string::npos) << t;  // "Año" in UTF-8
    EXPECT_NE(t.find("ROTATION (Real) = 10.50"), std::string::npos) << t;
    EXPECT_NE(t.find("POLY_ID (Integer) = 4"), std::string::npos) << t;

    std::string x = Ogrinfo("-ro -al '" + (dir / "hoja_X.shp").string() + "'");
    EXPECT_NE(x.find("POINT (7 8)"), std::string::npos) << x;
}

}  // namespace
