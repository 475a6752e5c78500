#pragma once
// mdlGeneraShpCatastro: the split of a run's layers into the cadastre layer set.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace parvenza {

class Puerto;
namespace comun {
class Cerrojo;
}

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

/// A layer of the run's last sheet to split: the file that holds what the run wrote (a
/// temporary name until the run confirms) and the layer's name for messages.
struct CapaIntermedia {
    std::string archivo;
    std::string ruta;
};
/// The intermediate layers a run wrote for its last sheet, by suffix ("_P.shp", "_L.shp",
/// "_X.shp", "_TL.shp", "_TX.shp"). A layer the run did not write is not there, whatever lies
/// beside the sheet.
using CapasDeHoja = std::map<std::string, CapaIntermedia>;

/// The cadastre set of a run, built in a scratch folder inside its destination and put in place
/// by Coloca. From construction to destruction it holds the lock of the set in that folder
/// (another run waits, or stops with a message naming it); the destructor removes the scratch
/// folder with whatever is still in it. The scratch folder is named as Reemplazo.h names
/// temporaries, so the next run in the folder removes the one of a killed run.
class ConjuntoCatastro {
  public:
    /// Locks the set of `carpeta`, removes killed runs' temporaries there and makes the
    /// scratch folder. Throws parvenza::Error naming the folder.
    explicit ConjuntoCatastro(const std::string& carpeta);
    ~ConjuntoCatastro();
    ConjuntoCatastro(const ConjuntoCatastro&) = delete;
    ConjuntoCatastro& operator=(const ConjuntoCatastro&) = delete;

    const std::string& Carpeta() const { return m_carpeta; }
    const std::string& Obra() const { return m_obra; }

    /// Gives every layer built the coordinate system `wkt` (a ".prj" beside each). Throws
    /// parvenza::Error with the system's reason.
    void Proyeccion(const std::string& wkt);

    /// Puts the built set in place: each file renamed over the old one (flushed, permissions
    /// kept), then the files of the old set's layers that the new one lacks removed. Throws
    /// parvenza::Error naming the file and the system's reason.
    void Coloca();
    /// The ".shp" files Coloca put in place, in name order.
    const std::vector<std::string>& Colocadas() const { return m_colocadas; }

  private:
    std::string m_carpeta;
    std::string m_obra;
    std::vector<std::string> m_colocadas;
    std::unique_ptr<comun::Cerrojo> m_cerrojo;
};

/// Builds the cadastre set of `carpeta` from the layers `capas` of the run's last sheet
/// ("_P.shp", "_L.shp", "_X.shp", "_TL.shp"; others are not carried): each record goes by its
/// CODIGO to masa, parcela or constru (polygons), ejes, limites or elemlin (lines), altipun or
/// elempun (points), elemtex (texts as lines); then each layer but elemtex loses the fields
/// that are not its own. Every layer of the set is rebuilt: one that receives no record has
/// no files after Coloca.
///
/// The set is returned built but not in place; nothing in `carpeta` changes until the caller's
/// Coloca, so a failure (an intermediate layer whose second field is not CODIGO, or of the
/// wrong shape type, a full disk, any error of the component) leaves the layers that were
/// there before untouched. Throws ShapefileError or parvenza::Error.
std::unique_ptr<ConjuntoCatastro> GeneraShpCatastro(const CapasDeHoja& capas,
                                                    const std::string& carpeta, Puerto& puerto);

}  // namespace parvenza
