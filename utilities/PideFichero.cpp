#include <algorithm>
#include <cctype>
#include <exception>
#include <filesystem>
#include <system_error>

#include "comun/Reemplazo.h"
#include "utilities/Utilidades.h"

namespace fenoquia {

namespace {

std::string Minusculas(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool MenorSinMayusculas(const std::string& a, const std::string& b) {
    std::string la = Minusculas(a), lb = Minusculas(b);
    if (la != lb) return la < lb;
    return a < b;  // a stable order for names that differ only in case
}

// Names in `directorio` matching "*.<extension>", as a wildcard search on a file system
// that ignores case would find them.
std::vector<std::string> ListaPorExtension(const std::string& directorio,
                                           const std::string& extension) {
    namespace fs = std::filesystem;
    const std::string sufijo = "." + Minusculas(extension);
    std::vector<std::string> nombres;
    std::error_code ec;
    fs::directory_iterator it(fs::path(directorio.empty() ? "." : directorio), ec);
    if (ec)
        throw UtilidadesError(kErrorDeRuta, "No se puede leer la carpeta " + directorio + ": " +
                                                parvenza::comun::RazonSistema(ec.value()));
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::error_code ec2;
        if (!it->is_regular_file(ec2)) continue;
        std::string nombre = it->path().filename().string();
        std::string bajo = Minusculas(nombre);
        if (bajo.size() >= sufijo.size() &&
            bajo.compare(bajo.size() - sufijo.size(), sufijo.size(), sufijo) == 0)
            nombres.push_back(nombre);
    }
    if (ec)
        throw UtilidadesError(kErrorDeRuta, "No se puede leer la carpeta " + directorio + ": " +
                                                parvenza::comun::RazonSistema(ec.value()));
    std::sort(nombres.begin(), nombres.end(), MenorSinMayusculas);
    return nombres;
}

}  // namespace

void Utilidades::PideFichero(const std::string& filtro, const std::string& TituloDialogo,
                             std::vector<std::string>& ficheros, std::string& Directorio,
                             const bool& UnSoloFichero, bool& eligio) {
    auto selector = SelectorFicheroActual();
    if (!selector)
        throw UtilidadesError(kLlamadaNoValida,
                              "PideFichero: no hay selector de ficheros instalado");
    std::string ruta;
    try {
        ruta = selector->Elige(filtro, TituloDialogo);
    } catch (const UtilidadesError&) {
        throw;
    } catch (const std::exception& e) {
        throw UtilidadesError(kLlamadaNoValida,
                              std::string("PideFichero: fallo del dialogo: ") + e.what());
    }
    if (ruta.empty()) {
        eligio = false;
        return;
    }
    // The folder is everything before the file's own name at the end of the path. Cutting
    // at the name's first occurrence instead would give a wrong folder when a folder's name
    // contains the file's name ("/datos/a.bin/a.bin").
    const auto barra = ruta.find_last_of('/');
    std::string directorio = barra == std::string::npos ? std::string() : ruta.substr(0, barra + 1);
    const std::string extension = ruta.size() >= 3 ? ruta.substr(ruta.size() - 3) : ruta;

    std::vector<std::string> lista{std::string()};
    if (UnSoloFichero) {
        lista.push_back(ruta);
    } else {
        for (const auto& nombre : ListaPorExtension(directorio, extension))
            lista.push_back(directorio + nombre);
    }
    // Only now that nothing can fail are the caller's values replaced.
    ficheros = std::move(lista);
    Directorio = std::move(directorio);
    eligio = true;
}

}  // namespace fenoquia
