#include "converter/core/tests/binshp_support.h"

#include <shapefil.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "converter/core/Topologia.h"
#include "converter/core/tests/topologia_prueba.h"
#include "digi/FicheroDigi.h"

namespace fs = std::filesystem;

namespace parvenza::prueba_binshp {

brisquel::tipo_entidad Linea(const std::string& codigo,
                             const std::vector<brisquel::Fpunto3d>& puntos,
                             std::vector<brisquel::Fatrib> atributos) {
    brisquel::tipo_entidad e;
    e.elemento.cabecera.natr = static_cast<uint8_t>(atributos.size());
    e.elemento.atributos = std::move(atributos);
    e.elemento.cabecera.tipo = "C=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.cabecera.npuntos = static_cast<int16_t>(puntos.size());
    e.elemento.coordenadas = puntos;
    return e;
}

brisquel::tipo_entidad Texto(const std::string& codigo, const std::string& texto,
                             brisquel::Fpunto3d p, int32_t altura, int32_t rotacion) {
    brisquel::tipo_entidad e;
    e.elemento.cabecera.tipo = "T=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.coordenadas = {p};
    e.elemento.rango.xlib = altura;
    e.elemento.rango.zlib = rotacion;
    std::string t = texto;
    brisquel::FicheroDigi().ModificaTextoEntidad(t, e);
    return e;
}

brisquel::tipo_entidad Cuadrado(const std::string& codigo,
                                std::vector<brisquel::Fatrib> atributos) {
    return Linea(codigo, {{0, 0, 0}, {0, 100, 0}, {100, 100, 0}, {100, 0, 0}, {0, 0, 0}},
                 std::move(atributos));
}

std::vector<tipo_manzana> Basica() {
    prueba::PuertoAnotador puerto;
    std::vector<tipo_manzana> manzanas;
    bool hayError = false;
    int32_t codigo = 0;
    CargaTopologia(prueba_topologia::Fixture("basic.mdb"), manzanas, hayError, codigo, puerto);
    return manzanas;
}

void EscribeBin(const std::string& ruta, std::vector<brisquel::tipo_entidad> elementos) {
    std::ofstream(ruta, std::ios::binary | std::ios::trunc);  // empty file, even with no element
    brisquel::FicheroDigi().CreaFicheroDigi(ruta, elementos);
}

void BorraElemento(const std::string& ruta, int n) {
    std::fstream f(ruta, std::ios::in | std::ios::out | std::ios::binary);
    std::streamoff pos = 0;
    for (int i = 1;; ++i) {
        unsigned char cab[12];
        f.seekg(pos);
        if (!f.read(reinterpret_cast<char*>(cab), 12)) throw std::runtime_error("no such element");
        if (i == n) {
            f.seekp(pos + 1);
            f.put('*');  // second character of tipo other than "=": deleted
            return;
        }
        int npuntos = cab[10] | (cab[11] << 8);
        pos += 48 + 12 * (npuntos + cab[9]);
    }
}

const std::string& CapaLeida::Valor(size_t i, const std::string& nombre) const {
    for (size_t k = 0; k < campos.size(); ++k)
        if (campos[k].nombre == nombre) return registros.at(i).valores.at(k);
    throw std::runtime_error("no field " + nombre);
}

CapaLeida LeeCapa(const std::string& rutaShp) {
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

std::string Resumen(const CapaLeida& capa) {
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
