#pragma once
// Texts of a DXF file into the library's convention, Windows-1252 bytes. Files from AC1021 on
// are UTF-8; older ones are in the code page their header names ($DWGCODEPAGE). Characters
// may also come as \U+XXXX escapes and %% control codes, and MTEXT adds its formatting codes.

#include <cstdint>
#include <string>
#include <string_view>

namespace dornavel {

/// What a value holds, which decides the codes decoded.
enum class ClaseTextoDxf {
    Nombre,  ///< a layer name: only \U+XXXX escapes
    Texto,   ///< a TEXT's string: escapes and the %% codes
    MText    ///< an MTEXT's string: as a TEXT's, and its formatting codes removed
};

/// Converts the texts of one file. Not copyable: it holds iconv descriptors.
class TextoDxf {
  public:
    TextoDxf();
    ~TextoDxf();
    TextoDxf(const TextoDxf&) = delete;
    TextoDxf& operator=(const TextoDxf&) = delete;

    /// Sets the source encoding from the header's $ACADVER and $DWGCODEPAGE values (either may
    /// be empty): UTF-8 from AC1021 on, else the code page ("ANSI_1251", "DOS850"...), else
    /// Windows-1252. A code page that iconv does not know is read as Windows-1252.
    void Origen(const std::string& version, const std::string& paginaCodigos);

    /// `valor` as Windows-1252 bytes. A character that Windows-1252 lacks, or a byte that is
    /// not valid in the source encoding, becomes "?" and is counted in Sustituidos().
    std::string Decodifica(std::string_view valor, ClaseTextoDxf clase);

    /// Characters replaced by "?" since the last Origen().
    int64_t Sustituidos() const { return m_sustituidos; }

  private:
    std::string DesdeOrigen(std::string_view valor);
    std::string A1252(std::string_view utf8);
    void Cierra();

    void* m_origen = nullptr;  ///< iconv from a code page other than 1252 to UTF-8
    void* m_a1252 = nullptr;   ///< iconv from UTF-8 to Windows-1252
    bool m_utf8 = false;       ///< the source is UTF-8
    int64_t m_sustituidos = 0;
};

}  // namespace dornavel
