#pragma once
// Helpers of the shapefile-to-BIN tests: a recording port, a fresh folder, shapefiles
// written with shapelib directly, and BIN files read back with the Digi library.

#include <gtest/gtest.h>
#include <shapefil.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "converter/core/Puerto.h"
#include "digi/FicheroDigi.h"

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

/// A folder of its own for each test, removed afterwards.
class Carpeta {
  public:
    Carpeta() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_ruta = fs::temp_directory_path() / ("shpbin-" + std::to_string(::getpid()) + "-" +
                                              info->test_suite_name() + "-" + info->name());
        fs::remove_all(m_ruta);
        fs::create_directories(m_ruta);
    }
    ~Carpeta() { fs::remove_all(m_ruta); }
    std::string operator/(const std::string& nombre) const { return (m_ruta / nombre).string(); }
    std::string Ruta() const { return m_ruta.string() + "/"; }
    const fs::path& ruta() const { return m_ruta; }

  private:
    fs::path m_ruta;
};

/// A field of a table written by EscribeShape.
struct Campo {
    std::string nombre;
    char tipo;  ///< 'N', 'C', 'D', 'L'
    int ancho = 10;
    int decimales = 0;
};

/// Null, a number, or text (written as it is, also into a numeric field).
using Valor = std::variant<std::monostate, double, std::string>;

using Vertice = std::array<double, 3>;

/// One record: its parts (each a list of x, y, z) and its field values.
struct Registro {
    std::vector<std::vector<Vertice>> partes;
    std::vector<Valor> valores;
};

/// Writes a shapefile of ESRI type `tipo` with the given fields and records.
inline void EscribeShape(const std::string& ruta, int tipo, const std::vector<Campo>& campos,
                         const std::vector<Registro>& registros) {
    SHPHandle shp = SHPCreate(ruta.c_str(), tipo);
    ASSERT_NE(shp, nullptr);
    const std::string base = ruta.substr(0, ruta.size() - 4);
    DBFHandle dbf = DBFCreate((base + ".dbf").c_str());
    ASSERT_NE(dbf, nullptr);
    for (const Campo& c : campos)
        ASSERT_GE(DBFAddNativeFieldType(dbf, c.nombre.c_str(), c.tipo, c.ancho, c.decimales), 0);
    const bool puntos = tipo == SHPT_POINT || tipo == SHPT_POINTZ || tipo == SHPT_POINTM ||
                        tipo == SHPT_MULTIPOINT || tipo == SHPT_MULTIPOINTZ ||
                        tipo == SHPT_MULTIPOINTM;
    for (size_t r = 0; r < registros.size(); ++r) {
        std::vector<double> x, y, z;
        std::vector<int> inicios;
        for (const auto& parte : registros[r].partes) {
            inicios.push_back(static_cast<int>(x.size()));
            for (const Vertice& v : parte) {
                x.push_back(v[0]);
                y.push_back(v[1]);
                z.push_back(v[2]);
            }
        }
        SHPObject* o =
            x.empty() ? SHPCreateSimpleObject(SHPT_NULL, 0, nullptr, nullptr, nullptr)
                      : SHPCreateObject(tipo, -1, puntos ? 0 : static_cast<int>(inicios.size()),
                                        puntos ? nullptr : inicios.data(), nullptr,
                                        static_cast<int>(x.size()), x.data(), y.data(), z.data(),
                                        nullptr);
        ASSERT_GE(SHPWriteObject(shp, -1, o), 0);
        SHPDestroyObject(o);
        for (size_t i = 0; i < registros[r].valores.size(); ++i) {
            const Valor& v = registros[r].valores[i];
            const int ir = static_cast<int>(r), ic = static_cast<int>(i);
            if (std::holds_alternative<std::monostate>(v))
                DBFWriteNULLAttribute(dbf, ir, ic);
            else if (auto d = std::get_if<double>(&v))
                DBFWriteDoubleAttribute(dbf, ir, ic, *d);
            else
                DBFWriteAttributeDirectly(dbf, ir, ic,
                                          const_cast<char*>(std::get<std::string>(v).c_str()));
        }
        if (registros[r].valores.empty() && !campos.empty())
            DBFWriteNULLAttribute(dbf, static_cast<int>(r), 0);
    }
    DBFClose(dbf);
    SHPClose(shp);
}

/// Every live element of a BIN file, in file order.
inline std::vector<brisquel::tipo_entidad> LeeBin(const std::string& ruta) {
    brisquel::FicheroDigi digi;
    std::vector<brisquel::tipo_entidad> elementos;
    if (!fs::exists(ruta) || fs::file_size(ruta) == 0) return elementos;
    int32_t n = 0;
    digi.AbreFichero(ruta, n);
    digi.CargaFicheroDigi(ruta, elementos, n);
    digi.CierraFichero(ruta, n);
    return elementos;
}

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
