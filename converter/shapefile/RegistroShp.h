#pragma once
// The bytes of one shape record and of the file-wide bounds, exactly as shapelib writes them
// for a shape of one part without measures: pure functions, no file I/O. The writer of new
// layers builds its records here straight into its buffers.

#include <cstddef>
#include <cstdint>

namespace parvenza::registro_shp {

/// Bounds of a whole file (x, y, z, m), grown record by record as shapelib grows them.
struct Limites {
    double min[4] = {0, 0, 0, 0};
    double max[4] = {0, 0, 0, 0};
};

/// Vertices of one record; `z` may be null (all 0). `n` 0 is a null shape.
struct Vertices {
    const double* x = nullptr;
    const double* y = nullptr;
    const double* z = nullptr;
    size_t n = 0;
};

/// The extent a record carries: x, y and z from the first vertex (0 without vertices or z).
struct Extension {
    double xmin = 0, ymin = 0, xmax = 0, ymax = 0, zmin = 0, zmax = 0;
};

/// The extent of `v`, taken as shapelib takes it when the shape is made (before its ring is
/// turned: with a NaN the order decides).
Extension Mide(const Vertices& v);

/// Bytes of the record (its 8-byte header included) of `v` in a file of shape type `tipo`.
size_t Tamano(int tipo, const Vertices& v);

/// Writes the record `numero` (1-based) of `v` with extent `e` at `p`, Tamano(tipo, v) bytes.
void Codifica(unsigned char* p, int tipo, int32_t numero, const Vertices& v, const Extension& e);

/// Grows `l` by the vertices of `v` as shapelib does: bounds still all 0 in x and y start
/// again from the first vertex, so a first shape at the origin does not count.
void Amplia(Limites& l, const Vertices& v);

/// The 64 bytes of the bounds in a .shp or .shx header (offset 36).
void CodificaLimites(unsigned char* p, const Limites& l);

/// A 32-bit value with its most significant byte first, as the headers hold lengths.
inline void PonBE32(unsigned char* p, uint32_t v) {
    p[0] = uint8_t(v >> 24), p[1] = uint8_t(v >> 16), p[2] = uint8_t(v >> 8), p[3] = uint8_t(v);
}

/// The value PonBE32 wrote.
inline uint32_t LeeBE32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace parvenza::registro_shp
