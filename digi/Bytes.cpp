#include "digi/Bytes.h"

#include <limits>
#include <string>

#include "digi/DigiError.h"

namespace brisquel::bytes {

void DesbordaEntero16(unsigned char alto) {
    throw DigiError(kDesbordamiento, "desbordamiento: contador de 16 bits con el byte alto " +
                                         std::to_string(alto) + " (los contadores llegan a 32767)");
}

void EscribeEntero16(unsigned char* p, int32_t valor) {
    if (valor < 0 || valor > 32767) {
        throw DigiError(kDesbordamiento, "desbordamiento: " + std::to_string(valor) +
                                             " no cabe en un contador de 0 a 32767");
    }
    p[0] = static_cast<unsigned char>(valor % 256);
    p[1] = static_cast<unsigned char>(valor / 256);
}

void EscribeEntero32(unsigned char* p, int32_t valor) {
    if (valor == std::numeric_limits<int32_t>::min()) {
        throw DigiError(kDesbordamiento, "desbordamiento: -2147483648 no se puede guardar");
    }
    const uint32_t u = static_cast<uint32_t>(valor);
    p[0] = static_cast<unsigned char>(u);
    p[1] = static_cast<unsigned char>(u >> 8);
    p[2] = static_cast<unsigned char>(u >> 16);
    p[3] = static_cast<unsigned char>(u >> 24);
}

}  // namespace brisquel::bytes
