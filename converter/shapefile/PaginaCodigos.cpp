#include "converter/shapefile/PaginaCodigos.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>

#include "converter/shapefile/Shapefile.h"
#include "digi/Texto1252.h"

namespace parvenza {

namespace {

const iconv_t kSinConversor = reinterpret_cast<iconv_t>(-1);

// Code pages of the dBase language driver byte, as dBase and the GIS programs that write it
// number them.
struct Ldid {
    int byte;
    const char* pagina;
};
constexpr Ldid kLdid[] = {
    {1, "CP437"},          {2, "CP850"},          {3, "WINDOWS-1252"},
    {4, "MACINTOSH"},      {8, "CP865"},          {9, "CP437"},
    {10, "CP850"},         {11, "CP437"},         {13, "CP437"},
    {14, "CP850"},         {15, "CP437"},         {16, "CP850"},
    {17, "CP437"},         {18, "CP850"},         {19, "CP932"},
    {20, "CP850"},         {21, "CP437"},         {22, "CP850"},
    {23, "CP865"},         {24, "CP437"},         {25, "CP437"},
    {26, "CP850"},         {27, "CP437"},         {28, "CP863"},
    {29, "CP850"},         {31, "CP852"},         {34, "CP852"},
    {35, "CP852"},         {36, "CP860"},         {37, "CP850"},
    {38, "CP866"},         {55, "CP850"},         {64, "CP852"},
    {77, "CP936"},         {78, "CP949"},         {79, "CP950"},
    {80, "CP874"},         {87, "WINDOWS-1252"},  {88, "WINDOWS-1252"},
    {89, "WINDOWS-1252"},  {100, "CP852"},        {101, "CP866"},
    {102, "CP865"},        {103, "CP861"},        {106, "CP737"},
    {107, "CP857"},        {108, "CP863"},        {120, "CP950"},
    {121, "CP949"},        {122, "CP936"},        {123, "CP932"},
    {124, "CP874"},        {134, "CP737"},        {135, "CP852"},
    {136, "CP857"},        {150, "MACCYRILLIC"},  {151, "MAC-CENTRALEUROPE"},
    {152, "MACGREEK"},     {200, "WINDOWS-1250"}, {201, "WINDOWS-1251"},
    {202, "WINDOWS-1254"}, {203, "WINDOWS-1253"}, {204, "WINDOWS-1257"},
};

bool SoloCifras(std::string_view t) {
    return !t.empty() &&
           std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isdigit(c); });
}

bool Empieza(std::string_view t, std::string_view prefijo) {
    return t.substr(0, prefijo.size()) == prefijo;
}

// "ISO-8859-" and the part number of "88591", "8859-1", "ISO8859_1"...
std::string Iso8859(std::string_view resto) {
    while (!resto.empty() && (resto[0] == '-' || resto[0] == '_')) resto.remove_prefix(1);
    return "ISO-8859-" + std::string(resto);
}

std::string Normaliza(std::string t) {
    if (t == "CP1252" || t == "WINDOWS-1252" || t == "MS-ANSI" || t == "ANSI")
        return "WINDOWS-1252";
    if (t == "UTF8" || t == "UTF-8") return "UTF-8";
    return t;
}

bool TodoAscii(std::string_view t) {
    return std::all_of(t.begin(), t.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string NombrePagina(std::string_view declarada) {
    std::string t;
    for (char c : declarada)
        if (!std::isspace(static_cast<unsigned char>(c)) || (!t.empty() && t.back() != ' '))
            t += static_cast<char>(std::isspace(static_cast<unsigned char>(c))
                                       ? ' '
                                       : std::toupper(static_cast<unsigned char>(c)));
    while (!t.empty() && t.back() == ' ') t.pop_back();
    if (t.empty()) return t;
    if (Empieza(t, "LDID/")) {
        int byte = 0;
        std::from_chars(t.data() + 5, t.data() + t.size(), byte);
        for (const Ldid& l : kLdid)
            if (l.byte == byte) return l.pagina;
        return {};
    }
    if (SoloCifras(t)) {
        if (t == "65001") return "UTF-8";
        if (Empieza(t, "8859")) return Iso8859(t.substr(4));
        if (Empieza(t, "2859") && t.size() == 5) return Iso8859(t.substr(4));  // 28591..28599
        return Normaliza("CP" + t);
    }
    for (const char* prefijo : {"ANSI ", "OEM ", "CP ", "CP-", "WINDOWS "})
        if (Empieza(t, prefijo) &&
            SoloCifras(std::string_view(t).substr(std::string_view(prefijo).size())))
            return Normaliza("CP" + t.substr(std::string_view(prefijo).size()));
    if (Empieza(t, "8859")) return Iso8859(std::string_view(t).substr(4));
    if (Empieza(t, "ISO8859")) return Iso8859(std::string_view(t).substr(7));
    if (Empieza(t, "ISO_8859")) return Iso8859(std::string_view(t).substr(8));
    return Normaliza(t);
}

bool PaginaConocida(const std::string& nombre) {
    if (nombre.empty() || nombre == "WINDOWS-1252" || nombre == "UTF-8") return true;
    iconv_t cd = iconv_open("UTF-8", nombre.c_str());
    if (cd == kSinConversor) return false;
    iconv_close(cd);
    return true;
}

ConversorPagina::ConversorPagina(const std::string& pagina)
    : m_pagina(pagina.empty() ? "WINDOWS-1252" : pagina) {
    m_identidad = m_pagina == "WINDOWS-1252";
    m_utf8 = m_pagina == "UTF-8";
    if (m_identidad || m_utf8) return;
    m_cd = iconv_open("UTF-8", m_pagina.c_str());
    if (m_cd == kSinConversor)
        throw ShapefileError(kLlamadaNoValida, "Página de códigos desconocida: " + m_pagina);
}

ConversorPagina::~ConversorPagina() {
    if (m_cd != kSinConversor) iconv_close(m_cd);
}

std::string ConversorPagina::A1252(std::string_view texto, bool* exacto) const {
    // Every page a table may declare keeps ASCII where it is.
    if (m_identidad || TodoAscii(texto)) {
        if (exacto) *exacto = true;
        return std::string(texto);
    }
    if (m_utf8) return brisquel::Windows1252DesdeUtf8(texto, '?', exacto);
    std::string utf8;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* entrada = const_cast<char*>(texto.data());
    size_t quedan = texto.size();
    char buffer[256];
    while (quedan > 0) {
        char* salida = buffer;
        size_t libre = sizeof buffer;
        const size_t r = iconv(m_cd, &entrada, &quedan, &salida, &libre);
        utf8.append(buffer, salida);
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte that is no character of the page: U+FFFD, which becomes "?" below.
            utf8 += "\xEF\xBF\xBD";
            ++entrada;
            --quedan;
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* salida = buffer;
    size_t libre = sizeof buffer;
    iconv(m_cd, nullptr, nullptr, &salida, &libre);
    utf8.append(buffer, salida);
    return brisquel::Windows1252DesdeUtf8(utf8, '?', exacto);
}

}  // namespace parvenza
