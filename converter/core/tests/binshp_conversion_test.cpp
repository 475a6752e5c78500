// The BIN-to-shapefile driver on real BIN files written by the Digi library, its layers read
// back with shapelib.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "converter/core/BinShp.h"
#include "converter/core/CapasShape.h"
#include "converter/core/tests/binshp_support.h"
#include "converter/shapefile/Shapefile.h"
#include "digi/DigiError.h"

namespace fs = std::filesystem;
using namespace parvenza;
using namespace parvenza::prueba_binshp;
using brisquel::Fpunto3d;

namespace {

OpcionesBinShp Opciones(std::vector<std::string> ficheros) {
    OpcionesBinShp o;
    o.ficheros = std::move(ficheros);
    o.binElegido = true;
    return o;
}

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

void EsperaCampos(const CapaLeida& capa, const std::vector<DefCampo>& esperados, size_t desde = 0) {
    ASSERT_GE(capa.campos.size(), desde + esperados.size());
    for (size_t i = 0; i < esperados.size(); ++i) {
        const CampoLeido& c = capa.campos[desde + i];
        EXPECT_EQ(c.nombre, esperados[i].nombre);
        EXPECT_EQ(c.tipo, esperados[i].tipo == 10 ? 'C' : 'N') << c.nombre;
        EXPECT_EQ(c.ancho, esperados[i].ancho) << c.nombre;
        EXPECT_EQ(c.decimales, esperados[i].decimales) << c.nombre;
    }
}

double AreaConSigno(const RegistroLeido& r) {
    double a = 0;
    for (size_t i = 1; i < r.x.size(); ++i) a += (r.x[i] - r.x[i - 1]) * (r.y[i] + r.y[i - 1]);
    return a / 2;  // positive: clockwise
}

TEST(BinShp, MixedSheetGivesOneLayerPerClassWithOrdinalsCodesAndClockwiseRings) {
    CarpetaTemporal dir;
    const std::string bin = dir / "hoja.bin";
    EscribeBin(bin, HojaMixta());
    PuertoGrabador puerto;
    ResultadoBinShp r = ProcesarBinShp(Opciones({bin}), puerto);

    ASSERT_TRUE(r.ejecutado);
    ASSERT_EQ(r.capas.size(), 4u);
    EXPECT_EQ(r.capas[0].ruta, dir / "hoja_P.shp");
    EXPECT_EQ(r.capas[0].registros, 2);
    EXPECT_EQ(r.capas[3].ruta, dir / "hoja_TL.shp");
    EXPECT_FALSE(fs::exists(dir / "hoja_TX.shp"));
    EXPECT_EQ(puerto.procesos,
              (std::vector<std::string>{"Procesando fichero...", "Pasada 1", "Pasada 2", "Pasada 3",
                                        "Pasada 4", "Pasada 5", "Proceso Terminado"}));
    EXPECT_TRUE(puerto.mensajes.empty());
    ASSERT_FALSE(puerto.ocupados.empty());
    EXPECT_TRUE(puerto.ocupados.front());
    EXPECT_FALSE(puerto.ocupados.back());

    CapaLeida p = LeeCapa(dir / "hoja_P.shp");
    EXPECT_EQ(p.tipo, 5);
    EXPECT_EQ(p.campos.size(), 4u);
    EsperaCampos(p, CamposComunes());
    ASSERT_EQ(p.registros.size(), 2u);
    EXPECT_EQ(p.Valor(0, "POLY_ID"), "1");  // ordinals in the file: gaps within a layer
    EXPECT_EQ(p.Valor(1, "POLY_ID"), "4");
    EXPECT_EQ(p.Valor(0, "CODIGO"), "1802");
    EXPECT_EQ(p.Valor(1, "CODIGO"), "1805");  // cleaned of its blanks
    EXPECT_EQ(p.Valor(0, "TEXT"), "");
    EXPECT_EQ(p.Valor(0, "ROTATION"), "0.00");
    for (const auto& reg : p.registros) {
        EXPECT_GT(AreaConSigno(reg), 0) << "rings are written clockwise";
        EXPECT_EQ(reg.x.front(), reg.x.back());
        EXPECT_EQ(reg.y.front(), reg.y.back());
    }
    EXPECT_EQ(p.registros[0].x.size(), 5u);
    EXPECT_EQ(p.registros[0].y[1], 10.0);  // the counter-clockwise ring was turned round

    CapaLeida l = LeeCapa(dir / "hoja_L.shp");
    EXPECT_EQ(l.tipo, 3);
    ASSERT_EQ(l.registros.size(), 1u);
    EXPECT_EQ(l.Valor(0, "POLY_ID"), "2");
    EXPECT_EQ(l.registros[0].x, (std::vector<double>{1, 3}));
    EXPECT_EQ(l.registros[0].y, (std::vector<double>{2, 4}));
    EXPECT_EQ(l.registros[0].partes, 1);

    CapaLeida x = LeeCapa(dir / "hoja_X.shp");
    EXPECT_EQ(x.tipo, 1);
    ASSERT_EQ(x.registros.size(), 1u);
    EXPECT_EQ(x.Valor(0, "POLY_ID"), "3");
    EXPECT_EQ(x.registros[0].x[0], 7);
    EXPECT_EQ(x.registros[0].y[0], 8);

    CapaLeida t = LeeCapa(dir / "hoja_TL.shp");
    EXPECT_EQ(t.tipo, 3);
    EsperaCampos(t, CamposComunes());
    ASSERT_EQ(t.registros.size(), 1u);
    EXPECT_EQ(t.Valor(0, "POLY_ID"), "5");
    EXPECT_EQ(t.Valor(0, "TEXT"), "abc");
    EXPECT_EQ(t.Valor(0, "ROTATION"), "90.00");
    // L = 2.5 * 3 * 0.8 = 6 along 90 degrees
    ASSERT_EQ(t.registros[0].x.size(), 2u);
    EXPECT_DOUBLE_EQ(t.registros[0].x[0], 10);
    EXPECT_DOUBLE_EQ(t.registros[0].y[0], 20);
    EXPECT_NEAR(t.registros[0].x[1], 10, 1e-9);
    EXPECT_NEAR(t.registros[0].y[1], 26, 1e-9);
}

TEST(BinShp, TextsAsLinesOrPointsWithRotationAndWindows1252Bytes) {
    CarpetaTemporal dir;
    const std::string bin = dir / "t.bin";
    EscribeBin(bin, {Texto("0901", "abc", {1000, 2000, 0}, 250, 0),
                     Texto("0902", "A\xf1o", {0, 0, 0}, 100, 4500),
                     Texto("0903", "x", {0, 0, 0}, 100, -18000)});
    PuertoGrabador puerto;
    ProcesarBinShp(Opciones({bin}), puerto);
    CapaLeida t = LeeCapa(dir / "t_TL.shp");
    ASSERT_EQ(t.registros.size(), 3u);
    // -180 degrees does not fit ROTATION's six places; the same angle does
    EXPECT_EQ(t.Valor(2, "ROTATION"), "180.00");
    EXPECT_NEAR(t.registros[2].x[1], -0.8, 1e-9);
    EXPECT_NEAR(t.registros[0].x[1], 16, 1e-9);
    EXPECT_NEAR(t.registros[0].y[1], 20, 1e-9);
    EXPECT_EQ(t.Valor(1, "TEXT"), "A\xf1o");  // the BIN file's bytes, unchanged
    EXPECT_EQ(t.Valor(1, "ROTATION"), "45.00");
    double l = 1 * 3 * 0.8;
    EXPECT_NEAR(t.registros[1].x[1], std::sin(M_PI / 4) * l, 1e-9);
    EXPECT_NEAR(t.registros[1].y[1], std::cos(M_PI / 4) * l, 1e-9);

    OpcionesBinShp o = Opciones({bin});
    o.textosComoLineas = false;
    ProcesarBinShp(o, puerto);
    CapaLeida x = LeeCapa(dir / "t_TX.shp");
    EXPECT_EQ(x.tipo, 1);
    ASSERT_EQ(x.registros.size(), 3u);
    EXPECT_EQ(x.registros[0].x, std::vector<double>{10});
    EXPECT_EQ(x.registros[0].y, std::vector<double>{20});
    EXPECT_EQ(x.Valor(0, "ROTATION"), "0.00");
    EXPECT_EQ(x.Valor(1, "ROTATION"), "45.00");
}

TEST(BinShp, ThreeDimensionsMillimetresAndClosedElementsAsLines) {
    CarpetaTemporal dir;
    const std::string bin = dir / "z.bin";
    EscribeBin(bin, HojaMixta());
    OpcionesBinShp o = Opciones({bin});
    o.dosD = false;
    o.divisor = 1000;
    o.cerradasComoLineas = true;
    PuertoGrabador puerto;
    ResultadoBinShp r = ProcesarBinShp(o, puerto);
    EXPECT_FALSE(fs::exists(dir / "z_P.shp"));
    CapaLeida l = LeeCapa(dir / "z_L.shp");
    EXPECT_EQ(l.tipo, 13);
    ASSERT_EQ(l.registros.size(), 3u);
    EXPECT_EQ(l.Valor(0, "POLY_ID"), "1");
    EXPECT_EQ(l.registros[0].x[1], 1.0);  // closed lines keep their stored order
    EXPECT_EQ(l.registros[1].z, (std::vector<double>{0.005, 0.006}));
    CapaLeida x = LeeCapa(dir / "z_X.shp");
    EXPECT_EQ(x.tipo, 11);
    EXPECT_EQ(x.registros[0].z[0], 0.9);
    CapaLeida t = LeeCapa(dir / "z_TL.shp");
    EXPECT_EQ(t.tipo, 13);
    EXPECT_EQ(t.registros[0].z, (std::vector<double>{0.3, 0.3}));  // z1 on both vertices
    EXPECT_NEAR(t.registros[0].y[1], 2 + 0.25 * 3 * 0.8, 1e-9);
    ASSERT_EQ(r.capas.size(), 3u);
    EXPECT_EQ(r.capas[0].tipo, 13);
}

TEST(BinShp, DeletedLastElementEmptyFileAndSeveralFiles) {
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
    CapaLeida la = LeeCapa(dir / "a_L.shp");
    ASSERT_EQ(la.registros.size(), 1u);
    EXPECT_EQ(la.Valor(0, "CODIGO"), "1");
    EXPECT_FALSE(fs::exists(dir / "a_X.shp"));
    EXPECT_EQ(LeeCapa(dir / "b_X.shp").registros.size(), 1u);
    EXPECT_FALSE(fs::exists(dir / "b_L.shp"));
    for (auto& e : fs::directory_iterator(dir.ruta()))
        EXPECT_NE(e.path().filename().string().rfind("vacio_", 0), 0u) << "no layer for an empty file";
}

TEST(BinShp, AppendCutsTheChosenFileNameAndRestartsOrdinalsWithoutPoints) {
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
    CapaLeida l = LeeCapa(dir / "mis_datos/hoja_L.shp");
    ASSERT_EQ(l.registros.size(), 3u);
    EXPECT_EQ(l.Valor(1, "POLY_ID"), "2");  // each file restarts at 1: the line is element 2
    EXPECT_EQ(l.Valor(2, "POLY_ID"), "2");
    EXPECT_EQ(l.Valor(1, "CODIGO"), "8");
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_X.shp").registros.size(), 1u);  // no points appended
    ASSERT_EQ(r.capas.size(), 1u);
    EXPECT_EQ(r.capas[0].registros, 2);
    EXPECT_FALSE(fs::exists(dir / "mis_datos/otra_L.shp"));

    // a file name without "_" says so and writes nothing
    puerto.respuestas = {dir / "mis_datos/hoja.shp"};
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    ASSERT_EQ(puerto.mensajes.size(), 1u);
    EXPECT_NE(puerto.mensajes[0].find("\"_\""), std::string::npos);
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_L.shp").registros.size(), 3u);

    // cancelling the chooser ends without a message
    puerto.respuestas = {""};
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    EXPECT_EQ(puerto.mensajes.size(), 1u);

    // a layer missing from the chosen set stops the run; what was finished stays
    fs::remove(dir / "mis_datos/hoja_L.shp");
    puerto.respuestas = {dir / "mis_datos/hoja_P.shp"};
    try {
        ProcesarBinShp(o, puerto);
        FAIL() << "expected a missing layer";
    } catch (const ShapefileError& e) {
        EXPECT_EQ(e.numero(), 53);
        EXPECT_NE(std::string(e.what()).find("hoja_L.shp"), std::string::npos);
    }
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_P.shp").registros.size(), 2u);
    EXPECT_FALSE(puerto.ocupados.back());
}

TEST(BinShp, ChecksBeforeTheRunAndAMissingBinFile) {
    CarpetaTemporal dir;
    PuertoGrabador puerto;
    OpcionesBinShp o = Opciones({dir / "x.bin"});
    o.catastro = true;
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    o.catastro = false;
    o.binElegido = false;
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    EXPECT_EQ(puerto.mensajes,
              (std::vector<std::string>{"No se ha elegido fichero MDB", "No se ha elegido fichero BIN"}));
    o.binElegido = true;
    try {
        ProcesarBinShp(o, puerto);
        FAIL() << "expected a missing BIN file";
    } catch (const brisquel::DigiError& e) {
        EXPECT_EQ(e.numero(), 53);
    }
    EXPECT_FALSE(fs::exists(dir / "x.bin"));  // reading never creates the input
}

/// Records what the driver asks of the cadastre hook.
class GanchoGrabador : public GanchoCatastro {
public:
    void Busca(const brisquel::tipo_entidad&, std::string& codigo) override {
        ++busquedas;
        if (codigo == "0203") codigo = "9999";
    }
    void PonCampos(Shapefile& escritor, int16_t tipoCapa) override {
        tipos.push_back(tipoCapa);
        if (tipoCapa == 5) escritor.Fields().Item("masa").Value("M01");
    }
    void Genera(const std::string& rutaBase, Puerto&) override { bases.push_back(rutaBase); }
    int busquedas = 0;
    std::vector<int16_t> tipos;
    std::vector<std::string> bases;
};

TEST(BinShp, CadastreModeCallsItsHookAndUsesTheTwoDimensionalSchemas) {
    CarpetaTemporal dir;
    const std::string bin = dir / "c.bin";
    EscribeBin(bin, HojaMixta());
    OpcionesBinShp o = Opciones({bin});
    o.catastro = true;
    o.mdbElegido = true;
    o.dosD = false;  // hidden in cadastre mode: layers stay 2D to carry the cadastre fields
    PuertoGrabador puerto;
    GanchoGrabador gancho;
    ProcesarBinShp(o, puerto, &gancho);
    EXPECT_EQ(gancho.busquedas, 5 * 5);
    EXPECT_EQ(gancho.tipos, (std::vector<int16_t>{5, 5, 3, 1, 3}));
    EXPECT_EQ(gancho.bases, std::vector<std::string>{bin});

    CapaLeida p = LeeCapa(dir / "c_P.shp");
    EXPECT_EQ(p.tipo, 5);
    ASSERT_EQ(p.campos.size(), 22u);
    EsperaCampos(p, CamposCatastro(5), 4);
    EXPECT_EQ(p.Valor(0, "MASA"), "M01");
    EXPECT_EQ(p.Valor(0, "MAPA"), "");  // untouched cadastre fields stay empty
    CapaLeida l = LeeCapa(dir / "c_L.shp");
    ASSERT_EQ(l.campos.size(), 13u);
    EsperaCampos(l, CamposCatastro(3), 4);
    EXPECT_EQ(l.Valor(0, "CODIGO"), "9999");  // the lookup's code is the one written
    EXPECT_EQ(LeeCapa(dir / "c_X.shp").campos.size(), 13u);
    EXPECT_EQ(LeeCapa(dir / "c_TL.shp").campos.back().nombre, "ROTULO");
}

TEST(CreateFichShape, NamesLayersAndAddsCadastreFieldsOnlyTo2DTypes) {
    EXPECT_EQ(RutaCapa("/datos/hoja.bin", "_P.shp"), "/datos/hoja_P.shp");
    CarpetaTemporal dir;
    Shapefile s;
    CreateFichShape(s, dir / "h.bin", 13, "_TL.shp", false, true);
    EXPECT_EQ(s.Fields().Count(), 4);
    CreateFichShape(s, dir / "h.bin", 3, "_TL.shp", false, true);
    EXPECT_EQ(s.Fields().Count(), 13);
    EXPECT_EQ(s.Fields().Item(5).Name(), "MAPA");
    s.CloseShapefile();
    CreateFichShape(s, dir / "h.bin", 3, "_TL.shp", true, false);  // append keeps them all
    EXPECT_EQ(s.Fields().Count(), 13);
}

}  // namespace
