// The BIN-to-shapefile band on real BIN files written by the Digi library, layers read back
// with shapelib and compared whole (type, fields, values, vertices). Then the cadastre: the
// topology loaded from the real Access fixtures; the lookup of each element in the topology, one
// element after another on the same hook as a run makes them; whole runs, a BIN file written by the
// Digi library converted by the driver with the cadastre hook over a real topology, the layers read
// back with shapelib.

#include "converter/core/BinShp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

#include "comun/Error.h"
#include "converter/core/CapasShape.h"
#include "converter/core/Catastro.h"
#include "converter/core/CatastroGenera.h"
#include "converter/core/Topologia.h"
#include "converter/core/tests/binshp_support.h"
#include "converter/core/tests/topologia_prueba.h"
#include "converter/shapefile/Shapefile.h"
#include "converter/shapefile/tests/limite_prueba.h"
#include "digi/DigiError.h"
#include "tests/robustez/Robustez.h"

namespace parvenza {
namespace {

namespace fs = std::filesystem;
using brisquel::Fatrib;
using brisquel::tipo_entidad;
using namespace prueba_binshp;
using namespace prueba_topologia;
using robustez::ErrorDe;

/// Two polygons (one counter-clockwise), an open line, a point and a text, in mixed order.
std::vector<brisquel::tipo_entidad> HojaMixta() {
    return {
        Linea("1802", {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 1000, 0}, {0, 0, 0}}),  // ccw
        Linea("0203", {{100, 200, 5}, {300, 400, 6}}),
        Linea("0501", {{700, 800, 900}}),
        Linea("  1805", {{0, 0, 0}, {0, 500, 0}, {500, 500, 0}, {0, 0, 0}}),  // clockwise
        Texto("0901", "abc", {1000, 2000, 300}, 250, 9000),
    };
}

/// Every file of `dir` but the sheets, by name, as bytes; the date in a dBase header (bytes
/// 1-3) is masked.
std::map<std::string, std::string> Ficheros(const fs::path& dir) {
    auto v = prueba::Contenido(dir, {".bin"});
    for (auto& [nombre, bytes] : v)
        if (nombre.ends_with(".dbf") && bytes.size() > 4) bytes.replace(1, 3, "AMD");
    return v;
}

// Layers written by an earlier version of the driver, kept as test data: a change of how
// records are built or written must not change one byte of them.
TEST(BinShp, LayersByteForByteAsTheReferenceRunWroteThem) {
    struct Caso {
        const char* nombre;
        const char* bin;
        bool mm, tresD, cerradasComoLineas, textosComoPuntos;
    };
    const fs::path ref = fs::path(PARVENZA_TEST_DATA) / "binshp-referencia";
    const fs::path hoja = fs::path(PARVENZA_SOURCE_DIR) / "examples/hoja.bin";
    for (const Caso& c : {Caso{"hoja", "hoja", false, false, false, false},
                          Caso{"hoja-3d", "hoja", false, true, true, true},
                          Caso{"hoja-mm", "hoja", true, false, false, false},
                          Caso{"mixta", "mixta", false, false, false, false},
                          Caso{"mixta-3d", "mixta", false, true, false, true}}) {
        SCOPED_TRACE(c.nombre);
        CarpetaTemporal tmp;
        const fs::path bin = tmp.ruta() / (std::string(c.bin) + ".bin");
        fs::copy_file(std::string(c.bin) == "hoja" ? hoja : ref / "mixta.bin", bin);
        OpcionesBinShp o = Opciones({bin.string()});
        o.divisor = c.mm ? 1000 : 100;
        o.dosD = !c.tresD;
        o.cerradasComoLineas = c.cerradasComoLineas;
        o.textosComoLineas = !c.textosComoPuntos;
        PuertoGrabador puerto;
        ProcesarBinShp(o, puerto);
        const auto esperados = Ficheros(ref / c.nombre);
        const auto escritos = Ficheros(tmp.ruta());
        for (const auto& [nombre, bytes] : esperados) {
            auto it = escritos.find(nombre);
            ASSERT_NE(it, escritos.end()) << nombre;
            EXPECT_TRUE(it->second == bytes) << nombre << " differs";
        }
        EXPECT_EQ(escritos.size(), esperados.size());
    }
}

const std::string kComunes = "POLY_ID N6.0 CODIGO C6.0 TEXT C50.0 ROTATION N6.2";

TEST(BinShp, OneLayerPerClassWithOrdinalsCodesClockwiseRingsAndTexts) {
    CarpetaTemporal dir;
    const std::string bin = dir / "hoja.bin";
    EscribeBin(bin, HojaMixta());
    PuertoGrabador puerto;
    ResultadoBinShp r = ProcesarBinShp(Opciones({bin}), puerto);
    ASSERT_TRUE(r.ejecutado);
    ASSERT_EQ(r.capas.size(), 4u);
    EXPECT_EQ(r.capas[0].ruta + " " + std::to_string(r.capas[0].registros), dir / "hoja_P.shp 2");
    EXPECT_FALSE(fs::exists(dir / "hoja_TX.shp"));
    EXPECT_TRUE(puerto.mensajes.empty());
    // Ordinals are the element's place in the file (gaps within a layer); codes lose their
    // blanks; the counter-clockwise ring is turned round; a text line is 2.5 * 3 * 0.8 long.
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_P.shp")),
              "type 5\n" + kComunes +
                  "\n1|1802||0.00|(0 0)(0 10)(10 10)(10 0)(0 0)"
                  "\n4|1805||0.00|(0 0)(0 5)(5 5)(0 0)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_L.shp")),
              "type 3\n" + kComunes + "\n2|0203||0.00|(1 2)(3 4)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_X.shp")),
              "type 1\n" + kComunes + "\n3|0501||0.00|(7 8)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_TL.shp")),
              "type 3\n" + kComunes + "\n5|0901|abc|90.00|(10 20)(10 26)\n");
    // 3D and millimetres are the reference runs'; what they leave out: a text line in 3D takes
    // its point's z on both vertices.
    OpcionesBinShp z = Opciones({bin});
    z.dosD = false;
    z.divisor = 1000;
    ProcesarBinShp(z, puerto);
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_TL.shp")),
              "type 13\n" + kComunes + "\n5|0901|abc|90.00|(1 2 0.3)(1 2.6 0.3)\n");

    // Rotation, Windows-1252 bytes kept, -180 degrees written as the 180 that fits ROTATION.
    EscribeBin(bin, {Texto("0901", "abc", {1000, 2000, 0}, 250, 0),
                     Texto("0902", "A\xf1o", {0, 0, 0}, 100, 4500),
                     Texto("0903", "x", {0, 0, 0}, 100, -18000)});
    ProcesarBinShp(Opciones({bin}), puerto);
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_TL.shp")),
              "type 3\n" + kComunes +
                  "\n1|0901|abc|0.00|(10 20)(16 20)"
                  "\n2|0902|A\xf1o|45.00|(0 0)(1.69706 1.69706)"
                  "\n3|0903|x|180.00|(0 0)(-0.8 0)\n");
    OpcionesBinShp o = Opciones({bin});
    o.textosComoLineas = false;
    ProcesarBinShp(o, puerto);
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_TX.shp")),
              "type 1\n" + kComunes +
                  "\n1|0901|abc|0.00|(10 20)\n2|0902|A\xf1o|45.00|(0 0)"
                  "\n3|0903|x|180.00|(0 0)\n");
}

TEST(BinShp, DeletedLastElementEmptyFileSeveralFilesAndChecksBeforeTheRun) {
    CarpetaTemporal dir;
    const std::string a = dir / "a.bin", b = dir / "b.bin", vacio = dir / "vacio.bin";
    EscribeBin(a, {Linea("1", {{0, 0, 0}, {100, 0, 0}}), Linea("2", {{0, 0, 0}, {200, 0, 0}})});
    BorraElemento(a, 2);
    EscribeBin(b, {Linea("3", {{500, 500, 0}})});
    EscribeBin(vacio, {});
    PuertoGrabador puerto;
    ResultadoBinShp r = ProcesarBinShp(Opciones({a, vacio, b}), puerto);
    ASSERT_TRUE(r.ejecutado);
    ASSERT_EQ(r.capas.size(), 2u);
    EXPECT_EQ(Resumen(LeeCapa(dir / "a_L.shp")),
              "type 3\n" + kComunes + "\n1|1||0.00|(0 0)(1 0)\n");
    EXPECT_EQ(LeeCapa(dir / "b_X.shp").registros.size(), 1u);
    for (const char* f :
         {"a_X.shp", "b_L.shp", "vacio_L.shp", "vacio_P.shp", "vacio_X.shp", "vacio_TL.shp"})
        EXPECT_FALSE(fs::exists(dir / f)) << f;

    // Sheets whose layers would take the same names: refused before anything is written.
    EscribeBin(dir / "a.BIN", {Linea("3", {{500, 500, 0}})});
    EXPECT_FALSE(ProcesarBinShp(Opciones({dir / "a.BIN", b, a}), puerto).ejecutado);
    ASSERT_EQ(puerto.mensajes.size(), 1u);
    EXPECT_EQ(puerto.mensajes[0], dir / "a.BIN" + " y " + a +
                                      " darían las mismas capas (a_*.shp); no se ha convertido "
                                      "ninguno");
    EXPECT_EQ(LeeCapa(dir / "a_L.shp").registros.size(), 1u);  // the earlier run's layers
    fs::remove(dir / "a.BIN");
    puerto.mensajes.clear();

    OpcionesBinShp o = Opciones({dir / "x.bin"});
    o.catastro = true;
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    o.catastro = o.binElegido = false;
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    EXPECT_EQ(puerto.mensajes, (std::vector<std::string>{"No se ha elegido fichero MDB",
                                                         "No se ha elegido fichero BIN"}));
    o.binElegido = true;
    try {
        ProcesarBinShp(o, puerto);
        FAIL() << "expected a missing BIN file";
    } catch (const Error& e) {
        EXPECT_EQ(e.numero(), kFicheroNoEncontrado);
        EXPECT_EQ(e.what(), dir / "x.bin" + ": no existe el fichero");  // named once
    }
    EXPECT_FALSE(fs::exists(dir / "x.bin"));  // reading never creates the input
}

TEST(BinShp, AppendCutsTheChosenFileNameAtItsFirstUnderscoreAndRestartsOrdinalsWithoutPoints) {
    CarpetaTemporal dir;
    fs::create_directories(dir.ruta() / "mis_datos");
    const std::string hoja = dir / "mis_datos/hoja.bin", otra = dir / "mis_datos/otra.bin";
    EscribeBin(hoja, HojaMixta());
    EscribeBin(otra, {Linea("7", {{0, 0, 0}}), Linea("8", {{0, 0, 0}, {100, 100, 0}})});
    PuertoGrabador puerto;
    ProcesarBinShp(Opciones({hoja}), puerto);
    OpcionesBinShp o = Opciones({otra, otra});
    o.anexar = true;
    puerto.respuestas = {dir / "mis_datos/hoja_L.shp"};
    ResultadoBinShp r = ProcesarBinShp(o, puerto);
    ASSERT_TRUE(r.ejecutado);
    EXPECT_EQ(puerto.filtros.back(), "Fichero SHP (*.shp)|*.shp");
    EXPECT_EQ(Resumen(LeeCapa(dir / "mis_datos/hoja_L.shp")),
              "type 3\n" + kComunes +
                  "\n2|0203||0.00|(1 2)(3 4)\n2|8||0.00|(0 0)(1 1)\n2|8||0.00|(0 0)(1 1)\n");
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_X.shp").registros.size(), 1u);  // no points appended
    ASSERT_EQ(r.capas.size(), 1u);
    EXPECT_EQ(r.capas[0].registros, 2);
    EXPECT_FALSE(fs::exists(dir / "mis_datos/otra_L.shp"));

    puerto.respuestas = {dir / "mis_datos/hoja.shp",
                         ""};  // no "_": said, nothing written; cancel: silent
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    ASSERT_EQ(puerto.mensajes.size(), 1u);
    EXPECT_NE(puerto.mensajes[0].find("\"_\""), std::string::npos);
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_L.shp").registros.size(), 3u);

    // a layer missing from the chosen set stops the run; what was finished stays
    fs::remove(dir / "mis_datos/hoja_L.shp");
    puerto.respuestas = {dir / "mis_datos/hoja_P.shp"};
    try {
        ProcesarBinShp(o, puerto);
        FAIL() << "expected a missing layer";
    } catch (const ShapefileError& e) {
        EXPECT_EQ(e.numero(), kFicheroNoEncontrado);
        EXPECT_NE(std::string(e.what()).find("hoja_L.shp"), std::string::npos);
    }
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_P.shp").registros.size(), 2u);
    EXPECT_FALSE(puerto.ocupado.back());
}

// A cadastre run's layers carry its fields; an append to them outside that mode keeps them.
TEST(CapasEnObra, AnAppendKeepsTheFieldsTheLayerHas) {
    CarpetaTemporal dir;
    Shapefile s;
    CapasEnObra nuevas, anexo;
    nuevas.CreateFichShape(s, dir / "h.bin", 3, "_TL.shp", false, true);
    s.CloseShapefile();
    nuevas.Confirma();
    anexo.CreateFichShape(s, dir / "h.bin", 3, "_TL.shp", true, false);
    EXPECT_EQ(s.Fields().Count(), 13);
}

// ---- The cadastre ----

tipo_entidad Tramo(const std::string& codigo, std::vector<Fatrib> atributos = {}) {
    return Linea(codigo, {{0, 0, 0}, {300, 400, 0}}, std::move(atributos));
}
tipo_entidad Punto(const std::string& codigo) { return Linea(codigo, {{500, 600, 700}}); }

std::vector<tipo_entidad> Hoja() {
    return {
        Cuadrado("1802", {{150, 12, ""}}),            // masa: block 3
        Cuadrado("1805", {{151, 24, ""}}),            // parcela: block 3, second parcel
        Cuadrado("1808", {{152, 31, ""}}),            // constru: parcel 102's first
        Cuadrado("1999", {{1, 0, "1805"}}),           // parcela, no lookup
        Cuadrado("1241"),                             // a street code in polygons: dropped
        Tramo("1241"),                                // ejes
        Tramo("1001"),                                // limites
        Tramo("1403"),                                // elemlin: altipun only from points
        Tramo("1805", {{151, 24, ""}}),               // elemlin, no parcel values
        Punto("1403"),                                // altipun
        Punto("0500"),                                // elempun
        Texto("0700", "Calle", {10, 20, 0}, 250, 0),  // elemtex
    };
}

std::string Nombres(const CapaLeida& capa) {
    std::string n;
    for (const auto& c : capa.campos) n += (n.empty() ? "" : " ") + c.nombre;
    return n;
}

struct Corrida {
    std::vector<tipo_manzana> manzanas;
    PuertoGrabador puerto;

    Corrida() : manzanas(Basica()) {}
    // One cadastre run of `bins` whose set goes to `carpeta`.
    void Ejecuta(const std::vector<std::string>& bins, const std::string& carpeta) {
        OpcionesBinShp o = Opciones(bins);
        o.mdbElegido = o.catastro = true;
        o.dosD = false;  // hidden 3D choice: cadastre layers are 2D all the same
        Catastro gancho(manzanas, carpeta);
        ResultadoBinShp r = ProcesarBinShp(o, puerto, &gancho);
        ASSERT_TRUE(r.ejecutado);
    }
};

TEST(GeneraShpCatastro, CorridaCompleta) {
    CarpetaTemporal tmp;
    fs::create_directory(tmp / "bin");
    fs::create_directory(tmp / "capas");
    const std::string bin = tmp / "bin/hoja.bin";
    EscribeBin(bin, Hoja());
    Corrida corrida;
    corrida.Ejecuta({bin}, tmp / "capas/");

    // Intermediate layers stay beside the BIN file; the set goes to the chosen folder.
    EXPECT_TRUE(fs::exists(tmp / "bin/hoja_P.shp"));
    EXPECT_FALSE(fs::exists(tmp / "bin/masa.shp"));
    const std::string capas = tmp / "capas/";
    EXPECT_FALSE(fs::exists(capas + "subparce.shp"));
    for (const auto& f : fs::directory_iterator(capas))
        EXPECT_NE(f.path().filename().string()[0], '.') << "scratch folder left behind";

    // Each layer: its type, final field list, record count and the values that matter.
    const std::string comunes = "MAPA DELEGACIO MUNICIPIO ",
                      areas = "MASA HOJA TIPO COORX COORY NUMSYMBOL AREA FECHAALTA FECHABAJA";
    const std::string lineas = comunes + "TTGGSS VIA NUMSYMBOL FECHAALTA FECHABAJA";
    struct Capa {
        const char* nombre;
        int tipo;
        std::string campos;
        std::vector<std::pair<const char*, std::vector<std::string>>> valores;
    };
    const Capa capas_[] = {
        {"masa", 5, comunes + areas, {{"MASA", {"45303"}}, {"AREA", {"2000.00"}}}},
        {"parcela",
         5,
         comunes + areas + " PARCELA VIA NUMERO NUMERODUP",  // the 1999 polygon: no values
         {{"MASA", {"45303", ""}},
          {"PARCELA", {"02", ""}},
          {"AREA", {"1200.00", "0.00"}},
          {"VIA", {"610", "0"}},
          {"NUMERO", {"11", "0"}}}},
        {"constru",
         5,
         comunes + areas + " PARCELA CONSTRU",
         {{"CONSTRU", {"A"}}, {"PARCELA", {"02"}}, {"MASA", {"45301"}}, {"AREA", {"400.50"}}}},
        {"ejes", 3, lineas, {{"TTGGSS", {""}}}},
        {"limites", 3, lineas, {{"TTGGSS", {""}}}},
        {"elemlin", 3, lineas, {{"VIA", {"", ""}}}},  // a line gets no parcel values
        {"altipun", 1, comunes + "TTGGSS NUMSYMBOL FECHAALTA FECHABAJA COTA", {{"TTGGSS", {""}}}},
        {"elempun",
         1,
         comunes + "TTGGSS ATRIBUTO NUMSYMBOL FECHAALTA FECHABAJA",
         {{"TTGGSS", {""}}}},
        {"elemtex",
         3,
         "POLY_ID CODIGO TEXT ROTATION " + comunes +
             "TTGGSS VIA NUMSYMBOL FECHAALTA FECHABAJA ROTULO",
         {{"TEXT", {"Calle"}}, {"POLY_ID", {"12"}}}},
    };
    for (const Capa& c : capas_) {
        SCOPED_TRACE(c.nombre);
        CapaLeida capa = LeeCapa(capas + c.nombre + ".shp");
        EXPECT_EQ(capa.tipo, c.tipo);
        EXPECT_EQ(Nombres(capa), c.campos);
        ASSERT_EQ(capa.registros.size(), c.valores[0].second.size());
        for (const auto& [campo, valores] : c.valores)
            for (size_t i = 0; i < valores.size(); ++i)
                EXPECT_EQ(capa.Valor(i, campo), valores[i]) << campo << i;
    }
    EXPECT_EQ(LeeCapa(capas + "parcela.shp").registros[0].x.size(), 5u) << "geometry copied";
    EXPECT_EQ(LeeCapa(capas + "altipun.shp").registros[0].x[0], 5);

    const auto& p = corrida.puerto.procesos;  // four polygon layers split
    auto desde = std::find(p.begin(), p.end(), "Generando shp Catastro");
    ASSERT_NE(desde, p.end());
    EXPECT_EQ(std::count(desde, p.end(), "Procesando fichero Shape..."), 4);
    EXPECT_EQ(p.back(), "Proceso TERMINADO");
}

TEST(GeneraShpCatastro, CadaCorridaRehaceElConjunto) {
    CarpetaTemporal tmp;
    const std::string a = tmp / "a.bin", b = tmp / "b.bin";
    EscribeBin(a, {Cuadrado("1802", {{150, 10, ""}}), Tramo("1241")});
    EscribeBin(b, {Cuadrado("1805", {{151, 20, ""}})});
    // Left by earlier runs: a subparce layer, and a masa whose companions are gone.
    for (const char* f : {"subparce.shp", "subparce.dbf", "subparce.shx", "masa.shp"})
        std::ofstream(tmp / f) << "x";

    Corrida corrida;
    corrida.Ejecuta({a}, tmp.ruta().string());
    EXPECT_FALSE(fs::exists(tmp / "subparce.shp") || fs::exists(tmp / "subparce.dbf"));
    EXPECT_EQ(LeeCapa(tmp / "masa.shp").Valor(0, "MASA"), "45301");
    EXPECT_TRUE(fs::exists(tmp / "ejes.shp"));

    // Two files in one run: only the last one's layers are split. Layers it does not
    // produce are gone, though the run before made them.
    corrida.Ejecuta({a, b}, tmp.ruta().string());
    EXPECT_FALSE(fs::exists(tmp / "masa.shp") || fs::exists(tmp / "masa.dbf") ||
                 fs::exists(tmp / "ejes.shp"));
    CapaLeida parcela = LeeCapa(tmp / "parcela.shp");
    ASSERT_EQ(parcela.registros.size(), 1u);
    EXPECT_EQ(parcela.Valor(0, "PARCELA") + " " + parcela.Valor(0, "NUMERO"), "01 15");
}

// An intermediate polygon layer made by hand, with `campos` after POLY_ID.
void CapaIntermedia(const std::string& ruta, int tipo, const std::vector<std::string>& campos,
                    const std::vector<std::string>& codigos) {
    Shapefile shp;
    shp.Open(ruta, 1, tipo);
    shp.Fields().Add("POLY_ID", 4, 6, 0);
    for (const auto& c : campos) shp.Fields().Add(c, 10, 6);
    shp.CommitFieldDefinitions();
    for (const auto& codigo : codigos) {
        if (codigo != "<nulo>") shp.Fields().Item(2).Value(codigo);
        shp.Vertices().Add(1, 1);
        if (tipo != 1) shp.Vertices().Add(2, 3);
        if (tipo == 5) shp.Vertices().Add(3, 1);
        shp.WriteRecord();
    }
}

/// The layers lying beside `bin`, as a run that wrote them all would hand them over.
CapasDeHoja CapasJunto(const std::string& bin) {
    CapasDeHoja capas;
    for (const char* sufijo : kSufijosCapa)
        if (fs::exists(RutaCapa(bin, sufijo)))
            capas[sufijo] = {RutaCapa(bin, sufijo), RutaCapa(bin, sufijo)};
    return capas;
}

TEST(GeneraShpCatastro, CapaIntermediaSinCodigoNoTocaElConjuntoAnterior) {
    CarpetaTemporal tmp;
    const std::string bin = tmp / "hoja.bin";
    EscribeBin(bin, {Cuadrado("1802", {{150, 10, ""}}), Tramo("1001")});
    Corrida corrida;
    corrida.Ejecuta({bin}, tmp.ruta().string());
    const std::string masa = robustez::Lee(tmp / "masa.dbf"),
                      limites = robustez::Lee(tmp / "limites.shp");

    // The line layer is fine; the polygon layer's second field is not CODIGO.
    CapaIntermedia(tmp / "hoja_L.shp", 3, {"CODIGO"}, {"1241"});
    CapaIntermedia(tmp / "hoja_P.shp", 5, {"NOMBRE", "CODIGO"}, {"1802", "1805"});
    PuertoGrabador puerto;
    try {
        GeneraShpCatastro(CapasJunto(bin), tmp.ruta().string(), puerto)->Coloca();
        FAIL() << "a layer without CODIGO second was split";
    } catch (const ShapefileError& e) {
        EXPECT_NE(std::string(e.what()).find(tmp / "hoja_P.shp"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("CODIGO"), std::string::npos);
    }
    EXPECT_EQ(robustez::Lee(tmp / "masa.dbf") + robustez::Lee(tmp / "limites.shp"), masa + limites);
    EXPECT_FALSE(fs::exists(tmp / "ejes.shp"));
    for (const auto& f : fs::directory_iterator(tmp.ruta()))
        EXPECT_NE(f.path().filename().string()[0], '.') << "scratch folder left behind";
}

TEST(GeneraShpCatastro, CodigoNuloYCarpetaQueNoExiste) {
    CarpetaTemporal tmp;
    const std::string bin = tmp / "hoja.bin";
    CapaIntermedia(tmp / "hoja_P.shp", 5, {"CODIGO"}, {"<nulo>", " 1802 "});
    CapaIntermedia(tmp / "hoja_L.shp", 3, {"CODIGO"}, {"<nulo>"});
    CapaIntermedia(tmp / "hoja_X.shp", 1, {"codigo"}, {"<nulo>", "1403"});
    CapaIntermedia(tmp / "hoja_TX.shp", 1, {"CODIGO"}, {"0700"});
    PuertoGrabador puerto;
    GeneraShpCatastro(CapasJunto(bin), tmp.ruta().string(), puerto)->Coloca();
    CapaLeida masa = LeeCapa(tmp / "masa.shp");
    EXPECT_EQ(masa.registros.size(), 1u) << "the null code is not copied";
    // Made without the cadastre fields: every field would go, the code stays.
    EXPECT_EQ(Nombres(masa) + " " + masa.Valor(0, "CODIGO"), "CODIGO 1802");
    for (const char* capa : {"elemlin.shp", "elempun.shp", "altipun.shp"})
        EXPECT_EQ(LeeCapa(tmp / capa).registros.size(), 1u) << capa;
    EXPECT_FALSE(fs::exists(tmp / "elemtex.shp")) << "texts as points are not carried";
    EXPECT_EQ(
        std::count(puerto.procesos.begin(), puerto.procesos.end(), "Procesando fichero Shape..."),
        3);

    EXPECT_THROW(GeneraShpCatastro(CapasJunto(bin), tmp / "no-existe", puerto), Error);
    EXPECT_TRUE(ExisteFichero(tmp / "masa.shp"));
    EXPECT_FALSE(ExisteFichero(tmp.ruta().string()));
    EXPECT_FALSE(ExisteFichero(tmp / "nada.shp"));
}

struct Caso {
    const char* que;
    std::string codigo;
    std::vector<brisquel::Fatrib> atributos;
    std::string codigoFinal;
    std::string valores;  ///< "masa parcela constru area numero via", "-" for empty
};

std::string Valores(const ValoresCatastro& v) {
    std::ostringstream s;
    auto t = [](const std::string& x) { return x.empty() ? "-" : x; };
    s << t(v.masa) << " " << t(v.parcela) << " " << t(v.constru) << " " << v.area << " " << v.numero
      << " " << v.via;
    return s.str();
}

void Recorre(const std::vector<tipo_manzana>& m, const std::vector<Caso>& casos) {
    Catastro c(m, "/tmp");
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.que);
        std::string codigo = k.codigo;
        brisquel::tipo_entidad e;
        e.elemento.cabecera.tipo = "C=";
        e.elemento.cabecera.codigo = k.codigo;
        e.elemento.atributos = k.atributos;
        c.Busca(e, codigo);
        EXPECT_EQ(codigo, k.codigoFinal);
        EXPECT_EQ(Valores(c.Valores()), k.valores);
    }
}

TEST(CatastroBusca, EachLevelGivesItsNodeAndNothingIsHeldFromTheElementBefore) {
    Recorre(Basica(),
            {
                {"parcel: block 3's second",
                 "1805",
                 {{7, 1, ""}, {151, 24, ""}},
                 "1805",
                 "45303 02 - 1200 11 610"},
                {"block: no parcel held", "1802", {{150, 11, ""}}, "1802", "45302 - - 800.25 0 0"},
                {"subparcel", "1808", {{152, 32, ""}}, "1808", "45301 02 B 400 0 0"},
                {"the table's last attribute",
                 "1805",
                 {{151, 20, ""}, {151, 23, ""}},
                 "1805",
                 "45303 01 - 800 22 503"},
                {"record not in the topology", "1805", {{151, 999, ""}}, "1805", "- - - 0 0 0"},
                {"found again", "1805", {{151, 24, ""}}, "1805", "45303 02 - 1200 11 610"},
                {"no attribute of table 151", "1805", {{150, 24, ""}}, "1805", "- - - 0 0 0"},
                {"a block code looks in the blocks only",
                 "1802",
                 {{150, 20, ""}},
                 "1802",
                 "- - - 0 0 0"},
                {"found again", "1805", {{151, 24, ""}}, "1805", "45303 02 - 1200 11 610"},
                {"generic: table 1's code, no lookup",
                 "1999",
                 {{1, 5, "1805 "}, {151, 24, ""}},
                 "1805",
                 "- - - 0 0 0"},
                {"generic: the first of table 1",
                 "1999",
                 {{1, 5, "1241"}, {2, 1, "x"}, {1, 6, std::string("1001\0\0", 6)}},
                 "1001",
                 "- - - 0 0 0"},
                {"generic without table 1", "1999", {{2, 1, "1805"}}, "1999", "- - - 0 0 0"},
                {"only 1999 is generic", "1403", {{1, 1, "1805"}}, "1403", "- - - 0 0 0"},
            });
}

TEST(CatastroBusca, PrecedenceBetweenNodesOfTheSameRecord) {
    // Record 5: two blocks; record 77: parcels in block 1 (twice) and 2; record 9: subparcels
    // in two parcels of block 1.
    std::vector<tipo_manzana> m(2);
    m[0].Manzana = "M1", m[0].Registro = 5, m[0].Superficie = 1;
    m[1].Manzana = "M2", m[1].Registro = 5, m[1].Superficie = 2;
    m[0].Parcelas.resize(2);
    m[0].Parcelas[0].Parcela = "P1a", m[0].Parcelas[0].Registro = 77;
    m[0].Parcelas[1].Parcela = "P1b", m[0].Parcelas[1].Registro = 77;
    m[1].Parcelas.resize(1);
    m[1].Parcelas[0].Parcela = "P2", m[1].Parcelas[0].Registro = 77;
    m[0].Parcelas[0].Subparcelas.resize(2);
    m[0].Parcelas[0].Subparcelas[0].SubParcela = "S1", m[0].Parcelas[0].Subparcelas[0].Registro = 9;
    m[0].Parcelas[0].Subparcelas[1].SubParcela = "S2", m[0].Parcelas[0].Subparcelas[1].Registro = 9;
    m[0].Parcelas[1].Subparcelas.resize(1);
    m[0].Parcelas[1].Subparcelas[0].SubParcela = "S3", m[0].Parcelas[1].Subparcelas[0].Registro = 9;
    Recorre(m, {{"the first block", "1802", {{150, 5, ""}}, "1802", "M1 - - 1 0 0"},
                {"the last block with a match", "1805", {{151, 77, ""}}, "1805", "M2 P2 - 0 0 0"},
                {"the last parcel with a match, its first subparcel",
                 "1808",
                 {{152, 9, ""}},
                 "1808",
                 "M1 P1b S3 0 0 0"}});
}

// ---- The topology ----

const std::string kBasico =
    "1 '45301' 150 10 '' 2 1500.5\n"
    "  101 '01' 151 20 '' 1 500 15 700 0 '45301'\n"
    "    1001 'A' 152 30 '' 350 '01' '45301'\n"
    "  102 '02' 151 21 '' 2 600 9 800.5 1 '45301'\n"
    "    1002 'A' 152 31 '' 400.5 '02' '45301'\n"
    "    1003 'B' 152 32 '' 400 '02' '45301'\n"
    "2 '45302' 150 11 '' 1 800.25\n"
    "  103 '01' 151 22 '' 1 502 3 800.25 0 '45302'\n"
    "    1004 'A' 152 33 '' 800.25 '01' '45302'\n"
    "3 '45303' 150 12 'R1' 2 2000\n"
    "  104 '01' 151 23 '' 1 503 22 800 1 '45303'\n"
    "    1005 'A' 152 34 '' 800 '01' '45303'\n"
    "  105 '02' 151 24 '' 1 610 11 1200 0 '45303'\n"
    "    1006 'A' 152 35 '' 1200 '02' '45303'\n";

/// The loaded tree, one node a line, every field:
/// block: MsLink Manzana idTabla Registro Resto numParcelas Superficie
/// parcel: MsLink Parcela idTabla Registro Resto numSubparcelas Tvia Tpol Superficie Solar Manzana
/// subparcel: MsLink SubParcela idTabla Registro Resto Superficie Parcela Manzana
std::string Arbol(const std::vector<tipo_manzana>& m) {
    std::ostringstream s;
    auto t = [](const std::string& x) { return "'" + x + "'"; };
    for (const auto& b : m) {
        s << b.MsLink << " " << t(b.Manzana) << " " << b.idTabla << " " << b.Registro << " "
          << t(b.Resto) << " " << b.numParcelas << " " << b.Superficie << "\n";
        for (const auto& p : b.Parcelas) {
            s << "  " << p.MsLink << " " << t(p.Parcela) << " " << p.idTabla << " " << p.Registro
              << " " << t(p.Resto) << " " << p.numSubparcelas << " " << p.Tvia << " " << p.Tpol
              << " " << p.Superficie << " " << p.Solar << " " << t(p.Manzana) << "\n";
            for (const auto& u : p.Subparcelas)
                s << "    " << u.MsLink << " " << t(u.SubParcela) << " " << u.idTabla << " "
                  << u.Registro << " " << t(u.Resto) << " " << u.Superficie << " " << t(u.Parcela)
                  << " " << t(u.Manzana) << "\n";
        }
    }
    return s.str();
}

TEST(CargaTopologia, BasicNullsAndOrphansFieldByField) {
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m;
    bool hayError = false;
    int32_t codigo = 0;
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    EXPECT_TRUE(!hayError && codigo == 0 && puerto.mensajes.empty());
    EXPECT_EQ(puerto.ocupado, (std::vector<bool>{true, false}));
    // Blocks in table order; parcels and subparcels by MsLink (the rows list 102 first);
    // parcel 101 takes the first police-number row (15, not the later 17) and keeps its
    // NumTvia (500) with no via row; 102 keeps NumTpol (9) with no police-number row.
    EXPECT_EQ(Arbol(m), kBasico);
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    EXPECT_EQ(Arbol(m), kBasico) << "a second load into the same array rebuilds it";

    m = Carga("nulls.mdb", hayError, codigo);  // nulls read as 0 and ""
    EXPECT_FALSE(hayError);
    std::string nulos = kBasico;  // block 2's code and area are null
    for (size_t i; (i = nulos.find("'45302'")) != std::string::npos;) nulos.replace(i, 7, "''");
    EXPECT_EQ(Arbol(m), nulos.replace(nulos.find("1 800.25\n"), 8, "1 0"));

    // Parcel 106 (block 2) lacks subparcels, block 4 parcels: the whole file is still read
    // and the last code met is kept. (ElegirMdb's table checks each code's message.)
    m = Carga("orphan.mdb", hayError, codigo);
    EXPECT_TRUE(hayError);
    EXPECT_EQ(codigo, kManzanaSinParcelas);
    std::string huerfanos = kBasico + "4 '45304' 150 13 '' 0 99.5\n";
    huerfanos.insert(huerfanos.find("3 '45303'"), "  106 '03' 151 25 '' 0 505 1 300 0 '45302'\n");
    EXPECT_EQ(Arbol(m), huerfanos);
    // A table name with spaces after the wanted ones is not seen (before them it is refused).
    EXPECT_EQ(Carga("spaced-last.mdb", hayError, codigo).size(), 3u);
    EXPECT_FALSE(hayError);
}

TEST(CargaTopologia, FilesThatAreNotADatabaseAndMissingTablesOrColumns) {
    // Damaged pages are the robustness tests' (robustez_topologia_test).
    CarpetaTemporal tmp;
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m(1);
    m[0].Manzana = "anterior";
    bool hayError = false;
    int32_t codigo = 0;
    EXPECT_EQ(ErrorDe([&] {
                  CargaTopologia(tmp / "no-existe.mdb", m, hayError, codigo, puerto);
              }).substr(0, 3),
              "53 ");
    EXPECT_EQ(puerto.ocupado, (std::vector<bool>{true, false}));
    std::ofstream(tmp / "texto.mdb") << "esto no es una base de datos\n";
    EXPECT_NE(ErrorDe([&] {
                  CargaTopologia(tmp / "texto.mdb", m, hayError, codigo, puerto);
              }).find("texto.mdb"),
              std::string::npos);
    EXPECT_EQ(m.at(0).Manzana, "anterior") << "a failed load keeps the topology it had";
    EXPECT_FALSE(hayError);

    BaseDatos basica(Fixture("basic.mdb"));
    EXPECT_TRUE(ExisteTabla(basica, "UNIPARTVIA_BIN", puerto));
    EXPECT_FALSE(ExisteTabla(basica, "Otra_bin", puerto));
    const std::string columna = ErrorDe(
        [&] { basica.AbreRecordset("SELECT Parcela_bin.NoHay FROM Parcela_bin", "Parcela_bin"); });
    for (const char* s : {"Parcela_bin", "NoHay", "basic.mdb"})
        EXPECT_NE(columna.find(s), std::string::npos) << columna;
    BaseDatos sinEnlace(Fixture("missing-table.mdb"));
    EXPECT_NE(ErrorDe([&] {
                  sinEnlace.AbreRecordset("SELECT UniManPar_bin.MsLinkParcela FROM UniManPar_bin",
                                          "UniManPar_bin");
              }).find("no tiene la tabla UniManPar_bin"),
              std::string::npos);
    // A snapshot: HayRegistros leaves the cursor on the last row with the whole count.
    Recordset rs = basica.AbreRecordset("Parcela_bin", "Parcela_bin");
    ASSERT_TRUE(HayRegistros(rs));
    EXPECT_EQ(rs.RecordCount() * 1000 + rs.Entero("MSLINK"), 5104);
    rs.MoveFirst();
    EXPECT_EQ(rs.Entero("mslink"), 102) << "table order";
    Recordset vacio =
        basica.AbreRecordset("SELECT * FROM Parcela_bin WHERE MsLink = 0", "Parcela_bin");
    EXPECT_FALSE(HayRegistros(vacio));
    EXPECT_THROW(vacio.Entero("MsLink"), TopologiaError) << "no current row";
}

TEST(Recordset, ValueConversions) {
    auto v = [](Valor::Tipo t, int64_t e, double d, std::string s) {
        Valor x;
        x.tipo = t, x.entero = e, x.real = d, x.texto = std::move(s);
        return x;
    };
    Recordset rs(
        "T", "T", "x.mdb", {"a", "b", "c", "d", "e"},
        {{v(Valor::Real, 0, 2.5, ""), v(Valor::Real, 0, 3.5, ""),
          v(Valor::Entero, 3000000000LL, 0, ""), v(Valor::Texto, 0, 0, "Año"),
          v(Valor::Texto, 0, 0, " 12 ")},
         {v(Valor::Nulo, 0, 0, ""), v(Valor::Real, 0, -2.5, ""), v(Valor::Real, 0, 1234.5678, ""),
          v(Valor::Texto, 0, 0, "€"), v(Valor::Texto, 0, 0, "doce")}});
    EXPECT_EQ(rs.Entero("a") * 10 + rs.Entero("B"), 24);  // halves to even
    const std::string grande = ErrorDe([&] { rs.Entero("c"); });
    EXPECT_EQ(grande.substr(0, 2), "6 ");
    for (const char* s : {"columna c de la tabla T", "x.mdb"})
        EXPECT_NE(grande.find(s), std::string::npos) << grande;
    EXPECT_EQ(rs.Texto("d"), "A\xF1o") << "Windows-1252 bytes";
    EXPECT_EQ(rs.Entero("e"), 12);
    EXPECT_EQ(rs.Texto("c"), "3000000000");
    EXPECT_TRUE(rs.Booleano("e"));
    EXPECT_EQ(ErrorDe([&] { rs.Entero("f"); }),
              "9 La tabla T de la base de datos x.mdb no tiene la columna f");
    rs.MoveNext();
    EXPECT_EQ(rs.Entero("a") + rs.Doble("a") + rs.Booleano("a"), 0);
    EXPECT_EQ(rs.Texto("a"), "");
    EXPECT_EQ(rs.Entero("b"), -2);
    EXPECT_EQ(rs.Texto("c") + rs.Texto("d"), "1234.5678\x80");
    EXPECT_EQ(ErrorDe([&] { rs.Entero("e"); }).substr(0, 3), "13 ");
}

TEST(ElegirMdb, CancelarDejaSinElegirIncluidaUnaCargaAnterior) {
    PuertoGrabador puerto;
    Topologia topologia;
    puerto.respuestas = {Fixture("basic.mdb"), ""};
    EXPECT_TRUE(ElegirMdb(topologia, puerto));
    EXPECT_TRUE(topologia.MdbElegido);
    EXPECT_EQ(topologia.Manzanas.size(), 3u);

    EXPECT_FALSE(ElegirMdb(topologia, puerto));
    EXPECT_FALSE(topologia.MdbElegido);
    EXPECT_TRUE(puerto.mensajes.empty());
}

// Every failure of the load ends the program: FinDePrograma with the message, which the host
// shows; nothing is shown from here.
TEST(ElegirMdb, UnErrorTerminaElProgramaConSuMensaje) {
    const std::pair<std::string, std::string> casos[] = {
        {Fixture("missing-table.mdb"),
         "Deben existir las tablas :\nManzana_bin\nParcela_bin\nSubparcela_bin\nunimanpar_bin\n"
         "uniparsub_bin"},
        {Fixture("no-blocks.mdb"), "No existen registros en Manzana"},
        {Fixture("orphan.mdb"), "No existen registros en Parcela de una Manzana"},
        // before the wanted ones
        {Fixture("spaced-first.mdb"), "Nombre de tabla con espacios :\nTabla con espacios"},
        {"/no/existe/topo.mdb", "No se encuentra la base de datos /no/existe/topo.mdb"}};
    for (const auto& [ruta, mensaje] : casos) {
        PuertoGrabador puerto;
        Topologia topologia;
        puerto.respuestas = {ruta};
        try {
            ElegirMdb(topologia, puerto);
            ADD_FAILURE() << ruta << ": no error";
        } catch (const FinDePrograma& fin) {
            EXPECT_EQ(fin.what(), mensaje);
            EXPECT_EQ(fin.estado(), 1);
        }
        EXPECT_TRUE(puerto.mensajes.empty()) << ruta;
    }
}

}  // namespace
}  // namespace parvenza
