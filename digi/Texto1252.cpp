#include "digi/Texto1252.h"

#include <cstdint>

namespace brisquel {

namespace {

// Code points of bytes 0x80..0x9F; the rest of the page is Latin-1.
constexpr char32_t kAlto[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void PonUtf8(std::string& s, char32_t c) {
    if (c < 0x80) {
        s += char(c);
    } else if (c < 0x800) {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    } else {
        s += char(0xE0 | (c >> 12));
        s += char(0x80 | ((c >> 6) & 0x3F));
        s += char(0x80 | (c & 0x3F));
    }
}

int ByteDe(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return int(c);
    for (int i = 0; i < 32; ++i) {
        if (kAlto[i] == c) return 0x80 + i;
    }
    return -1;
}

}  // namespace

std::string Utf8DesdeWindows1252(std::string_view texto) {
    std::string s;
    s.reserve(texto.size());
    for (unsigned char b : texto) PonUtf8(s, b >= 0x80 && b < 0xA0 ? kAlto[b - 0x80] : char32_t(b));
    return s;
}

std::string Windows1252DesdeUtf8(std::string_view texto, char sustituto, bool* exacto) {
    std::string s;
    s.reserve(texto.size());
    bool bien = true;
    for (size_t i = 0; i < texto.size();) {
        const unsigned char b = texto[i];
        int largo = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = largo == 1   ? b
                     : largo == 2 ? (b & 0x1F)
                     : largo == 3 ? (b & 0x0F)
                                  : (b & 0x07);
        bool valido = largo > 0 && i + largo <= texto.size();
        for (int k = 1; valido && k < largo; ++k) {
            const unsigned char t = texto[i + k];
            if ((t & 0xC0) != 0x80) valido = false;
            c = (c << 6) | (t & 0x3F);
        }
        const int byte = valido ? ByteDe(c) : -1;
        if (byte < 0) {
            s += sustituto;
            bien = false;
        } else {
            s += char(byte);
        }
        i += valido ? largo : 1;
    }
    if (exacto) *exacto = bien;
    return s;
}

}  // namespace brisquel
