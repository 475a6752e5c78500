#pragma once
// BIN files to shapefile layers: the five-pass driver behind "Procesar".

#include <cstdint>
#include <string>
#include <vector>

#include "converter/core/CatastroGenera.h"
#include "converter/core/Omision.h"
#include "converter/core/Puerto.h"
#include "digi/Registros.h"

namespace parvenza {

class Shapefile;

/// Choices of one BIN-to-shapefile run, as the window's controls or the command line give them.
struct OpcionesBinShp {
    std::vector<std::string> ficheros;  ///< BIN files, full paths, in order
    bool binElegido = false;            ///< a BIN choice was made and not cancelled
    bool mdbElegido = false;            ///< a topology database was loaded
    int32_t divisor = 100;              ///< 100 for centimetres, 1000 for millimetres
    bool textosComoLineas = true;       ///< texts as two-vertex lines, else as points
    bool cerradasComoLineas = false;    ///< closed lines to the line layer, else polygons
    bool dosD = true;                   ///< 2D shape types, else Z types
    bool anexar = false;                ///< append to the layer set the port's chooser gives
    bool catastro = false;              ///< cadastre mode (needs a GanchoCatastro)
    /// Coordinate system (ESRI WKT) written as a ".prj" beside every layer, the cadastre set's
    /// included; empty: each sheet's own ".prj" (RutaPrjHoja), when it has one.
    std::string prj;
    /// Folder of the layers (the cadastre set's aside); empty: beside each sheet. Not for
    /// appends, whose layers are the chosen set.
    std::string carpetaSalida;
};

/// What the cadastre mode adds to a run. The driver calls it; the cadastre code fills it.
class GanchoCatastro {
  public:
    virtual ~GanchoCatastro() = default;
    /// Lookup for one element, in every pass, before the pass filter. May replace `codigo`
    /// (already cleaned) and prepares the values that PonCampos writes.
    virtual void Busca(const brisquel::tipo_entidad& entidad, std::string& codigo) = 0;
    /// Sets the cadastre fields of the pending record of `escritor`, whose layer has shape
    /// type `tipoCapa`, for the element last looked up.
    virtual void PonCampos(Shapefile& escritor, int16_t tipoCapa) = 0;
    /// A value the last PonCampos set in a text field narrower than it: the table keeps its
    /// first `ancho` characters.
    struct Corte {
        std::string campo;
        size_t ancho = 0;
        std::string valor;
    };
    /// The values the last PonCampos had cut, for the run to list them as losses.
    virtual const std::vector<Corte>& Cortes() const {
        static const std::vector<Corte> ninguno;
        return ninguno;
    }
    /// After the last file: builds the cadastre set from the layers this run wrote for its
    /// last sheet, not yet in place; the driver places it after the run's layers, or drops it
    /// when the run fails. May return null when it builds nothing.
    virtual std::unique_ptr<ConjuntoCatastro> Genera(const CapasDeHoja& capas, Puerto& puerto) = 0;
};

/// One layer written by a run.
struct CapaEscrita {
    std::string ruta;
    int tipo = 0;           ///< ESRI shape type
    int64_t registros = 0;  ///< records written by this run
};

/// What a run did; `ejecutado` is false when it stopped at a check (message shown) or the
/// user cancelled the append dialog.
struct ResultadoBinShp {
    bool ejecutado = false;
    std::vector<CapaEscrita> capas;
    /// Layers of the converted sheets left from earlier runs that this run did not write
    /// (another choice of options): named for the user, never removed.
    std::vector<std::string> capasAnteriores;
    int ficherosConvertidos = 0;  ///< BIN files read through, skipped ones not counted
    /// What of the BIN files did not reach the layers whole, each naming its file: a file
    /// that is not a BIN file (skipped whole), an element cut by the end of its file (at its
    /// byte), a code or text longer than its field (cut, by element ordinal).
    Omisiones omisiones;
};

/// Runs the conversion. BIN files are opened for reading only. Every layer is written under a
/// temporary name and all are put in place together when the run completes (the cadastre set
/// after them), each sheet's layer set locked for the run; a failure of the libraries or the
/// shapefile component propagates as their exception, its message naming the BIN file being
/// converted, after the run's temporaries are removed, so every existing layer stays as it
/// was. A file that is not a BIN file is skipped and an element cut by the end of its file is
/// not written, each listed in `omisiones`. A state that ends the program (a corrupt element
/// kind) propagates as FinDePrograma, its message followed by the files of the list not
/// reached.
ResultadoBinShp ProcesarBinShp(const OpcionesBinShp& opciones, Puerto& puerto,
                               GanchoCatastro* catastro = nullptr);

/// Two sheets of `ficheros` whose layers would have the same names in `carpetaSalida` (or each
/// beside its sheet when empty), as "hoja.bin" and "hoja.BIN" of one folder would: the message
/// naming both, or empty. Without appending, such a run would overwrite one with the other.
std::string ChoqueDeCapas(const std::vector<std::string>& ficheros,
                          const std::string& carpetaSalida);

}  // namespace parvenza
