#pragma once
// From a BIN element to the shape the converter writes for it: which of a sheet's five layers
// takes it, its vertices in map units and its text fields. bin2shp and the GDAL driver both
// call these, so a sheet reads the same through either.

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "digi/Registros.h"

namespace parvenza::formas {

/// The five layers of a sheet, in the order they are listed.
enum Capa : int {
    kPoligonos,
    kLineas,
    kPuntos,
    kTextosLinea,
    kTextosPunto,
    kNingunaCapa = -1,
};

/// ESRI shape types, named as shapelib names them.
enum TipoForma : int16_t {
    kTipoPunto = 1,
    kTipoLinea = 3,
    kTipoPoligono = 5,
    kTipoPuntoZ = 11,
    kTipoLineaZ = 13,
    kTipoPoligonoZ = 15,
};

struct DefinicionCapa {
    const char* sufijo;  ///< after the sheet's name: "_P.shp"...
    TipoForma tipo2D;
    TipoForma tipoZ;
};
inline constexpr std::array<DefinicionCapa, 5> kCapas = {{{"_P.shp", kTipoPoligono, kTipoPoligonoZ},
                                                          {"_L.shp", kTipoLinea, kTipoLineaZ},
                                                          {"_X.shp", kTipoPunto, kTipoPuntoZ},
                                                          {"_TL.shp", kTipoLinea, kTipoLineaZ},
                                                          {"_TX.shp", kTipoPunto, kTipoPuntoZ}}};

/// The kind of a layer's shapes in words, as summaries name it ("líneas Z").
const char* NombreTipo(int tipo);

inline bool EsZ(int tipo) {
    return tipo == kTipoPuntoZ || tipo == kTipoLineaZ || tipo == kTipoPoligonoZ;
}

/// The choices of a run that decide where an element goes.
struct Reglas {
    bool textosComoLineas = true;     ///< texts to _TL as two-vertex lines, else to _TX
    bool cerradasComoLineas = false;  ///< closed lines to _L, else to _P
    bool sinPuntos = false;           ///< appending: points are not written
};

/// The layer that takes an element with properties `p`, or kNingunaCapa.
Capa CapaDe(const brisquel::tipo_propiedad& p, const Reglas& r);

/// The vertices of one element in map units (file units / divisor), z filled unless left out
/// for a 2D layer. Kept between elements so no vertex is allocated twice.
struct Forma {
    std::vector<double> x, y, z;
};

/// The shape of `e` in layer `capa`: the element's points (the first `npuntos` that could be
/// read) or, for a text, its first point and, in the line layer, the end of its run. Without
/// `conZ`, `f.z` is left empty.
void Geometria(const brisquel::tipo_entidad& e, Capa capa, double divisor, Forma& f,
               bool conZ = true);

/// A text's ROTATION value in degrees. The field holds -99.99 to 999.99: an angle outside that
/// range is given as the same angle within 0 to 360 rather than stop the run.
double Rotacion(const brisquel::tipo_entidad& e);

/// Puts a closed ring the way the converter's polygons have their outer rings: clockwise.
/// The sense is the sign of the ring's area summed as shapelib sums it, so a degenerate or
/// self-crossing ring turns (or not) as it does in the shapefiles.
void OrientaAnilloExterior(Forma& f);

// From map units back to the BIN file's integers: the rules of every writer of BIN files.

/// Most vertices one element holds.
inline constexpr int kMaximoPuntos = 32767;
/// Message of a part with more vertices, before the element's number.
inline constexpr const char* kMensajeMaximoPuntos =
    "Numero máximo de puntos (32767) en una entidad superado en la entidad ";

/// `y` (metres) as the BIN file holds it at `factor` units a metre: less the 4,000,000 m false
/// northing when the scaled value would not fit in 32 bits.
double SinFalsoNorte(double y, double factor);

/// `valor` rounded to the nearest integer, halves to even, when the BIN file can hold it
/// (-2147483647 to 2147483647); nothing for a larger value or NaN. Three times a vertex: in
/// line, and without a call to nearbyint. Adding 2^52 to a smaller magnitude leaves no
/// fraction, rounded in the default mode as nearbyint rounds; taking it away again is exact.
inline std::optional<int32_t> Entero32(double valor) {
    constexpr double k2e52 = 4503599627370496.0;
    const double a = std::fabs(valor);
    const double r = std::copysign(a < k2e52 ? (a + k2e52) - k2e52 : a, valor);
    // -2147483648 is a 32-bit value but the BIN writer cannot store it.
    if (!(r >= -2147483647.0 && r <= 2147483647.0)) return std::nullopt;
    return static_cast<int32_t>(r);
}

}  // namespace parvenza::formas
