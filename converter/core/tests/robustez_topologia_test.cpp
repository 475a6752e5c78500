// Access files damaged inside: pages overwritten with noise at every page of a real database.
// The load either works or fails with the database's error naming the file; it never takes
// the program down, and the file is never written.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>

#include "converter/core/Topologia.h"
#include "converter/core/tests/topologia_prueba.h"
#include "digi/DigiError.h"
#include "tests/robustez/Robustez.h"

namespace parvenza {
namespace {

using namespace prueba_topologia;
using robustez::Escribe, robustez::Lee;

TEST(RobustezTopologia, PaginasDanadasDanUnErrorQueNombraElFichero) {
    CarpetaTemporal tmp;
    PuertoGrabador puerto;
    const std::string original = Lee(std::string(PARVENZA_TEST_DATA) + "/topology/basic.mdb");
    ASSERT_GT(original.size(), 4096u * 4);
    const std::string ruta = tmp / "danada.mdb";
    // Pages are 4 KiB: noise at the start of each (its header: the page kind, its table, its
    // row offsets) and in its middle.
    for (size_t inicio = 0; inicio < original.size() / 4096 * 4096; inicio += 2048) {
        std::string danado = original;
        for (size_t i = 0; i < 64; ++i) danado[inicio + i] = char(0xA5 ^ (i * 37));
        Escribe(ruta, danado);
        std::vector<tipo_manzana> m;
        bool hayError = false;
        int32_t codigo = 0;
        try {
            CargaTopologia(ruta, m, hayError, codigo, puerto);
        } catch (const TopologiaError& e) {
            EXPECT_NE(std::string(e.what()).find("danada.mdb"), std::string::npos) << e.what();
        }
        EXPECT_EQ(Lee(ruta), danado) << "at byte " << inicio;
    }
}

// mdbtools reads the file in a child process: a crash inside it is the database's error.
TEST(RobustezTopologia, UnFalloDentroDeMdbtoolsEsElErrorDeLaBaseDeDatos) {
    CarpetaTemporal tmp;
    PuertoGrabador puerto;
    // The same byte in the definition page of a topology table: it fails once the table list
    // is read, at the first query.
    std::string tabla = Lee(Fixture("basic.mdb"));
    tabla[24 * 4096 + 55] = char(0xFF);
    Escribe(tmp / "tabla.mdb", tabla);
    for (const std::string& ruta : {Fixture("crash-catalog.mdb"), tmp / "tabla.mdb"}) {
        Topologia topologia;
        topologia.Manzanas.resize(1);
        std::string mensaje;
        try {
            CargaMdb(ruta, topologia, puerto);
        } catch (const FinDePrograma& fin) {
            mensaje = fin.what();
        }
        EXPECT_EQ(mensaje.rfind("No se puede leer la base de datos " + ruta +
                                    ": la lectura terminó con la señal SIG",
                                0),
                  0u)
            << mensaje;
        EXPECT_EQ(topologia.Manzanas.size(), 1u) << "the topology it had is kept";
        EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << "the reader was waited for";
        EXPECT_EQ(errno, ECHILD);
    }
    BaseDatos bd(tmp / "tabla.mdb");
    EXPECT_TRUE(ExisteTabla(bd, "UniParTVia_bin", puerto));
    try {
        bd.AbreRecordset("Manzana_bin", "Manzana_bin");
        ADD_FAILURE() << "no error";
    } catch (const TopologiaError& e) {
        EXPECT_EQ(e.numero(), brisquel::kLlamadaNoValida);
    }

    puerto.mensajes.clear();
    Topologia topologia;
    CargaMdb(Fixture("basic.mdb"), topologia, puerto);
    EXPECT_TRUE(puerto.mensajes.empty());
    EXPECT_EQ(topologia.Manzanas.size(), 3u);
}

}  // namespace
}  // namespace parvenza
