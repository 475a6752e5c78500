#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "digi/Registros.h"
#include "dxf/RegistrosDxf.h"
#include "entity/Entidad.h"
#include "utilities/SelectorFichero.h"
#include "utilities/UtilidadesError.h"

namespace fenoquia {

/// The Digi justification of a DXF text by its horizontal (72) and vertical (73) alignment.
int32_t JustificacionDxf(uint8_t justH, uint8_t justV);

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

    /// Fills `EntidadN` from a Digi element as read by FicheroDigi::DameEntidad: its code
    /// (cleaned of NUL padding and blanks), points ("C=": all; "T=": the first, then the
    /// text of its blocks, which makes it a text with its text box), text properties from
    /// xlib/ylib/zlib, attribute links, and its style from the code table and palette
    /// (code missing from the table: palette entry `colornuevo`). Positions in `digipal`
    /// are 1-based. Throws UtilidadesError with the number of what failed (9 for a palette
    /// index outside the palette or an empty table, 13 for a table column that is not a
    /// number); the entity keeps what was set before.
    void ConvierteDigiOrmanto(const brisquel::tipo_entidad& elemento,
                              const brisquel::TablaDigi& digitab, const brisquel::Paleta& digipal,
                              const int32_t& colornuevo, lumeral::Entidad& EntidadN);

    /// Tells the kind of `Fichero` from its last three characters, upper-cased, into
    /// `strTipoFichero`, and loads that kind's tables from the folder "TABLAS" of
    /// `Directorio`: "BIN" the palette digi.pal and the code table digi.tab; "DXF" those and
    /// the layer table bindxf.tab (its format flag is not passed on); anything else reads
    /// nothing. Throws UtilidadesError when a table cannot be read (53 a missing file);
    /// tables read before stay filled.
    void TipoFichero(const std::string& Directorio, const std::string& Fichero,
                     brisquel::Paleta& pal, brisquel::TablaDigi& digitab, int32_t& fondo_pantalla,
                     int32_t& colornuevo, std::string& strTipoFichero,
                     std::vector<dornavel::BinDxfTab>& tablaBinDxf);

    /// Fills `EntidadN` from a DXF entity (LINE, POLYLINE, POINT or TEXT): its Digi code from
    /// the layer table by the entity's layer (empty when the layer is not listed), points and
    /// heights scaled by 100 and rounded halves to even, a TEXT's height from group 40, its
    /// justification from groups 72/73 (JustificacionDxf) and its text set last, and the style
    /// from the code table and palette as for Digi elements. Only a POLYLINE whose G70_Cerrada
    /// is "1" is closed.
    /// Throws UtilidadesError 5 for any other entity type (the entity is left untouched),
    /// 6 when a scaled value does not fit in 32 bits, or the number of what failed.
    void ConvierteDxfOrmanto(const dornavel::tipo_ElementoDxf& elementoDxf,
                             const std::vector<dornavel::BinDxfTab>& tablaBinDxf,
                             const brisquel::TablaDigi& digitab, const brisquel::Paleta& digipal,
                             const int32_t& colornuevo, lumeral::Entidad& EntidadN);

  private:
    /// The style of `codigo`: at the first table row whose column 1 is `codigo`, the fill flag
    /// (column 2), the colour of palette entry column 3, column 4 and the thickness
    /// (column 5). When no row matches only `nColor` is set, from palette entry `colornuevo`.
    void BuscaEnDigiTab(const std::string& codigo, const brisquel::TablaDigi& digitab,
                        const brisquel::Paleta& pal, int32_t colornuevo, int32_t& nColor,
                        int32_t& nValor4, int32_t& nGrosor, int32_t& nRelleno);
};

}  // namespace fenoquia
