#pragma once
// Helpers of the shapefile-to-BIN tests: a recording port, a fresh folder, shapefiles
// written with shapelib directly, and BIN files read back with the Digi library.

#include <gtest/gtest.h>
#include <shapefil.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/core/Puerto.h"
#include "converter/shapefile/tests/shapelib_prueba.h"
#include "digi/FicheroDigi.h"
#include "digi/tests/elementos_prueba.h"
#include "tests/robustez/Robustez.h"

namespace parvenza::prueba {

namespace fs = std::filesystem;

/// Records what a run tells its host; messages also go to stderr ("MENSAJE[...]"), where
/// death tests look for them. The file chooser answers from `respuestas` ("" cancels).
class PuertoAnotador : public Puerto {
  public:
    std::vector<std::string> procesos, mensajes, filtros, titulos, respuestas;
    std::vector<bool> criticos, ocupado;
    std::vector<double> progresos;
    void Proceso(const std::string& t) override { procesos.push_back(t); }
    void Progreso(double f) override { progresos.push_back(f); }
    void Mensaje(const std::string& t, bool critico, const std::string&) override {
        mensajes.push_back(t);
        criticos.push_back(critico);
        std::fprintf(stderr, "MENSAJE[%s]\n", t.c_str());
    }
    bool PideFichero(const std::string& filtro, const std::string& titulo,
                     std::string& ruta) override {
        filtros.push_back(filtro);
        titulos.push_back(titulo);
        ruta = respuestas.empty() ? "" : respuestas.front();
        if (!respuestas.empty()) respuestas.erase(respuestas.begin());
        return !ruta.empty();
    }
    void Ocupado(bool o) override { ocupado.push_back(o); }
};

using Carpeta = robustez::CarpetaTemporal;

using brisquel::prueba::LeeBin;

/// The code of an element without its NUL padding.
inline std::string Codigo(const brisquel::tipo_entidad& e) {
    std::string c = e.elemento.cabecera.codigo;
    return c.substr(0, c.find('\0'));
}

/// "kind code: (x y z)... [table:record:rest]... 'text' height/justification/rotation".
inline std::string Resumen(const brisquel::tipo_entidad& e) {
    const auto& el = e.elemento;
    std::string s = el.cabecera.tipo + " " + Codigo(e) + ":";
    if (el.cabecera.npuntos != static_cast<int>(el.coordenadas.size()) && el.cabecera.tipo != "T=")
        s += " npuntos " + std::to_string(el.cabecera.npuntos);
    for (const auto& p : el.coordenadas)
        s += " (" + std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) +
             ")";
    for (int i = 0; i < el.cabecera.natr; ++i) {
        std::string r = el.atributos[i].resto;
        r = r.substr(0, r.find_last_not_of(std::string(" \0", 2)) + 1);
        s += " [" + std::to_string(el.atributos[i].idTabla) + ":" +
             std::to_string(el.atributos[i].nregistro) + ":" + r + "]";
    }
    if (el.cabecera.tipo == "T=")
        s += " '" + e.Propiedad.texto + "' " + std::to_string(el.rango.xlib) + "/" +
             std::to_string(el.rango.ylib) + "/" + std::to_string(el.rango.zlib) + " n" +
             std::to_string(el.cabecera.npuntos);
    return s;
}

/// Every live element of a BIN file, summarised.
inline std::vector<std::string> Resumenes(const std::string& ruta) {
    std::vector<std::string> v;
    for (const auto& e : LeeBin(ruta)) v.push_back(Resumen(e));
    return v;
}

}  // namespace parvenza::prueba
