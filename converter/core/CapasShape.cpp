#include "converter/core/CapasShape.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "comun/Reemplazo.h"
#include "converter/core/Proyeccion.h"
#include "converter/shapefile/Shapefile.h"

namespace fs = std::filesystem;

namespace parvenza {

const std::vector<DefCampo>& CamposComunes() {
    static const std::vector<DefCampo> campos = {{"POLY_ID", 4, kAnchoPolyId, 0},
                                                 {"CODIGO", 10, 6, 0},
                                                 {"TEXT", 10, 50, 0},
                                                 {"ROTATION", 7, 6, 2}};
    return campos;
}

const std::vector<DefCampo>& CamposCatastro(int16_t tipo) {
    static const std::vector<DefCampo> poligono = {
        {"MAPA", 4, 6, 0},       {"DELEGACIO", 4, 2, 0}, {"MUNICIPIO", 4, 3, 0},
        {"MASA", 10, 5, 0},      {"HOJA", 10, 7, 0},     {"TIPO", 10, 1, 0},
        {"COORX", 7, 10, 2},     {"COORY", 7, 11, 2},    {"NUMSYMBOL", 4, 2, 0},
        {"AREA", 7, 11, 2},      {"FECHAALTA", 4, 8, 0}, {"FECHABAJA", 4, 8, 0},
        {"PARCELA", 10, 5, 0},   {"VIA", 4, 5, 0},       {"NUMERO", 4, 4, 0},
        {"NUMERODUP", 10, 1, 0}, {"SUBPARCE", 10, 4, 0}, {"CONSTRU", 10, 16, 0}};
    static const std::vector<DefCampo> linea = {
        {"MAPA", 4, 6, 0},      {"DELEGACIO", 4, 2, 0}, {"MUNICIPIO", 4, 3, 0},
        {"TTGGSS", 10, 6, 0},   {"VIA", 4, 5, 0},       {"NUMSYMBOL", 4, 2, 0},
        {"FECHAALTA", 4, 8, 0}, {"FECHABAJA", 4, 8, 0}, {"ROTULO", 10, 32, 0}};
    static const std::vector<DefCampo> punto = {
        {"MAPA", 4, 6, 0},      {"DELEGACIO", 4, 2, 0},  {"MUNICIPIO", 4, 3, 0},
        {"TTGGSS", 10, 6, 0},   {"ATRIBUTO", 10, 11, 0}, {"NUMSYMBOL", 4, 2, 0},
        {"FECHAALTA", 4, 8, 0}, {"FECHABAJA", 4, 8, 0},  {"COTA", 7, 11, 2}};
    static const std::vector<DefCampo> ninguno;
    // An exact match on the type: Z layers never get the cadastre sets.
    switch (tipo) {
        case 5:
            return poligono;
        case 3:
            return linea;
        case 1:
            return punto;
        default:
            return ninguno;
    }
}

int AnchoPolyId(int64_t ordinales) {
    int ancho = 1;
    for (int64_t n = ordinales; n >= 10; n /= 10) ++ancho;
    return std::max(ancho, kAnchoPolyId);
}

std::string BaseHoja(const std::string& ficheroBin) {
    const fs::path p(ficheroBin);
    return (p.parent_path() / p.stem()).string();
}

std::string RutaCapa(const std::string& ficheroBin, const std::string& subNombre) {
    return BaseHoja(ficheroBin) + subNombre;
}

namespace {

constexpr const char* kExtensiones[5] = {".shx", ".dbf", ".cpg", ".prj", ".shp"};  // .shp last

std::string SinShp(const std::string& ruta) { return ruta.substr(0, ruta.size() - 4); }

}  // namespace

CapasEnObra::CapasEnObra() = default;

CapasEnObra::~CapasEnObra() {
    for (const Capa& c : m_capas)
        for (const char* ext : kExtensiones) comun::Borra(c.raiz + ext);
}

void CapasEnObra::Bloquea(const std::string& ficheroBin) {
    const std::string base = BaseHoja(ficheroBin);
    if (!m_bloqueadas.insert(base).second) return;
    m_cerrojos.push_back(std::make_unique<comun::Cerrojo>(base));
    comun::LimpiaTemporales(comun::Carpeta(base));
}

void CapasEnObra::CreateFichShape(Shapefile& escritor, const std::string& ficheroBin, int16_t tipo,
                                  const std::string& subNombre, bool anexar, bool catastro,
                                  int anchoPolyId) {
    const std::string ruta = RutaCapa(ficheroBin, subNombre);
    std::string archivo = Archivo(ruta);
    if (archivo.empty()) {
        const std::string raiz = comun::RaizTemporal(SinShp(ruta));
        m_capas.push_back({ruta, raiz});
        archivo = raiz + ".shp";
        // An append works on a copy, so the layer is whole as before until the run confirms.
        if (anexar)
            for (const char* ext : kExtensiones) {
                const std::string origen = SinShp(ruta) + ext;
                std::error_code ec;
                if (!fs::exists(origen, ec)) continue;
                if (!fs::copy_file(origen, raiz + ext, ec))
                    comun::FalloSistema("copiar", origen, ec.value());
            }
    } else if (!anexar) {
        throw Error(kLlamadaNoValida, ruta + ": la capa ya se ha escrito en esta corrida");
    }
    escritor.EditMode(anexar);  // records are appended to the reopened layer
    escritor.OpenAs(archivo, ruta, anexar ? 0 : 1, tipo);
    if (anexar) return;  // the reopened layer keeps its own fields
    auto campos = escritor.Fields();
    for (const DefCampo& c : CamposComunes())
        campos.Add(c.nombre, c.tipo, std::string(c.nombre) == "POLY_ID" ? anchoPolyId : c.ancho,
                   c.decimales);
    if (catastro)
        for (const DefCampo& c : CamposCatastro(tipo))
            campos.Add(c.nombre, c.tipo, c.ancho, c.decimales);
    escritor.CommitFieldDefinitions();
}

void CapasEnObra::Proyeccion(const std::string& ruta, const std::string& wkt) {
    for (const Capa& c : m_capas)
        if (c.ruta == ruta) EscribePrj(c.raiz + ".prj", wkt);
}

std::string CapasEnObra::Archivo(const std::string& ruta) const {
    for (const Capa& c : m_capas)
        if (c.ruta == ruta) return c.raiz + ".shp";
    return "";
}

std::vector<std::string> CapasEnObra::Ajenas(const std::string& ficheroBin) const {
    std::vector<std::string> ajenas;
    for (const char* sufijo : kSufijosCapa) {
        const std::string ruta = RutaCapa(ficheroBin, sufijo);
        std::error_code ec;
        if (Archivo(ruta).empty() && fs::exists(ruta, ec)) ajenas.push_back(ruta);
    }
    return ajenas;
}

namespace {
/// Runs `trabajo(i)` for i in [0, n) on threads side by side; where no thread is to be had, on
/// this one. Every call ends before this returns.
template <typename F>
void EnParalelo(size_t n, F trabajo) {
    std::vector<std::thread> hilos;
    hilos.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        try {
            hilos.emplace_back(trabajo, i);
        } catch (const std::system_error&) {
            trabajo(i);
        }
    }
    for (std::thread& h : hilos) h.join();
}

/// Closes, on a thread of its own, the files that layers just put in place replaced. The last
/// close frees a file's blocks, which for a large sheet takes a tenth of the run and need hold
/// up nothing but the end of the process: the next sheet is built meanwhile. The thread ends
/// when nothing is left to close.
class Liberador {
  public:
    ~Liberador() { Espera(); }

    void Entrega(std::vector<int> fds) {
        if (fds.empty()) return;
        std::unique_lock<std::mutex> l(m_mutex);
        // Behind a slow disk, sheets may come faster than their old files are freed: past a
        // few hundred held, this batch is closed here, before the process runs out of files.
        if (m_pendientes.size() >= kMaxPendientes) {
            l.unlock();
            EnParalelo(fds.size(), [&fds](size_t i) { ::close(fds[i]); });
            return;
        }
        m_pendientes.insert(m_pendientes.end(), fds.begin(), fds.end());
        if (m_activo) return;
        if (m_hilo.joinable()) m_hilo.join();  // ended: it cleared m_activo on its way out
        try {
            m_hilo = std::thread([this] { Trabaja(); });
            m_activo = true;
        } catch (const std::system_error&) {
            for (int fd : m_pendientes) ::close(fd);  // no thread to be had: closed here
            m_pendientes.clear();
        }
    }

    void Espera() {
        std::thread hilo;
        {
            std::lock_guard<std::mutex> l(m_mutex);
            hilo = std::move(m_hilo);
        }
        if (hilo.joinable()) hilo.join();
    }

  private:
    static constexpr size_t kMaxPendientes = 256;

    void Trabaja() {
        for (;;) {
            std::vector<int> lote;
            {
                std::lock_guard<std::mutex> l(m_mutex);
                if (m_pendientes.empty()) {
                    m_activo = false;
                    return;
                }
                lote.swap(m_pendientes);
            }
            // Side by side: the file system frees them faster together than in turn.
            EnParalelo(lote.size(), [&lote](size_t i) { ::close(lote[i]); });
        }
    }

    std::mutex m_mutex;
    std::vector<int> m_pendientes;
    bool m_activo = false;
    std::thread m_hilo;
};

Liberador& Liberaciones() {
    static Liberador l;
    return l;
}
}  // namespace

void ColocaJuntos(const std::vector<std::pair<std::string, std::string>>& ficheros) {
    // Everything slow first, so the renames follow each other within microseconds and a
    // kill almost never finds a layer with some files new and others old.
    for (const auto& [temporal, destino] : ficheros) comun::CopiaPermisos(temporal, destino);
    // The flushes run side by side: the file system then commits them together instead of
    // once per file, which on a sheet's sixteen files was most of the wait.
    std::vector<std::exception_ptr> fallos(ficheros.size());
    EnParalelo(ficheros.size(), [&ficheros, &fallos](size_t i) {
        try {
            comun::Sincroniza(ficheros[i].first);
        } catch (...) {
            fallos[i] = std::current_exception();
        }
    });
    for (const std::exception_ptr& f : fallos)
        if (f) std::rethrow_exception(f);
    // The files replaced are held open across the renames, so that freeing their blocks (the
    // slow part of replacing a large file) happens at their closing, on the releaser's thread,
    // rather than inside each rename in turn.
    std::vector<int> anteriores;
    anteriores.reserve(ficheros.size());
    for (const auto& par : ficheros) {
        const int fd = ::open(par.second.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) anteriores.push_back(fd);
    }
    try {
        for (const auto& [temporal, destino] : ficheros)
            if (::rename(temporal.c_str(), destino.c_str()) != 0)
                comun::FalloSistema("reemplazar", destino);
    } catch (...) {
        for (int fd : anteriores) ::close(fd);
        throw;
    }
    Liberaciones().Entrega(std::move(anteriores));
}

void EsperaLiberaciones() { Liberaciones().Espera(); }

void CapasEnObra::Confirma() {
    std::vector<std::pair<std::string, std::string>> ficheros;
    for (const Capa& c : m_capas)
        for (const char* ext : kExtensiones) {
            struct stat st;
            if (::stat((c.raiz + ext).c_str(), &st) == 0)
                ficheros.emplace_back(c.raiz + ext, SinShp(c.ruta) + ext);
        }
    ColocaJuntos(ficheros);
    m_capas.clear();
}

}  // namespace parvenza
