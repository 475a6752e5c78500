#include "converter/core/Proyeccion.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <proj.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>

#include "comun/Error.h"
#include "comun/Reemplazo.h"
#include "converter/core/CapasShape.h"

namespace parvenza {

namespace {

namespace fs = std::filesystem;

// PROJ is opened on first use: linked, the libraries it brings would cost the start of every
// run about 20 ms, though only runs that meet a coordinate system need it.
struct Proj {
    decltype(&proj_context_create) context_create;
    decltype(&proj_context_destroy) context_destroy;
    decltype(&proj_log_level) log_level;
    decltype(&proj_create) create;
    decltype(&proj_destroy) destroy;
    decltype(&proj_is_crs) is_crs;
    decltype(&proj_as_wkt) as_wkt;
    decltype(&proj_get_type) get_type;
    decltype(&proj_cleanup) cleanup;
};

std::atomic<const Proj*> g_proj{nullptr};

const Proj& CargaProj() {
    static std::mutex cerrojo;
    std::lock_guard<std::mutex> l(cerrojo);
    if (const Proj* p = g_proj.load()) return *p;
    void* h = dlopen(PARVENZA_LIBPROJ, RTLD_NOW | RTLD_LOCAL);
    const char* razon = h ? nullptr : dlerror();
    auto simbolo = [&](auto& destino, const char* nombre) {
        if (!h) return;
        destino = reinterpret_cast<std::remove_reference_t<decltype(destino)>>(dlsym(h, nombre));
        if (!destino) razon = dlerror();
    };
    static Proj p{};
    simbolo(p.context_create, "proj_context_create");
    simbolo(p.context_destroy, "proj_context_destroy");
    simbolo(p.log_level, "proj_log_level");
    simbolo(p.create, "proj_create");
    simbolo(p.destroy, "proj_destroy");
    simbolo(p.is_crs, "proj_is_crs");
    simbolo(p.as_wkt, "proj_as_wkt");
    simbolo(p.get_type, "proj_get_type");
    simbolo(p.cleanup, "proj_cleanup");
    if (razon)
        throw Error(kErrorEntradaSalida, std::string("No se puede cargar la biblioteca de sistemas "
                                                     "de coordenadas " PARVENZA_LIBPROJ ": ") +
                                             razon);
    g_proj.store(&p);
    return p;
}

// PROJ's context and objects, released on every way out.
struct Contexto {
    const Proj& proj = CargaProj();
    PJ_CONTEXT* ctx = proj.context_create();
    Contexto() { proj.log_level(ctx, PJ_LOG_NONE); }
    ~Contexto() { proj.context_destroy(ctx); }
};
struct Objeto {
    const Contexto& c;
    PJ* pj;
    ~Objeto() {
        if (pj) c.proj.destroy(pj);
    }
};

std::string ConExtension(const std::string& ruta, const char* minusculas, const char* mayusculas) {
    const std::string base = fs::path(ruta).replace_extension().string();
    std::error_code ec;
    if (!fs::exists(base + minusculas, ec) && fs::exists(base + mayusculas, ec))
        return base + mayusculas;
    return base + minusculas;
}

}  // namespace

std::string WktEsri(const std::string& srs) {
    Contexto c;
    Objeto crs{c, c.proj.create(c.ctx, srs.c_str())};
    if (!crs.pj || !c.proj.is_crs(crs.pj))
        throw Error(kLlamadaNoValida, "Sistema de coordenadas desconocido: " + srs);
    const char* wkt = c.proj.as_wkt(c.ctx, crs.pj, PJ_WKT1_ESRI, nullptr);
    if (!wkt)
        throw Error(kLlamadaNoValida,
                    "El sistema de coordenadas " + srs + " no se puede escribir en un .prj");
    return wkt;
}

std::string LeePrj(const std::string& ruta) {
    std::error_code ec;
    if (!fs::exists(ruta, ec)) return {};
    std::ifstream f(ruta, std::ios::binary);
    std::string texto((std::istreambuf_iterator<char>(f)), {});
    if (!f && !f.eof()) comun::FalloSistema("leer", ruta);
    return texto;
}

std::string RutaPrjHoja(const std::string& ficheroBin) {
    return ConExtension(BaseHoja(ficheroBin) + ".bin", ".prj", ".PRJ");
}

std::string RutaPrjShape(const std::string& shp) { return ConExtension(shp, ".prj", ".PRJ"); }

void EscribePrj(const std::string& ruta, const std::string& wkt) {
    const int fd = ::open(ruta.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) comun::FalloSistema("crear", ruta);
    if (const int e = comun::EscribeTodo(fd, wkt.data(), wkt.size())) {
        ::close(fd);
        comun::FalloSistema("escribir", ruta, e);
    }
    if (::close(fd) != 0) comun::FalloSistema("cerrar", ruta);
}

namespace {
bool EsGeograficoSegunProj(const std::string& wkt) {
    Contexto c;
    Objeto crs{c, c.proj.create(c.ctx, wkt.c_str())};
    if (crs.pj) {
        const PJ_TYPE tipo = c.proj.get_type(crs.pj);
        return tipo == PJ_TYPE_GEOGRAPHIC_2D_CRS || tipo == PJ_TYPE_GEOGRAPHIC_3D_CRS ||
               tipo == PJ_TYPE_GEOGRAPHIC_CRS;
    }
    // A text PROJ cannot read: its first keyword says it.
    const auto a = wkt.find_first_not_of(" \t\r\n");
    return wkt.compare(a, 6, "GEOGCS") == 0 || wkt.compare(a, 7, "GEOGCRS") == 0;
}
}  // namespace

bool EsGeografico(const std::string& wkt) {
    if (wkt.find_first_not_of(" \t\r\n") == std::string::npos) return false;
    // Remembered: a folder's shapefiles share their ".prj", and a worker process forked after
    // the answer is known skips opening PROJ's database, its costliest step.
    static std::mutex cerrojo;
    static std::map<std::string, bool> sabidos;
    {
        std::lock_guard<std::mutex> l(cerrojo);
        if (auto i = sabidos.find(wkt); i != sabidos.end()) return i->second;
    }
    const bool geografico = EsGeograficoSegunProj(wkt);
    std::lock_guard<std::mutex> l(cerrojo);
    sabidos.emplace(wkt, geografico);
    return geografico;
}

void SueltaProj() {
    // Not opened, nothing to free.
    if (const Proj* p = g_proj.load()) p->cleanup();
}

bool ExtensionDeGrados(double xmin, double ymin, double xmax, double ymax) {
    return xmin >= -180 && xmax <= 180 && ymin >= -90 && ymax <= 90;
}

}  // namespace parvenza
