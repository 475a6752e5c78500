#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "utilities/Utilidades.h"

namespace fs = std::filesystem;
using fenoquia::Utilidades;

namespace {

// Answers the dialog with a fixed path and remembers what it was asked.
class SelectorGuionado : public fenoquia::SelectorFichero {
  public:
    explicit SelectorGuionado(std::string respuesta) : m_respuesta(std::move(respuesta)) {}
    std::string Elige(const std::string& filtro, const std::string& titulo) override {
        filtroVisto = filtro;
        tituloVisto = titulo;
        if (m_falla) throw std::runtime_error("sin pantalla");
        return m_respuesta;
    }
    std::string filtroVisto, tituloVisto;
    bool m_falla = false;

  private:
    std::string m_respuesta;
};

class PideFicheroTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        carpeta = fs::temp_directory_path() / ("fenoquia_pf_" + std::to_string(rd()));
        fs::create_directories(carpeta);
    }
    void TearDown() override {
        fenoquia::EstableceSelectorFichero(nullptr);
        fs::remove_all(carpeta);
    }
    void Crea(const std::string& nombre) { std::ofstream(carpeta / nombre) << "x"; }
    std::shared_ptr<SelectorGuionado> Instala(const std::string& ruta) {
        auto s = std::make_shared<SelectorGuionado>(ruta);
        fenoquia::EstableceSelectorFichero(s);
        return s;
    }
    std::string Dir() const { return carpeta.string() + "/"; }
    fs::path carpeta;
};

TEST_F(PideFicheroTest, ListsEveryFileWithTheExtensionSortedWithoutCase) {
    Crea("b.bin");
    Crea("C.BIN");
    Crea("a.Bin");
    Crea("d.shp");
    Crea("xbin");  // no dot before the extension
    fs::create_directory(carpeta / "carpeta.bin");
    auto s = Instala(Dir() + "b.bin");

    Utilidades u;
    std::vector<std::string> ficheros{"viejo"};
    std::string directorio;
    bool eligio = false;
    u.PideFichero("Fichero BIN (*.bin)|*.bin", "Elige", ficheros, directorio, false, eligio);

    EXPECT_TRUE(eligio);
    EXPECT_EQ(s->filtroVisto, "Fichero BIN (*.bin)|*.bin");
    EXPECT_EQ(s->tituloVisto, "Elige");
    EXPECT_EQ(directorio, Dir());
    ASSERT_EQ(ficheros.size(), 4u);
    EXPECT_EQ(ficheros[0], "");
    EXPECT_EQ(ficheros[1], Dir() + "a.Bin");
    EXPECT_EQ(ficheros[2], Dir() + "b.bin");
    EXPECT_EQ(ficheros[3], Dir() + "C.BIN");
}

TEST_F(PideFicheroTest, OneFileOnlyAndFolderNamedLikeTheFile) {
    // A folder whose name contains the file's name must not cut the folder short.
    fs::create_directory(carpeta / "a.bin");
    std::ofstream(carpeta / "a.bin" / "a.bin") << "x";
    std::ofstream(carpeta / "a.bin" / "z.bin") << "x";
    Instala(Dir() + "a.bin/a.bin");

    Utilidades u;
    std::vector<std::string> ficheros;
    std::string directorio;
    bool eligio = false;
    u.PideFichero("f|*.bin", "t", ficheros, directorio, true, eligio);
    EXPECT_TRUE(eligio);
    EXPECT_EQ(directorio, Dir() + "a.bin/");
    ASSERT_EQ(ficheros.size(), 2u);
    EXPECT_EQ(ficheros[0], "");
    EXPECT_EQ(ficheros[1], Dir() + "a.bin/a.bin");

    u.PideFichero("f|*.bin", "t", ficheros, directorio, false, eligio);
    ASSERT_EQ(ficheros.size(), 3u);
    EXPECT_EQ(ficheros[2], Dir() + "a.bin/z.bin");
}

TEST_F(PideFicheroTest, CancelLeavesTheListAndFailuresAreErrors) {
    Utilidades u;
    std::vector<std::string> ficheros{"", "antes"};
    std::string directorio = "dir/";
    bool eligio = true;
    EXPECT_THROW(u.PideFichero("f", "t", ficheros, directorio, false, eligio),
                 fenoquia::UtilidadesError);  // no chooser installed

    auto s = Instala("");
    u.PideFichero("f", "t", ficheros, directorio, false, eligio);
    EXPECT_FALSE(eligio);
    EXPECT_EQ(ficheros, (std::vector<std::string>{"", "antes"}));
    EXPECT_EQ(directorio, "dir/");

    s->m_falla = true;
    try {
        u.PideFichero("f", "t", ficheros, directorio, false, eligio);
        FAIL();
    } catch (const fenoquia::UtilidadesError& e) {
        EXPECT_EQ(e.numero(), 5);
    }

    // A chosen file whose folder has gone away: the listing fails, the list is kept.
    Instala(Dir() + "no_existe/x.bin");
    try {
        u.PideFichero("f", "t", ficheros, directorio, false, eligio);
        FAIL();
    } catch (const fenoquia::UtilidadesError& e) {
        EXPECT_EQ(e.numero(), 76);
        EXPECT_NE(std::string(e.what()).find("no_existe"), std::string::npos);
    }
    EXPECT_EQ(ficheros.size(), 2u);
}

TEST(FiltroEnFormaQt, TurnsBarSeparatedPairsIntoQtFilters) {
    EXPECT_EQ(fenoquia::FiltroEnFormaQt("Fichero BIN (*.bin)|*.bin"), "Fichero BIN (*.bin)");
    EXPECT_EQ(fenoquia::FiltroEnFormaQt("Shapes|*.shp|Todos (*.*)|*.*"),
              "Shapes (*.shp);;Todos (*.*)");
    EXPECT_EQ(fenoquia::FiltroEnFormaQt("Tablas|*.tab;*.pal"), "Tablas (*.tab *.pal)");
    EXPECT_EQ(fenoquia::FiltroEnFormaQt(""), "");
}

}  // namespace
