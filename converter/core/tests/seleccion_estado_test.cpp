// The selection state of the shapefile-to-BIN band, driven as the window's handlers drive it.

#include <gtest/gtest.h>

#include "converter/core/SeleccionShp.h"
#include "converter/core/ShpBinError.h"

namespace parvenza {
namespace {

std::string Nombre(int16_t i) { return "CAMPO" + std::to_string(i); }

SeleccionShp Elegido() {
    SeleccionShp s;
    ShpElegido(s, "/datos/hoja/vias.shp", "/datos/hoja/");
    return s;
}

TEST(SeleccionShp, EmpiezaComoLaVentanaYElegirShapeMuestraElAtributo3) {
    SeleccionShp s;
    EXPECT_EQ(s.indexCampoCodigo, -1);
    EXPECT_EQ(s.indexCampoTexto_Rotulo, -1);
    EXPECT_EQ(s.indexCampoTexto_Giro, -1);
    EXPECT_EQ(s.indexCampoZ, 0);
    ASSERT_EQ(s.camposAtributo.size(), 3u);
    EXPECT_EQ(s.camposAtributo[2].campoTabla, 0);
    EXPECT_EQ(s.camposAtributo[2].campoResto, "");
    EXPECT_EQ(s.camposAtributoExtra.size(), 1u);
    EXPECT_TRUE(s.listaAtributos.empty());

    EXPECT_EQ(ShpElegido(s, "/datos/hoja/vias.shp", "/datos/hoja/"), "Atributo 3");
    EXPECT_EQ(s.tabladbf, "vias");
    EXPECT_EQ(s.numAtributo, 3);
    EXPECT_EQ(s.listaAtributos, std::vector<std::string>{"Atributo 3"});
    EXPECT_EQ(AtributoSiguiente(s), 3);

    // A second choice keeps what was recorded and does not list "Atributo 3" twice.
    EligeTablaDbf1(s, 6, "2 TABLA");
    EligeTablaDbf1(s, 9, "4 COD");
    ShpElegido(s, "/otra/rios.shp", "/otra/");
    EXPECT_EQ(s.tabladbf, "rios");
    EXPECT_EQ(s.listaAtributos, (std::vector<std::string>{"Atributo 3", "Atributo 4"}));
    EXPECT_EQ(s.indexCampoCodigo, 4);
    EXPECT_EQ(s.numAtributo, 3);
}

TEST(SeleccionShp, CadaSelectorDeLasColumnas1y2ApuntaSuCampoYDeshabilitaElOtroTipo) {
    struct Caso {
        int index;
        CampoAtributo esperado;
        int atributo;
        std::vector<int> deshabilita;
    };
    const Caso casos[] = {
        {0, {7, 0, ""}, 1, {2}},  {1, {0, 7, ""}, 1, {2}},  {2, {0, 0, "7"}, 1, {0, 1}},
        {3, {7, 0, ""}, 2, {5}},  {4, {0, 7, ""}, 2, {5}},  {5, {0, 0, "7"}, 2, {3, 4}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.index);
        SeleccionShp s = Elegido();
        const EfectoTablaDbf1 efecto = EligeTablaDbf1(s, c.index, "7 CAMPO7");
        const CampoAtributo& a = Atributo(s, c.atributo);
        EXPECT_EQ(a.campoTabla, c.esperado.campoTabla);
        EXPECT_EQ(a.campoRegistro, c.esperado.campoRegistro);
        EXPECT_EQ(a.campoResto, c.esperado.campoResto);
        EXPECT_EQ(efecto.deshabilitar, c.deshabilita);
        EXPECT_FALSE(efecto.entradaNueva);
        EXPECT_EQ(s.listaAtributos.size(), 1u);
    }
    SeleccionShp s = Elegido();
    EXPECT_TRUE(EligeTablaDbf1(s, 9, "12 CODIGO").deshabilitar.empty());
    EXPECT_EQ(s.indexCampoCodigo, 12);
    EligeTablaDbfTexto(s, 2, "3 JUST");
    EligeTablaDbfZ(s, "5 COTA");
    EXPECT_EQ(s.indexCampoTexto_Justificacion, 3);
    EXPECT_EQ(s.indexCampoZ, 5);
    EXPECT_THROW(EligeTablaDbf1(s, 10, "1 X"), ShpBinError);
    EXPECT_THROW(EligeTablaDbfTexto(s, 4, "1 X"), ShpBinError);
}

TEST(SeleccionShp, LaTerceraColumnaCreceConLaTablaOElRestoPeroNoConSoloElRegistro) {
    SeleccionShp s = Elegido();
    // Only the record field of attribute 3: nothing grows, so attribute 3 is not converted.
    EfectoTablaDbf1 efecto = EligeTablaDbf1(s, 7, "4 REG");
    EXPECT_EQ(efecto.deshabilitar, std::vector<int>{8});
    EXPECT_FALSE(efecto.entradaNueva);
    EXPECT_EQ(AtributoSiguiente(s), 3);
    EXPECT_EQ(Atributo(s, 3).campoRegistro, 4);
    EXPECT_EQ(Atributo(s, 3).campoResto, "-99");
    EXPECT_EQ(s.camposAtributoExtra[0].campoRegistro, 4);

    // Its table field: attribute 4 becomes the next one.
    efecto = EligeTablaDbf1(s, 6, "2 TAB");
    EXPECT_EQ(efecto.entradaNueva, "Atributo 4");
    EXPECT_EQ(s.listaAtributos, (std::vector<std::string>{"Atributo 3", "Atributo 4"}));
    EXPECT_EQ(s.camposAtributo.size(), 4u);
    EXPECT_EQ(s.camposAtributoExtra.size(), 2u);
    EXPECT_EQ(s.camposAtributoExtra[0].campoTabla, 2);
    EXPECT_EQ(AtributoSiguiente(s), 4);

    // Attribute 4 by a rest field: both kinds of the column are cleared for it.
    ASSERT_TRUE(EligeAtributo(s, "Atributo 4", Nombre));
    EXPECT_EQ(s.numAtributo, 4);
    efecto = EligeTablaDbf1(s, 8, "9 RESTO");
    EXPECT_EQ(efecto.deshabilitar, (std::vector<int>{6, 7}));
    EXPECT_EQ(efecto.entradaNueva, "Atributo 5");
    EXPECT_EQ(Atributo(s, 4).campoResto, "9");
    EXPECT_EQ(Atributo(s, 4).campoTabla, -99);
    EXPECT_EQ(Atributo(s, 4).campoRegistro, -99);
    EXPECT_EQ(s.camposAtributoExtra[1].campoResto, "9");
    EXPECT_EQ(s.camposAtributoExtra[1].campoTabla, -99);
    EXPECT_EQ(s.camposAtributo.size(), 5u);
    EXPECT_EQ(s.camposAtributoExtra.size(), 3u);
}

TEST(SeleccionShp, VolverAUnAtributoMuestraLoRecordadoYLosTextosInvalidosNoCambianNada) {
    SeleccionShp s = Elegido();
    EligeTablaDbf1(s, 6, "2 TAB");
    EligeTablaDbf1(s, 7, "0 REG");
    ASSERT_TRUE(EligeAtributo(s, "Atributo 4", Nombre));
    EligeTablaDbf1(s, 8, "9 RESTO");

    auto vista = EligeAtributo(s, "Atributo 3", Nombre);
    ASSERT_TRUE(vista);
    EXPECT_EQ(s.numAtributo, 3);
    EXPECT_EQ((*vista)[0].texto, "2 CAMPO2");
    EXPECT_TRUE((*vista)[0].habilitado);
    EXPECT_EQ((*vista)[1].texto, "0 CAMPO0");
    EXPECT_EQ((*vista)[2].texto, "");
    EXPECT_FALSE((*vista)[2].habilitado);

    vista = EligeAtributo(s, "Atributo 4", Nombre);
    ASSERT_TRUE(vista);
    EXPECT_FALSE((*vista)[0].habilitado);
    EXPECT_FALSE((*vista)[1].habilitado);
    EXPECT_EQ((*vista)[2].texto, "9 CAMPO9");

    // The next attribute: three empty, enabled selectors.
    vista = EligeAtributo(s, "Atributo 5", Nombre);
    ASSERT_TRUE(vista);
    EXPECT_EQ(s.numAtributo, 5);
    for (const auto& v : *vista) {
        EXPECT_TRUE(v.habilitado);
        EXPECT_EQ(v.texto, "");
    }

    // Changing the table field of an attribute already begun leaves what it remembers.
    ASSERT_TRUE(EligeAtributo(s, "Atributo 3", Nombre));
    EligeTablaDbf1(s, 6, "3 OTRA");
    EXPECT_EQ(Atributo(s, 3).campoTabla, 3);
    EXPECT_EQ(s.camposAtributoExtra[0].campoTabla, 2);
    EXPECT_EQ(s.listaAtributos.size(), 3u);

    // Half-typed texts and numbers without a column keep the shown attribute.
    for (const char* texto : {"Atributo", "Atributo ", "Atrib", "Atributo x", "Atributo 1", "Atributo 2",
                              "Atributo 6", "Atributo -3"}) {
        SCOPED_TRACE(texto);
        EXPECT_FALSE(EligeAtributo(s, texto, Nombre));
        EXPECT_EQ(s.numAtributo, 3);
    }
    EXPECT_EQ(BorrarSeleccion(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(SeleccionShp, UnaEntradaSinIndiceNoRegistraNada) {
    SeleccionShp s = Elegido();
    EXPECT_THROW(EligeTablaDbf1(s, 9, "CODIGO"), ShpBinError);
    EXPECT_EQ(s.indexCampoCodigo, -1);
    EXPECT_FALSE(OfreceTextos(5));
    EXPECT_TRUE(OfreceTextos(13));
}

}  // namespace
}  // namespace parvenza
