#include "dxf/TextoDxf.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>

namespace dornavel {

namespace {

const iconv_t kNinguno = reinterpret_cast<iconv_t>(-1);

iconv_t Descriptor(void* d) { return d ? static_cast<iconv_t>(d) : kNinguno; }

void AnadeUtf8(std::string& s, uint32_t c) {
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | (c >> 18));
        s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Bytes of the UTF-8 sequence led by `c` (1 for a stray byte).
std::size_t LargoUtf8(unsigned char c) {
    if (c >= 0xF0 && c < 0xF8) return 4;
    if (c >= 0xE0) return c < 0xF0 ? 3 : 1;
    if (c >= 0xC0) return 2;
    return 1;
}

bool Hex(std::string_view s, std::size_t i, std::size_t n, uint32_t& v) {
    if (i + n > s.size()) return false;
    v = 0;
    for (std::size_t k = i; k < i + n; ++k) {
        const char c = s[k];
        const int d = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : (c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : (c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1));
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    return true;
}

bool HayCodigos(std::string_view v, ClaseTextoDxf clase) {
    for (unsigned char c : v) {
        if (c >= 0x80 || c == '\\') return true;
        if (clase != ClaseTextoDxf::Nombre && (c == '%' || c == '^')) return true;
        if (clase == ClaseTextoDxf::MText && (c == '{' || c == '}')) return true;
    }
    return false;
}

}  // namespace

TextoDxf::TextoDxf() { Origen("", ""); }

TextoDxf::~TextoDxf() { Cierra(); }

void TextoDxf::Cierra() {
    if (m_origen) iconv_close(static_cast<iconv_t>(m_origen));
    if (m_a1252) iconv_close(static_cast<iconv_t>(m_a1252));
    m_origen = m_a1252 = nullptr;
}

void TextoDxf::Origen(const std::string& version, const std::string& paginaCodigos) {
    Cierra();
    m_sustituidos = 0;
    const iconv_t a1252 = iconv_open("WINDOWS-1252", "UTF-8");
    if (a1252 != kNinguno) m_a1252 = a1252;
    // "AC1021" and later compare above as text: the names have one length.
    m_utf8 = version.size() == 6 && version.compare(0, 2, "AC") == 0 && version >= "AC1021";
    if (m_utf8) return;
    std::string p;
    for (char c : paginaCodigos)
        p += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string numero;
    if (p.rfind("ANSI_", 0) == 0) numero = p.substr(5);
    if (p.rfind("DOS", 0) == 0) numero = p.substr(3);
    if (numero.empty() || numero == "1252") return;  // the library's own code page
    // Names as iconv knows them; the CP name first, then the common alias of the East Asian ones.
    const char* alias = numero == "932"   ? "SHIFT_JIS"
                        : numero == "936" ? "GBK"
                        : numero == "949" ? "UHC"
                        : numero == "950" ? "BIG5"
                                          : nullptr;
    for (const std::string& nombre : {"CP" + numero, std::string(alias ? alias : "")}) {
        if (nombre.empty()) continue;
        const iconv_t d = iconv_open("UTF-8", nombre.c_str());
        if (d != kNinguno) {
            m_origen = d;
            return;
        }
    }
}

std::string TextoDxf::DesdeOrigen(std::string_view valor) {
    const iconv_t d = Descriptor(m_origen);
    iconv(d, nullptr, nullptr, nullptr, nullptr);
    std::string salida(valor.size() * 4 + 4, '\0');
    char* entrada = const_cast<char*>(valor.data());
    std::size_t quedan = valor.size();
    char* fin = salida.data();
    std::size_t libre = salida.size();
    while (quedan > 0) {
        if (iconv(d, &entrada, &quedan, &fin, &libre) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) break;  // cannot happen with four bytes a byte
        // A byte the code page does not define, or a sequence cut at the end.
        *fin++ = '?';
        --libre;
        ++m_sustituidos;
        ++entrada;
        --quedan;
    }
    salida.resize(static_cast<std::size_t>(fin - salida.data()));
    return salida;
}

std::string TextoDxf::A1252(std::string_view utf8) {
    bool ascii = true;
    for (unsigned char c : utf8) ascii = ascii && c < 0x80;
    if (ascii) return std::string(utf8);
    const iconv_t d = Descriptor(m_a1252);
    std::string salida(utf8.size(), '\0');
    char* entrada = const_cast<char*>(utf8.data());
    std::size_t quedan = utf8.size();
    char* fin = salida.data();
    std::size_t libre = salida.size();
    if (d != kNinguno) iconv(d, nullptr, nullptr, nullptr, nullptr);
    while (quedan > 0) {
        if (d != kNinguno &&
            iconv(d, &entrada, &quedan, &fin, &libre) != static_cast<std::size_t>(-1))
            break;
        if (d != kNinguno && errno == E2BIG) break;  // never: 1252 is never longer than UTF-8
        // A character 1252 lacks, or bytes that are not UTF-8: one "?" for the sequence.
        *fin++ = '?';
        --libre;
        ++m_sustituidos;
        const std::size_t n = std::min(LargoUtf8(static_cast<unsigned char>(*entrada)), quedan);
        entrada += n;
        quedan -= n;
    }
    salida.resize(static_cast<std::size_t>(fin - salida.data()));
    return salida;
}

std::string TextoDxf::Decodifica(std::string_view valor, ClaseTextoDxf clase) {
    if (!HayCodigos(valor, clase)) return std::string(valor);
    // Codes and escapes are ASCII, so they are found alike in 1252 bytes and in UTF-8.
    const bool utf8 = m_utf8 || m_origen;
    const std::string u = m_origen ? DesdeOrigen(valor) : std::string(valor);
    std::string s;
    s.reserve(u.size());
    auto caracter = [&](uint32_t c) {
        if (utf8) return AnadeUtf8(s, c);
        std::string t;
        AnadeUtf8(t, c);
        s += A1252(t);
    };
    const bool texto = clase != ClaseTextoDxf::Nombre;
    const bool mtext = clase == ClaseTextoDxf::MText;
    for (std::size_t i = 0; i < u.size(); ++i) {
        const char c = u[i];
        const char sig = i + 1 < u.size() ? u[i + 1] : '\0';
        uint32_t cp = 0;
        if (c == '\\' && sig == 'U' && i + 2 < u.size() && u[i + 2] == '+' &&
            Hex(u, i + 3, 4, cp)) {
            caracter(cp);
            i += 6;
        } else if (texto && c == '%' && sig == '%' && i + 2 < u.size()) {
            const char k = static_cast<char>(std::tolower(static_cast<unsigned char>(u[i + 2])));
            if (k == 'c')
                caracter(0xD8);  // diameter
            else if (k == 'd')
                caracter(0xB0);  // degree
            else if (k == 'p')
                caracter(0xB1);  // plus-minus
            else if (k == '%')
                s += '%';
            else if (k == 'u' || k == 'o' || k == 'k') {
                // underline, overline and strike-through toggles: formatting only
            } else {
                s += "%%";
                ++i;
                continue;
            }
            i += 2;
        } else if (texto && c == '^' && (sig == 'I' || sig == 'J' || sig == ' ')) {
            s += sig == 'I' ? '\t' : (sig == 'J' ? '\n' : '^');
            ++i;
        } else if (mtext && (c == '{' || c == '}')) {
            // grouping of formats
        } else if (mtext && c == '\\' && sig != '\0') {
            ++i;
            switch (sig) {
                case 'P':
                    s += '\n';
                    break;
                case '~':
                    s += ' ';
                    break;
                case '\\':
                case '{':
                case '}':
                    s += sig;
                    break;
                case 'S': {
                    // Stacked text "a^b", "a/b" or "a#b" up to ";": written as a fraction.
                    for (++i; i < u.size() && u[i] != ';'; ++i)
                        s += (u[i] == '^' || u[i] == '#') ? '/' : u[i];
                    break;
                }
                case 'A':
                case 'C':
                case 'c':
                case 'F':
                case 'f':
                case 'H':
                case 'Q':
                case 'T':
                case 'W':
                case 'p':
                    // A format with its value up to ";".
                    while (i < u.size() && u[i] != ';') ++i;
                    break;
                case 'L':
                case 'l':
                case 'O':
                case 'o':
                case 'K':
                case 'k':
                case 'N':
                    break;
                default:
                    s += c;
                    s += sig;
            }
        } else {
            s += c;
        }
    }
    return utf8 ? A1252(s) : s;
}

}  // namespace dornavel
