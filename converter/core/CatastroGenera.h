#pragma once
// mdlGeneraShpCatastro: the split of a run's layers into the cadastre layer set.

#include <string>

namespace parvenza {

class Puerto;

/// The ten layers of the set, in the order they are deleted.
inline constexpr const char* kCapasCatastro[10] = {"masa",    "parcela", "constru", "subparce",
                                                   "ejes",    "limites", "elemlin", "elempun",
                                                   "altipun", "elemtex"};

/// True when `ruta` names an existing file (not a folder).
bool ExisteFichero(const std::string& ruta);

/// Removes from the layer `nombreCapa` of `carpeta` the common fields and the cadastre
/// fields that do not belong to it; nothing when the layer does not exist. A field the
/// layer lacks is passed over. Throws the component's ShapefileError.
void LimpiaCamposCapa(const std::string& carpeta, const std::string& nombreCapa);

/// Builds the cadastre set in `carpeta` from the layers of the BIN file `rutaBin` (its
/// path without the last four characters, followed by "_P.shp", "_L.shp", "_X.shp",
/// "_TL.shp"): each record goes by its CODIGO to masa, parcela or constru (polygons),
/// ejes, limites or elemlin (lines), altipun or elempun (points), elemtex (texts as
/// lines); then each layer but elemtex loses the fields that are not its own. Every
/// layer of the set is rebuilt: one that receives no record has no files afterwards.
///
/// The set is built in a scratch folder inside `carpeta` and moved into place at the end,
/// so a failure (an intermediate layer whose second field is not CODIGO, or of the wrong
/// shape type, or any error of the component) leaves the layers that were there before
/// untouched. Throws ShapefileError.
void GeneraShpCatastro(const std::string& rutaBin, const std::string& carpeta, Puerto& puerto);

}  // namespace parvenza
