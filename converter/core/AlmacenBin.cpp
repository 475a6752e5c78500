#include "converter/core/AlmacenBin.h"

#include <exception>
#include <filesystem>

#include "converter/core/ShpBinError.h"
#include "digi/AnexoBin.h"
#include "digi/FicheroDigi.h"

namespace parvenza {

using brisquel::tipo_entidad;

void AlmacenBin::Reserva(size_t elementos, size_t puntos) {
    m_cabezas.reserve(elementos);
    m_puntos.reserve(puntos);
    m_cadenas.reserve(elementos * 6);
}

void AlmacenBin::Vuelve(const Marca& m) {
    m_cabezas.resize(m.elementos);
    m_puntos.resize(m.puntos);
    m_enlaces.resize(m.enlaces);
    m_cadenas.resize(m.cadenas);
}

void AlmacenBin::Enlaces(const std::vector<brisquel::Fatrib>& enlaces) {
    m_primerEnlace = static_cast<uint32_t>(m_enlaces.size());
    m_nEnlaces = static_cast<uint8_t>(enlaces.size());
    m_enlaces.insert(m_enlaces.end(), enlaces.begin(), enlaces.end());
}

void AlmacenBin::Guarda(const tipo_entidad& e, const std::string& texto) {
    const auto& m = e.elemento;
    Cabeza h;
    h.texto = m.cabecera.tipo == "T=";
    h.primerPunto = m_puntos.size();
    h.nPuntos = static_cast<uint32_t>(m.coordenadas.size());
    h.primerEnlace = m_primerEnlace;
    h.nEnlaces = m_nEnlaces;
    h.primerCaracter = m_cadenas.size();
    h.largoCodigo = static_cast<uint8_t>(m.cabecera.codigo.size());
    h.largoTexto = h.texto ? static_cast<uint32_t>(texto.size()) : 0;
    h.xlib = m.rango.xlib;
    h.ylib = m.rango.ylib;
    h.zlib = m.rango.zlib;
    m_cadenas += m.cabecera.codigo;
    if (h.texto) m_cadenas += texto;
    m_puntos.insert(m_puntos.end(), m.coordenadas.begin(), m.coordenadas.end());
    m_cabezas.push_back(h);
}

void AlmacenBin::Graba(const std::string& ruta, brisquel::FicheroDigi& digi) {
    brisquel::AnexoBin anexo(ruta);
    Graba(anexo, digi);
    anexo.Confirma();
}

void AlmacenBin::Graba(brisquel::AnexoBin& anexo, brisquel::FicheroDigi& digi) {
    tipo_entidad e;
    for (const Cabeza& h : m_cabezas) {
        Rellena(h, e, digi);
        anexo.Anade(e);
    }
}

void AlmacenBin::Rellena(const Cabeza& h, tipo_entidad& e, brisquel::FicheroDigi& digi) const {
    auto& m = e.elemento;
    m.cabecera.tipo = h.texto ? "T=" : "C=";
    m.cabecera.codigo.assign(m_cadenas, h.primerCaracter, h.largoCodigo);
    m.cabecera.natr = h.nEnlaces;
    m.rango = {};
    m.rango.xlib = h.xlib;
    m.rango.ylib = h.ylib;
    m.rango.zlib = h.zlib;
    m.coordenadas.assign(m_puntos.begin() + h.primerPunto,
                         m_puntos.begin() + h.primerPunto + h.nPuntos);
    m.atributos.assign(m_enlaces.begin() + h.primerEnlace,
                       m_enlaces.begin() + h.primerEnlace + h.nEnlaces);
    e.Propiedad = {};
    e.nfich = e.puntero = e.tamano = 0;
    if (h.texto) {
        e.Propiedad.EsTexto = true;
        e.Propiedad.texto.assign(m_cadenas, h.primerCaracter + h.largoCodigo, h.largoTexto);
        // Each element gets its own copy: the call pads the string it is given.
        std::string copia = e.Propiedad.texto;
        digi.ModificaTextoEntidad(copia, e);
    } else {
        m.cabecera.npuntos = static_cast<int16_t>(h.nPuntos);
        m.textos.clear();
    }
}

}  // namespace parvenza
