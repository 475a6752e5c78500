#pragma once
// Little-endian integers of the BIN format, as pure functions over byte arrays.
// No file I/O and no records here; errors carry no file name (the caller adds it).

#include <cstdint>

namespace brisquel::bytes {

/// Throws the overflow of a 16-bit count whose high byte is `alto`.
[[noreturn]] void DesbordaEntero16(unsigned char alto);

/// Reads a 16-bit count (low byte first). The format's counts are 0..32767: a high byte
/// of 0x80 or more throws DigiError kDesbordamiento (6).
inline int16_t LeeEntero16(const unsigned char* p) {
    if (p[1] >= 0x80) DesbordaEntero16(p[1]);
    return static_cast<int16_t>(p[0] + 256 * p[1]);
}

/// Reads a signed 32-bit value, two's complement, low byte first.
inline int32_t LeeEntero32(const unsigned char* p) {
    const uint32_t u =
        uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return static_cast<int32_t>(u);
}

/// Writes a 16-bit count: low byte = valor mod 256, high byte = valor / 256.
/// Throws kDesbordamiento (6) outside 0..32767.
void EscribeEntero16(unsigned char* p, int32_t valor);

/// Writes a signed 32-bit value, two's complement, low byte first.
/// -2147483648 has no positive magnitude to encode and throws kDesbordamiento (6).
void EscribeEntero32(unsigned char* p, int32_t valor);

}  // namespace brisquel::bytes
