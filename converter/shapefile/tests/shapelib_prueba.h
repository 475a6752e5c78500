#pragma once
// Shapefiles written and read with shapelib directly, to check what the component writes and
// to give it inputs.

#include <gtest/gtest.h>
#include <shapefil.h>

#include <array>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace parvenza::prueba {

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

}  // namespace parvenza::prueba

namespace parvenza::prueba_binshp {

/// One layer as shapelib reads it.
struct CampoLeido {
    std::string nombre;
    char tipo;
    int ancho, decimales;
};
struct RegistroLeido {
    std::vector<std::string> valores;  ///< dBase text, blanks trimmed
    std::vector<double> x, y, z;
    int partes = 0;
};
struct CapaLeida {
    int tipo = 0;
    std::vector<CampoLeido> campos;
    std::vector<RegistroLeido> registros;
    /// Value of field `nombre` in record `i` (0-based).
    const std::string& Valor(size_t i, const std::string& nombre) const;
};
CapaLeida LeeCapa(const std::string& rutaShp);
/// The whole layer as text: "type N", one "NAME Cwidth.dec" per field, then one line per
/// record with its values and its vertices (x y, or x y z in Z layers), e.g.
/// "type 3\nPOLY_ID N6.0 CODIGO C6.0\n2|0203|(1 2)(3 4)\n".
std::string Resumen(const CapaLeida& capa);

inline const std::string& CapaLeida::Valor(size_t i, const std::string& nombre) const {
    for (size_t k = 0; k < campos.size(); ++k)
        if (campos[k].nombre == nombre) return registros.at(i).valores.at(k);
    throw std::runtime_error("no field " + nombre);
}

inline CapaLeida LeeCapa(const std::string& rutaShp) {
    CapaLeida capa;
    SHPHandle shp = SHPOpen(rutaShp.c_str(), "rb");
    std::string base = rutaShp.substr(0, rutaShp.size() - 4);
    DBFHandle dbf = DBFOpen((base + ".dbf").c_str(), "rb");
    if (!shp || !dbf) throw std::runtime_error("cannot open " + rutaShp);
    int n = 0;
    SHPGetInfo(shp, &n, &capa.tipo, nullptr, nullptr);
    for (int i = 0; i < DBFGetFieldCount(dbf); ++i) {
        char nombre[12] = {};
        int ancho = 0, dec = 0;
        DBFGetFieldInfo(dbf, i, nombre, &ancho, &dec);
        capa.campos.push_back({nombre, DBFGetNativeFieldType(dbf, i), ancho, dec});
    }
    if (DBFGetRecordCount(dbf) != n) throw std::runtime_error("record counts differ in " + rutaShp);
    for (int r = 0; r < n; ++r) {
        RegistroLeido reg;
        for (size_t k = 0; k < capa.campos.size(); ++k) {
            std::string v = DBFReadStringAttribute(dbf, r, static_cast<int>(k));
            while (!v.empty() && v.back() == ' ') v.pop_back();
            size_t i = v.find_first_not_of(' ');
            reg.valores.push_back(i == std::string::npos ? "" : v.substr(i));
        }
        SHPObject* o = SHPReadObject(shp, r);
        if (!o) throw std::runtime_error("unreadable record in " + rutaShp);
        reg.partes = o->nParts;
        for (int v = 0; v < o->nVertices; ++v) {
            reg.x.push_back(o->padfX[v]);
            reg.y.push_back(o->padfY[v]);
            reg.z.push_back(o->padfZ ? o->padfZ[v] : 0);
        }
        SHPDestroyObject(o);
        capa.registros.push_back(std::move(reg));
    }
    SHPClose(shp);
    DBFClose(dbf);
    return capa;
}

inline std::string Resumen(const CapaLeida& capa) {
    std::ostringstream s;
    auto n = [](double v) { return std::round(v * 1e6) / 1e6 + 0.0; };  // no float noise, no -0
    s << "type " << capa.tipo << "\n";
    for (size_t k = 0; k < capa.campos.size(); ++k)
        s << (k ? " " : "") << capa.campos[k].nombre << " " << capa.campos[k].tipo
          << capa.campos[k].ancho << "." << capa.campos[k].decimales;
    for (const RegistroLeido& r : capa.registros) {
        s << "\n";
        for (const std::string& v : r.valores) s << v << "|";
        for (size_t i = 0; i < r.x.size(); ++i) {
            s << "(" << n(r.x[i]) << " " << n(r.y[i]);
            if (capa.tipo > 10) s << " " << n(r.z[i]);
            s << ")";
        }
    }
    return s.str() + "\n";
}

}  // namespace parvenza::prueba_binshp
