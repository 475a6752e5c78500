// The utilities: file kinds and their tables, both element-to-entity conversions, the shared
// file numbers, and the file chooser on a real temporary folder.

#include "utilities/Utilidades.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "digi/FicheroDigi.h"
#include "digi/Ficheros.h"
#include "dxf/clsFicheroDxf.h"
#include "tests/robustez/Robustez.h"

namespace fs = std::filesystem;
using namespace fenoquia;

namespace {

using parvenza::robustez::Escribe, parvenza::robustez::Falla;

// One entity on one line: code, kind, points, extent, style and text.
std::string Resume(lumeral::Entidad& e) {
    std::ostringstream o;
    o << e.codigo() << " kind " << e.tipo();
    for (int i = 1; i <= e.Puntos(); ++i)
        o << " (" << e.Punto(i)->x() << "," << e.Punto(i)->y() << "," << e.Punto(i)->z() << ")";
    auto& m = e.MaxMin();
    auto& s = e.Estado();
    o << " box " << m.xmin() << "," << m.ymin() << "," << m.zmin() << " " << m.xmax() << ","
      << m.ymax() << "," << m.zmax() << " colour " << s.colorL() << "/" << s.colorRelleno()
      << " width " << s.Grosor() << (s.EsCerrado() ? " closed" : "");
    for (int i = 1; i <= e.atributos(); ++i)
        o << " attribute " << e.Atributo(i)->Registro() << "/" << e.Atributo(i)->resto();
    if (e.tipo() == lumeral::Entidad::kTexto)
        o << " '" << e.Texto().Texto() << "' h " << e.Texto().Altura() << " turn "
          << e.Texto().Giro() << " just " << e.Texto().Justificacion();
    return o.str();
}

// A folder with TABLAS/digi.tab, digi.pal and bindxf.tab written by the test.
class Utiles : public parvenza::robustez::Carpeta {
  protected:
    void SetUp() override {
        dir = m_dir.string() + "/";
        fs::create_directories(carpeta / "TABLAS");
        Escribe(Ruta("TABLAS/digi.tab"),
                "//@ 7 3\n// codigo relleno color valor4 grosor\n1001 -1 5 0 2 \"Eje de "
                "calle\"\n2001 0 5 0 1\n3001 0 x 0 4\n");
        Escribe(Ruta("TABLAS/digi.pal"), "255,0,0\n0,255,0\n0,0,255\n10 20 30\n1;2;3\n");
        Escribe(Ruta("TABLAS/bindxf.tab"),
                "// codigo capa tipo color estilo "
                "tamano\n1001,VIAS,L,1,CONT,0,Eje\n2001,TEXTOS,T,2,CONT,250,Rotulo\n");
    }
    void TearDown() override { EstableceSelectorFichero(nullptr); }
    std::string Convierte(const brisquel::tipo_entidad& x, lumeral::Entidad e = {}) {
        return u.ConvierteDigiOrmanto(x, digitab, pal, colornuevo, e), Resume(e);
    }
    std::string Convierte(const dornavel::tipo_ElementoDxf& x, lumeral::Entidad e = {}) {
        return u.ConvierteDxfOrmanto(x, bindxf, digitab, pal, colornuevo, e), Resume(e);
    }
    std::string Tipo(const std::string& dir, const std::string& fichero) {
        std::string tipo;
        u.TipoFichero(dir, fichero, pal, digitab, fondo, colornuevo, tipo, bindxf);
        return tipo;
    }
    const fs::path& carpeta = m_dir;
    std::string dir;
    Utilidades u;
    brisquel::Paleta pal;
    brisquel::TablaDigi digitab;
    int32_t fondo = 0, colornuevo = 0;
    std::vector<dornavel::BinDxfTab> bindxf;
};

const std::string C5 = std::to_string(1 + 2 * 256 + 3 * 65536),
                  C3 = std::to_string(255 * 65536);  // entries 5 and 3

TEST_F(Utiles, FileTypeLoadsTheTablesOfItsKind) {
    // Only a kind's own tables are loaded; the folder may come without its final slash.
    EXPECT_EQ(Tipo(dir, "HOJA.asc") + std::to_string(pal.size() + digitab.size()), "ASC0");
    EXPECT_EQ(Tipo(dir, "hoja.bin"), "BIN");
    EXPECT_EQ(std::vector<size_t>(
                  {pal.size(), digitab.size(), bindxf.size(), size_t(fondo), size_t(colornuevo)}),
              std::vector<size_t>({5, 3, 0, 7, 3}));
    EXPECT_EQ(Tipo(carpeta.string(), "hoja.DXF"), "DXF");
    EXPECT_EQ(bindxf.size() == 2 ? bindxf[1].capa : "", "TEXTOS");
    // A folder without TABLAS: the file system's error, naming the file.
    std::string mensaje;
    EXPECT_EQ(Falla([&] { Tipo(dir + "TABLAS/", "a.bin"); }, &mensaje), 53);
    EXPECT_NE(mensaje.find("digi.pal"), std::string::npos) << mensaje;
}

TEST_F(Utiles, DigiElementsBecomeStyledEntities) {
    Tipo(dir, "plano.dxf");
    brisquel::tipo_entidad linea, texto;
    linea.elemento.cabecera = {"C=", std::string("1001\0\0\0", 7), 1, 3};
    linea.elemento.rango.xmax = 7777;
    linea.elemento.coordenadas = {{0, 0, 0}, {100, 50, 5}, {30, 200, -1}};
    linea.elemento.atributos = {{1, 42, std::string("A1\0\0\0\0", 6)}};
    linea.Propiedad.EsCerrado = true;
    texto.elemento.cabecera = {"T=", std::string("2001\0\0\0", 7), 0, 3};
    texto.elemento.rango = {0, 0, 0, 0, 0, 0, 10, 0, 900};
    texto.elemento.coordenadas = {{1000, 2000, 0}};
    texto.elemento.textos = {{"Calle Mayor "}, {std::string("Sur\0\0\0\0\0\0\0\0\0", 12)}};
    // Column 2 negative: filled; zero: not filled (negative colour).
    EXPECT_EQ(Convierte(linea),
              "1001 kind 1 (0,0,0) (100,50,5) (30,200,-1) box 0,0,-1 100,200,5 colour " + C5 + "/" +
                  C5 + " width 2 closed attribute 42/A1");
    EXPECT_EQ(Convierte(texto), "2001 kind 4 (1000,2000,0) box 1000,2000,0 1150,2010,0 colour " +
                                    C5 + "/-" + C5 +
                                    " width 1 'Calle Mayor Sur' h 10 turn 900 just 0");
    // Missing from the table: palette entry colornuevo, no thickness.
    linea.elemento.cabecera.codigo = "9999";
    EXPECT_EQ(Convierte(linea),
              "9999 kind 1 (0,0,0) (100,50,5) (30,200,-1) box 0,0,-1 100,200,5 colour " + C3 +
                  "/-" + C3 + " width 0 closed attribute 42/A1");
    // A table without header line leaves colornuevo at 25000: outside any palette.
    lumeral::Entidad mal;
    EXPECT_EQ(Falla([&] { u.ConvierteDigiOrmanto(linea, digitab, pal, 25000, mal); }), 9);
    EXPECT_EQ(mal.codigo(), "9999");  // what was set before the failure stays
    linea.elemento.cabecera.codigo = "3001";
    EXPECT_EQ(Falla([&] { u.ConvierteDigiOrmanto(linea, digitab, pal, colornuevo, mal); }),
              13);                         // column 3 not a number
    linea.elemento.coordenadas.resize(2);  // fewer points than the header says
    EXPECT_NE(Falla([&] { u.ConvierteDigiOrmanto(linea, digitab, pal, colornuevo, mal); }), 0);
}

TEST_F(Utiles, DxfElementsBecomeStyledEntities) {
    Tipo(dir, "plano.dxf");
    dornavel::tipo_ElementoDxf l{"LINE", {"VIAS", {10.5, 20.25, 0}, {11, 21, 0.125}}, {}, {}, {}},
        raro;
    const dornavel::tipo_ElementoDxf p{
        "POLYLINE", {}, {"VIAS", "1", {{"", {0.375, -0.125, 0}}}}, {}, {}};
    dornavel::tipo_ElementoDxf t{
        "TEXT", {}, {}, {"TEXTOS", {9, 9, 9}, " AB ", {2.5, 0.8, 0, 3, 45.5}, {1, 2, 0}}, {}};
    // Hundredths, halves to even (12.5 -> 12); a polyline of one vertex is a point.
    EXPECT_EQ(Convierte(l),
              "1001 kind 1 (1050,2025,0) (1100,2100,12) box 1050,2025,0 1100,2100,12 colour " + C5 +
                  "/" + C5 + " width 2");
    EXPECT_EQ(Convierte(p), "1001 kind 2 (38,-12,0) box 38,-12,0 38,-12,0 colour " + C5 + "/" + C5 +
                                " width 2 closed");
    // Height from group 40 (41 is the width factor); middle centre box of 2 x 250 by 250
    // around (100, 200).
    EXPECT_EQ(Convierte(t), "2001 kind 4 (100,200,0) box -150,75,0 350,325,0 colour " + C5 + "/-" +
                                C5 + " width 1 'AB' h 250 turn 4550 just 8");
    dornavel::tipo_ElementoDxf punto;
    punto.Tipo = "POINT", punto.Point = {"VIAS", {1, 2, 3}};
    EXPECT_EQ(Convierte(punto), "1001 kind 2 (100,200,300) box 100,200,300 100,200,300 colour " +
                                    C5 + "/" + C5 + " width 2");
    l.Line.G8_capa = "NINGUNA";
    EXPECT_EQ(Convierte(l),
              " kind 1 (1050,2025,0) (1100,2100,12) box 1050,2025,0 1100,2100,12 colour " + C3 +
                  "/-" + C3 + " width 0");
    for (auto [h, v, j] :
         std::vector<std::array<int, 3>>{{1, 1, 7}, {1, 2, 8}, {1, 0, 3}, {2, 1, 8}}) {
        t.Text.G40_caract.G72_justH = uint8_t(h), t.Text.G40_caract.G73_justV = uint8_t(v);
        EXPECT_NE(Convierte(t).find("just " + std::to_string(j)), std::string::npos)
            << h << "/" << v;
    }
    lumeral::Entidad intacta;
    intacta.codigo("X");
    std::string mensaje;
    EXPECT_EQ(Falla([&] { u.ConvierteDxfOrmanto(raro, bindxf, digitab, pal, colornuevo, intacta); },
                    &mensaje),
              5);
    EXPECT_NE(mensaje.find("LINE, POLYLINE, POINT y TEXT"), std::string::npos);
    EXPECT_EQ(intacta.codigo(), "X");
    l.Line.G10_Coord.X = 3.0e7;  // 3e9 hundredths do not fit in 32 bits
    EXPECT_EQ(Falla([&] { Convierte(l); }), 6);
}

// With the utilities library loaded, BIN and DXF files are numbered from one table.
TEST_F(Utiles, BinAndDxfFilesNeverShareANumber) {
    Escribe(Ruta("a.dxf"), "  0\nEOF\n");
    brisquel::FicheroDigi digi;
    dornavel::clsFicheroDxf lector;
    int32_t nb = 0, nd = 0;
    digi.AbreFichero(dir + "a.bin", nb);
    lector.AbreFicheroDxf(dir + "a.dxf", nd);
    EXPECT_TRUE(nb != nd && brisquel::NumeroFicheroEnUso(nd));
    lector.CierraFicheroDxf("", nd);
    EXPECT_FALSE(brisquel::NumeroFicheroEnUso(nd));
    digi.CierraFichero("", nb);
}

// Answers the dialog with a fixed path (or fails) and remembers what it was asked.
struct Selector : SelectorFichero {
    std::string Elige(const std::string& filtro, const std::string& titulo) override {
        return visto = filtro + "|" + titulo, respuesta;
    }
    std::string respuesta, visto;
};

TEST_F(Utiles, PideFicheroOnARealFolder) {
    for (const char* f :
         {"b.bin", "C.BIN", "a.Bin", "d.shp", "xbin", "a.bin/a.bin", "a.bin/z.bin"}) {
        fs::create_directories((carpeta / f).parent_path());
        Escribe(Ruta(f), "x");
    }
    fs::create_directory(carpeta / "carpeta.bin");
    auto s = std::make_shared<Selector>();
    s->respuesta = dir + "b.bin";
    EstableceSelectorFichero(s);
    std::vector<std::string> ficheros{"viejo"};
    std::string directorio;
    bool eligio = false;
    // The whole folder: every file with the extension, sorted without case; no folders.
    u.PideFichero("Fichero BIN (*.bin)|*.bin", "Elige", ficheros, directorio, false, eligio);
    EXPECT_TRUE(eligio);
    EXPECT_EQ(s->visto, "Fichero BIN (*.bin)|*.bin|Elige");
    EXPECT_EQ(directorio, dir);
    EXPECT_EQ(ficheros,
              (std::vector<std::string>{"", dir + "a.Bin", dir + "b.bin", dir + "C.BIN"}));
    // One file only, in a folder whose name contains the file's name.
    s->respuesta = dir + "a.bin/a.bin";
    u.PideFichero("f|*.bin", "t", ficheros, directorio, true, eligio);
    EXPECT_EQ(directorio, dir + "a.bin/");
    EXPECT_EQ(ficheros, (std::vector<std::string>{"", dir + "a.bin/a.bin"}));
    u.PideFichero("f|*.bin", "t", ficheros, directorio, false, eligio);
    EXPECT_EQ(ficheros, (std::vector<std::string>{"", dir + "a.bin/a.bin", dir + "a.bin/z.bin"}));
    // Cancel leaves everything; a folder gone away is error 76, the list kept.
    s->respuesta = "";
    u.PideFichero("f", "t", ficheros, directorio, false, eligio);
    EXPECT_TRUE(!eligio && ficheros.size() == 3 && directorio == dir + "a.bin/");
    s->respuesta = dir + "no_existe/x.bin";
    std::string mensaje;
    EXPECT_EQ(
        Falla([&] { u.PideFichero("f", "t", ficheros, directorio, false, eligio); }, &mensaje), 76);
    EXPECT_NE(mensaje.find("no_existe"), std::string::npos);
    EXPECT_EQ(ficheros.size(), 3u);
}

}  // namespace
