#include <gtest/gtest.h>

#include <cstring>

#include "digi/Bytes.h"
#include "digi/DigiError.h"
#include "digi/Ficheros.h"
#include "digi/Texto1252.h"

namespace brisquel {
namespace {

TEST(Bytes, Enteros32EnAmbosSentidos) {
    struct Caso {
        int32_t valor;
        unsigned char b[4];
    };
    const Caso casos[] = {{0, {0, 0, 0, 0}},
                          {1, {1, 0, 0, 0}},
                          {-1, {0xFF, 0xFF, 0xFF, 0xFF}},
                          {0x12345678, {0x78, 0x56, 0x34, 0x12}},
                          {-2, {0xFE, 0xFF, 0xFF, 0xFF}},
                          {2147483647, {0xFF, 0xFF, 0xFF, 0x7F}},
                          {-2147483647, {0x01, 0, 0, 0x80}}};
    for (const Caso& c : casos) {
        EXPECT_EQ(bytes::LeeEntero32(c.b), c.valor);
        unsigned char out[4] = {};
        bytes::EscribeEntero32(out, c.valor);
        EXPECT_EQ(0, std::memcmp(out, c.b, 4)) << c.valor;
    }
    unsigned char out[4] = {9, 9, 9, 9};
    try {
        bytes::EscribeEntero32(out, INT32_MIN);
        FAIL();
    } catch (const DigiError& e) {
        EXPECT_EQ(e.numero(), kDesbordamiento);
    }
    const unsigned char minimo[4] = {0, 0, 0, 0x80};
    EXPECT_EQ(bytes::LeeEntero32(minimo), INT32_MIN);  // reading it is fine
}

TEST(Bytes, Contadores16BitsDe0a32767) {
    const unsigned char a[2] = {0x34, 0x12};
    EXPECT_EQ(bytes::LeeEntero16(a), 0x1234);
    const unsigned char b[2] = {0xFF, 0x7F};
    EXPECT_EQ(bytes::LeeEntero16(b), 32767);
    const unsigned char alto[2] = {0x00, 0x80};
    EXPECT_THROW(bytes::LeeEntero16(alto), DigiError);

    unsigned char out[2] = {};
    bytes::EscribeEntero16(out, 300);
    EXPECT_EQ(out[0], 300 % 256);
    EXPECT_EQ(out[1], 1);
    for (int malo : {-1, 32768, 70000}) {
        try {
            bytes::EscribeEntero16(out, malo);
            FAIL() << malo;
        } catch (const DigiError& e) {
            EXPECT_EQ(e.numero(), kDesbordamiento);
        }
    }
}

TEST(Ficheros, ElNumeroMasBajoLibreYSuLimite) {
    std::vector<int32_t> tomados;
    const int32_t a = TomaNumeroFichero();
    const int32_t b = TomaNumeroFichero();
    EXPECT_LT(a, b);
    LiberaNumeroFichero(a);
    EXPECT_FALSE(NumeroFicheroEnUso(a));
    EXPECT_EQ(TomaNumeroFichero(), a);  // lowest free comes back first
    tomados = {a, b};
    try {
        for (;;) tomados.push_back(TomaNumeroFichero());
    } catch (const DigiError& e) {
        EXPECT_EQ(e.numero(), kDemasiadosFicheros);
    }
    EXPECT_EQ(tomados.size(), 255u);
    for (int32_t n : tomados) LiberaNumeroFichero(n);
    LiberaNumeroFichero(0);    // ignored
    LiberaNumeroFichero(999);  // ignored
    EXPECT_EQ(TomaNumeroFichero(), 1);
    LiberaNumeroFichero(1);
}

TEST(Texto1252, IdaYVuelta) {
    std::string todos;
    for (int b = 1; b < 256; ++b) todos += char(b);
    bool exacto = false;
    EXPECT_EQ(Windows1252DesdeUtf8(Utf8DesdeWindows1252(todos), '?', &exacto), todos);
    EXPECT_TRUE(exacto);
    EXPECT_EQ(Utf8DesdeWindows1252("A\xF1o \x80"), "A\xC3\xB1o \xE2\x82\xAC");
    // Characters the code page lacks, and broken UTF-8, become the substitute.
    EXPECT_EQ(Windows1252DesdeUtf8("\xE2\x88\x9E x \xC3", '?', &exacto), "? x ?");
    EXPECT_FALSE(exacto);
}

}  // namespace
}  // namespace brisquel
