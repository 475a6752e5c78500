#include "converter/core/DbfCampos.h"

#include <shapefil.h>

#include <charconv>
#include <filesystem>
#include <memory>

#include "converter/core/Puerto.h"
#include "converter/core/ShpBinError.h"
#include "converter/shapefile/PaginaCodigos.h"
#include "converter/shapefile/Shapefile.h"

namespace parvenza {

namespace {

// shapelib would print its own complaints on stderr; our message names the file instead.
void SinMensajes(const char*) {}

struct CierraDbf {
    void operator()(DBFInfo* dbf) const { DBFClose(dbf); }
};
using Dbf = std::unique_ptr<DBFInfo, CierraDbf>;

Dbf AbreTabla(const std::string& ruta) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // shapelib tries the upper-case extension too, as the data may come from another system.
    const std::string mayusculas = ruta.substr(0, ruta.size() - 4) + ".DBF";
    if (!fs::exists(ruta, ec) && !fs::exists(mayusculas, ec))
        throw ShpBinError(kFicheroNoEncontrado, "No se encuentra la tabla de atributos " + ruta);
    SAHooks hooks;
    SASetupDefaultHooks(&hooks);
    hooks.Error = SinMensajes;
    Dbf dbf(DBFOpenLL(ruta.c_str(), "rb", &hooks));
    if (!dbf)
        throw ShpBinError(kFicheroNoEncontrado, "No se puede leer la tabla de atributos " + ruta);
    return dbf;
}

int CodigoTipo(char nativo) {
    switch (nativo) {
        case 'N':
        case 'F':
            return kCampoDoble;
        case 'C':
            return kCampoTexto;
        case 'D':
            return kCampoFecha;
        case 'L':
            return kCampoLogico;
        default:
            return static_cast<unsigned char>(nativo);
    }
}

// How the names of `dbf` are read: in `pagina` when given, else in the declared page, else
// (nothing declared, or a page iconv does not know) as Windows-1252.
std::unique_ptr<ConversorPagina> Conversor(DBFInfo* dbf, const std::string& pagina) {
    try {
        if (!pagina.empty()) return std::make_unique<ConversorPagina>(NombrePagina(pagina));
    } catch (const ShapefileError& e) {
        throw ShpBinError(kLlamadaNoValida, e.what());
    }
    const char* declarada = DBFGetCodePage(dbf);
    const std::string nombre = NombrePagina(declarada ? declarada : "");
    return std::make_unique<ConversorPagina>(PaginaConocida(nombre) ? nombre : std::string());
}

}  // namespace

std::string RutaTablaDbf(const std::string& directorio, const std::string& tabladbf) {
    if (directorio.empty() || directorio.back() == '/') return directorio + tabladbf + ".dbf";
    return directorio + "/" + tabladbf + ".dbf";
}

std::string TablaDeRuta(const std::string& ruta, const std::string& directorio) {
    if (ruta.size() < 4)
        throw ShpBinError(kLlamadaNoValida, "Nombre de fichero shape no válido: " + ruta);
    std::string tabla = ruta.substr(0, ruta.size() - 4);
    if (!directorio.empty() && tabla.compare(0, directorio.size(), directorio) == 0)
        tabla.erase(0, directorio.size());
    return tabla;
}

std::vector<CampoDbf> CamposDbf(const std::string& directorio, const std::string& tabladbf,
                                const std::string& pagina) {
    const std::string ruta = RutaTablaDbf(directorio, tabladbf);
    Dbf dbf = AbreTabla(ruta);
    const auto conversor = Conversor(dbf.get(), pagina);
    const int n = DBFGetFieldCount(dbf.get());
    std::vector<CampoDbf> campos;
    campos.reserve(n > 0 ? n : 0);
    for (int i = 0; i < n; ++i) {
        char nombre[XBASE_FLDNAME_LEN_READ + 1] = {};
        int ancho = 0, decimales = 0;
        DBFGetFieldInfo(dbf.get(), i, nombre, &ancho, &decimales);
        campos.push_back(
            {conversor->A1252(nombre), CodigoTipo(DBFGetNativeFieldType(dbf.get(), i))});
    }
    return campos;
}

bool PasaFiltro(int tipo, const std::string& patron) {
    if (tipo == kCampoDoble) return patron == "DOBLE" || patron == "TODOS";
    if (tipo == kCampoTexto) return patron == "TEXTO" || patron == "TODOS";
    return false;
}

bool NombreTablaValido(const std::string& tabladbf) {
    return tabladbf.size() <= 8 && tabladbf.find('-') == std::string::npos;
}

std::string EntradaCampo(int indice, const std::string& nombre) {
    return std::to_string(indice) + " " + nombre;
}

int16_t IndiceDeEntrada(const std::string& entrada) {
    const std::string numero = entrada.substr(0, entrada.find(' '));
    const char* p = numero.data();
    const char* fin = p + numero.size();
    if (p != fin && *p == '+') ++p;
    long valor = 0;
    auto [resto, ec] = std::from_chars(p, fin, valor);
    if (ec == std::errc::result_out_of_range)
        throw ShpBinError(kDesbordamiento, "Índice de campo fuera de rango: " + entrada);
    if (ec != std::errc() || resto != fin || p == fin)
        throw ShpBinError(kTipoNoCoincide,
                          "La entrada no empieza por un índice de campo: " + entrada);
    if (valor < -32768 || valor > 32767)
        throw ShpBinError(kDesbordamiento, "Índice de campo fuera de rango: " + entrada);
    return static_cast<int16_t>(valor);
}

std::optional<std::vector<std::string>> RellenaCampos(const std::string& directorio,
                                                      const std::string& tabladbf,
                                                      const std::string& patron, Puerto& puerto,
                                                      const std::string& pagina) {
    if (!NombreTablaValido(tabladbf)) {
        puerto.Mensaje(kMensajeNombreTabla);
        return std::nullopt;
    }
    std::vector<std::string> entradas;
    const auto campos = CamposDbf(directorio, tabladbf, pagina);
    for (size_t i = 0; i < campos.size(); ++i)
        if (PasaFiltro(campos[i].tipo, patron))
            entradas.push_back(EntradaCampo(static_cast<int>(i), campos[i].nombre));
    return entradas;
}

std::string ObtengoNombreCamposDbf(const std::string& directorio, const std::string& tabladbf,
                                   int16_t i, const std::string& pagina) {
    const auto campos = CamposDbf(directorio, tabladbf, pagina);
    if (i < 0 || static_cast<size_t>(i) >= campos.size())
        throw ShpBinError(kSubindice, "La tabla " + RutaTablaDbf(directorio, tabladbf) +
                                          " no tiene el campo " + std::to_string(i));
    return campos[i].nombre;
}

}  // namespace parvenza
