#pragma once
// Code pages of attribute tables written by other programs: the page a ".cpg" file or the
// dBase language byte declares, and the reading of its texts as the Windows-1252 bytes that
// BIN files hold.

#include <iconv.h>

#include <string>
#include <string_view>

namespace parvenza {

/// The iconv name of a declared code page: a ".cpg" text as GIS programs write it ("UTF-8",
/// "65001", "1252", "ANSI 1250", "CP850", "ISO-8859-1", "88591", "LATIN1"...) or shapelib's
/// "LDID/n" for the dBase language byte. Windows-1252 in any spelling is "WINDOWS-1252".
/// Empty when nothing is declared (an empty text, language byte 0 or one no page is known
/// for); any other text comes back trimmed and in capitals, for iconv to judge.
std::string NombrePagina(std::string_view declarada);

/// True when iconv can read texts of the page `nombre` (as NombrePagina gives it).
bool PaginaConocida(const std::string& nombre);

/// Reads texts of one code page as Windows-1252 bytes.
class ConversorPagina {
  public:
    /// `pagina` as NombrePagina gives it; empty means Windows-1252. Throws ShapefileError 5
    /// when iconv does not know the page.
    explicit ConversorPagina(const std::string& pagina);
    ~ConversorPagina();
    ConversorPagina(const ConversorPagina&) = delete;
    ConversorPagina& operator=(const ConversorPagina&) = delete;

    /// `texto` in Windows-1252. A character the code page lacks, or bytes that are no
    /// character of the source page, become "?"; `exacto`, when given, says whether none did.
    std::string A1252(std::string_view texto, bool* exacto = nullptr) const;
    /// The page read ("WINDOWS-1252", "UTF-8", "CP850"...).
    const std::string& Pagina() const { return m_pagina; }
    /// True when texts are already Windows-1252 and pass unchanged.
    bool Identidad() const { return m_identidad; }

  private:
    std::string m_pagina;
    bool m_identidad = false;
    bool m_utf8 = false;
    mutable iconv_t m_cd = reinterpret_cast<iconv_t>(-1);  // to UTF-8; its state is reset per text
};

}  // namespace parvenza
