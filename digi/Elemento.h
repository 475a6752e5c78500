#pragma once
// One BIN element to and from bytes: the header, the range, the body. Pure functions over
// memory; the callers (FicheroDigi) do the file I/O and add the file name to errors.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "digi/Bytes.h"
#include "digi/Registros.h"

namespace brisquel {

constexpr int kBloque = 12;    ///< every part of an element is a 12-byte block
constexpr int kCabecera = 48;  ///< header block + three range blocks

/// True when `tipo` is exactly the live kind `letra` followed by "=" ("C=" or "T=").
inline bool EsTipo(const std::string& tipo, char letra) {
    return tipo.size() == 2 && tipo[0] == letra && tipo[1] == '=';
}

/// Cuts `texto` at its first NUL and removes leading and trailing spaces (spaces only).
std::string TextoLimpio(const std::string& texto);

/// Removes leading and trailing spaces (not tabs, not NULs).
std::string SinEspacios(const std::string& texto);

/// Sets a string to `n` bytes of the file without going through a general replace: a walk
/// reuses its record, so the string usually has the right size already.
inline void Copia(std::string& s, const unsigned char* p, size_t n) {
    if (s.size() != n) s.resize(n);
    std::memcpy(s.data(), p, n);
}

/// Decodes the 12-byte header block at `p` into `cabecera`, field by field in file order.
/// Throws DigiError kDesbordamiento (6) when `npuntos` has a high byte of 0x80 or more.
inline void DecodificaCabecera(const unsigned char* p, tipo_dat& cabecera) {
    Copia(cabecera.tipo, p, 2);
    Copia(cabecera.codigo, p + 2, 7);
    cabecera.natr = p[9];
    cabecera.npuntos = bytes::LeeEntero16(p + 10);
}

/// Bytes a live element takes as the walk reads it (header, range, body). A text element
/// always has its insertion point, whatever `npuntos` says.
inline int64_t TamanoLeido(const tipo_dat& c) {
    const int64_t cuerpo = c.tipo[0] == 'T' ? 1 + std::max<int64_t>(c.npuntos - 1, 0) : c.npuntos;
    return kCabecera + kBloque * (cuerpo + c.natr);
}

/// Size of an element by its header counts: 48 + 12 x npuntos + 12 x natr.
inline int64_t TamanoSegunCabecera(const tipo_dat& c) {
    return kCabecera + kBloque * (int64_t(c.npuntos) + c.natr);
}

/// Decodes the range and body of a live element whose header is already in `e`;
/// `p` points at the element's first byte and holds TamanoLeido bytes.
void DecodificaCuerpo(const unsigned char* p, tipo_entidad_mem& e);

/// Appends the bytes of a "C=" or "T=" element to `salida`. On success `codigo` is left
/// trimmed and NUL-padded to 7 characters, as written. On failure nothing is appended and
/// DigiError is thrown: a code of more than 7 characters or a text element without its
/// insertion point (5), a count or value that does not fit its field (6), fewer points,
/// text blocks or attributes in the arrays than the header counts (9).
void CodificaElemento(tipo_entidad_mem& e, std::string& salida);

/// Plane area of the first `n` points when there are more than two and the first and last
/// agree in x and y; 0 otherwise. Differences and sums are 32-bit: overflow throws (6).
double AreaPoligono(const std::vector<Fpunto3d>& puntos, size_t n);

/// Recomputes xmin..zmax of the element as the writer stores them: minimums from 999999999,
/// maximums from 0, over the points written and, for a text with a non-empty
/// Propiedad.texto, the two ends of its run. xlib, ylib, zlib stay. Throws 9 with no point.
void CalculaRango(tipo_entidad& e);

/// Rounds to the nearest integer, halves to even; throws kDesbordamiento (6) outside 32 bits.
int32_t Redondea(double valor);

}  // namespace brisquel
