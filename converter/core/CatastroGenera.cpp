// mdlGeneraShpCatastro: splitting the layers of the last BIN file into the cadastre set.

#include "converter/core/CatastroGenera.h"

#include <stdlib.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

#include "converter/core/Puerto.h"
#include "converter/shapefile/Shapefile.h"

namespace fs = std::filesystem;

namespace parvenza {

namespace {

// The intermediate layers split into the set, in order, with their shape types.
struct Intermedio {
    const char* sufijo;
    int tipo;
};
const Intermedio kIntermedios[4] = {{"_P.shp", 5}, {"_L.shp", 3}, {"_X.shp", 1}, {"_TL.shp", 3}};

// Target layer of a record of intermediate `i` with code `codigo`; null: not copied.
const char* Destino(int i, const std::string& codigo) {
    switch (i) {
        case 0:
            if (codigo == "1802") return "masa";
            if (codigo == "1805") return "parcela";
            if (codigo == "1808") return "constru";
            return nullptr;
        case 1:
            if (codigo == "1241") return "ejes";
            if (codigo == "1001") return "limites";
            return "elemlin";
        case 2:
            return codigo == "1403" ? "altipun" : "elempun";
        default:
            return "elemtex";
    }
}

struct CamposCapa {
    const char* capa;
    std::vector<const char*> campos;
};

// Fields each layer loses besides the four common ones.
const CamposCapa kCamposQuitados[] = {
    {"MASA", {"PARCELA", "VIA", "NUMERO", "NUMERODUP", "SUBPARCE", "CONSTRU"}},
    {"PARCELA", {"SUBPARCE", "CONSTRU"}},
    {"SUBPARCE", {"VIA", "NUMERO", "NUMERODUP", "CONSTRU"}},
    {"CONSTRU", {"VIA", "NUMERO", "NUMERODUP", "SUBPARCE"}},
    {"EJES", {"ROTULO"}},
    {"LIMITES", {"ROTULO"}},
    {"ELEMLIN", {"ROTULO"}},
    {"ELEMPUN", {"COTA"}},
    {"ALTIPUN", {"ATRIBUTO"}},
};

std::string Mayusculas(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Recorta(const std::string& s) {
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The scratch folder the set is built in; removed with whatever it holds.
class CarpetaObra {
  public:
    explicit CarpetaObra(const fs::path& carpeta) {
        std::string plantilla = (carpeta / ".catastro-XXXXXX").string();
        if (!mkdtemp(plantilla.data()))
            throw ShapefileError(
                76, carpeta.string() + ": no se puede crear una carpeta de trabajo en ella");
        m_ruta = plantilla;
    }
    ~CarpetaObra() {
        std::error_code ec;
        fs::remove_all(m_ruta, ec);
    }
    const fs::path& ruta() const { return m_ruta; }

  private:
    fs::path m_ruta;
};

void Borra(const fs::path& ruta) {
    std::error_code ec;
    if (!fs::remove(ruta, ec) && ec && ec != std::errc::no_such_file_or_directory)
        throw ShapefileError(70, ruta.string() + ": no se puede borrar (" + ec.message() + ")");
}

}  // namespace

bool ExisteFichero(const std::string& ruta) {
    std::error_code ec;
    return fs::exists(ruta, ec) && !fs::is_directory(ruta, ec);
}

void LimpiaCamposCapa(const std::string& carpeta, const std::string& nombreCapa) {
    const std::string ruta = (fs::path(carpeta) / (nombreCapa + ".shp")).string();
    if (!ExisteFichero(ruta)) return;
    Shapefile shp;
    shp.EditMode(true);
    shp.Open(ruta, 0, 0);
    ShapeFields campos = shp.Fields();
    const int n = campos.Count();
    std::vector<int> quitados;
    auto quita = [&](const char* nombre) {
        for (int i = 1; i <= n; ++i)
            if (strcasecmp(campos.Item(i).Name().c_str(), nombre) == 0) {
                quitados.push_back(i);
                return;
            }
    };
    for (const char* c : {"POLY_ID", "CODIGO", "TEXT", "ROTATION"}) quita(c);
    const std::string capa = Mayusculas(nombreCapa);
    for (const CamposCapa& c : kCamposQuitados)
        if (capa == c.capa)
            for (const char* campo : c.campos) quita(campo);
    // A table needs one field: a layer made without the cadastre fields keeps its code.
    if (static_cast<int>(quitados.size()) == n && n > 0) {
        auto codigo = std::find_if(quitados.begin(), quitados.end(), [&](int i) {
            return strcasecmp(campos.Item(i).Name().c_str(), "CODIGO") == 0;
        });
        quitados.erase(codigo != quitados.end() ? codigo : quitados.end() - 1);
    }
    for (int i : quitados) campos.Item(i).Delete();
    shp.ApplyFieldDeletions();
    shp.CloseShapefile();
}

void GeneraShpCatastro(const std::string& rutaBin, const std::string& carpeta, Puerto& puerto) {
    puerto.Proceso("Generando shp Catastro");
    if (rutaBin.size() < 4) throw ShapefileError(5, rutaBin + ": no es la ruta de un fichero BIN");
    const std::string base = rutaBin.substr(0, rutaBin.size() - 4);
    const fs::path destino(carpeta.empty() ? "." : carpeta);

    CarpetaObra obra(destino);
    for (int i = 0; i < 4; ++i) {
        const std::string ruta = base + kIntermedios[i].sufijo;
        if (!ExisteFichero(ruta)) continue;
        Shapefile lector;  // the intermediate layers are only read
        lector.Open(ruta, 0, kIntermedios[i].tipo);
        puerto.Proceso("Procesando fichero Shape...");
        ShapeFields campos = lector.Fields();
        if (campos.Count() < 2 || Mayusculas(campos.Item(2).Name()) != "CODIGO")
            throw ShapefileError(
                13, ruta + ": el segundo campo de la capa debe ser CODIGO y es " +
                        (campos.Count() < 2 ? std::string("inexistente") : campos.Item(2).Name()) +
                        "; no se genera el conjunto de capas de catastro");
        ShapeField codigo = campos.Item(2);
        lector.MoveFirst();
        int32_t n = 0;
        while (!lector.Eof()) {
            ++n;
            // A Null code reads as the empty one.
            const char* capa = Destino(i, Recorta(TextoDe(codigo.Value())));
            if (capa) lector.CopyRecordTo((obra.ruta() / (std::string(capa) + ".shp")).string(), n);
            lector.MoveNext();
        }
        lector.CloseShapefile();
    }
    for (const char* capa : {"masa", "parcela", "subparce", "constru", "ejes", "limites", "elemlin",
                             "elempun", "altipun"})
        LimpiaCamposCapa(obra.ruta().string(), capa);

    // The new set is whole: only now do the old layers go and the new ones take their place.
    for (const char* capa : kCapasCatastro) {
        const fs::path shp = destino / (std::string(capa) + ".shp");
        if (!ExisteFichero(shp.string())) continue;
        for (const char* ext : {".shp", ".dbf", ".shx", ".cpg"})
            Borra(destino / (std::string(capa) + ext));
    }
    std::vector<fs::path> nuevos;
    for (const auto& f : fs::directory_iterator(obra.ruta())) nuevos.push_back(f.path());
    std::sort(nuevos.begin(), nuevos.end());
    for (const fs::path& f : nuevos) {
        std::error_code ec;
        fs::rename(f, destino / f.filename(), ec);
        if (ec)
            throw ShapefileError(70, (destino / f.filename()).string() +
                                         ": no se puede escribir (" + ec.message() + ")");
    }
    puerto.Proceso("Proceso TERMINADO");
}

}  // namespace parvenza
