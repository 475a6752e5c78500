// ReadShape on shapefiles written here: codes, parts, coordinates, Z, texts and links.

#include <gtest/gtest.h>

#include "converter/core/ShpBin.h"
#include "converter/core/tests/shpbin_ayuda.h"

namespace parvenza {
namespace {

using namespace prueba;
using brisquel::tipo_entidad;

class ShpBinConversion : public ::testing::Test {
protected:
    ShpBinConversion() {
        o.ficheroShp = carpeta / "hoja.shp";
        o.ficheroBin = carpeta / "salida.bin";
        ShpElegido(o.seleccion, o.ficheroShp, carpeta.Ruta());
    }
    std::vector<tipo_entidad> Convierte() {
        resultado = ReadShape(o, puerto);
        EXPECT_TRUE(resultado.escrito) << resultado.error;
        return LeeBin(o.ficheroBin);
    }
    Carpeta carpeta;
    OpcionesShpBin o;
    PuertoAnotador puerto;
    ResultadoShpBin resultado;
};

TEST_F(ShpBinConversion, ElCodigoVieneDelCampoDeLaCajaODe9995) {
    EscribeShape(o.ficheroShp, SHPT_POINT, {{"COD", 'C', 10}, {"NUM", 'N', 10}},
                 {{{{{1, 2, 0}}}, {std::string("  0501 "), 140100.0}},
                  {{{{3, 4, 0}}}, {std::monostate{}, 7.0}}});
    o.txtCodigo = "  2020 ";
    auto e = Convierte();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(Codigo(e[0]), "2020");
    EXPECT_EQ(Codigo(e[1]), "2020");

    std::filesystem::remove(o.ficheroBin);
    o.txtCodigo = "";
    e = Convierte();
    EXPECT_EQ(Codigo(e[0]), "9995");

    std::filesystem::remove(o.ficheroBin);
    EligeTablaDbf1(o.seleccion, 9, "0 COD");
    e = Convierte();
    EXPECT_EQ(Codigo(e[0]), "0501");
    EXPECT_EQ(Codigo(e[1]), "9995");  // null in this record only

    std::filesystem::remove(o.ficheroBin);
    EligeTablaDbf1(o.seleccion, 9, "1 NUM");
    e = Convierte();
    EXPECT_EQ(Codigo(e[0]), "140100");
    EXPECT_EQ(Codigo(e[1]), "7");
    EXPECT_EQ(puerto.procesos.back(), "Proceso Terminado");
}

TEST_F(ShpBinConversion, CadaParteEsUnElementoConLasMismasPropiedades) {
    EscribeShape(o.ficheroShp, SHPT_ARC, {{"TAB", 'N', 5}, {"REG", 'N', 9}},
                 {{{{{0, 0, 0}, {1, 0, 0}}, {{2, 2, 0}, {3, 3, 0}, {4, 4, 0}}, {{5, 5, 0}, {6, 6, 0}}},
                   {3.0, 77.0}},
                  {{}, {1.0, 1.0}}});  // a null shape gives no element
    EligeTablaDbf1(o.seleccion, 3, "0 TAB");  // attribute 2 by the first field: never converted
    EligeTablaDbf1(o.seleccion, 4, "1 REG");
    const auto e = Convierte();
    ASSERT_EQ(e.size(), 3u);
    const int npuntos[] = {2, 3, 2};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(e[i].elemento.cabecera.tipo, "C=");
        EXPECT_EQ(e[i].elemento.cabecera.npuntos, npuntos[i]);
        EXPECT_EQ(Codigo(e[i]), "140100");
        EXPECT_EQ(e[i].elemento.cabecera.natr, 0);
    }
    EXPECT_EQ(e[1].elemento.coordenadas[2], (brisquel::Fpunto3d{400, 400, 0}));
    EXPECT_TRUE(puerto.mensajes.empty());
    EXPECT_EQ(puerto.procesos,
              (std::vector<std::string>{"Procesando fichero Shape...", "Grabando BIN...", "Proceso Terminado"}));
    EXPECT_EQ(puerto.progresos.back(), 0.0);
    EXPECT_EQ(puerto.ocupado, 0);
}

TEST_F(ShpBinConversion, CoordenadasRedondeadasAlParYElFalsoNorte) {
    const std::vector<Vertice> v = {{0.125, 1, 0.005}, {0.375, 4182345.678, -0.015}, {-0.125, -2.5, 0}};
    EscribeShape(o.ficheroShp, SHPT_ARCZ, {{"N", 'N', 4}}, {{{v}, {1.0}}});
    auto e = Convierte();
    ASSERT_EQ(e.size(), 1u);
    const auto& c = e[0].elemento.coordenadas;
    EXPECT_EQ(c[0], (brisquel::Fpunto3d{12, 100, 0}));  // 12.5 and 0.5 go to the even side
    EXPECT_EQ(c[1], (brisquel::Fpunto3d{38, 418234568, -2}));
    EXPECT_EQ(c[2], (brisquel::Fpunto3d{-12, -250, 0}));

    std::filesystem::remove(o.ficheroBin);
    o.factorUnidades = 1000;
    e = Convierte();
    EXPECT_EQ(e[0].elemento.coordenadas[1].y, 182345678);  // 4182345678 does not fit: 4,000,000 off
    EXPECT_EQ(e[0].elemento.coordenadas[0].x, 125);
}

TEST_F(ShpBinConversion, LaZDelCampoSustituyeALaDelVerticeSalvoCuandoEsCero) {
    EscribeShape(o.ficheroShp, SHPT_POINTZ, {{"COTA", 'N', 10, 2}, {"TXT", 'C', 10}},
                 {{{{{1, 1, 7}}}, {12.5, std::string("x")}},
                  {{{{1, 1, 7}}}, {0.0, std::string("x")}},
                  {{{{1, 1, 7}}}, {std::monostate{}, std::string("x")}},
                  {{{{1, 1, 7}}}, {std::string("abc"), std::string("x")}}});
    auto e = Convierte();
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[0].elemento.coordenadas[0].z, 700);  // without "Transmitir Z" the vertex's own Z

    std::filesystem::remove(o.ficheroBin);
    o.chkCotas = true;  // no Z field chosen: the table's first field
    e = Convierte();
    ASSERT_EQ(e.size(), 3u);  // "abc" in a numeric field: that record cannot be read
    EXPECT_EQ(e[0].elemento.coordenadas[0].z, 1250);
    EXPECT_EQ(e[1].elemento.coordenadas[0].z, 700);
    EXPECT_EQ(e[2].elemento.coordenadas[0].z, 700);
    EXPECT_EQ(resultado.registrosErroneos, std::vector<int32_t>{3});

    // A text field gives no number: the vertex keeps its Z.
    std::filesystem::remove(o.ficheroBin);
    EligeTablaDbfZ(o.seleccion, "1 TXT");
    e = Convierte();
    EXPECT_EQ(e[0].elemento.coordenadas[0].z, 700);
}

TEST_F(ShpBinConversion, TextosDesdeCamposYCajas) {
    const std::vector<Campo> campos = {{"ROT", 'C', 30}, {"ALT", 'C', 10}, {"JUS", 'N', 5, 1}, {"GIR", 'N', 8, 2}};
    EscribeShape(o.ficheroShp, SHPT_POINT, campos,
                 {{{{{10, 20, 0}}}, {std::string("Calle Mayor 13"), std::string("2.5"), 3.0, 45.5}},
                  {{{{10, 20, 0}}}, {std::monostate{}, std::string("alto"), 2.5, std::monostate{}}},
                  {{{{10, 20, 0}}}, {std::string(""), std::string("1"), 1.0, 1.0}}});
    o.chkTextos = true;
    EligeTablaDbfTexto(o.seleccion, 0, "0 ROT");
    EligeTablaDbfTexto(o.seleccion, 1, "1 ALT");
    EligeTablaDbfTexto(o.seleccion, 2, "2 JUS");
    EligeTablaDbfTexto(o.seleccion, 3, "3 GIR");
    auto e = Convierte();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].elemento.cabecera.tipo, "T=");
    EXPECT_EQ(e[0].Propiedad.texto, "Calle Mayor 13");
    EXPECT_EQ(e[0].elemento.cabecera.npuntos, 3);  // 14 characters: two blocks
    EXPECT_EQ(e[0].elemento.rango.xlib, 250);
    EXPECT_EQ(e[0].elemento.rango.ylib, 3);
    EXPECT_EQ(e[0].elemento.rango.zlib, 4550);
    EXPECT_EQ(e[0].elemento.coordenadas[0], (brisquel::Fpunto3d{1000, 2000, 0}));
    // Null text reads "NoTexto"; a height that is not a number 1.5; 2.5 rounds to 2.
    EXPECT_EQ(e[1].Propiedad.texto, "NoTexto");
    EXPECT_EQ(e[1].elemento.rango.xlib, 150);
    EXPECT_EQ(e[1].elemento.rango.ylib, 2);
    EXPECT_EQ(e[1].elemento.rango.zlib, 0);
    // A blank character field is null too.
    EXPECT_EQ(e[2].Propiedad.texto, "NoTexto");

    // The boxes: an empty height box is 1.5, a justification of 2.5 is 2.
    std::filesystem::remove(o.ficheroBin);
    o.seleccion = SeleccionShp{};
    o.txtTextoRotulo = "  Rio ";
    o.txtTextoAltura = "";
    o.txtTextoJustificacion = "2.5";
    o.txtTextoGiro = "-90";
    e = Convierte();
    EXPECT_EQ(e[0].Propiedad.texto, "Rio");
    EXPECT_EQ(e[0].elemento.rango.xlib, 150);
    EXPECT_EQ(e[0].elemento.rango.ylib, 2);
    EXPECT_EQ(e[0].elemento.rango.zlib, -9000);
    EXPECT_EQ(e[0].elemento.cabecera.npuntos, 2);

    // A box that is not a number stops the text values there; the others keep what they held.
    std::filesystem::remove(o.ficheroBin);
    o.txtTextoAltura = "alto";
    e = Convierte();
    EXPECT_EQ(e[0].elemento.cabecera.tipo, "T=");
    EXPECT_EQ(e[0].elemento.rango.xlib, 0);
    EXPECT_EQ(e[0].elemento.rango.ylib, 0);
    EXPECT_TRUE(resultado.registrosErroneos.empty());
}

TEST_F(ShpBinConversion, EnlacesDeAtributoEnOrdenConTablaRegistroYResto) {
    const std::vector<Campo> campos = {{"ID", 'N', 5},  {"TAB", 'N', 5},  {"REG", 'N', 10},
                                       {"RES", 'C', 10}, {"RES2", 'N', 10}, {"TAB3", 'N', 5}};
    EscribeShape(o.ficheroShp, SHPT_ARC, campos,
                 {{{{{0, 0, 0}, {1, 1, 0}}, {{2, 2, 0}, {3, 3, 0}}}, {1.0, 4.0, 123.0, std::string("AB"), 12345678.0, 9.0}},
                  {{{{0, 0, 0}, {1, 1, 0}}}, {1.0, 0.0, 123.0, std::string("0"), 0.0, 9.0}},
                  {{{{0, 0, 0}, {1, 1, 0}}}, {1.0, 4.0, 0.0, std::string(""), std::monostate{}, -2.0}}});
    SeleccionShp& s = o.seleccion;
    EligeTablaDbf1(s, 0, "1 TAB");
    EligeTablaDbf1(s, 1, "2 REG");
    EligeTablaDbf1(s, 5, "3 RES");
    EligeTablaDbf1(s, 6, "5 TAB3");  // attribute 3: table field, list grows
    EligeTablaDbf1(s, 7, "2 REG");
    ASSERT_TRUE(EligeAtributo(s, "Atributo 4", [](int16_t) { return std::string(); }));
    EligeTablaDbf1(s, 8, "4 RES2");
    auto e = Convierte();
    ASSERT_EQ(e.size(), 4u);
    ASSERT_EQ(e[0].elemento.cabecera.natr, 4);
    for (int i : {0, 1}) {
        const auto& a = e[i].elemento.atributos;
        EXPECT_EQ(a[0].idTabla, 4);
        EXPECT_EQ(a[0].nregistro, 123);
        EXPECT_EQ(a[1].idTabla, 1);
        EXPECT_EQ(a[1].nregistro, 0);
        EXPECT_EQ(a[1].resto.substr(0, 2), "AB");
        EXPECT_EQ(a[2].idTabla, 9);
        EXPECT_EQ(a[3].resto, "123456");  // the BIN block keeps 6 characters
    }
    // Table 0, rest "0" and 0: only attribute 3 is left.
    EXPECT_EQ(e[2].elemento.cabecera.natr, 1);
    EXPECT_EQ(e[2].elemento.atributos[0].idTabla, 9);
    // Record 0 and table -2: no link at all.
    EXPECT_EQ(e[3].elemento.cabecera.natr, 0);
}

TEST_F(ShpBinConversion, RegistrosQueNoCabenEnElBinSeListanYElRestoSeGraba) {
    EscribeShape(o.ficheroShp, SHPT_POINT, {{"COD", 'C', 12}, {"TAB", 'N', 8}, {"REG", 'N', 8}},
                 {{{{{1, 1, 0}}}, {std::string("A"), 1.0, 1.0}},
                  {{{{3e7, 1, 0}}}, {std::string("B"), 1.0, 1.0}},        // x out of range in cm
                  {{{{1, 1, 0}}}, {std::string("CODIGOLARGO"), 1.0, 1.0}},  // code of 11 characters
                  {{{{1, 1, 0}}}, {std::string("D"), 40000.0, 1.0}},      // table number past 16 bits
                  {{{{2, 2, 0}}}, {std::string("E"), 1.0, 1.0}}});
    EligeTablaDbf1(o.seleccion, 9, "0 COD");
    EligeTablaDbf1(o.seleccion, 0, "1 TAB");
    EligeTablaDbf1(o.seleccion, 1, "2 REG");
    const auto e = Convierte();
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(Codigo(e[0]), "A");
    EXPECT_EQ(Codigo(e[1]), "E");
    EXPECT_EQ(resultado.registrosErroneos, (std::vector<int32_t>{1, 2, 3}));
    ASSERT_EQ(puerto.mensajes.size(), 1u);
    EXPECT_EQ(puerto.mensajes[0],
              "Se han encontrado 3 errores en la conversión\rEntidades erróneas : \r / 1 / 2 / 3");
    EXPECT_EQ(puerto.procesos.back(), "Proceso Terminado");
}

}  // namespace
}  // namespace parvenza
