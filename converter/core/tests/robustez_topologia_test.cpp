// Access files damaged inside: pages overwritten with noise at every page of a real database.
// The load either works or fails with the database's error naming the file; it never takes
// the program down, and the file is never written.

#include <gtest/gtest.h>

#include <fstream>

#include "converter/core/Topologia.h"
#include "converter/core/tests/topologia_prueba.h"
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

}  // namespace
}  // namespace parvenza
