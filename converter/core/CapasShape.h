#pragma once
// The layers of the BIN-to-shapefile conversion: their names, shape types and field schemas,
// and the layers of one run, built under temporary names and put in place together.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace parvenza {

class Shapefile;
namespace comun {
class Cerrojo;
}

/// One field of a layer schema; type codes are those of ShapeFields.Add.
struct DefCampo {
    const char* nombre;
    int tipo;
    int ancho;
    int decimales;
};

/// Width of POLY_ID while the ordinals fit it.
inline constexpr int kAnchoPolyId = 6;

/// The four fields every new layer starts with (POLY_ID kAnchoPolyId wide).
const std::vector<DefCampo>& CamposComunes();
/// The cadastre fields that follow them for shape type 5, 3 or 1; empty for any other type.
const std::vector<DefCampo>& CamposCatastro(int16_t tipo);

/// Width of POLY_ID for a sheet whose ordinals reach `ordinales`: kAnchoPolyId while they fit,
/// else the digits of the largest.
int AnchoPolyId(int64_t ordinales);

/// The sheet's name with its folder: `ficheroBin` without its extension, whatever its length
/// (or none).
std::string BaseHoja(const std::string& ficheroBin);

/// Layer path: the sheet's name (BaseHoja) followed by `subNombre`, beside the sheet.
std::string RutaCapa(const std::string& ficheroBin, const std::string& subNombre);

/// Suffixes of the layers of a sheet, in the order of the passes.
inline constexpr const char* kSufijosCapa[5] = {"_P.shp", "_L.shp", "_X.shp", "_TL.shp", "_TX.shp"};

/// Puts each complete file `first` in the place of `second`: all flushed and given the
/// permissions of the files they replace, then renamed one after another. Throws
/// parvenza::Error naming the file and the system's reason.
void ColocaJuntos(const std::vector<std::pair<std::string, std::string>>& ficheros);

/// Waits until the files that ColocaJuntos replaced are closed (their blocks freed), which
/// otherwise happens on a thread of its own while the run goes on. For a process about to fork.
void EsperaLiberaciones();

/// The layers one run writes. Each is built under a temporary name beside its place (a new
/// layer, or a copy of the existing one to append to) and nothing is put in place before
/// Confirma, which renames them all at the end of the run; whatever is not confirmed is removed
/// when the object goes, so a failed or cancelled run leaves every layer as it was. The layer
/// set of each sheet is locked from Bloquea to the object's end: a second run on the same
/// set waits for this one, or stops with a message naming it.
class CapasEnObra {
  public:
    CapasEnObra();
    ~CapasEnObra();
    CapasEnObra(const CapasEnObra&) = delete;
    CapasEnObra& operator=(const CapasEnObra&) = delete;

    /// Locks the layer set of sheet `ficheroBin` for this run (once per set) and removes the
    /// temporary files of killed runs from its folder. Throws parvenza::Error naming the set
    /// when another run keeps it.
    void Bloquea(const std::string& ficheroBin);

    /// Opens on `escritor` the layer of `ficheroBin` and `subNombre` with shape type `tipo`.
    /// Without `anexar` the layer is created anew with the common fields (POLY_ID
    /// `anchoPolyId` wide), plus the cadastre set of its type when `catastro`; with `anexar`
    /// this run's copy of the existing layer is opened (made at the first call) and keeps its
    /// fields. Either way under a temporary name; messages name the layer. Throws the
    /// component's ShapefileError, or parvenza::Error when the copy cannot be made.
    void CreateFichShape(Shapefile& escritor, const std::string& ficheroBin, int16_t tipo,
                         const std::string& subNombre, bool anexar, bool catastro,
                         int anchoPolyId = kAnchoPolyId);

    /// Gives the layer `ruta` written by this run the coordinate system `wkt`: its ".prj" is
    /// put in place with the layer. Throws parvenza::Error with the system's reason.
    void Proyeccion(const std::string& ruta, const std::string& wkt);

    /// The .shp file that holds what this run wrote to the layer `ruta`; empty when none.
    std::string Archivo(const std::string& ruta) const;

    /// Layers of sheet `ficheroBin` on disk that this run did not write, in pass order.
    std::vector<std::string> Ajenas(const std::string& ficheroBin) const;

    /// Puts every layer written in its place: each file flushed, given the permissions of the
    /// one it replaces and renamed over it, the .shp last. The writer must have closed them.
    /// Throws parvenza::Error naming the file and the system's reason.
    void Confirma();

  private:
    struct Capa {
        std::string ruta;  ///< the layer's .shp
        std::string raiz;  ///< temporary stem: raiz + ".shp", ".shx", ".dbf", ".cpg", ".prj"
    };
    std::vector<Capa> m_capas;
    std::set<std::string> m_bloqueadas;
    std::vector<std::unique_ptr<comun::Cerrojo>> m_cerrojos;
};

}  // namespace parvenza
