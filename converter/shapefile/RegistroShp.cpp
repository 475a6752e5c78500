#include "converter/shapefile/RegistroShp.h"

#include <shapefil.h>

#include <bit>
#include <cstring>
#include <initializer_list>

namespace parvenza::registro_shp {

static_assert(std::endian::native == std::endian::little,
              "shape records hold little-endian doubles copied as they are in memory");

namespace {

// shapelib's MIN and MAX, argument order included: a NaN vertex gives what it gives there.
inline double Menor(double a, double b) { return a < b ? a : b; }
inline double Mayor(double a, double b) { return a > b ? a : b; }

enum class Forma { kNula, kPunto, kMultipunto, kPartes };

Forma FormaDe(int tipo, size_t n) {
    if (n == 0) return Forma::kNula;
    switch (tipo) {
        case SHPT_POINT:
        case SHPT_POINTZ:
        case SHPT_POINTM:
            return Forma::kPunto;
        case SHPT_MULTIPOINT:
        case SHPT_MULTIPOINTZ:
        case SHPT_MULTIPOINTM:
            return Forma::kMultipunto;
        default:
            return Forma::kPartes;
    }
}

bool LlevaZ(int tipo) {
    return tipo == SHPT_POINTZ || tipo == SHPT_MULTIPOINTZ || tipo == SHPT_ARCZ ||
           tipo == SHPT_POLYGONZ;
}

inline void PonLE32(unsigned char* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline unsigned char* PonDoble(unsigned char* p, double v) {
    std::memcpy(p, &v, 8);
    return p + 8;
}

unsigned char* PonCaja(unsigned char* p, const Extension& e) {
    p = PonDoble(p, e.xmin);
    p = PonDoble(p, e.ymin);
    p = PonDoble(p, e.xmax);
    return PonDoble(p, e.ymax);
}

unsigned char* PonXY(unsigned char* p, const Vertices& v) {
    for (size_t i = 0; i < v.n; ++i) {
        p = PonDoble(p, v.x[i]);
        p = PonDoble(p, v.y[i]);
    }
    return p;
}

void Extiende(const double* c, size_t n, double& menor, double& mayor) {
    menor = mayor = c[0];
    for (size_t i = 0; i < n; ++i) {
        menor = Menor(menor, c[i]);
        mayor = Mayor(mayor, c[i]);
    }
}

}  // namespace

Extension Mide(const Vertices& v) {
    Extension e;
    if (v.n == 0) return e;
    Extiende(v.x, v.n, e.xmin, e.xmax);
    Extiende(v.y, v.n, e.ymin, e.ymax);
    if (v.z) Extiende(v.z, v.n, e.zmin, e.zmax);
    return e;
}

size_t Tamano(int tipo, const Vertices& v) {
    const size_t z = LlevaZ(tipo) ? 16 + 8 * v.n : 0;
    switch (FormaDe(tipo, v.n)) {
        case Forma::kNula:
            return 12;
        case Forma::kPunto:
            return 28 + (LlevaZ(tipo) ? 8 : 0);
        case Forma::kMultipunto:
            return 48 + 16 * v.n + z;
        case Forma::kPartes:
            return 56 + 16 * v.n + z;
    }
    return 12;
}

void Codifica(unsigned char* p, int tipo, int32_t numero, const Vertices& v, const Extension& e) {
    const Forma forma = FormaDe(tipo, v.n);
    PonBE32(p, static_cast<uint32_t>(numero));
    PonBE32(p + 4, static_cast<uint32_t>((Tamano(tipo, v) - 8) / 2));
    PonLE32(p + 8, forma == Forma::kNula ? SHPT_NULL : static_cast<uint32_t>(tipo));
    unsigned char* q = p + 12;
    switch (forma) {
        case Forma::kNula:
            return;
        case Forma::kPunto:
            q = PonDoble(q, v.x[0]);
            q = PonDoble(q, v.y[0]);
            if (LlevaZ(tipo)) PonDoble(q, v.z ? v.z[0] : 0.0);
            return;
        case Forma::kMultipunto:
            q = PonCaja(q, e);
            PonLE32(q, static_cast<uint32_t>(v.n));
            q = PonXY(q + 4, v);
            break;
        case Forma::kPartes:
            q = PonCaja(q, e);
            PonLE32(q, 1);
            PonLE32(q + 4, static_cast<uint32_t>(v.n));
            PonLE32(q + 8, 0);
            q = PonXY(q + 12, v);
            break;
    }
    if (!LlevaZ(tipo)) return;
    q = PonDoble(q, e.zmin);
    q = PonDoble(q, e.zmax);
    if (v.z) {
        std::memcpy(q, v.z, 8 * v.n);
    } else {
        std::memset(q, 0, 8 * v.n);
    }
}

void Amplia(Limites& l, const Vertices& v) {
    if (l.min[0] == 0.0 && l.max[0] == 0.0 && l.min[1] == 0.0 && l.max[1] == 0.0) {
        l = Limites{};
        if (v.n > 0) {
            l.min[0] = l.max[0] = v.x[0];
            l.min[1] = l.max[1] = v.y[0];
            l.min[2] = l.max[2] = v.z ? v.z[0] : 0.0;
        }
    }
    for (size_t i = 0; i < v.n; ++i) {
        l.min[0] = Menor(l.min[0], v.x[i]);
        l.min[1] = Menor(l.min[1], v.y[i]);
        l.max[0] = Mayor(l.max[0], v.x[i]);
        l.max[1] = Mayor(l.max[1], v.y[i]);
    }
    // Without z, and always for m, shapelib grows the bounds by zeros: they stay 0.
    if (!v.z) return;
    for (size_t i = 0; i < v.n; ++i) {
        l.min[2] = Menor(l.min[2], v.z[i]);
        l.max[2] = Mayor(l.max[2], v.z[i]);
    }
}

void CodificaLimites(unsigned char* p, const Limites& l) {
    for (double d :
         {l.min[0], l.min[1], l.max[0], l.max[1], l.min[2], l.max[2], l.min[3], l.max[3]})
        p = PonDoble(p, d);
}

}  // namespace parvenza::registro_shp
