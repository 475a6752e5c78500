#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "dxf/Mensajes.h"
#include "dxf/clsFicheroDxf.h"

namespace fs = std::filesystem;
using namespace dornavel;

namespace {

class Tabla : public ::testing::Test {
  protected:
    void SetUp() override {
        carpeta = fs::temp_directory_path() / ("bindxf_" + std::to_string(std::random_device{}()));
        fs::create_directories(carpeta);
        EstableceMensajero([this](const std::string& t) { mensajes.push_back(t); });
    }
    void TearDown() override {
        EstableceMensajero(nullptr);
        fs::remove_all(carpeta);
    }
    std::string Escribe(const std::string& texto) {
        const auto ruta = (carpeta / "bindxf.tab").string();
        std::ofstream(ruta, std::ios::binary) << texto;
        return ruta;
    }
    fs::path carpeta;
    std::vector<std::string> mensajes;
    clsFicheroDxf dxf;
};

TEST_F(Tabla, SplitsWordsAtEverySeparator) {
    std::vector<std::string> p;
    dxf.leeLinea("  1001;, VIAS\t\"L\"", p);
    EXPECT_EQ(p,
              (std::vector<std::string>{"1001", "VIAS", "L", ""}));  // the closing quote separates
    dxf.leeLinea(std::string("a\x14"
                             "b\nc"),
                 p);  // DC4 separates, a line feed does not
    EXPECT_EQ(p, (std::vector<std::string>{"a", "b\nc"}));
    dxf.leeLinea("a b ", p);
    EXPECT_EQ(p, (std::vector<std::string>{"a", "b", ""}));
    dxf.leeLinea("", p);
    EXPECT_EQ(p, (std::vector<std::string>{""}));
}

TEST_F(Tabla, LoadsDataLinesSkippingCommentsAndBlanks) {
    std::vector<BinDxfTab> t(5);  // longer tables are cut to what the file holds
    bool error = true;
    dxf.CargoFicheroBinDxfTab(Escribe("// codigos\r\n\r\n   \r\n"
                                      "1001,VIAS,L,3,CONT,0,Eje de calle\r\n"
                                      "  / otro comentario\r\n"
                                      "2001;EDIF;P;5;CONT;0 \r\n"
                                      "3001 VIAS T 1 CONT 250 Rotulo\r\n"),
                              t, error);
    EXPECT_FALSE(error);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].codigobin, "1001");
    EXPECT_EQ(t[0].capa, "VIAS");
    EXPECT_EQ(t[0].tamTexto, "0");
    EXPECT_EQ(t[0].descripcion, "Eje");  // words 8 and 9 dropped
    EXPECT_EQ(t[1].descripcion, "");     // six words and a trailing blank
    EXPECT_TRUE(mensajes.empty());

    BinDxfTab info;
    info.color = "previo";
    EXPECT_TRUE(dxf.BuscaEnBinDxfTab("", "VIAS", t, info));
    EXPECT_EQ(info.codigobin, "1001");  // the first entry of the layer wins
    EXPECT_TRUE(dxf.BuscaEnBinDxfTab("3001", "", t, info));
    EXPECT_EQ(info.tamTexto, "250");
    info.color = "previo";
    EXPECT_FALSE(dxf.BuscaEnBinDxfTab("", "vias", t, info));
    EXPECT_EQ(info.capa, "");
    EXPECT_EQ(info.Tipo, "");
    EXPECT_EQ(info.color, "previo");

    std::vector<BinDxfTab> sin(2);
    sin[0].codigobin = "x";
    dxf.CargoFicheroBinDxfTab(Escribe("// solo comentarios\n\n"), sin, error);
    ASSERT_EQ(sin.size(), 2u);
    EXPECT_EQ(sin[0].codigobin, "x");
}

TEST_F(Tabla, ShortLineStopsWithTheFormatMessage) {
    std::vector<BinDxfTab> t;
    bool error = false;
    const auto ruta =
        Escribe("// c\n1001 VIAS L 3 CONT 0 Eje\n\n2001 EDIF P 5\n3001 A B C D E F\n");
    dxf.CargoFicheroBinDxfTab(ruta, t, error);
    EXPECT_TRUE(error);
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0], "Error en formato de fichero : " + ruta + " en la l\xC3\xADnea : 2");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[1].codigobin, "");
    BinDxfTab info;
    EXPECT_TRUE(dxf.BuscaEnBinDxfTab("", "OTRA", t, info));  // the empty entry matches
    EXPECT_EQ(info.codigobin, "");

    try {
        dxf.CargoFicheroBinDxfTab(Escribe(""), t, error);
        FAIL();
    } catch (const DxfError& e) {
        EXPECT_EQ(e.numero(), 62);
    }
    try {
        dxf.CargoFicheroBinDxfTab((carpeta / "falta.tab").string(), t, error);
        FAIL();
    } catch (const DxfError& e) {
        EXPECT_EQ(e.numero(), 53);
        EXPECT_NE(std::string(e.what()).find("falta.tab"), std::string::npos);
    }
}

}  // namespace
