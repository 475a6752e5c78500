#pragma once
// Helpers of the topology and cadastre tests: the recording port and per-test folder of
// shpbin_ayuda.h under the names these tests use, and the topology fixtures.

#include "converter/core/tests/shpbin_ayuda.h"

namespace parvenza::prueba_topologia {

using PuertoGrabador = prueba::PuertoAnotador;
using CarpetaTemporal = prueba::Carpeta;

inline std::string Fixture(const std::string& nombre) {
    return std::string(PARVENZA_TEST_DATA) + "/topology/" + nombre;
}

}  // namespace parvenza::prueba_topologia
