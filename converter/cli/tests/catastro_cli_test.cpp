// parvenza-cli bin2shp --cadastre run as a program: a BIN file written by the Digi library,
// the real topology fixtures, the cadastre layers read back through the shapefile component.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "converter/shapefile/Shapefile.h"
#include "digi/FicheroDigi.h"

namespace fs = std::filesystem;

namespace {

struct Salida {
    int estado = -1;
    std::string err;
};

class CatastroCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string plantilla = (fs::temp_directory_path() / "catastro_cliXXXXXX").string();
        ASSERT_NE(mkdtemp(plantilla.data()), nullptr);
        dir = plantilla;
        fs::create_directory(dir / "capas");
        EscribeHoja();
    }
    void TearDown() override { fs::remove_all(dir); }

    // A parcel polygon of record 24 of table 151, a block polygon and a street axis.
    void EscribeHoja() {
        auto elemento = [](const std::string& codigo, std::vector<brisquel::Fpunto3d> puntos,
                           std::vector<brisquel::Fatrib> atributos) {
            brisquel::tipo_entidad e;
            e.elemento.cabecera.tipo = "C=";
            e.elemento.cabecera.codigo = codigo;
            e.elemento.cabecera.npuntos = static_cast<int16_t>(puntos.size());
            e.elemento.cabecera.natr = static_cast<uint8_t>(atributos.size());
            e.elemento.coordenadas = std::move(puntos);
            e.elemento.atributos = std::move(atributos);
            return e;
        };
        std::vector<brisquel::Fpunto3d> cuadrado = {
            {0, 0, 0}, {0, 100, 0}, {100, 100, 0}, {100, 0, 0}, {0, 0, 0}};
        std::vector<brisquel::tipo_entidad> elementos = {
            elemento("1805", cuadrado, {{151, 24, ""}}),
            elemento("1802", cuadrado, {{150, 10, ""}}),
            elemento("1241", {{0, 0, 0}, {500, 0, 0}}, {}),
        };
        std::ofstream(dir / "hoja.bin", std::ios::binary);
        brisquel::FicheroDigi().CreaFicheroDigi((dir / "hoja.bin").string(), elementos);
    }

    Salida Ejecuta(const std::string& argumentos) {
        std::string orden = "cd '" + dir.string() + "' && " + std::string(PARVENZA_CLI) + " " +
                            argumentos + " >out.txt 2>err.txt";
        Salida s;
        int r = std::system(orden.c_str());
        s.estado = WIFEXITED(r) ? WEXITSTATUS(r) : -1;
        std::ifstream in(dir / "err.txt", std::ios::binary);
        s.err.assign(std::istreambuf_iterator<char>(in), {});
        return s;
    }

    static std::string Topologia(const std::string& nombre) {
        return std::string(PARVENZA_TEST_DATA) + "/topology/" + nombre;
    }

    fs::path dir;
};

TEST_F(CatastroCli, CapasEnLaCarpetaPedidaOEnLaDelBin) {
    Salida s =
        Ejecuta("bin2shp --cadastre '" + Topologia("basic.mdb") + "' --output-dir capas hoja.bin");
    ASSERT_EQ(s.estado, 0) << s.err;
    parvenza::Shapefile parcela;
    parcela.Open((dir / "capas/parcela.shp").string(), 0, 5);
    ASSERT_EQ(parcela.RecordCount(), 1);
    parcela.MoveFirst();
    EXPECT_EQ(parvenza::TextoDe(parcela.Fields().Item("PARCELA").Value()), "02");
    EXPECT_EQ(parvenza::TextoDe(parcela.Fields().Item("MASA").Value()), "45303");
    EXPECT_EQ(parvenza::TextoDe(parcela.Fields().Item("VIA").Value()), "610");
    EXPECT_TRUE(fs::exists(dir / "capas/masa.shp"));
    EXPECT_TRUE(fs::exists(dir / "capas/ejes.shp"));
    EXPECT_TRUE(fs::exists(dir / "hoja_P.shp")) << "intermediate layers beside the BIN file";
    EXPECT_FALSE(fs::exists(dir / "masa.shp"));

    s = Ejecuta("bin2shp --cadastre '" + Topologia("basic.mdb") + "' hoja.bin");
    ASSERT_EQ(s.estado, 0) << s.err;
    EXPECT_TRUE(fs::exists(dir / "masa.shp"));
    EXPECT_TRUE(fs::exists(dir / "parcela.dbf"));
}

TEST_F(CatastroCli, ErroresDeLaTopologia) {
    Salida s = Ejecuta("bin2shp --cadastre '" + Topologia("missing-table.mdb") + "' hoja.bin");
    EXPECT_NE(s.estado, 0);
    EXPECT_NE(s.err.find("Deben existir las tablas :\nManzana_bin\nParcela_bin\nSubparcela_bin\n"
                         "unimanpar_bin\nuniparsub_bin"),
              std::string::npos)
        << s.err;
    EXPECT_FALSE(fs::exists(dir / "hoja_P.shp")) << "nothing converted";

    s = Ejecuta("bin2shp --cadastre '" + Topologia("spaced-first.mdb") + "' hoja.bin");
    EXPECT_NE(s.estado, 0);
    EXPECT_NE(s.err.find("Nombre de tabla con espacios :\nTabla con espacios"), std::string::npos);

    s = Ejecuta("bin2shp --cadastre no-existe.mdb hoja.bin");
    EXPECT_NE(s.estado, 0);
    EXPECT_NE(s.err.find("no-existe.mdb"), std::string::npos);

    s = Ejecuta("bin2shp --output-dir capas hoja.bin");
    EXPECT_NE(s.estado, 0) << "--output-dir needs --cadastre";
}

}  // namespace
