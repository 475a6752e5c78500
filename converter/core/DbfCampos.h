#pragma once
// Field listing of a shapefile's attribute table (the ".dbf" beside it), as the field
// selectors of the shapefile-to-BIN band show it: every field by its 0-based index in file
// order, its name and a type code that tells numbers from texts.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace parvenza {

class Puerto;

/// Type codes of the listing: the dBase types N and F give kCampoDoble, C kCampoTexto,
/// D kCampoFecha, L kCampoLogico; any other type its own character code, which no filter lists.
enum CodigoTipoCampo : int {
    kCampoDoble = 5,
    kCampoTexto = 202,
    kCampoFecha = 133,
    kCampoLogico = 11,
};

/// One field of a table: its name (Windows-1252, read in the table's code page) and type code.
struct CampoDbf {
    std::string nombre;
    int tipo = 0;
};

/// The message shown when a table name cannot be listed.
inline constexpr const char* kMensajeNombreTabla =
    "Nombre de Archivo incorrecto (>de 8 caracteres o contiene '-')";

/// Path of table `tabladbf` in folder `directorio`: `directorio` + `tabladbf` + ".dbf"
/// (a separator is put between them when `directorio` does not end with one).
std::string RutaTablaDbf(const std::string& directorio, const std::string& tabladbf);

/// The table name of a chosen shapefile: `ruta` without `directorio` in front and without
/// its last 4 characters (".shp"). A `ruta` that does not start with `directorio` keeps its
/// front. Throws ShpBinError 5 when `ruta` is shorter than 4 characters.
std::string TablaDeRuta(const std::string& ruta, const std::string& directorio);

/// Every field of the table, in file order. Names are read in `pagina` (see NombrePagina),
/// or when it is empty in the page the table declares (".cpg", else its language byte, else
/// Windows-1252). Throws ShpBinError 53 naming the file when the ".dbf" is missing or cannot
/// be read as a dBase table, 5 for a page iconv does not know.
std::vector<CampoDbf> CamposDbf(const std::string& directorio, const std::string& tabladbf,
                                const std::string& pagina = {});

/// True when `tipo` passes the filter word `patron`: "DOBLE" lists kCampoDoble, "TEXTO"
/// kCampoTexto, "TODOS" both. Words are compared exactly; any other word lists nothing.
bool PasaFiltro(int tipo, const std::string& patron);

/// True when the table name can be listed: at most 8 characters and no "-".
bool NombreTablaValido(const std::string& tabladbf);

/// A selector entry: the field index in decimal, one space, the field name ("3 ALTURA").
std::string EntradaCampo(int indice, const std::string& nombre);

/// Reads a choice back: the entry's text up to its first space as a 16-bit field index.
/// Throws ShpBinError 13 when that text is not a whole number, 6 when it does not fit.
int16_t IndiceDeEntrada(const std::string& entrada);

/// The entries of one selector (`RellenaCampos`): the fields of the table that pass
/// `patron`, in file order, each with its true index (indices need not be consecutive).
/// When the name check fails, shows kMensajeNombreTabla through `puerto` and returns no
/// list, so that the selector keeps its entries. Throws as CamposDbf.
std::optional<std::vector<std::string>> RellenaCampos(const std::string& directorio,
                                                      const std::string& tabladbf,
                                                      const std::string& patron, Puerto& puerto,
                                                      const std::string& pagina = {});

/// Name of the field at index `i` of the table (`ObtengoNombreCamposDbf`); no name check.
/// Throws as CamposDbf, and ShpBinError 9 when the table has no field `i`.
std::string ObtengoNombreCamposDbf(const std::string& directorio, const std::string& tabladbf,
                                   int16_t i, const std::string& pagina = {});

}  // namespace parvenza
