// The shapefile-to-BIN band: the selection state driven as the window's handlers drive it,
// the field listing of attribute tables, and ReadShape on shapefiles written here and by
// other programs, elements read back with the Digi library and compared as one-line
// summaries; the round trip BIN -> layers -> BIN.

#include "converter/core/ShpBin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "converter/core/BinShp.h"
#include "converter/core/DbfCampos.h"
#include "converter/core/Hijos.h"
#include "converter/core/SeleccionShp.h"
#include "converter/core/ShpBinError.h"
#include "converter/core/ShpBinParalelo.h"
#include "converter/core/tests/binshp_support.h"
#include "converter/core/tests/shpbin_ayuda.h"
#include "converter/shapefile/tests/limite_prueba.h"
#include "tests/robustez/Robustez.h"

namespace parvenza {
namespace {

using namespace prueba;
using brisquel::tipo_entidad;
using V = std::vector<std::string>;
using robustez::Falla, robustez::Lee;

const std::string kDatos = std::string(PARVENZA_TEST_DATA) + "/shapefiles/";

class ShpBin : public ::testing::Test {
  protected:
    ShpBin() { ShpElegido(o.seleccion, carpeta / "hoja.shp", carpeta.Ruta()); }
    /// Converts `shp` (default hoja.shp) into salida.bin, emptied first unless `anexar`.
    V Convierte(const std::string& shp = "", bool anexar = false) {
        o.ficheroShp = shp.empty() ? carpeta / "hoja.shp" : shp;
        o.ficheroBin = carpeta / "salida.bin";
        if (!anexar) fs::remove(o.ficheroBin);
        ShpElegido(o.seleccion, o.ficheroShp, carpeta.Ruta());
        puerto = {};
        r = ReadShape(o, puerto);
        return Resumenes(o.ficheroBin);
    }
    /// Copies a fixture written by another program (whichever of its files exist). Their
    /// .prj says degrees, so it stays behind unless asked for.
    std::string Copia(const std::string& nombre, bool prj = false) {
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg", ".prj"})
            if (fs::exists(kDatos + nombre + ext) && (prj || std::string(ext) != ".prj"))
                fs::copy_file(kDatos + nombre + ext, carpeta / (nombre + ext));
        return carpeta / (nombre + ".shp");
    }
    void Hoja(int tipo, const std::vector<Campo>& campos, const std::vector<Registro>& registros) {
        EscribeShape(carpeta / "hoja.shp", tipo, campos, registros);
    }
    Carpeta carpeta;
    OpcionesShpBin o;
    PuertoAnotador puerto;
    ResultadoShpBin r;
};

const Valor kNulo = std::monostate{};
Valor T(const char* s) { return std::string(s); }

TEST_F(ShpBin, CodesFromTheFieldTheBoxOr9995) {
    Hoja(SHPT_POINT, {{"COD", 'C', 10}, {"NUM", 'N', 10}},
         {{{{{1, 2, 0}}}, {T("  0501 "), 140100.0}}, {{{{3, 4, 0}}}, {kNulo, 7.0}}});
    o.txtCodigo = "  2020 ";
    EXPECT_EQ(Convierte(), (V{"C= 2020: (100 200 0)", "C= 2020: (300 400 0)"}));
    o.txtCodigo = "";
    EXPECT_EQ(Convierte(), (V{"C= 9995: (100 200 0)", "C= 9995: (300 400 0)"}));
    EligeTablaDbf1(o.seleccion, 9, "0 COD");  // null in the second record only
    EXPECT_EQ(Convierte(), (V{"C= 0501: (100 200 0)", "C= 9995: (300 400 0)"}));
    EligeTablaDbf1(o.seleccion, 9, "1 NUM");
    EXPECT_EQ(Convierte(), (V{"C= 140100: (100 200 0)", "C= 7: (300 400 0)"}));
}

TEST_F(ShpBin, EachPartIsAnElementCoordinatesHalvesToEvenAndTheFalseNorth) {
    Hoja(SHPT_ARCZ, {{"TAB", 'N', 5}, {"REG", 'N', 9}},
         {{{{{0.125, 1, 0.005}, {0.375, 4182345.678, -0.015}},
            {{-0.125, -2.5, 0}, {3, 3, 0}, {4, 4, 0}}},
           {3.0, 77.0}},
          {{}, {1.0, 1.0}}});                 // a null shape gives no element
    EligeTablaDbf1(o.seleccion, 3, "0 TAB");  // attribute 2 by the first field: never converted
    EligeTablaDbf1(o.seleccion, 4, "1 REG");
    EXPECT_EQ(Convierte(), (V{"C= 140100: (12 100 0) (38 418234568 -2)",
                              "C= 140100: (-12 -250 0) (300 300 0) (400 400 0)"}));
    EXPECT_TRUE(puerto.mensajes.empty());
    o.factorUnidades = 1000;  // 4182345678 does not fit: 4,000,000 off
    EXPECT_EQ(Convierte()[0], "C= 140100: (125 1000 5) (375 182345678 -15)");
    // The rounding at the edges, as nearbyint rounds; nothing past what the BIN file holds.
    for (double v : {0.49999999999999994, -0.5, 1e-320, 2147483646.5, -2147483646.5, 2147483647.4,
                     1048576.5000000002, -3.5, 4503599627370495.5}) {
        const double r = std::nearbyint(v);
        const auto e = formas::Entero32(v);
        EXPECT_EQ(e.has_value(), std::fabs(r) <= 2147483647.0) << v;
        EXPECT_EQ(e.value_or(0), e ? static_cast<int32_t>(r) : 0) << v;
    }
    for (double v : {2147483647.5, -2147483647.5, 1e300, double(NAN), -double(INFINITY)})
        EXPECT_FALSE(formas::Entero32(v)) << v;
}

TEST_F(ShpBin, TheZFieldReplacesTheVertexZUnlessItIsZero) {
    Hoja(SHPT_POINTZ, {{"COTA", 'N', 10, 2}, {"TXT", 'C', 10}},
         {{{{{1, 1, 7}}}, {12.5, T("x")}},
          {{{{1, 1, 7}}}, {0.0, T("x")}},
          {{{{1, 1, 7}}}, {kNulo, T("x")}},
          {{{{1, 1, 7}}}, {T("abc"), T("x")}}});
    EXPECT_EQ(Convierte()[0], "C= 140100: (100 100 700)");  // without "Transmitir Z"
    o.chkCotas = true;  // no Z field chosen: the table's first field
    EXPECT_EQ(Convierte(), (V{"C= 140100: (100 100 1250)", "C= 140100: (100 100 700)",
                              "C= 140100: (100 100 700)"}));
    EXPECT_EQ(r.registrosErroneos, std::vector<int32_t>{3});  // "abc" in a numeric field
    EligeTablaDbfZ(o.seleccion, "1 TXT");                     // a text field gives no number
    EXPECT_EQ(Convierte()[0], "C= 140100: (100 100 700)");
}

TEST_F(ShpBin, TextsFromFieldsAndBoxes) {
    Hoja(SHPT_POINT, {{"ROT", 'C', 30}, {"ALT", 'C', 10}, {"JUS", 'N', 5, 1}, {"GIR", 'N', 8, 2}},
         {{{{{10, 20, 0}}}, {T("Calle Mayor 13"), T("2.5"), 3.0, 45.5}},
          {{{{10, 20, 0}}}, {kNulo, T("alto"), 2.5, kNulo}},
          {{{{10, 20, 0}}}, {T(""), T("1"), 1.0, 1.0}}});
    o.chkTextos = true;
    for (int i = 0; i < 4; ++i) EligeTablaDbfTexto(o.seleccion, i, std::to_string(i) + " X");
    // 14 characters: two blocks. Null or blank text reads "NoTexto"; a height that is not a
    // number 1.5; a justification of 2.5 rounds to 2.
    EXPECT_EQ(Convierte(), (V{"T= 140100: (1000 2000 0) 'Calle Mayor 13' 250/3/4550 n3",
                              "T= 140100: (1000 2000 0) 'NoTexto' 150/2/0 n2",
                              "T= 140100: (1000 2000 0) 'NoTexto' 100/1/100 n2"}));
    o.seleccion = SeleccionShp{};
    o.txtTextoRotulo = "  Rio ";
    o.txtTextoAltura = "";
    o.txtTextoJustificacion = "2.5";
    o.txtTextoGiro = "-90";
    EXPECT_EQ(Convierte()[0], "T= 140100: (1000 2000 0) 'Rio' 150/2/-9000 n2");
    o.txtTextoAltura = "alto";  // stops the text values there; the others keep what they held
    EXPECT_EQ(Convierte()[0], "T= 140100: (1000 2000 0) 'Rio' 0/0/0 n2");
    EXPECT_TRUE(r.registrosErroneos.empty());
}

TEST_F(ShpBin, AttributeLinksInOrderWithTableRecordAndRest) {
    Hoja(SHPT_ARC,
         {{"ID", 'N', 5},
          {"TAB", 'N', 5},
          {"REG", 'N', 10},
          {"RES", 'C', 10},
          {"RES2", 'N', 10},
          {"TAB3", 'N', 5}},
         {{{{{0, 0, 0}, {1, 1, 0}}, {{2, 2, 0}, {3, 3, 0}}},
           {1.0, 4.0, 123.0, T("AB"), 12345678.0, 9.0}},
          {{{{0, 0, 0}, {1, 1, 0}}}, {1.0, 0.0, 123.0, T("0"), 0.0, 9.0}},
          {{{{0, 0, 0}, {1, 1, 0}}}, {1.0, 4.0, 0.0, T(""), kNulo, -2.0}}});
    SeleccionShp& s = o.seleccion;
    EligeTablaDbf1(s, 0, "1 TAB");
    EligeTablaDbf1(s, 1, "2 REG");
    EligeTablaDbf1(s, 5, "3 RES");
    EligeTablaDbf1(s, 6, "5 TAB3");  // attribute 3: table field, list grows
    EligeTablaDbf1(s, 7, "2 REG");
    ASSERT_TRUE(EligeAtributo(s, "Atributo 4", [](int16_t) { return std::string(); }));
    EligeTablaDbf1(s, 8, "4 RES2");
    // the BIN block keeps 6 characters of a rest; table 0, rest "0" and 0 give no link;
    // record 0 and table -2 none at all
    const std::string enlaces = " [4:123:] [1:0:AB] [9:123:] [1:0:123456]";
    EXPECT_EQ(Convierte(),
              (V{"C= 140100: (0 0 0) (100 100 0)" + enlaces,
                 "C= 140100: (200 200 0) (300 300 0)" + enlaces,
                 "C= 140100: (0 0 0) (100 100 0) [9:123:]", "C= 140100: (0 0 0) (100 100 0)"}));
}

TEST_F(ShpBin, RecordsThatDoNotFitTheBinAreListedAndTheRestWritten) {
    Hoja(SHPT_POINT, {{"COD", 'C', 12}, {"TAB", 'N', 8}, {"REG", 'N', 8}},
         {{{{{1, 1, 0}}}, {T("A"), 1.0, 1.0}},
          {{{{3e7, 1, 0}}}, {T("B"), 1.0, 1.0}},          // x out of range in cm
          {{{{1, 1, 0}}}, {T("CODIGOLARGO"), 1.0, 1.0}},  // code of 11 characters
          {{{{1, 1, 0}}}, {T("D"), 40000.0, 1.0}},        // table number past 16 bits
          {{{{2, 2, 0}}}, {T("E"), 1.0, 1.0}}});
    EligeTablaDbf1(o.seleccion, 9, "0 COD");
    EligeTablaDbf1(o.seleccion, 0, "1 TAB");
    EligeTablaDbf1(o.seleccion, 1, "2 REG");
    EXPECT_EQ(Convierte(), (V{"C= A: (100 100 0) [1:1:]", "C= E: (200 200 0) [1:1:]"}));
    EXPECT_EQ(r.registrosErroneos, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(
        puerto.mensajes,
        V{"Se han encontrado 3 errores en la conversión\rEntidades erróneas : \r / 1 / 2 / 3"});
}

TEST_F(ShpBin, FilesOfOtherProgramsPolygonsWithHolesMultipointsNullsDatesAndBooleans) {
    V e = Convierte(Copia("polygons"));  // 1 ring, outer ring and hole, two rings
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[2].substr(0, 23), "C= 140100: (100 100 0) ");  // the hole, after its outer ring
    EXPECT_EQ(e[4].substr(0, 23), "C= 140100: (400 400 0) ");
    for (const auto& el : LeeBin(o.ficheroBin))
        EXPECT_TRUE(el.Propiedad.EsCerrado && el.elemento.cabecera.npuntos == 5);
    e = Convierte(Copia("multipoints"));  // each point of a multipoint is an element
    ASSERT_EQ(e.size(), 10u);
    EXPECT_EQ(e[9], "C= 140100: (1900 2000 0)");
    EXPECT_EQ(Convierte(Copia("null")).size(), 5u);  // 9 records, 4 of them null shapes
    EXPECT_TRUE(r.registrosErroneos.empty());
    o.chkCotas = true;  // a date as the first field is not a Z value
    for (const auto& el : Convierte(Copia("date-property")))
        EXPECT_EQ(el.substr(el.size() - 3), " 0)");
    EXPECT_EQ(Convierte(Copia("boolean-property")).size(), 9u);
    // An empty shapefile adds nothing, and says nothing.
    o.chkCotas = false;
    const std::string antes = Lee(o.ficheroBin);
    EXPECT_TRUE(Convierte(Copia("empty"), true).size() == 9u && r.escrito && r.elementos == 0)
        << r.error;
    EXPECT_EQ(Lee(o.ficheroBin), antes);
    EXPECT_TRUE(puerto.mensajes.empty());
}

// Tables of other programs in other code pages: texts reach the BIN file in Windows-1252,
// read in the page of the .cpg, else of the language byte, else as Windows-1252, unless the
// run names the page.
TEST_F(ShpBin, CodePagesOfOtherProgramsReachTheBinInWindows1252) {
    // A table that GDAL writes in CP850 ("Año": "canción", "Texto": "pingüino, año").
    std::ofstream(carpeta / "in.geojson")
        << R"({"type":"FeatureCollection","features":[{"type":"Feature","properties":)"
           R"({"A\u00f1o":"canci\u00f3n","Texto":"ping\u00fcino, a\u00f1o"},)"
           R"("geometry":{"type":"Point","coordinates":[440000.25,4470000.5]}}]})";
    const std::string orden =
        "ogr2ogr -f 'ESRI Shapefile' -lco ENCODING=CP850 -a_srs EPSG:25830 '" +
        carpeta / "cp850.shp" + "' '" + carpeta / "in.geojson" + "'";
    ASSERT_EQ(std::system(orden.c_str()), 0);
    auto lenguaje = [&](char byte) {  // sets the table's dBase language byte
        robustez::Parchea(carpeta / "cp850.dbf", 29, std::string(1, byte));
    };
    EscribeShape(carpeta / "anio.shp", SHPT_POINT, {{"T", 'C', 10}},
                 {{{{{1, 1, 0}}}, {T("A\xC3\xB1o")}}});
    o.chkTextos = true;
    struct Caso {
        const char* shp;
        std::function<void()> antes;
        const char* pagina;
        std::string texto;
    };
    const Caso casos[] = {
        {"codepage-1250", [&] { Copia("codepage-1250"); }, "",
         "Hn?vo\x9A"
         "ick\xFD h\xE1j"},
        {"cp850", [] {}, "", "canci\xF3n"},
        {"cp850", [&] { fs::remove(carpeta / "cp850.cpg"), lenguaje(2); }, "", "canci\xF3n"},
        {"cp850", [&] { lenguaje(0); }, "", "canci\xA2n"},  // nothing declared: as it is
        {"cp850", [] {}, "CP850", "canci\xF3n"},
        {"anio", [&] { std::ofstream(carpeta / "anio.cpg") << "65001"; }, "", "A\xF1o"},
        {"utf8-property", [&] { Copia("utf8-property"); }, "", "????? ?????"},
    };
    for (const Caso& c : casos) {
        c.antes();
        fs::remove(carpeta / (std::string(c.shp) + ".prj"));  // some are in degrees
        o.paginaCodigos = c.pagina;
        o.seleccion = {};
        EligeTablaDbfTexto(o.seleccion, 0, "0 x");
        ASSERT_FALSE(Convierte(carpeta / (std::string(c.shp) + ".shp")).empty()) << c.shp;
        EXPECT_EQ(LeeBin(o.ficheroBin).back().Propiedad.texto, c.texto) << c.shp << " " << c.pagina;
    }
    // Field names too: the one of the CP850 table is "Año".
    EXPECT_EQ(CamposDbf(carpeta.Ruta(), "cp850", "CP850")[0].nombre, "A\xF1o");
    EXPECT_EQ(CamposDbf(carpeta.Ruta(), "cp850")[0].nombre, "A\xA4o");
}

// Coordinates in degrees would fall onto a grid of hundredths of a degree: a shapefile whose
// .prj is geographic, or whose extent fits degrees while the rounding joins its vertices, is
// refused unless forced.
TEST_F(ShpBin, ShapefilesInDegreesAreRefusedUnlessForced) {
    Hoja(SHPT_POLYGON, {{"N", 'N'}},
         {{{{{-3.70001, 40.41001, 0}, {-3.70002, 40.41003, 0}, {-3.70004, 40.41001, 0}}}, {1.0}}});
    const std::string polygons = Copia("polygons", true);
    for (const std::string& shp : {carpeta / "hoja.shp", polygons}) {
        SCOPED_TRACE(shp);
        o.forzarGrados = false;
        EXPECT_TRUE(Convierte(shp).empty());
        EXPECT_TRUE(r.enGrados && !r.escrito && puerto.criticos.back());
        EXPECT_NE(puerto.mensajes.back().find("grados"), std::string::npos);
        o.forzarGrados = true;
        EXPECT_FALSE(Convierte(shp).empty());
        EXPECT_TRUE(r.escrito && !r.enGrados);
    }
}

TEST_F(ShpBin, MTypesWithoutIndexOrTableAreRefusedAndWithThemReadWithZeroZ) {
    for (const char* nombre : {"pointm", "polylinem", "polygonm", "multipointm"}) {
        SCOPED_TRACE(nombre);
        const std::string shp = Copia(nombre);
        // Refused as any shapefile without them (the bad-input tests check the message).
        EXPECT_TRUE(Convierte(shp).empty() && !r.escrito && !fs::exists(o.ficheroBin));
        SAHooks hooks;
        SASetupDefaultHooks(&hooks);
        ASSERT_TRUE(SHPRestoreSHX(shp.c_str(), "rb", &hooks));
        SHPHandle h = SHPOpen(shp.c_str(), "rb");
        const int n = h->nRecords;
        SHPClose(h);
        DBFHandle dbf = DBFCreate((shp.substr(0, shp.size() - 4) + ".dbf").c_str());
        DBFAddField(dbf, "ID", FTInteger, 5, 0);
        for (int i = 0; i < n; ++i) DBFWriteIntegerAttribute(dbf, i, 0, i);
        DBFClose(dbf);
        const V e = Convierte(shp);
        ASSERT_TRUE(r.escrito) << r.error;
        ASSERT_FALSE(e.empty());
        for (const auto& el : LeeBin(o.ficheroBin))
            for (const auto& p : el.elemento.coordenadas) EXPECT_EQ(p.z, 0);
    }
}

TEST_F(ShpBin, WhatCannotBeWrittenIsSaidWithoutProcesoTerminado) {
    Hoja(SHPT_POINT, {{"N", 'N'}}, {{{{{1, 1, 0}}}, {1.0}}});
    o.ficheroShp = carpeta / "hoja.shp";
    for (const std::string& salida : {carpeta / "no/existe.bin", carpeta.Ruta()}) {
        SCOPED_TRACE(salida);
        puerto = {};
        o.ficheroBin = salida;
        r = ReadShape(o, puerto);
        EXPECT_FALSE(r.escrito || r.error.empty());
        ASSERT_EQ(puerto.mensajes.size(), 1u);
        EXPECT_TRUE(puerto.criticos[0]);
        EXPECT_NE(puerto.mensajes[0].find("No se ha podido grabar el fichero BIN"),
                  std::string::npos);
        EXPECT_EQ(puerto.procesos.back(), "Proceso interrumpido");
        EXPECT_EQ(puerto.ocupado, (std::vector<bool>{false}));  // refused before any work
    }
    EXPECT_FALSE(fs::exists(carpeta / "no"));
    EligeTablaDbf1(o.seleccion, 9, "3 OTRO");  // a field the table lacks: said before reading
    EXPECT_TRUE(Convierte().empty());
    EXPECT_FALSE(r.escrito || fs::exists(o.ficheroBin));
    ASSERT_EQ(puerto.mensajes.size(), 1u);
    EXPECT_NE(puerto.mensajes[0].find("no tiene el campo 3"), std::string::npos);
}

TEST_F(ShpBin, ManyElementsGoInBatchesAndALateFailureLeavesTheFileAsItWas) {
    std::vector<Registro> registros;
    for (int i = 0; i < 5000; ++i)
        registros.push_back({{{{double(i), double(i % 7), 0}}}, {double(i)}});
    Hoja(SHPT_POINT, {{"N", 'N'}}, registros);
    const V e = Convierte();
    ASSERT_EQ(e.size(), 5000u);
    EXPECT_EQ(e[4999], "C= 140100: (499900 100 0)");
    // A size limit that lets the copy of the file in, not the elements.
    const std::string antes = Lee(o.ficheroBin).substr(0, 120);
    std::ofstream(carpeta / "limitado.bin", std::ios::binary) << antes;
    o.ficheroBin = carpeta / "limitado.bin";
    EXPECT_EQ(FallaConLimite(300000,
                             [this] {
                                 PuertoAnotador p;
                                 if (!ReadShape(o, p).escrito && p.criticos.size() == 1 &&
                                     p.procesos.back() == "Proceso interrumpido")
                                     throw std::runtime_error("interrumpido");
                             }),
              "error: interrumpido");
    EXPECT_EQ(Lee(o.ficheroBin), antes);
    EXPECT_EQ(robustez::Restos(carpeta.ruta()), V{});  // no copy or lock left
}

TEST_F(ShpBin, APartOfMoreThan32767VerticesEndsTheProgramWithoutWriting) {
    std::vector<Vertice> linea(32767);
    for (size_t i = 0; i < linea.size(); ++i) linea[i] = {double(i), 0, 0};
    Hoja(SHPT_ARC, {{"N", 'N'}}, {{{linea}, {1.0}}});
    Convierte();
    EXPECT_EQ(LeeBin(o.ficheroBin).at(0).elemento.cabecera.npuntos, 32767);
    linea.push_back({1, 1, 0});
    EscribeShape(carpeta / "grande.shp", SHPT_ARC, {{"N", 'N'}},
                 {{{{{0, 0, 0}, {1, 1, 0}}, linea}, {1.0}}});
    OpcionesShpBin antes = o;
    o.ficheroShp = carpeta / "grande.shp";
    o.ficheroBin = antes.ficheroBin = carpeta / "grande.bin";
    // Alone, or among several shapefiles converted at once in its turn: nothing written,
    // nothing left (the three files of each shapefile and salida.bin), nothing shown here.
    for (int trabajos : {0, 1, 2}) {
        PuertoAnotador p;
        try {
            (void)(trabajos ? ReadShapes({antes, o, antes}, trabajos, p).escrito
                            : ReadShape(o, p).escrito);
            ADD_FAILURE() << "no FinDePrograma";
        } catch (const FinDePrograma& fin) {
            EXPECT_STREQ(fin.what(),
                         "Numero máximo de puntos (32767) en una entidad superado en la entidad 2");
            EXPECT_EQ(fin.estado(), 1);
        }
        EXPECT_TRUE(p.mensajes.empty());
        EXPECT_EQ(std::distance(fs::directory_iterator(carpeta.Ruta()), {}), 7) << trabajos;
    }
}

// The workers of a parallel run: each report reaches the parent whole; one killed or ended
// before its report is told apart; stopping early kills and reaps the rest.
TEST(Hijos, WholeReportsKilledWorkersAndAnEarlyStop) {
    std::vector<std::string> informes(4), anomalias(4);
    std::string grande(1 << 20, 'x');
    auto hijo = [&](size_t i, bool&) -> std::string {
        if (i == 1) ::raise(SIGKILL);
        if (i == 2) ::_exit(0);
        if (i == 3) ::pause();
        return grande;
    };
    int vistos = 0;
    const bool todo = EnHijos(4, 2, hijo, [&](FinHijo&& f) {
        informes[f.indice] = f.informe;
        anomalias[f.indice] = f.Anomalia();
        return ++vistos < 3;
    });
    EXPECT_FALSE(todo);
    EXPECT_TRUE(informes[0] == grande) << informes[0].size();
    EXPECT_EQ(anomalias[0], "");
    EXPECT_NE(anomalias[1].find("terminó por la señal"), std::string::npos) << anomalias[1];
    EXPECT_EQ(informes[2] + anomalias[2], "");
    EXPECT_EQ(anomalias[3], "");  // killed by the stop, not reported
}

// Round trip. Survives: every point (x, y, z in 3D layers), codes, texts with their point and
// rotation. Lost by the layers' schema: attribute links, text height and justification (the
// boxes give them back). Rings come back clockwise: one drawn the other way returns reversed.
TEST_F(ShpBin, RoundTripBinLayersBin) {
    using prueba_binshp::Linea;
    std::vector<tipo_entidad> ida = {
        Linea("1001", {{-150, 4000, 12}, {250, 4100, 15}, {300, -4200, -7}}, {{3, 77, ""}}),
        Linea("1002", {{0, 0, 5}, {0, 1000, 5}, {1000, 1000, 5}, {1000, 0, 5}, {0, 0, 5}}),
        Linea("1003", {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 1000, 0}, {0, 0, 0}}),
        Linea("1004", {{123456789, 418234567, 9}}),
        prueba_binshp::Texto("1005", "Plaza Mayor de Mérida", {5000, 6000, 0}, 200, 4550)};
    prueba_binshp::EscribeBin(carpeta / "hoja.bin", ida);
    OpcionesBinShp b = prueba_binshp::Opciones({carpeta / "hoja.bin"});
    b.dosD = false;
    ASSERT_TRUE(ProcesarBinShp(b, puerto).ejecutado);
    V vuelta;
    for (const char* capa : {"_L", "_P", "_X", "_TL"}) {
        o = {};
        ShpElegido(o.seleccion, carpeta / "hoja.shp", carpeta.Ruta());
        EligeTablaDbf1(o.seleccion, 9, "1 CODIGO");
        o.chkTextos = std::string(capa) == "_TL";
        if (o.chkTextos) {
            EligeTablaDbfTexto(o.seleccion, 0, "2 TEXT");
            EligeTablaDbfTexto(o.seleccion, 3, "3 ROTATION");
            o.txtTextoAltura = "2";
        }
        for (const auto& e : Convierte(carpeta / ("hoja" + std::string(capa) + ".shp")))
            vuelta.push_back(e);
        EXPECT_TRUE(r.escrito && r.registrosErroneos.empty()) << r.error;
    }
    EXPECT_EQ(vuelta,
              (V{"C= 1001: (-150 4000 12) (250 4100 15) (300 -4200 -7)",
                 "C= 1002: (0 0 5) (0 1000 5) (1000 1000 5) (1000 0 5) (0 0 5)",
                 "C= 1003: (0 0 0) (0 1000 0) (1000 1000 0) (1000 0 0) (0 0 0)",
                 "C= 1004: (123456789 418234567 9)",
                 "T= 1005: (5000 6000 0) 'Plaza Mayor de Mérida' 200/0/4550 n" +
                     std::to_string(LeeBin(carpeta / "hoja.bin")[4].elemento.cabecera.npuntos)}));
}

// ---- The selection state ----

std::string Nombre(int16_t i) { return "CAMPO" + std::to_string(i); }

/// "table/record/rest" of a recorded attribute.
std::string A(const CampoAtributo& a) {
    return std::to_string(a.campoTabla) + "/" + std::to_string(a.campoRegistro) + "/" +
           a.campoResto;
}

/// Each selector's text, "+" when enabled.
std::string Vista(const std::optional<std::array<VistaSelector, 3>>& v) {
    std::string s;
    for (const auto& x : v.value()) s += x.texto + (x.habilitado ? "+" : "") + ";";
    return s;
}

SeleccionShp Elegido() {
    SeleccionShp s;
    EXPECT_EQ(A(s.camposAtributo.at(2)) + " " + std::to_string(s.indexCampoCodigo) + " " +
                  std::to_string(s.indexCampoZ),
              "0/0/ -1 0");
    EXPECT_EQ(ShpElegido(s, "/datos/hoja/vias.shp", "/datos/hoja/"), "Atributo 3");
    return s;
}

TEST(SeleccionShp, ColumnsOneAndTwoPointTheirFieldAndDisableTheOtherKind) {
    struct Caso {
        int index;
        std::string esperado;
        int atributo;
        std::vector<int> deshabilita;
    };
    for (const Caso& c : {Caso{0, "7/0/", 1, {2}},
                          {1, "0/7/", 1, {2}},
                          {2, "0/0/7", 1, {0, 1}},
                          {3, "7/0/", 2, {5}},
                          {4, "0/7/", 2, {5}},
                          {5, "0/0/7", 2, {3, 4}}}) {
        SCOPED_TRACE(c.index);
        SeleccionShp s = Elegido();
        const EfectoTablaDbf1 efecto = EligeTablaDbf1(s, c.index, "7 CAMPO7");
        EXPECT_EQ(A(Atributo(s, c.atributo)), c.esperado);
        EXPECT_EQ(efecto.deshabilitar, c.deshabilita);
        EXPECT_FALSE(efecto.entradaNueva);
        EXPECT_EQ(s.listaAtributos, V{"Atributo 3"});
    }
    SeleccionShp s = Elegido();
    EXPECT_TRUE(EligeTablaDbf1(s, 9, "12 CODIGO").deshabilitar.empty());
    EligeTablaDbfTexto(s, 2, "3 JUST");
    EligeTablaDbfZ(s, "5 COTA");
    EXPECT_EQ(s.indexCampoCodigo * 100 + s.indexCampoTexto_Justificacion * 10 + s.indexCampoZ,
              1235);
    EXPECT_THROW(EligeTablaDbf1(s, 10, "1 X"), ShpBinError);
    EXPECT_THROW(EligeTablaDbfTexto(s, 4, "1 X"), ShpBinError);
    EXPECT_THROW(EligeTablaDbf1(s, 9, "CODIGO"), ShpBinError);  // an entry without its index
    EXPECT_EQ(s.indexCampoCodigo, 12);
}

TEST(SeleccionShp, TheThirdColumnGrowsWithTheTableOrTheRestAndRemembersEachAttribute) {
    SeleccionShp s = Elegido();
    EXPECT_EQ(s.numAtributo * 10 + AtributoSiguiente(s), 33);
    // Only the record field of attribute 3: nothing grows, so attribute 3 is not converted.
    EfectoTablaDbf1 efecto = EligeTablaDbf1(s, 7, "4 REG");
    EXPECT_EQ(efecto.deshabilitar, std::vector<int>{8});
    EXPECT_FALSE(efecto.entradaNueva);
    EXPECT_EQ(AtributoSiguiente(s), 3);
    EXPECT_EQ(A(Atributo(s, 3)) + " " + A(s.camposAtributoExtra[0]), "0/4/-99 0/4/");
    efecto = EligeTablaDbf1(s, 6, "2 TAB");  // its table field: attribute 4 becomes the next one
    EXPECT_EQ(efecto.entradaNueva, "Atributo 4");
    EXPECT_EQ(s.camposAtributo.size() * 10 + s.camposAtributoExtra.size(), 42u);
    EXPECT_EQ(AtributoSiguiente(s), 4);
    ASSERT_TRUE(EligeAtributo(s, "Atributo 4", Nombre));  // by a rest field: both kinds cleared
    efecto = EligeTablaDbf1(s, 8, "9 RESTO");
    EXPECT_EQ(efecto.deshabilitar, (std::vector<int>{6, 7}));
    EXPECT_EQ(efecto.entradaNueva, "Atributo 5");
    EXPECT_EQ(A(Atributo(s, 4)) + " " + A(s.camposAtributoExtra[1]), "-99/-99/9 -99/-99/9");
    EXPECT_EQ(s.camposAtributo.size() * 10 + s.camposAtributoExtra.size(), 53u);

    EXPECT_EQ(Vista(EligeAtributo(s, "Atributo 3", Nombre)), "2 CAMPO2+;4 CAMPO4+;;");
    EXPECT_EQ(Vista(EligeAtributo(s, "Atributo 4", Nombre)), ";;9 CAMPO9+;");
    EXPECT_EQ(Vista(EligeAtributo(s, "Atributo 5", Nombre)), "+;+;+;");
    EXPECT_EQ(s.numAtributo, 5);
    // Changing the table field of an attribute already begun leaves what it remembers.
    ASSERT_TRUE(EligeAtributo(s, "Atributo 3", Nombre));
    EligeTablaDbf1(s, 6, "3 OTRA");
    EXPECT_EQ(Atributo(s, 3).campoTabla * 10 + s.camposAtributoExtra[0].campoTabla, 32);
    EXPECT_EQ(s.listaAtributos.size(), 3u);
    // Half-typed texts and numbers without a column keep the shown attribute.
    for (const char* texto : {"Atributo", "Atributo ", "Atrib", "Atributo x", "Atributo 1",
                              "Atributo 2", "Atributo 6", "Atributo -3"}) {
        EXPECT_FALSE(EligeAtributo(s, texto, Nombre)) << texto;
        EXPECT_EQ(s.numAtributo, 3);
    }
    // A second shapefile keeps what was recorded and does not list "Atributo 3" twice.
    ShpElegido(s, "/otra/rios.shp", "/otra/");
    EXPECT_EQ(s.tabladbf, "rios");
    EXPECT_EQ(s.listaAtributos.size(), 3u);
    EXPECT_EQ(s.numAtributo, 3);
}

// ---- The field listing ----

/// A table with fields of the given dBase types, named F0, F1, ...
void Tabla(const Carpeta& c, const std::string& nombre, const std::string& tipos) {
    std::vector<Campo> campos;
    for (size_t i = 0; i < tipos.size(); ++i)
        campos.push_back({"F" + std::to_string(i), tipos[i],
                          tipos[i] == 'D'   ? 8
                          : tipos[i] == 'L' ? 1
                                            : 10,
                          tipos[i] == 'F' ? 3 : 0});
    EscribeShape(c / (nombre + ".shp"), SHPT_POINT, campos, {});
}

TEST(DbfCampos, ListsFieldsByKindWithTheirTrueIndicesAfterCheckingTheTableName) {
    Carpeta c;
    PuertoAnotador puerto;
    const std::string d = c.Ruta();
    Tabla(c, "hoja", "NCDNFL");
    std::string tipos;
    for (const auto& campo : CamposDbf(d, "hoja"))
        tipos += campo.nombre + ":" + std::to_string(campo.tipo) + " ";
    EXPECT_EQ(tipos, "F0:5 F1:202 F2:133 F3:5 F4:5 F5:11 ");
    EXPECT_EQ(*RellenaCampos(d, "hoja", "TODOS", puerto), (V{"0 F0", "1 F1", "3 F3", "4 F4"}));
    EXPECT_EQ(*RellenaCampos(d, "hoja", "DOBLE", puerto), (V{"0 F0", "3 F3", "4 F4"}));
    EXPECT_EQ(*RellenaCampos(d, "hoja", "TEXTO", puerto), V{"1 F1"});
    EXPECT_TRUE(
        RellenaCampos(d, "hoja", "todos", puerto)->empty());  // the words are compared exactly
    EXPECT_EQ(ObtengoNombreCamposDbf(d, "hoja", 3), "F3");
    EXPECT_EQ(Falla([&] { ObtengoNombreCamposDbf(d, "hoja", 6); }), 9);
    EXPECT_TRUE(puerto.mensajes.empty());

    for (const char* t : {"ochoooo8", "nueveeee9", "con-guion"}) Tabla(c, t, "N");
    EXPECT_EQ(RellenaCampos(d, "ochoooo8", "TODOS", puerto)->size(), 1u);
    EXPECT_FALSE(RellenaCampos(d, "nueveeee9", "TODOS", puerto));
    EXPECT_FALSE(RellenaCampos(d, "con-guion", "TODOS", puerto));
    EXPECT_EQ(puerto.mensajes, V(2, kMensajeNombreTabla));
    EXPECT_EQ(ObtengoNombreCamposDbf(d, "nueveeee9", 0),
              "F0");  // the name lookup has no such check

    try {
        CamposDbf(d, "nohay");
        FAIL();
    } catch (const ShpBinError& e) {
        EXPECT_EQ(e.numero(), kFicheroNoEncontrado);
        EXPECT_NE(std::string(e.what()).find(d + "nohay.dbf"), std::string::npos);
    }
    std::ofstream(d + "roto.dbf") << "esto no es una tabla";
    EXPECT_THROW(CamposDbf(d, "roto"), ShpBinError);
}

TEST(DbfCampos, TablesOfOtherPrograms) {
    const std::string datos = std::string(PARVENZA_TEST_DATA) + "/shapefiles/";
    const auto mixtos = CamposDbf(datos, "mixed-properties");
    ASSERT_EQ(mixtos.size(), 2u);
    EXPECT_EQ(mixtos[0].nombre, "foo");
    EXPECT_EQ(mixtos[0].tipo * 1000 + mixtos[1].tipo, kCampoDoble * 1000 + kCampoTexto);
    EXPECT_EQ(CamposDbf(datos, "date-property")[0].tipo, kCampoFecha);
    EXPECT_EQ(CamposDbf(datos, "boolean-property")[0].tipo, kCampoLogico);
    EXPECT_TRUE(CamposDbf(datos, "empty").empty());
    EXPECT_EQ(CamposDbf(datos, "utf8-property")[0].nombre, "?");  // "☃", declared UTF-8
}

TEST(DbfCampos, EntriesAndTheirReading) {
    EXPECT_EQ(IndiceDeEntrada("12 NOMBRE CON ESPACIOS"), 12);
    EXPECT_EQ(IndiceDeEntrada("-99 X"), -99);
    EXPECT_EQ(IndiceDeEntrada("7"), 7);
    for (const char* mala : {"", " 3 X", "X 3", "3a X", "-"})
        EXPECT_THROW(IndiceDeEntrada(mala), ShpBinError) << mala;
    EXPECT_EQ(Falla([] { IndiceDeEntrada("40000 X"); }), 6);
    EXPECT_EQ(RutaTablaDbf("/d", "hoja") + RutaTablaDbf("/d/", "hoja"), "/d/hoja.dbf/d/hoja.dbf");
}

}  // namespace
}  // namespace parvenza
