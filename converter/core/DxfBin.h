#pragma once
// DXF drawings to a Digi BIN file: the run behind `parvenza-cli dxf2bin`. Every entity the
// DXF reader loads becomes one element, through the libraries' chain: DXF record, entity
// (Utilidades::ConvierteDxfOrmanto, which finds the Digi code by the layer table), element.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "converter/core/Omision.h"
#include "converter/core/Puerto.h"

namespace parvenza {

/// Choices of one run. Texts are Windows-1252 bytes, as the BIN file holds them.
struct OpcionesDxfBin {
    std::vector<std::string> ficherosDxf;
    std::string ficheroCapas;      ///< the layer table (bindxf.tab)
    std::string ficheroBin;        ///< the output BIN file; elements are appended to it
    int32_t factorUnidades = 100;  ///< 100 for centimetres, 1000 for millimetres
    std::string codigo = "9995";   ///< code of the entities whose layer the table lacks
};

/// What a run did.
struct ResultadoDxfBin {
    bool escrito = false;   ///< the elements were appended (true also when there were none)
    int64_t entidades = 0;  ///< entities loaded from the files
    int64_t elementos = 0;  ///< elements appended
    /// Layers the table lacks -> entities that got `codigo`.
    std::map<std::string, int64_t> capasSinCodigo;
    /// By file: entities left out ("entidad N (KIND): why"), entity kinds the reader does not
    /// convert (counted), entities with characters Windows-1252 lacks, written as "?".
    Omisiones omisiones;
    std::string error;  ///< why nothing was written, when `escrito` is false
};

/// Converts every file of `opciones.ficherosDxf`, in order, and appends the elements to
/// `opciones.ficheroBin` in one all-or-nothing write. Lines and polylines become "C="
/// elements (a closed one ends on its first point), points one-point "C=" elements, texts
/// "T=" elements with height, justification and rotation. Coordinates and heights are
/// scaled by `factorUnidades` and rounded halves to even, less the 4,000,000 m false
/// northing when y would not fit, as shp2bin does.
/// An entity that does not fit a BIN element (more than 32767 vertices, a value out of
/// range, a code longer than 7 characters) is left out and listed in `omisiones`; the run
/// goes on. A layer
/// table that cannot be read or has a bad line, a DXF file that cannot be read, or a failed
/// write is reported through `puerto` (critical message) and leaves the BIN file as it was.
/// The BIN file is locked for the whole run; elements go into its pending copy as the
/// entities are read.
/// Never throws for bad input; the result says what happened.
ResultadoDxfBin DxfABin(const OpcionesDxfBin& opciones, Puerto& puerto);

}  // namespace parvenza
