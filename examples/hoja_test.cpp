// The checked-in sample sheet is what its generator writes, byte for byte.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "tests/robustez/Robustez.h"

namespace {

using parvenza::robustez::Lee;

TEST(Hoja, ElGeneradorEscribeLaHojaDelRepositorio) {
    const auto salida = std::filesystem::temp_directory_path() /
                        ("hoja-test-" + std::to_string(std::random_device{}()) + ".bin");
    ASSERT_EQ(std::system((std::string(GENERA_HOJA) + " '" + salida.string() + "'").c_str()), 0);
    const std::string esperado = Lee(PARVENZA_SOURCE_DIR "/examples/hoja.bin");
    EXPECT_EQ(Lee(salida.string()), esperado) << "regenerate with: genera_hoja examples/hoja.bin";
    std::filesystem::remove(salida);
}

}  // namespace
