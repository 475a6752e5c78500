// parvenza-cli info, run as a program on BIN files the test writes (and on the sample sheet).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "digi/FicheroDigi.h"

namespace {

using namespace brisquel;
namespace fs = std::filesystem;

std::string Lee(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class Info : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("info-test-" + std::to_string(std::random_device{}()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Runs `parvenza-cli info fichero`; returns the exit status.
    int Ejecuta(const fs::path& fichero) {
        const std::string orden = std::string(PARVENZA_CLI) + " info '" + fichero.string() + "' >'" +
                                  (m_dir / "out.txt").string() + "' 2>'" + (m_dir / "err.txt").string() + "'";
        const int r = std::system(orden.c_str());
        m_out = Lee(m_dir / "out.txt");
        m_err = Lee(m_dir / "err.txt");
        return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
    }
    void Escribe(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

    fs::path m_dir;
    std::string m_out, m_err;
};

tipo_entidad Linea(const std::string& codigo, std::vector<Fpunto3d> p, std::vector<Fatrib> a = {}) {
    tipo_entidad e;
    e.elemento.cabecera.tipo = "C=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.cabecera.npuntos = int16_t(p.size());
    e.elemento.cabecera.natr = uint8_t(a.size());
    e.elemento.coordenadas = std::move(p);
    e.elemento.atributos = std::move(a);
    return e;
}

TEST_F(Info, UnaLineaPorElementoYResumen) {
    tipo_entidad texto;
    texto.elemento.cabecera.tipo = "T=";
    texto.elemento.cabecera.codigo = "40";
    texto.elemento.coordenadas = {{10, 20, 0}};
    std::string t = "A\xF1o";  // Windows-1252 in the file, UTF-8 on the terminal
    FicheroDigi().ModificaTextoEntidad(t, texto);
    std::vector<tipo_entidad> v = {
        Linea("P1", {{-5, -6, 7}}),
        Linea("BORRAR", {{1, 1, 1}}),
        Linea("L1", {{0, 0, 0}, {10, 0, 0}}, {{3, 12, "N-II"}}),
        Linea("C1", {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 0}}),
        texto,
        Linea("FIN", {{2, 2, 2}}),
    };
    const fs::path bin = m_dir / "h.bin";
    FicheroDigi().CreaFicheroDigi(bin.string(), v);
    // Delete the second and the last element as Digi does: the kind's second character.
    std::string bytes = Lee(bin);
    bytes[v[0].tamano + 1] = '*';
    bytes[bytes.size() - v[5].tamano + 1] = '*';
    Escribe(bin, bytes);

    ASSERT_EQ(Ejecuta(bin), 0) << m_err;
    EXPECT_EQ(m_out,
              "1 point code=P1 points=1 attributes=[] extent=(-5,-6,7)-(0,0,7)\n"
              "2 open-line code=L1 points=2 attributes=[3:12:N-II] extent=(0,0,0)-(10,0,0)\n"
              "3 closed-line code=C1 points=4 attributes=[] extent=(0,0,0)-(10,10,0)\n"
              "4 text code=40 points=2 attributes=[] text=\"A\xC3\xB1o\" extent=(10,20,0)-(10,20,0)\n"
              "elements: 4 (points 1, open lines 1, closed lines 1, texts 1), deleted 2\n"
              "extent: (-5,-6,0)-(10,20,7)\n");
    EXPECT_EQ(m_err, "");
}

TEST_F(Info, HojaDeEjemplo) {
    const fs::path copia = m_dir / "hoja.bin";
    fs::copy_file(fs::path(PARVENZA_SOURCE_DIR) / "examples/hoja.bin", copia);
    ASSERT_EQ(Ejecuta(copia), 0) << m_err;
    EXPECT_NE(m_out.find("text=\"Pe\xC3\xB1\xC3\xB3n del \xC3\x81guila\""), std::string::npos) << m_out;
    EXPECT_NE(m_out.find("elements: 10 (points 2, open lines 2, closed lines 3, texts 3), deleted 1\n"),
              std::string::npos)
        << m_out;
    EXPECT_EQ(Lee(copia), Lee(fs::path(PARVENZA_SOURCE_DIR) / "examples/hoja.bin"));  // untouched
}

TEST_F(Info, FicherosMalos) {
    // Missing: an error, and no empty file left behind.
    EXPECT_EQ(Ejecuta(m_dir / "falta.bin"), 1);
    EXPECT_NE(m_err.find("falta.bin"), std::string::npos) << m_err;
    EXPECT_FALSE(fs::exists(m_dir / "falta.bin"));

    // Empty: nothing to list.
    Escribe(m_dir / "vacio.bin", "");
    EXPECT_EQ(Ejecuta(m_dir / "vacio.bin"), 0);
    EXPECT_EQ(m_out, "elements: 0 (points 0, open lines 0, closed lines 0, texts 0), deleted 0\nextent: none\n");

    // A count that cannot be read: the error names the file and the byte.
    std::string malo = std::string("C=X") + std::string(6, '\0') + std::string("\x00\x00\x80", 3) +
                       std::string(60, '\0');
    Escribe(m_dir / "malo.bin", malo);
    EXPECT_EQ(Ejecuta(m_dir / "malo.bin"), 1);
    EXPECT_NE(m_err.find("malo.bin"), std::string::npos) << m_err;
    EXPECT_NE(m_err.find("byte 1"), std::string::npos) << m_err;

    // A corrupt kind ends the program with the library's message.
    Escribe(m_dir / "corrupto.bin", std::string("K=") + std::string(58, '\0'));
    EXPECT_NE(Ejecuta(m_dir / "corrupto.bin"), 0);
    EXPECT_NE(m_err.find("fichero corrupto..."), std::string::npos) << m_err;
}

}  // namespace
