#pragma once
// Several sheets converted at once, in worker processes that take one sheet after another: the
// libraries keep process-wide state (open file numbers, message sinks), and a crash or a
// program-ending state in one sheet must not touch the others (a worker that meets one is
// replaced by a fresh one).

#include <string>
#include <vector>

#include "converter/core/BinShp.h"

namespace parvenza {

/// What became of one sheet of a parallel run.
struct HojaParalela {
    std::string fichero;
    ResultadoBinShp resultado;        ///< as a serial run of this sheet alone gives it
    std::vector<std::string> avisos;  ///< messages the run showed
    std::string error;                ///< empty when the sheet converted
};

/// Converts each sheet of `opciones.ficheros` as a run of ProcesarBinShp on that sheet alone,
/// up to `trabajos` at once, and returns them in input order. Not for append or cadastre runs,
/// whose sheets write one shared set. Progress goes to `puerto` as sheets finish.
std::vector<HojaParalela> ProcesarBinShpEnParalelo(const OpcionesBinShp& opciones, int trabajos,
                                                   Puerto& puerto);

}  // namespace parvenza
