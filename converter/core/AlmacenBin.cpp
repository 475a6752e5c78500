#include "converter/core/AlmacenBin.h"

#include "digi/FicheroDigi.h"

namespace parvenza {

void AlmacenBin::Guarda(const brisquel::tipo_entidad& origen, const std::string& texto) {
    const auto& o = origen.elemento;
    brisquel::tipo_entidad& e = m_elemento;
    auto& m = e.elemento;
    const bool esTexto = o.cabecera.tipo == "T=";
    m.cabecera.tipo = esTexto ? "T=" : "C=";
    m.cabecera.codigo = o.cabecera.codigo;
    m.cabecera.natr = static_cast<uint8_t>(m_enlaces.size());
    m.rango = {};
    m.rango.xlib = o.rango.xlib;
    m.rango.ylib = o.rango.ylib;
    m.rango.zlib = o.rango.zlib;
    m.coordenadas.assign(o.coordenadas.begin(), o.coordenadas.end());
    m.atributos.assign(m_enlaces.begin(), m_enlaces.end());
    e.Propiedad = {};
    e.nfich = e.puntero = e.tamano = 0;
    if (esTexto) {
        e.Propiedad.EsTexto = true;
        e.Propiedad.texto = texto;
        // The call pads the string it is given.
        m_texto = texto;
        m_digi.ModificaTextoEntidad(m_texto, e);
    } else {
        m.cabecera.npuntos = static_cast<int16_t>(o.coordenadas.size());
        m.textos.clear();
    }
    m_anexo.Anade(e);
}

}  // namespace parvenza
