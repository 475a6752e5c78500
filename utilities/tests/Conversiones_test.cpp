#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "digi/FicheroDigi.h"
#include "digi/Ficheros.h"
#include "dxf/clsFicheroDxf.h"
#include "utilities/Utilidades.h"

namespace fs = std::filesystem;
using namespace fenoquia;

namespace {

// A folder with TABLAS/digi.tab, digi.pal and bindxf.tab written by the test.
class Tablas : public ::testing::Test {
  protected:
    void SetUp() override {
        carpeta =
            fs::temp_directory_path() / ("fenoquia_conv_" + std::to_string(std::random_device{}()));
        fs::create_directories(carpeta / "TABLAS");
        Escribe("digi.tab",
                "//@ 7 3\n"
                "// codigo relleno color valor4 grosor descripcion\n"
                "1001 -1 5 0 2 \"Eje de calle\"\n"
                "2001 0 5 0 1\n"
                "3001 0 x 0 4\n");
        Escribe("digi.pal", "255,0,0\n0,255,0\n0,0,255\n10 20 30\n1;2;3\n");
        Escribe("bindxf.tab",
                "// codigo capa tipo color estilo tamano descripcion\n"
                "1001,VIAS,L,1,CONT,0,Eje\n"
                "2001,TEXTOS,T,2,CONT,250,Rotulo\n");
        dir = carpeta.string() + "/";
    }
    void TearDown() override { fs::remove_all(carpeta); }
    void Escribe(const std::string& nombre, const std::string& texto) {
        std::ofstream(carpeta / "TABLAS" / nombre, std::ios::binary) << texto;
    }
    // Loads the tables as a DXF caller would.
    void Carga() {
        std::string tipo;
        u.TipoFichero(dir, "plano.dxf", pal, digitab, fondo, colornuevo, tipo, bindxf);
    }

    fs::path carpeta;
    std::string dir;
    Utilidades u;
    brisquel::Paleta pal;
    brisquel::TablaDigi digitab;
    int32_t fondo = 0, colornuevo = 0;
    std::vector<dornavel::BinDxfTab> bindxf;
};

constexpr int32_t kColor5 = 1 + 2 * 256 + 3 * 65536;  // palette entry 5: 1;2;3
constexpr int32_t kColor3 = 255 * 65536;              // palette entry 3: blue

TEST_F(Tablas, FileTypeLoadsTheTablesOfItsKind) {
    std::string tipo;
    u.TipoFichero(dir, "HOJA.asc", pal, digitab, fondo, colornuevo, tipo, bindxf);
    EXPECT_EQ(tipo, "ASC");
    EXPECT_TRUE(pal.empty());
    EXPECT_TRUE(digitab.empty());

    u.TipoFichero(dir, "hoja.bin", pal, digitab, fondo, colornuevo, tipo, bindxf);
    EXPECT_EQ(tipo, "BIN");
    EXPECT_EQ(pal.size(), 5u);
    EXPECT_EQ(digitab.size(), 3u);
    EXPECT_EQ(fondo, 7);
    EXPECT_EQ(colornuevo, 3);
    EXPECT_TRUE(bindxf.empty());

    pal.clear();
    digitab.clear();
    u.TipoFichero(carpeta.string(), "hoja.DXF", pal, digitab, fondo, colornuevo, tipo, bindxf);
    EXPECT_EQ(tipo, "DXF");
    ASSERT_EQ(bindxf.size(), 2u);
    EXPECT_EQ(bindxf[1].capa, "TEXTOS");

    // A folder without TABLAS: the file system's error, naming the file.
    try {
        u.TipoFichero((carpeta / "TABLAS").string() + "/", "a.bin", pal, digitab, fondo, colornuevo,
                      tipo, bindxf);
        FAIL();
    } catch (const UtilidadesError& e) {
        EXPECT_EQ(e.numero(), 53) << e.what();
        EXPECT_NE(std::string(e.what()).find("digi.pal"), std::string::npos);
    }
}

TEST_F(Tablas, DigiElementsBecomeStyledEntities) {
    Carga();
    brisquel::tipo_entidad linea;
    linea.elemento.cabecera.tipo = "C=";
    linea.elemento.cabecera.codigo = std::string("1001\0\0\0", 7);
    linea.elemento.cabecera.npuntos = 3;
    linea.elemento.cabecera.natr = 1;
    linea.elemento.rango.xmax = 7777;
    linea.elemento.coordenadas = {{0, 0, 0}, {100, 50, 5}, {30, 200, -1}};
    linea.elemento.atributos = {{1, 42, std::string("A1\0\0\0\0", 6)}};
    linea.Propiedad.area = 12.5;
    linea.Propiedad.EsCerrado = true;
    linea.tamano = 80;
    linea.puntero = 17;

    lumeral::Entidad e;
    u.ConvierteDigiOrmanto(linea, digitab, pal, colornuevo, e);
    EXPECT_EQ(e.codigo(), "1001");
    EXPECT_EQ(e.tipo(), lumeral::Entidad::kLineal);
    EXPECT_EQ(e.Puntos(), 3);
    EXPECT_EQ(e.MaxMin().xmax(), 100);
    EXPECT_EQ(e.MaxMin().ymax(), 200);
    EXPECT_EQ(e.MaxMin().zmin(), -1);
    ASSERT_EQ(e.atributos(), 1);
    EXPECT_EQ(e.Atributo(1)->resto(), "A1");
    EXPECT_EQ(e.Atributo(1)->Registro(), 42);
    auto& s = e.Estado();
    EXPECT_EQ(s.colorL(), kColor5);
    EXPECT_EQ(s.colorRelleno(), kColor5);  // column 2 negative: filled
    EXPECT_EQ(s.Grosor(), 2);
    EXPECT_EQ(s.puntero(), 17);
    EXPECT_EQ(s.tamano(), 80);
    EXPECT_DOUBLE_EQ(s.area(), 12.5);
    EXPECT_TRUE(s.EsCerrado());
    EXPECT_TRUE(s.Visible());

    brisquel::tipo_entidad texto;
    texto.elemento.cabecera.tipo = "T=";
    texto.elemento.cabecera.codigo = std::string("2001\0\0\0", 7);
    texto.elemento.cabecera.npuntos = 3;
    texto.elemento.rango = {0, 0, 0, 0, 0, 0, 10, 0, 900};
    texto.elemento.coordenadas = {{1000, 2000, 0}};
    texto.elemento.textos = {{"Calle Mayor "}, {std::string("Sur\0\0\0\0\0\0\0\0\0", 12)}};
    lumeral::Entidad t;
    u.ConvierteDigiOrmanto(texto, digitab, pal, colornuevo, t);
    EXPECT_EQ(t.tipo(), lumeral::Entidad::kTexto);
    EXPECT_EQ(t.Puntos(), 1);
    EXPECT_EQ(t.Texto().Texto(), "Calle Mayor Sur");
    EXPECT_EQ(t.Texto().Giro(), 900);
    EXPECT_EQ(t.MaxMin().xmax(), 1150);
    EXPECT_EQ(t.MaxMin().ymax(), 2010);
    EXPECT_EQ(t.Estado().colorRelleno(), -kColor5);  // column 2 zero: not filled
    EXPECT_EQ(t.Estado().Grosor(), 1);

    // Missing from the table: palette entry colornuevo, no thickness.
    linea.elemento.cabecera.codigo = "9999";
    lumeral::Entidad otra;
    u.ConvierteDigiOrmanto(linea, digitab, pal, colornuevo, otra);
    EXPECT_EQ(otra.Estado().colorL(), kColor3);
    EXPECT_EQ(otra.Estado().colorRelleno(), -kColor3);
    EXPECT_EQ(otra.Estado().Grosor(), 0);

    // A table without header line leaves colornuevo at 25000: outside any palette.
    lumeral::Entidad mal;
    try {
        u.ConvierteDigiOrmanto(linea, digitab, pal, 25000, mal);
        FAIL();
    } catch (const UtilidadesError& e) {
        EXPECT_EQ(e.numero(), 9);
    }
    EXPECT_EQ(mal.codigo(), "9999");  // what was set before the failure stays
    linea.elemento.cabecera.codigo = "3001";
    try {
        u.ConvierteDigiOrmanto(linea, digitab, pal, colornuevo, mal);
        FAIL();
    } catch (const UtilidadesError& e) {
        EXPECT_EQ(e.numero(), 13);  // column 3 is not a number
    }
    linea.elemento.coordenadas.resize(2);  // fewer points than the header says
    EXPECT_THROW(u.ConvierteDigiOrmanto(linea, digitab, pal, colornuevo, mal), UtilidadesError);
}

TEST_F(Tablas, DxfElementsBecomeStyledEntities) {
    Carga();
    dornavel::tipo_ElementoDxf l;
    l.Tipo = "LINE";
    l.Line.G8_capa = "VIAS";
    l.Line.G10_Coord = {10.5, 20.25, 0};
    l.Line.G11_Coord = {11, 21, 0.125};
    lumeral::Entidad e;
    u.ConvierteDxfOrmanto(l, bindxf, digitab, pal, colornuevo, e);
    EXPECT_EQ(e.codigo(), "1001");
    EXPECT_EQ(e.tipo(), lumeral::Entidad::kLineal);
    ASSERT_EQ(e.Puntos(), 2);
    EXPECT_EQ(e.Punto(1)->x(), 1050);
    EXPECT_EQ(e.Punto(1)->y(), 2025);
    EXPECT_EQ(e.Punto(2)->x(), 1100);
    EXPECT_EQ(e.Punto(2)->z(), 12);  // 12.5 rounds to the even 12
    EXPECT_EQ(e.MaxMin().xmin(), 1050);
    EXPECT_FALSE(e.Estado().EsCerrado());
    EXPECT_EQ(e.Estado().colorL(), kColor5);

    l.Line.G8_capa = "NINGUNA";
    lumeral::Entidad sin;
    u.ConvierteDxfOrmanto(l, bindxf, digitab, pal, colornuevo, sin);
    EXPECT_EQ(sin.codigo(), "");
    EXPECT_EQ(sin.Estado().colorL(), kColor3);

    dornavel::tipo_ElementoDxf p;
    p.Tipo = "POLYLINE";
    p.Polyline.G8_capa = "VIAS";
    p.Polyline.G70_Cerrada = "1";
    p.Polyline.Gvertices[0].G10_Coord = {0.375, -0.125, 0};
    lumeral::Entidad pe;
    u.ConvierteDxfOrmanto(p, bindxf, digitab, pal, colornuevo, pe);
    EXPECT_EQ(pe.tipo(), lumeral::Entidad::kPuntual);
    EXPECT_TRUE(pe.Estado().EsCerrado());
    EXPECT_EQ(pe.Punto(1)->x(), 38);
    EXPECT_EQ(pe.Punto(1)->y(), -12);
    EXPECT_EQ(pe.MaxMin().xmax(), 38);  // the first point replaced the preset bounds

    dornavel::tipo_ElementoDxf t;
    t.Tipo = "TEXT";
    t.Text.G8_capa = "TEXTOS";
    t.Text.G10_Coord = {9, 9, 9};
    t.Text.G11_Coord = {1, 2, 0};
    t.Text.G1_texto = " AB ";
    t.Text.G40_caract = {7.0, 2.5, 0, 3, 45.5};
    lumeral::Entidad te;
    u.ConvierteDxfOrmanto(t, bindxf, digitab, pal, colornuevo, te);
    EXPECT_EQ(te.codigo(), "2001");
    EXPECT_EQ(te.tipo(), lumeral::Entidad::kTexto);
    EXPECT_EQ(te.Punto(1)->x(), 100);
    EXPECT_EQ(te.Texto().Texto(), "AB");
    EXPECT_EQ(te.Texto().Altura(), 250);  // group 41, not 40
    EXPECT_EQ(te.Texto().Giro(), 4550);
    EXPECT_EQ(te.Texto().Justificacion(), 8);
    // Middle centre box of 2 x 250 by 250 around (100, 200).
    EXPECT_EQ(te.MaxMin().xmin(), -150);
    EXPECT_EQ(te.MaxMin().xmax(), 350);
    EXPECT_EQ(te.MaxMin().ymin(), 75);
    EXPECT_EQ(te.MaxMin().ymax(), 325);
    for (auto [h, v, j] :
         std::vector<std::array<int, 3>>{{1, 1, 7}, {1, 2, 8}, {1, 0, 3}, {2, 1, 8}}) {
        t.Text.G40_caract.G72_justH = static_cast<uint8_t>(h);
        t.Text.G40_caract.G73_justV = static_cast<uint8_t>(v);
        lumeral::Entidad x;
        u.ConvierteDxfOrmanto(t, bindxf, digitab, pal, colornuevo, x);
        EXPECT_EQ(x.Texto().Justificacion(), j) << h << "/" << v;
    }

    dornavel::tipo_ElementoDxf raro;
    lumeral::Entidad intacta;
    intacta.codigo("X");
    try {
        u.ConvierteDxfOrmanto(raro, bindxf, digitab, pal, colornuevo, intacta);
        FAIL();
    } catch (const UtilidadesError& e) {
        EXPECT_EQ(e.numero(), 5);
        EXPECT_NE(std::string(e.what()).find("LINE, POLYLINE y TEXT"), std::string::npos);
    }
    EXPECT_EQ(intacta.codigo(), "X");

    l.Line.G10_Coord.X = 3.0e7;  // 3e9 hundredths do not fit in 32 bits
    lumeral::Entidad grande;
    try {
        u.ConvierteDxfOrmanto(l, bindxf, digitab, pal, colornuevo, grande);
        FAIL();
    } catch (const UtilidadesError& e) {
        EXPECT_EQ(e.numero(), 6);
    }
}

// With the utilities library loaded, BIN and DXF files are numbered from one table.
TEST_F(Tablas, BinAndDxfFilesNeverShareANumber) {
    const auto bin = (carpeta / "a.bin").string();
    const auto dxf = (carpeta / "a.dxf").string();
    std::ofstream(dxf) << "  0\nEOF\n";
    brisquel::FicheroDigi digi;
    dornavel::clsFicheroDxf lector;
    int32_t nb = 0, nd = 0;
    digi.AbreFichero(bin, nb);
    lector.AbreFicheroDxf(dxf, nd);
    EXPECT_NE(nb, nd);
    EXPECT_TRUE(brisquel::NumeroFicheroEnUso(nd));
    lector.CierraFicheroDxf(dxf, nd);
    EXPECT_FALSE(brisquel::NumeroFicheroEnUso(nd));
    digi.CierraFichero(bin, nb);
}

}  // namespace
