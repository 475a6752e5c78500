#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "digi/DigiError.h"
#include "digi/Registros.h"

namespace brisquel {

/// Reads and writes Digi BIN element files, code tables and palettes.
/// Keeps no state between calls: an open file is known only by its number.
/// Every method throws DigiError on failure.
class FicheroDigi {
  public:
    /// Opens (creating if missing) `fichero` for binary read/write under the lowest
    /// free file number, returned in `nfich`. Read position 1.
    void AbreFichero(const std::string& fichero, int32_t& nfich);
    /// Closes file number `nfich`. `fichero` is not used.
    void CierraFichero(const std::string& fichero, int32_t nfich);
    /// Removes the deleted elements of a BIN file in place and shortens it.
    void comprimir(const std::string& fichero);
    /// Reads the next live element (skipping deleted ones). `nfich` of the record is 0
    /// when nothing follows it; that record may still hold the file's last element.
    /// A corrupt element kind shows "fichero corrupto..." and ends the program.
    void DameEntidad(int32_t nfich, tipo_entidad& entidad);
    /// Appends every live element of the open file `nfich`, from its start, to `elementos`.
    void CargaFicheroDigi(const std::string& fichero, std::vector<tipo_entidad>& elementos,
                          int32_t nfich);
    /// Recomputes the derived properties and `tamano` of an element.
    void AdaptaPropiedad(tipo_entidad& entidad);
    /// Appends `elementos` at the end of `fichero`, recomputing their properties and extent.
    /// All or nothing: on failure the file is cut back to its length before the call.
    void CreaFicheroDigi(const std::string& fichero, std::vector<tipo_entidad>& elementos);
    /// Reads a palette file.
    void leo_PAL(const std::string& fich_pal, Paleta& pal);
    /// Reads a code table file and its two header values.
    void leo_digi_tab(const std::string& fich_digitab, TablaDigi& digitab, int32_t& Fondo_pantalla,
                      int32_t& colornuevo);
    /// Cuts `texto` at its first NUL and trims leading and trailing spaces.
    void limpia_texto(std::string& texto);
    /// Replaces the text blocks of a text element by the chunks of `texto`, sets `npuntos`.
    void ModificaTextoEntidad(std::string& texto, tipo_entidad& entidad);
};

}  // namespace brisquel
