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
    /// Opens `fichero` for reading only, as AbreFichero otherwise: a read-only file can be
    /// read, and a missing one is not created (53).
    void AbreFicheroLectura(const std::string& fichero, int32_t& nfich);
    /// Length in bytes of the open file `nfich`, as last seen: a file found cut shorter while
    /// it was read has its new length.
    int64_t LongitudFichero(int32_t nfich);
    /// Moves the read position of the open file `nfich` to the 1-based byte `puntero`, where
    /// the next DameEntidad reads: an element found before by its `puntero` is read again
    /// without walking the file to it.
    void SituaLectura(int32_t nfich, int64_t puntero);
    /// Whether `entidad`, the record DameEntidad returned last from file `nfich`, is an
    /// element cut by the end of the file: the last one (`nfich` 0 in the record), whose
    /// header counts run past the file's end. Its missing bytes read as zeros.
    bool ElementoCortado(int32_t nfich, const tipo_entidad& entidad);
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
    /// Appends `elementos` at the end of `fichero`, recomputing their properties and extent,
    /// through one AnexoBin: the file is left wholly as before or wholly as after, even when
    /// the process is killed; a file that is not a BIN file is refused.
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
