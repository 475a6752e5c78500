// The BIN-to-shapefile driver on real BIN files written by the Digi library, its layers read
// back with shapelib and compared whole (type, fields, values, vertices).

#include <gtest/gtest.h>

#include <filesystem>

#include "converter/core/BinShp.h"
#include "converter/core/CapasShape.h"
#include "converter/core/tests/binshp_support.h"
#include "converter/core/tests/topologia_prueba.h"
#include "converter/shapefile/Shapefile.h"
#include "digi/DigiError.h"

namespace fs = std::filesystem;
using namespace parvenza;
using namespace parvenza::prueba_binshp;
using namespace parvenza::prueba_topologia;

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
    EXPECT_EQ(puerto.procesos, (std::vector<std::string>{"Procesando fichero...", "Pasada 1", "Pasada 2", "Pasada 3",
                                                         "Pasada 4", "Pasada 5", "Proceso Terminado"}));
    EXPECT_TRUE(puerto.mensajes.empty());
    EXPECT_EQ(puerto.ocupado, (std::vector<bool>{true, false}));
    // Ordinals are the element's place in the file (gaps within a layer); codes lose their
    // blanks; the counter-clockwise ring is turned round; a text line is 2.5 * 3 * 0.8 long.
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_P.shp")), "type 5\n" + kComunes +
                                                        "\n1|1802||0.00|(0 0)(0 10)(10 10)(10 0)(0 0)"
                                                        "\n4|1805||0.00|(0 0)(0 5)(5 5)(0 0)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_L.shp")), "type 3\n" + kComunes + "\n2|0203||0.00|(1 2)(3 4)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_X.shp")), "type 1\n" + kComunes + "\n3|0501||0.00|(7 8)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_TL.shp")), "type 3\n" + kComunes + "\n5|0901|abc|90.00|(10 20)(10 26)\n");

    // Rotation, Windows-1252 bytes kept, -180 degrees written as the 180 that fits ROTATION.
    EscribeBin(bin, {Texto("0901", "abc", {1000, 2000, 0}, 250, 0), Texto("0902", "A\xf1o", {0, 0, 0}, 100, 4500),
                     Texto("0903", "x", {0, 0, 0}, 100, -18000)});
    ProcesarBinShp(Opciones({bin}), puerto);
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_TL.shp")), "type 3\n" + kComunes +
                                                         "\n1|0901|abc|0.00|(10 20)(16 20)"
                                                         "\n2|0902|A\xf1o|45.00|(0 0)(1.69706 1.69706)"
                                                         "\n3|0903|x|180.00|(0 0)(-0.8 0)\n");
    OpcionesBinShp o = Opciones({bin});
    o.textosComoLineas = false;
    ProcesarBinShp(o, puerto);
    EXPECT_EQ(Resumen(LeeCapa(dir / "hoja_TX.shp")), "type 1\n" + kComunes +
                                                         "\n1|0901|abc|0.00|(10 20)\n2|0902|A\xf1o|45.00|(0 0)"
                                                         "\n3|0903|x|180.00|(0 0)\n");
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
    ASSERT_EQ(r.capas.size(), 3u);
    EXPECT_EQ(r.capas[0].tipo, 13);
    EXPECT_FALSE(fs::exists(dir / "z_P.shp"));
    // closed lines keep their stored order; a text's z1 on both vertices
    EXPECT_EQ(Resumen(LeeCapa(dir / "z_L.shp")), "type 13\n" + kComunes +
                                                     "\n1|1802||0.00|(0 0 0)(1 0 0)(1 1 0)(0 1 0)(0 0 0)"
                                                     "\n2|0203||0.00|(0.1 0.2 0.005)(0.3 0.4 0.006)"
                                                     "\n4|1805||0.00|(0 0 0)(0 0.5 0)(0.5 0.5 0)(0 0 0)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "z_X.shp")), "type 11\n" + kComunes + "\n3|0501||0.00|(0.7 0.8 0.9)\n");
    EXPECT_EQ(Resumen(LeeCapa(dir / "z_TL.shp")), "type 13\n" + kComunes + "\n5|0901|abc|90.00|(1 2 0.3)(1 2.6 0.3)\n");
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
    EXPECT_EQ(Resumen(LeeCapa(dir / "a_L.shp")), "type 3\n" + kComunes + "\n1|1||0.00|(0 0)(1 0)\n");
    EXPECT_EQ(LeeCapa(dir / "b_X.shp").registros.size(), 1u);
    for (const char* f : {"a_X.shp", "b_L.shp", "vacio_L.shp", "vacio_P.shp", "vacio_X.shp", "vacio_TL.shp"})
        EXPECT_FALSE(fs::exists(dir / f)) << f;

    OpcionesBinShp o = Opciones({dir / "x.bin"});
    o.catastro = true;
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    o.catastro = o.binElegido = false;
    EXPECT_FALSE(ProcesarBinShp(o, puerto).ejecutado);
    EXPECT_EQ(puerto.mensajes, (std::vector<std::string>{"No se ha elegido fichero MDB", "No se ha elegido fichero BIN"}));
    o.binElegido = true;
    try {
        ProcesarBinShp(o, puerto);
        FAIL() << "expected a missing BIN file";
    } catch (const brisquel::DigiError& e) {
        EXPECT_EQ(e.numero(), 53);
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
              "type 3\n" + kComunes + "\n2|0203||0.00|(1 2)(3 4)\n2|8||0.00|(0 0)(1 1)\n2|8||0.00|(0 0)(1 1)\n");
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_X.shp").registros.size(), 1u);  // no points appended
    ASSERT_EQ(r.capas.size(), 1u);
    EXPECT_EQ(r.capas[0].registros, 2);
    EXPECT_FALSE(fs::exists(dir / "mis_datos/otra_L.shp"));

    puerto.respuestas = {dir / "mis_datos/hoja.shp", ""};  // no "_": said, nothing written; cancel: silent
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
        EXPECT_EQ(e.numero(), 53);
        EXPECT_NE(std::string(e.what()).find("hoja_L.shp"), std::string::npos);
    }
    EXPECT_EQ(LeeCapa(dir / "mis_datos/hoja_P.shp").registros.size(), 2u);
    EXPECT_FALSE(puerto.ocupado.back());
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
    o.catastro = o.mdbElegido = true;
    o.dosD = false;  // hidden in cadastre mode: layers stay 2D to carry the cadastre fields
    PuertoGrabador puerto;
    GanchoGrabador gancho;
    ProcesarBinShp(o, puerto, &gancho);
    EXPECT_EQ(gancho.busquedas, 5 * 5);
    EXPECT_EQ(gancho.tipos, (std::vector<int16_t>{5, 5, 3, 1, 3}));
    EXPECT_EQ(gancho.bases, std::vector<std::string>{bin});
    for (auto [capa, tipo] : {std::pair{"c_P.shp", 5}, {"c_L.shp", 3}, {"c_X.shp", 1}, {"c_TL.shp", 3}}) {
        SCOPED_TRACE(capa);
        CapaLeida c = LeeCapa(dir / capa);
        EXPECT_EQ(c.tipo, tipo);
        std::string esperados = kComunes, leidos;
        for (const DefCampo& d : CamposCatastro(static_cast<int16_t>(tipo)))
            esperados += " " + std::string(d.nombre) + (d.tipo == 10 ? " C" : " N") + std::to_string(d.ancho) + "." +
                         std::to_string(d.decimales);
        EXPECT_EQ(Resumen(c).substr(Resumen(c).find('\n') + 1, esperados.size() + 1), esperados + "\n");
    }
    CapaLeida p = LeeCapa(dir / "c_P.shp");
    EXPECT_EQ(p.campos.size(), 22u);
    EXPECT_EQ(p.Valor(0, "MASA") + "," + p.Valor(0, "MAPA"), "M01,");  // untouched fields stay empty
    EXPECT_EQ(LeeCapa(dir / "c_L.shp").Valor(0, "CODIGO"), "9999");  // the lookup's code is written
    EXPECT_EQ(LeeCapa(dir / "c_TL.shp").campos.back().nombre, "ROTULO");

    Shapefile s;  // an append keeps the fields the layer has
    CreateFichShape(s, dir / "h.bin", 3, "_TL.shp", false, true);
    s.CloseShapefile();
    CreateFichShape(s, dir / "h.bin", 3, "_TL.shp", true, false);
    EXPECT_EQ(s.Fields().Count(), 13);
}

}  // namespace
