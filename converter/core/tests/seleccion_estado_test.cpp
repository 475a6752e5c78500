// The selection state of the shapefile-to-BIN band, driven as the window's handlers drive it.

#include <gtest/gtest.h>

#include "converter/core/SeleccionShp.h"
#include "converter/core/ShpBinError.h"

namespace parvenza {
namespace {

using V = std::vector<std::string>;

std::string Nombre(int16_t i) { return "CAMPO" + std::to_string(i); }

/// "table/record/rest" of a recorded attribute.
std::string A(const CampoAtributo& a) {
    return std::to_string(a.campoTabla) + "/" + std::to_string(a.campoRegistro) + "/" + a.campoResto;
}

/// Each selector's text, "+" when enabled.
std::string Vista(const std::optional<std::array<VistaSelector, 3>>& v) {
    std::string s;
    for (const auto& x : v.value()) s += x.texto + (x.habilitado ? "+" : "") + ";";
    return s;
}

SeleccionShp Elegido() {
    SeleccionShp s;
    EXPECT_EQ(A(s.camposAtributo.at(2)) + " " + std::to_string(s.indexCampoCodigo) + " " + std::to_string(s.indexCampoZ), "0/0/ -1 0");
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
    for (const Caso& c : {Caso{0, "7/0/", 1, {2}}, {1, "0/7/", 1, {2}}, {2, "0/0/7", 1, {0, 1}}, {3, "7/0/", 2, {5}},
                          {4, "0/7/", 2, {5}}, {5, "0/0/7", 2, {3, 4}}}) {
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
    EXPECT_EQ(s.indexCampoCodigo * 100 + s.indexCampoTexto_Justificacion * 10 + s.indexCampoZ, 1235);
    EXPECT_THROW(EligeTablaDbf1(s, 10, "1 X"), ShpBinError);
    EXPECT_THROW(EligeTablaDbfTexto(s, 4, "1 X"), ShpBinError);
    EXPECT_THROW(EligeTablaDbf1(s, 9, "CODIGO"), ShpBinError);  // an entry without its index
    EXPECT_EQ(s.indexCampoCodigo, 12);
    EXPECT_FALSE(OfreceTextos(5));
    EXPECT_TRUE(OfreceTextos(13));
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
    EXPECT_EQ(s.listaAtributos, (V{"Atributo 3", "Atributo 4"}));
    EXPECT_EQ(s.camposAtributo.size() * 10 + s.camposAtributoExtra.size(), 42u);
    EXPECT_EQ(AtributoSiguiente(s), 4);
    ASSERT_TRUE(EligeAtributo(s, "Atributo 4", Nombre));  // by a rest field: both kinds cleared
    EXPECT_EQ(s.numAtributo, 4);
    efecto = EligeTablaDbf1(s, 8, "9 RESTO");
    EXPECT_EQ(efecto.deshabilitar, (std::vector<int>{6, 7}));
    EXPECT_EQ(efecto.entradaNueva, "Atributo 5");
    EXPECT_EQ(A(Atributo(s, 4)) + " " + A(s.camposAtributoExtra[1]), "-99/-99/9 -99/-99/9");
    EXPECT_EQ(s.camposAtributo.size() * 10 + s.camposAtributoExtra.size(), 53u);

    EXPECT_EQ(Vista(EligeAtributo(s, "Atributo 3", Nombre)), "2 CAMPO2+;4 CAMPO4+;;");
    EXPECT_EQ(s.numAtributo, 3);
    EXPECT_EQ(Vista(EligeAtributo(s, "Atributo 4", Nombre)), ";;9 CAMPO9+;");
    EXPECT_EQ(Vista(EligeAtributo(s, "Atributo 5", Nombre)), "+;+;+;");
    EXPECT_EQ(s.numAtributo, 5);
    // Changing the table field of an attribute already begun leaves what it remembers.
    ASSERT_TRUE(EligeAtributo(s, "Atributo 3", Nombre));
    EligeTablaDbf1(s, 6, "3 OTRA");
    EXPECT_EQ(Atributo(s, 3).campoTabla * 10 + s.camposAtributoExtra[0].campoTabla, 32);
    EXPECT_EQ(s.listaAtributos.size(), 3u);
    // Half-typed texts and numbers without a column keep the shown attribute.
    for (const char* texto : {"Atributo", "Atributo ", "Atrib", "Atributo x", "Atributo 1", "Atributo 2", "Atributo 6", "Atributo -3"}) {
        EXPECT_FALSE(EligeAtributo(s, texto, Nombre)) << texto;
        EXPECT_EQ(s.numAtributo, 3);
    }
    // A second shapefile keeps what was recorded and does not list "Atributo 3" twice.
    ShpElegido(s, "/otra/rios.shp", "/otra/");
    EXPECT_EQ(s.tabladbf, "rios");
    EXPECT_EQ(s.listaAtributos.size(), 3u);
    EXPECT_EQ(s.numAtributo, 3);
    EXPECT_EQ(BorrarSeleccion(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

}  // namespace
}  // namespace parvenza
