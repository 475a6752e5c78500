#pragma once
// The "next pair" tokenizer under the DXF reader: a DXF file is a sequence of pairs of
// lines, a group code and its value.

#include <array>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace dornavel {

/// Reads one line, without its end: LF, CR LF or a lone CR. False at the end of the input
/// (a last line without an end is still returned).
bool LeeLineaTexto(std::istream& in, std::string& linea);

/// Blanks (spaces and tabs) removed from both ends.
std::string SinBlancos(const std::string& s);
/// The same, as a view into `s`.
std::string_view SinBlancosVista(std::string_view s);

/// The group code of a code line as a number, read after trimming blanks ("  0" and "0"
/// are the same code); -1 when the line is not a number.
int GrupoDxf(const std::string& codigo);

/// A pair as read: the code line and the value line, untouched.
using ParDxf = std::array<std::string, 2>;

/// Reads pairs from a stream, counting lines for messages.
class LectorPares {
  public:
    LectorPares(std::istream& in, std::string fichero) : m_in(in), m_fichero(std::move(fichero)) {}

    /// The next pair. Throws DxfError 62 when the lines run out.
    ParDxf Siguiente();
    /// The same into `par`, whose strings keep their capacity from pair to pair.
    void Siguiente(ParDxf& par);
    /// Line number (1-based) of the code line of the last pair read.
    int64_t Linea() const { return m_lineaCodigo; }
    const std::string& Fichero() const { return m_fichero; }

  private:
    // Lines are cut from large blocks of the stream: reading a character at a time through
    // the stream costs more than the rest of the reader.
    bool Linea(std::string& linea);
    bool Rellena();

    std::istream& m_in;
    std::vector<char> m_bloque;
    std::size_t m_inicio = 0, m_fin = 0;
    std::string m_fichero;
    int64_t m_lineas = 0;
    int64_t m_lineaCodigo = 0;
};

}  // namespace dornavel
