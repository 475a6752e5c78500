// mdlGeneraShpCatastro: splitting the layers of the last BIN file into the cadastre set.

#include "converter/core/CatastroGenera.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

#include "comun/Reemplazo.h"
#include "converter/core/CapasShape.h"
#include "converter/core/Proyeccion.h"
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

ConjuntoCatastro::ConjuntoCatastro(const std::string& carpeta)
    : m_carpeta(carpeta.empty() ? "." : carpeta) {
    while (m_carpeta.size() > 1 && m_carpeta.back() == '/') m_carpeta.pop_back();
    const std::string nombre = m_carpeta + "/catastro";
    m_cerrojo = std::make_unique<comun::Cerrojo>(nombre);
    comun::LimpiaTemporales(m_carpeta);
    m_obra = comun::RaizTemporal(nombre);
    if (::mkdir(m_obra.c_str(), 0700) != 0)
        comun::FalloSistema("crear una carpeta de trabajo en", m_carpeta);
}

ConjuntoCatastro::~ConjuntoCatastro() { comun::BorraArbol(m_obra); }

void ConjuntoCatastro::Proyeccion(const std::string& wkt) {
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(m_obra, ec))
        if (strcasecmp(f.path().extension().c_str(), ".shp") == 0)
            EscribePrj(fs::path(f.path()).replace_extension(".prj").string(), wkt);
    if (ec) comun::FalloSistema("leer la carpeta", m_obra, ec.value());
}

void ConjuntoCatastro::Coloca() {
    std::vector<std::string> nuevos;
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(m_obra, ec))
        nuevos.push_back(f.path().filename().string());
    if (ec) comun::FalloSistema("leer la carpeta", m_obra, ec.value());
    std::sort(nuevos.begin(), nuevos.end());
    // The .shp of each layer last, so a layer appears when its companions are there.
    std::stable_partition(nuevos.begin(), nuevos.end(), [](const std::string& n) {
        return strcasecmp(fs::path(n).extension().c_str(), ".shp") != 0;
    });
    std::vector<std::pair<std::string, std::string>> ficheros;
    for (const std::string& n : nuevos)
        ficheros.emplace_back(m_obra + "/" + n, m_carpeta + "/" + n);
    ColocaJuntos(ficheros);
    for (const std::string& n : nuevos)
        if (strcasecmp(fs::path(n).extension().c_str(), ".shp") == 0)
            m_colocadas.push_back(m_carpeta + "/" + n);
    for (const char* capa : kCapasCatastro) {
        const std::string base = m_carpeta + "/" + capa;
        if (std::find(nuevos.begin(), nuevos.end(), std::string(capa) + ".shp") != nuevos.end() ||
            !ExisteFichero(base + ".shp"))
            continue;
        for (const char* ext : {".shp", ".dbf", ".shx", ".cpg", ".prj"}) {
            const std::string f = base + ext;
            if (::unlink(f.c_str()) != 0 && errno != ENOENT) comun::FalloSistema("borrar", f);
        }
    }
}

namespace {

// Splits `capas` into the scratch folder `obra`.
void Reparte(const CapasDeHoja& capas, const fs::path& obra, Puerto& puerto) {
    for (int i = 0; i < 4; ++i) {
        auto capa = capas.find(kIntermedios[i].sufijo);
        if (capa == capas.end()) continue;
        const std::string& ruta = capa->second.ruta;
        Shapefile lector;  // the intermediate layers are only read
        lector.OpenAs(capa->second.archivo, ruta, 0, kIntermedios[i].tipo);
        puerto.Proceso("Procesando fichero Shape...");
        ShapeFields campos = lector.Fields();
        if (campos.Count() < 2 || Mayusculas(campos.Item(2).Name()) != "CODIGO")
            throw ShapefileError(
                kTipoNoCoincide,
                ruta + ": el segundo campo de la capa debe ser CODIGO y es " +
                    (campos.Count() < 2 ? std::string("inexistente") : campos.Item(2).Name()) +
                    "; no se genera el conjunto de capas de catastro");
        ShapeField codigo = campos.Item(2);
        lector.MoveFirst();
        int32_t n = 0;
        while (!lector.Eof()) {
            ++n;
            // A Null code reads as the empty one.
            const char* destino = Destino(i, Recorta(TextoDe(codigo.Value())));
            if (destino) lector.CopyRecordTo((obra / (std::string(destino) + ".shp")).string(), n);
            lector.MoveNext();
        }
        lector.CloseShapefile();
    }
    for (const char* c : {"masa", "parcela", "subparce", "constru", "ejes", "limites", "elemlin",
                          "elempun", "altipun"})
        LimpiaCamposCapa(obra.string(), c);
}

// A message about a file of the scratch folder names the layer where it is going.
std::string SinObra(std::string mensaje, const ConjuntoCatastro& conjunto) {
    const std::string obra = conjunto.Obra() + "/", carpeta = conjunto.Carpeta() + "/";
    for (size_t p; (p = mensaje.find(obra)) != std::string::npos;)
        mensaje.replace(p, obra.size(), carpeta);
    return mensaje;
}

}  // namespace

std::unique_ptr<ConjuntoCatastro> GeneraShpCatastro(const CapasDeHoja& capas,
                                                    const std::string& carpeta, Puerto& puerto) {
    puerto.Proceso("Generando shp Catastro");
    auto conjunto = std::make_unique<ConjuntoCatastro>(carpeta);
    try {
        Reparte(capas, conjunto->Obra(), puerto);
    } catch (const ShapefileError& e) {
        throw ShapefileError(e.numero(), SinObra(e.what(), *conjunto));
    } catch (const Error& e) {
        throw Error(e.numero(), SinObra(e.what(), *conjunto));
    }
    puerto.Proceso("Proceso TERMINADO");
    return conjunto;
}

}  // namespace parvenza
