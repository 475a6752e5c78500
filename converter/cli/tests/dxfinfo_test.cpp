#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

struct Salida {
    int estado;
    std::string texto;  // stdout and stderr together
};

Salida Ejecuta(const std::string& argumentos) {
    const std::string orden = std::string("'") + PARVENZA_CLI + "' dxfinfo " + argumentos + " 2>&1";
    Salida s{-1, {}};
    FILE* p = popen(orden.c_str(), "r");
    if (!p) return s;
    std::array<char, 4096> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) s.texto.append(buf.data(), n);
    const int st = pclose(p);
    s.estado = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return s;
}

std::string Dato(const std::string& nombre) {
    return std::string("'") + PARVENZA_TEST_DATA + "/dxf/" + nombre + "'";
}

class DxfInfo : public ::testing::Test {
  protected:
    void SetUp() override {
        carpeta = fs::temp_directory_path() / ("dxfinfo_" + std::to_string(std::random_device{}()));
        fs::create_directories(carpeta);
    }
    void TearDown() override { fs::remove_all(carpeta); }
    fs::path carpeta;
};

TEST_F(DxfInfo, EveryFixtureLoadsAndShowsWhatWasSkipped) {
    auto s = Ejecuta(Dato("gdal_writer.dxf"));
    EXPECT_EQ(s.estado, 0) << s.texto;
    EXPECT_NE(s.texto.find("1 POLYLINE layer=1001 points=3 first=(100.5,200.25,10) closed=no\n"),
              std::string::npos)
        << s.texto;
    EXPECT_NE(s.texto.find("skipped entity types: LWPOLYLINE=1 POINT=1\n"), std::string::npos);
    EXPECT_NE(s.texto.find("100=12"), std::string::npos);

    for (const char* f : {"polyline_smooth.dxf", "polyline_smooth_crlf.dxf"}) {
        s = Ejecuta(Dato(f));
        EXPECT_EQ(s.estado, 0) << s.texto;
        EXPECT_NE(s.texto.find("layer=1 points=5 "), std::string::npos) << s.texto;
        EXPECT_NE(s.texto.find("closed=yes"), std::string::npos);
        EXPECT_NE(s.texto.find("skipped entity types: none"), std::string::npos);
    }

    s = Ejecuta(Dato("entities_only.dxf"));
    EXPECT_EQ(s.estado, 0) << s.texto;
    EXPECT_NE(s.texto.find("entities: 0 "), std::string::npos);
    EXPECT_NE(s.texto.find("skipped entity types: POINT=2"), std::string::npos);
}

TEST_F(DxfInfo, LayerTableAndBadFiles) {
    const auto tabla = carpeta / "bindxf.tab";
    std::ofstream(tabla) << "// codigos\n5001 1001 L 1 CONT 0 Eje\n";
    auto s = Ejecuta(Dato("gdal_writer.dxf") + " --layers '" + tabla.string() + "'");
    EXPECT_EQ(s.estado, 0) << s.texto;
    EXPECT_NE(s.texto.find("layer=1001 code=5001 "), std::string::npos) << s.texto;
    s = Ejecuta(Dato("polyline_smooth.dxf") + " --layers '" + tabla.string() + "'");
    EXPECT_NE(s.texto.find("layer=1 code=- "), std::string::npos) << s.texto;

    // A file cut before its EOF: the error, after the entities read before it.
    const auto cortado = carpeta / "cortado.dxf";
    std::ofstream(cortado) << "  0\nSECTION\n  2\nENTITIES\n  0\nTEXT\n  8\nT\n 10\n1.5\n"
                              "  1\nCalle\n  0\nLINE\n  8\nV\n";
    s = Ejecuta("'" + cortado.string() + "'");
    EXPECT_EQ(s.estado, 1);
    EXPECT_NE(s.texto.find("1 TEXT layer=T points=1 first=(1.5,0,0) text=\"Calle\""),
              std::string::npos)
        << s.texto;
    EXPECT_NE(s.texto.find("cortado.dxf: fin de fichero"), std::string::npos) << s.texto;

    s = Ejecuta("'" + (carpeta / "no.dxf").string() + "'");
    EXPECT_EQ(s.estado, 1);
    EXPECT_NE(s.texto.find("No se encuentra el fichero"), std::string::npos) << s.texto;

    std::ofstream(tabla) << "5001 1001 L\n";
    s = Ejecuta(Dato("gdal_writer.dxf") + " --layers '" + tabla.string() + "'");
    EXPECT_EQ(s.estado, 1);
    EXPECT_NE(s.texto.find("Error en formato de fichero"), std::string::npos) << s.texto;
}

}  // namespace
