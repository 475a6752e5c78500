// The field listing of attribute tables, on tables written here through shapelib and on
// tables written by other programs.

#include <gtest/gtest.h>
#include <shapefil.h>

#include <filesystem>
#include <fstream>

#include "converter/core/DbfCampos.h"
#include "converter/core/Puerto.h"
#include "converter/core/ShpBinError.h"

namespace fs = std::filesystem;

namespace parvenza {
namespace {

class PuertoAnotador : public Puerto {
public:
    std::vector<std::string> mensajes;
    void Proceso(const std::string&) override {}
    void Progreso(double) override {}
    void Mensaje(const std::string& texto, bool, const std::string&) override { mensajes.push_back(texto); }
    bool PideFichero(const std::string&, const std::string&, std::string&) override { return false; }
    void Ocupado(bool) override {}
};

class DbfCamposTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("dbfcampos-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        directorio = dir.string() + "/";
    }
    void TearDown() override { fs::remove_all(dir); }

    // A table with fields of the given dBase types, named F0, F1, ...
    void Tabla(const std::string& nombre, const std::string& tipos) {
        DBFHandle dbf = DBFCreate((directorio + nombre + ".dbf").c_str());
        ASSERT_NE(dbf, nullptr);
        for (size_t i = 0; i < tipos.size(); ++i) {
            const int ancho = tipos[i] == 'D' ? 8 : tipos[i] == 'L' ? 1 : 10;
            const int decimales = tipos[i] == 'F' ? 3 : 0;
            ASSERT_GE(DBFAddNativeFieldType(dbf, ("F" + std::to_string(i)).c_str(), tipos[i], ancho, decimales), 0);
        }
        DBFClose(dbf);
    }

    fs::path dir;
    std::string directorio;
    PuertoAnotador puerto;
};

TEST_F(DbfCamposTest, ListaLosCamposPorTipoConSusIndicesVerdaderos) {
    Tabla("hoja", "NCDNFL");
    const auto campos = CamposDbf(directorio, "hoja");
    ASSERT_EQ(campos.size(), 6u);
    const int tipos[] = {5, 202, 133, 5, 5, 11};
    for (size_t i = 0; i < campos.size(); ++i) {
        EXPECT_EQ(campos[i].tipo, tipos[i]) << i;
        EXPECT_EQ(campos[i].nombre, "F" + std::to_string(i));
    }
    using V = std::vector<std::string>;
    EXPECT_EQ(*RellenaCampos(directorio, "hoja", "TODOS", puerto), (V{"0 F0", "1 F1", "3 F3", "4 F4"}));
    EXPECT_EQ(*RellenaCampos(directorio, "hoja", "DOBLE", puerto), (V{"0 F0", "3 F3", "4 F4"}));
    EXPECT_EQ(*RellenaCampos(directorio, "hoja", "TEXTO", puerto), V{"1 F1"});
    // The words are compared exactly.
    EXPECT_TRUE(RellenaCampos(directorio, "hoja", "todos", puerto)->empty());
    EXPECT_TRUE(puerto.mensajes.empty());
    EXPECT_EQ(ObtengoNombreCamposDbf(directorio, "hoja", 3), "F3");
    EXPECT_EQ(IndiceDeEntrada("3 F3"), 3);
}

TEST_F(DbfCamposTest, ElNombreDeLaTablaSeCompruebaAntesDeLeerla) {
    Tabla("ochoooo8", "N");
    Tabla("nueveeee9", "N");
    Tabla("con-guion", "N");
    EXPECT_EQ(RellenaCampos(directorio, "ochoooo8", "TODOS", puerto)->size(), 1u);
    EXPECT_FALSE(RellenaCampos(directorio, "nueveeee9", "TODOS", puerto));
    EXPECT_FALSE(RellenaCampos(directorio, "con-guion", "TODOS", puerto));
    EXPECT_EQ(puerto.mensajes, std::vector<std::string>(2, kMensajeNombreTabla));
    // The name lookup has no such check.
    EXPECT_EQ(ObtengoNombreCamposDbf(directorio, "nueveeee9", 0), "F0");
}

TEST_F(DbfCamposTest, TablasQueFaltanOEstanDanadasDanUnErrorQueNombraElFichero) {
    try {
        CamposDbf(directorio, "nohay");
        FAIL();
    } catch (const ShpBinError& e) {
        EXPECT_EQ(e.numero(), 53);
        EXPECT_NE(std::string(e.what()).find(directorio + "nohay.dbf"), std::string::npos);
    }
    std::ofstream(directorio + "roto.dbf") << "esto no es una tabla";
    EXPECT_THROW(CamposDbf(directorio, "roto"), ShpBinError);
    Tabla("hoja", "NC");
    try {
        ObtengoNombreCamposDbf(directorio, "hoja", 2);
        FAIL();
    } catch (const ShpBinError& e) {
        EXPECT_EQ(e.numero(), 9);
    }
}

TEST(DbfCampos, TablasDeOtrosProgramas) {
    const std::string datos = std::string(PARVENZA_TEST_DATA) + "/shapefiles/";
    const auto mixtos = CamposDbf(datos, "mixed-properties");
    ASSERT_EQ(mixtos.size(), 2u);
    EXPECT_EQ(mixtos[0].nombre, "foo");
    EXPECT_EQ(mixtos[0].tipo, kCampoDoble);
    EXPECT_EQ(mixtos[1].tipo, kCampoTexto);
    EXPECT_EQ(CamposDbf(datos, "date-property")[0].tipo, kCampoFecha);
    EXPECT_EQ(CamposDbf(datos, "boolean-property")[0].tipo, kCampoLogico);
    EXPECT_TRUE(CamposDbf(datos, "empty").empty());
    // A field name in UTF-8 comes back as its bytes.
    EXPECT_EQ(CamposDbf(datos, "utf8-property")[0].nombre, "\xE2\x98\x83");
}

TEST(DbfCampos, EntradasYSuLectura) {
    EXPECT_EQ(EntradaCampo(3, "ALTURA"), "3 ALTURA");
    EXPECT_EQ(IndiceDeEntrada("12 NOMBRE CON ESPACIOS"), 12);
    EXPECT_EQ(IndiceDeEntrada("-99 X"), -99);
    EXPECT_EQ(IndiceDeEntrada("7"), 7);
    for (const char* mala : {"", " 3 X", "X 3", "3a X", "-"}) {
        SCOPED_TRACE(mala);
        EXPECT_THROW(IndiceDeEntrada(mala), ShpBinError);
    }
    try {
        IndiceDeEntrada("40000 X");
        FAIL();
    } catch (const ShpBinError& e) {
        EXPECT_EQ(e.numero(), 6);
    }
    EXPECT_EQ(TablaDeRuta("/d/hoja.shp", "/d/"), "hoja");
    EXPECT_EQ(RutaTablaDbf("/d", "hoja"), "/d/hoja.dbf");
    EXPECT_EQ(RutaTablaDbf("/d/", "hoja"), "/d/hoja.dbf");
}

}  // namespace
}  // namespace parvenza
