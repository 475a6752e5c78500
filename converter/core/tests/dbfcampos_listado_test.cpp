// The field listing of attribute tables, on tables written here through shapelib and on
// tables written by other programs.

#include <gtest/gtest.h>

#include <fstream>

#include "converter/core/DbfCampos.h"
#include "converter/core/ShpBinError.h"
#include "converter/core/tests/shpbin_ayuda.h"

namespace parvenza {
namespace {

using namespace prueba;
using V = std::vector<std::string>;

/// A table with fields of the given dBase types, named F0, F1, ...
void Tabla(const Carpeta& c, const std::string& nombre, const std::string& tipos) {
    std::vector<Campo> campos;
    for (size_t i = 0; i < tipos.size(); ++i)
        campos.push_back({"F" + std::to_string(i), tipos[i], tipos[i] == 'D' ? 8 : tipos[i] == 'L' ? 1 : 10, tipos[i] == 'F' ? 3 : 0});
    EscribeShape(c / (nombre + ".shp"), SHPT_POINT, campos, {});
}

int NumeroDe(const std::function<void()>& f) {
    try {
        f();
    } catch (const ShpBinError& e) {
        return e.numero();
    }
    return 0;
}

TEST(DbfCampos, ListsFieldsByKindWithTheirTrueIndicesAfterCheckingTheTableName) {
    Carpeta c;
    PuertoAnotador puerto;
    const std::string d = c.Ruta();
    Tabla(c, "hoja", "NCDNFL");
    std::string tipos;
    for (const auto& campo : CamposDbf(d, "hoja")) tipos += campo.nombre + ":" + std::to_string(campo.tipo) + " ";
    EXPECT_EQ(tipos, "F0:5 F1:202 F2:133 F3:5 F4:5 F5:11 ");
    EXPECT_EQ(*RellenaCampos(d, "hoja", "TODOS", puerto), (V{"0 F0", "1 F1", "3 F3", "4 F4"}));
    EXPECT_EQ(*RellenaCampos(d, "hoja", "DOBLE", puerto), (V{"0 F0", "3 F3", "4 F4"}));
    EXPECT_EQ(*RellenaCampos(d, "hoja", "TEXTO", puerto), V{"1 F1"});
    EXPECT_TRUE(RellenaCampos(d, "hoja", "todos", puerto)->empty());  // the words are compared exactly
    EXPECT_EQ(ObtengoNombreCamposDbf(d, "hoja", 3), "F3");
    EXPECT_EQ(NumeroDe([&] { ObtengoNombreCamposDbf(d, "hoja", 6); }), 9);
    EXPECT_TRUE(puerto.mensajes.empty());

    for (const char* t : {"ochoooo8", "nueveeee9", "con-guion"}) Tabla(c, t, "N");
    EXPECT_EQ(RellenaCampos(d, "ochoooo8", "TODOS", puerto)->size(), 1u);
    EXPECT_FALSE(RellenaCampos(d, "nueveeee9", "TODOS", puerto));
    EXPECT_FALSE(RellenaCampos(d, "con-guion", "TODOS", puerto));
    EXPECT_EQ(puerto.mensajes, V(2, kMensajeNombreTabla));
    EXPECT_EQ(ObtengoNombreCamposDbf(d, "nueveeee9", 0), "F0");  // the name lookup has no such check

    try {
        CamposDbf(d, "nohay");
        FAIL();
    } catch (const ShpBinError& e) {
        EXPECT_EQ(e.numero(), 53);
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
    EXPECT_EQ(CamposDbf(datos, "utf8-property")[0].nombre, "\xE2\x98\x83");  // a UTF-8 name: its bytes
}

TEST(DbfCampos, EntriesAndTheirReading) {
    EXPECT_EQ(EntradaCampo(3, "ALTURA"), "3 ALTURA");
    EXPECT_EQ(IndiceDeEntrada("12 NOMBRE CON ESPACIOS"), 12);
    EXPECT_EQ(IndiceDeEntrada("-99 X"), -99);
    EXPECT_EQ(IndiceDeEntrada("7"), 7);
    for (const char* mala : {"", " 3 X", "X 3", "3a X", "-"}) EXPECT_THROW(IndiceDeEntrada(mala), ShpBinError) << mala;
    EXPECT_EQ(NumeroDe([] { IndiceDeEntrada("40000 X"); }), 6);
    EXPECT_EQ(TablaDeRuta("/d/hoja.shp", "/d/"), "hoja");
    EXPECT_EQ(RutaTablaDbf("/d", "hoja") + RutaTablaDbf("/d/", "hoja"), "/d/hoja.dbf/d/hoja.dbf");
}

}  // namespace
}  // namespace parvenza
