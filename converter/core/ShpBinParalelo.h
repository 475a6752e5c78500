#pragma once
// Several shapefiles into one BIN file in one all-or-nothing append, converted up to several
// at once.

#include <vector>

#include "converter/core/ShpBin.h"

namespace parvenza {

/// What a run of several shapefiles did.
struct ResultadoShapes {
    bool escrito = false;  ///< every shapefile's elements are in the BIN file
    /// One per shapefile, in input order, as a run of that shapefile alone gives it; when
    /// nothing was written, up to the one that failed.
    std::vector<ResultadoShpBin> shapes;
};

/// Converts the shapefiles of `opciones` (all with the same `ficheroBin`) and appends their
/// elements to that BIN file in input order, in one append: one lock and one copy for the
/// whole run, and the file ends wholly as before or with every shapefile. With `trabajos`
/// above 1, that many shapefiles are converted at once, each in a process of its own into a
/// scratch file of a private folder beside the BIN file (removed in every outcome), and
/// appended in input order as they come: the file, the messages and the losses are those of
/// a run of one shapefile after another. A shapefile that fails, or whose process ends
/// abnormally (named in a critical message), ends the run with nothing written; one that
/// ends the program (FinDePrograma) does so in its turn. Progress is told by Avance, file by
/// file.
ResultadoShapes ReadShapes(const std::vector<OpcionesShpBin>& opciones, int trabajos,
                           Puerto& puerto);

}  // namespace parvenza
