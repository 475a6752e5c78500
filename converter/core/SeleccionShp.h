#pragma once
// The choices of the shapefile-to-BIN band: which attribute-table fields give each element's
// code, text properties, Z and attribute links. The window keeps one SeleccionShp for its
// whole life and calls these functions from its handlers; each returns what the window must
// show or disable, so the handlers only apply it to their widgets. The conversion run reads
// the same state (OpcionesShpBin::seleccion).

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace parvenza {

/// The fields recorded for one attribute link: a table-number and a record-number field,
/// or a rest field. New entries hold 0, 0 and the empty string.
struct CampoAtributo {
    int32_t campoTabla =
        0;  ///< field index; 0 = not chosen (so field 0 never serves), -99 = cleared
    int32_t campoRegistro = 0;  ///< field index; -99 = cleared (0 is a real field here)
    std::string campoResto;     ///< field index in decimal; empty = not chosen, "-99" = cleared
};

/// Filter words of `cmbTablaDbf1`(0) to (9), in index order, for RellenaCampos.
inline constexpr std::array<const char*, 10> kFiltrosTablaDbf1 = {
    "DOBLE", "DOBLE", "TODOS", "DOBLE", "DOBLE", "TODOS", "DOBLE", "DOBLE", "TODOS", "TODOS"};

/// Filter word of the four text selectors and of the Z selector.
inline constexpr const char* kFiltroTextosZ = "TODOS";

/// The selection state, with the values it has when the window opens.
struct SeleccionShp {
    std::string directorio;  ///< folder of the chosen shapefile, ending with the separator
    std::string tabladbf;    ///< the shapefile's name without folder and ".shp": the table name
    int16_t indexCampoCodigo = -1;  ///< -1 = none: the code comes from txtCodigo
    int16_t indexCampoTexto_Rotulo = -1;
    int16_t indexCampoTexto_Altura = -1;
    int16_t indexCampoTexto_Justificacion = -1;
    int16_t indexCampoTexto_Giro = -1;
    int16_t indexCampoZ = 0;  ///< the table's first field until a Z field is chosen
    int16_t numAtributo = 0;  ///< attribute shown in the third column; 3 once a shapefile is chosen
    /// Attribute k (1-based) is camposAtributo[k - 1]; entries 1 to 3 at first.
    std::vector<CampoAtributo> camposAtributo = std::vector<CampoAtributo>(3);
    /// Fields remembered for attributes 3 and up: attribute k is camposAtributoExtra[k - 3].
    std::vector<CampoAtributo> camposAtributoExtra = std::vector<CampoAtributo>(1);
    /// Entries of `cmbLabel17`: "Atributo 3", "Atributo 4", ... With m entries, attributes
    /// 1 to m + 1 are converted and m + 2 is the one being defined next.
    std::vector<std::string> listaAtributos;
};

/// The attribute being defined next: entries of `cmbLabel17` + 2.
int AtributoSiguiente(const SeleccionShp& s);

/// Attribute `k` (1-based) of `camposAtributo`. Throws ShpBinError 9 when there is none.
CampoAtributo& Atributo(SeleccionShp& s, int k);
const CampoAtributo& Atributo(const SeleccionShp& s, int k);

/// Records the chosen shapefile `ruta` in folder `directorio` (`cmdElegirShp_Click` after the
/// dialog): sets `directorio` and `tabladbf`, puts "Atributo 3" in `cmbLabel17` and shows
/// attribute 3 (`numAtributo` = 3). The recorded choices are kept. A later choice does not
/// add "Atributo 3" again, so the list keeps matching the attribute lists. Returns the text
/// `cmbLabel17` must show. Throws ShpBinError 5 for a path shorter than ".shp".
std::string ShpElegido(SeleccionShp& s, const std::string& ruta, const std::string& directorio);

/// Whether "Convertir a textos en Bin" is offered for ESRI shape type `tipoShp`: point,
/// polyline and their Z types (1, 3, 11, 13).
bool OfreceTextos(int tipoShp);

/// What the window does after a choice in `cmbTablaDbf1`.
struct EfectoTablaDbf1 {
    std::vector<int> deshabilitar;            ///< indices of `cmbTablaDbf1` to disable
    std::optional<std::string> entradaNueva;  ///< entry appended to `cmbLabel17`, if any
};

/// `cmbTablaDbf1_Click(Index)`: records the field of the chosen `entrada` ("3 ALTURA") for
/// selector `Index` (0..9). Selectors 0-2 and 3-5 are attributes 1 and 2 (table, record,
/// rest), 6-8 attribute `numAtributo`, 9 the code field. Choosing a table or record field
/// disables the rest selector of that column, choosing a rest field disables the other two.
/// Choosing the table or rest field of the attribute being defined next also remembers it
/// in `camposAtributoExtra` and adds the next attribute (AnadimosOtroAtributo).
/// Throws ShpBinError 5 for an Index outside 0..9, 9 when `numAtributo` names no attribute,
/// and as IndiceDeEntrada.
EfectoTablaDbf1 EligeTablaDbf1(SeleccionShp& s, int Index, const std::string& entrada);

/// `cmbTablaDbf_Texto_Click(Index)`: Index 0..3 records the text, height, justification or
/// rotation field. Throws ShpBinError 5 for another Index, and as IndiceDeEntrada.
void EligeTablaDbfTexto(SeleccionShp& s, int Index, const std::string& entrada);

/// `cmbTablaDbf_Z_Click`: records the Z field. Throws as IndiceDeEntrada.
void EligeTablaDbfZ(SeleccionShp& s, const std::string& entrada);

/// `AñadimosOtroAtributo`: with m entries in `cmbLabel17`, appends "Atributo " + (m + 3) and
/// grows `camposAtributo` to m + 3 and `camposAtributoExtra` to m + 1 entries, keeping
/// those already there. Returns the entry appended.
std::string AnadimosOtroAtributo(SeleccionShp& s);

/// What one of the selectors 6, 7, 8 shows.
struct VistaSelector {
    std::string texto;
    bool habilitado = true;
};

/// Gives the name of a field of the chosen table by its index.
using NombreCampo = std::function<std::string(int16_t)>;

/// `cmbLabel17_Click` / `_Change`: `texto` is the combo's text ("Atributo 4"). For an
/// attribute already begun, sets `numAtributo` and returns the remembered fields of
/// `camposAtributoExtra` for selectors 6, 7, 8 (field index, space, name; empty and disabled
/// when cleared or not chosen); for the attribute being defined next, three empty enabled
/// selectors. A text naming no entry of the list nor the next attribute (a half-typed text,
/// "Atributo 1") changes nothing and returns no view. Names come from `nombre`, or from the
/// chosen table when omitted; those lookups throw as ObtengoNombreCamposDbf.
std::optional<std::array<VistaSelector, 3>> EligeAtributo(SeleccionShp& s, const std::string& texto,
                                                          const NombreCampo& nombre = nullptr);

/// `cmdBorrarSelec_Click`: the selectors of `cmbTablaDbf1` to enable and empty (0 to 8, not
/// the code selector). The recorded choices, `numAtributo` and the list stay as they are.
std::vector<int> BorrarSeleccion();

}  // namespace parvenza
