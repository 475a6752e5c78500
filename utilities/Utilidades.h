#pragma once

#include <string>
#include <vector>

#include "utilities/SelectorFichero.h"
#include "utilities/UtilidadesError.h"

namespace fenoquia {

/// The utilities library's public class: the open-file dialog, file-type detection and the
/// conversion of Digi and DXF elements into entities. Every method throws UtilidadesError.
class Utilidades {
public:
    /// The open-file dialog used for every file choice.
    ///
    /// Asks the chooser installed with EstableceSelectorFichero, passing `filtro`
    /// ("Fichero BIN (*.bin)|*.bin") and `TituloDialogo`.
    /// - Cancelled: `eligio` = false; `ficheros` and `Directorio` are left as they were.
    /// - Chosen: `eligio` = true; `Directorio` = the chosen file's folder ending with "/".
    ///   With `UnSoloFichero`, `ficheros` = {"", chosen path}. Otherwise `ficheros`(0) = ""
    ///   followed by `Directorio` + name of every regular file of that folder whose name
    ///   ends with "." and the chosen path's last three characters (compared without
    ///   regard to case), sorted by name without regard to case; the chosen file is
    ///   among them.
    /// Throws UtilidadesError 5 when no chooser is installed or the chooser fails, 76 when
    /// the folder cannot be listed.
    void PideFichero(const std::string& filtro, const std::string& TituloDialogo,
                     std::vector<std::string>& ficheros, std::string& Directorio,
                     const bool& UnSoloFichero, bool& eligio);
};

}  // namespace fenoquia
