#include "converter/cli/Json.h"

#include <charconv>
#include <cstdio>

#include "digi/Texto1252.h"

namespace parvenza::cli {

std::string NumeroJson(double v) {
    char b[32];
    const auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

std::string CadenaJson(const std::string& s1252) {
    std::string r = "\"";
    for (unsigned char c : brisquel::Utf8DesdeWindows1252(s1252)) {
        if (c == '"' || c == '\\') {
            r += '\\';
            r += static_cast<char>(c);
        } else if (c == '\n') {
            r += "\\n";
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            r += b;
        } else {
            r += static_cast<char>(c);
        }
    }
    return r + "\"";
}

}  // namespace parvenza::cli
