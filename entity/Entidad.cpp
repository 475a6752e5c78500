#include "entity/Entidad.h"

#include <array>

#include "entity/Entidades.h"
#include "entity/Mensajes.h"
#include "entity/Redondeo.h"

namespace lumeral {

using detalle::A32;
using detalle::Redondea;

namespace {

std::string SinEspacios(const std::string& v) {
    const auto inicio = v.find_first_not_of(' ');
    if (inicio == std::string::npos) return {};
    return v.substr(inicio, v.find_last_not_of(' ') - inicio + 1);
}

// The box of a text from its insertion point, by justification: xmin, xmax, ymin, ymax.
std::array<int32_t, 4> Caja(const Punto3D& p, const texto& t) {
    const int32_t h = t.Altura();
    const int32_t l = A32(int64_t{static_cast<int32_t>(t.Texto().size())} * h, "la caja del texto");
    const int32_t l2 = Redondea(l / 2.0, "la caja del texto");
    const int32_t h2 = Redondea(h / 2.0, "la caja del texto");
    const int64_t x = p.x(), y = p.y();
    const char* que = "la caja del texto";
    switch (t.Justificacion()) {
        case 1:
            return {A32(x, que), A32(x + l, que), A32(y - h2, que), A32(y + h2, que)};
        case 2:
            return {A32(x, que), A32(x + l, que), A32(y - h, que), A32(y, que)};
        case 3:
            return {A32(x - l2, que), A32(x + l2, que), A32(y - h, que), A32(y, que)};
        case 4:
            return {A32(x - l, que), A32(x, que), A32(y - h, que), A32(y, que)};
        case 5:
            return {A32(x - l, que), A32(x, que), A32(y - h2, que), A32(y + h2, que)};
        case 6:
            return {A32(x - l, que), A32(x, que), A32(y, que), A32(y + h, que)};
        case 7:
            return {A32(x - l2, que), A32(x + l2, que), A32(y, que), A32(y + h, que)};
        case 8:
            return {A32(x - l2, que), A32(x + l2, que), A32(y - h2, que), A32(y + h2, que)};
        default:
            return {A32(x, que), A32(x + l, que), A32(y, que), A32(y + h, que)};
    }
}

void PonCaja(MaxMin& m, const Punto3D& p, const std::array<int32_t, 4>& c) {
    m.xmin(c[0]);
    m.xmax(c[1]);
    m.ymin(c[2]);
    m.ymax(c[3]);
    m.zmin(p.z());
    m.zmax(p.z());
}

std::string Izquierda(const std::string& s, std::size_t n) { return s.substr(0, n); }

}  // namespace

void Entidad::codigo(const std::string& v) { m_codigo = SinEspacios(v); }

std::shared_ptr<Atr> Entidad::Atributo(int32_t nIndice) const {
    if (nIndice < 1 || nIndice > atributos())
        throw EntidadError(kSubindice, "Entidad.Atributo: el atributo " + std::to_string(nIndice) +
                                           " no existe (hay " + std::to_string(atributos()) + ")");
    return m_atributos[nIndice - 1];
}

std::shared_ptr<Punto3D> Entidad::Punto(int32_t nIndice) const {
    if (nIndice < 1 || nIndice > Puntos())
        throw EntidadError(kSubindice, "Entidad.Punto: el punto " + std::to_string(nIndice) +
                                           " no existe (hay " + std::to_string(Puntos()) + ")");
    return m_puntos[nIndice - 1];
}

texto& Entidad::Texto() {
    m_texto.SuscribeCambioATexto([this] { CambioATexto(); });
    return m_texto;
}

int16_t Entidad::TipoDeUnPunto() const { return m_texto.Texto().empty() ? kPuntual : kTexto; }

void Entidad::AnadeAtributo(std::shared_ptr<Atr> NuevoAtr) {
    if (!NuevoAtr) throw EntidadError(kLlamadaNoValida, "Entidad.AnadeAtributo: atributo nulo");
    m_atributos.push_back(std::move(NuevoAtr));
}

void Entidad::BorraAtributo(int32_t nIndice) {
    const int32_t n = atributos();
    if (n == 0) {
        MuestraMensaje("No hay atributos que borrar");
        return;
    }
    if (nIndice > n) {
        MuestraMensaje("Este atributo no existe");
        return;
    }
    if (nIndice < 1)
        throw EntidadError(kSubindice, "Entidad.BorraAtributo: el atributo " +
                                           std::to_string(nIndice) + " no existe");
    m_atributos.erase(m_atributos.begin() + (nIndice - 1));
}

void Entidad::AnadePunto(std::shared_ptr<Punto3D> NuevoPunto) {
    if (!NuevoPunto) throw EntidadError(kLlamadaNoValida, "Entidad.AnadePunto: punto nulo");
    const Punto3D& p = *NuevoPunto;
    if (m_puntos.empty()) {
        const int16_t tipo = TipoDeUnPunto();
        if (tipo == kTexto) {
            PonCaja(m_maxmin, p, Caja(p, m_texto));  // may overflow before anything changes
        } else {
            m_maxmin.xmin(p.x());
            m_maxmin.xmax(p.x());
            m_maxmin.ymin(p.y());
            m_maxmin.ymax(p.y());
            m_maxmin.zmin(p.z());
            m_maxmin.zmax(p.z());
        }
        m_tipo = tipo;
    } else {
        m_tipo = kLineal;
        if (p.x() > m_maxmin.xmax()) m_maxmin.xmax(p.x());
        if (p.y() > m_maxmin.ymax()) m_maxmin.ymax(p.y());
        if (p.z() > m_maxmin.zmax()) m_maxmin.zmax(p.z());
        if (p.x() < m_maxmin.xmin()) m_maxmin.xmin(p.x());
        if (p.y() < m_maxmin.ymin()) m_maxmin.ymin(p.y());
        if (p.z() < m_maxmin.zmin()) m_maxmin.zmin(p.z());
    }
    m_puntos.push_back(std::move(NuevoPunto));
}

void Entidad::BorraPunto(int32_t nIndice) {
    const int32_t n = Puntos();
    if (n <= 0) {
        MuestraMensaje("No hay puntos que borrar");
        return;
    }
    if (n == 1) {
        MuestraMensaje("Solo hay un punto que borrar");
    } else if (nIndice > n) {
        MuestraMensaje("Ese punto no existe");
    } else {
        if (nIndice < 1)
            throw EntidadError(kSubindice, "Entidad.BorraPunto: el punto " +
                                               std::to_string(nIndice) + " no existe");
        m_puntos.erase(m_puntos.begin() + (nIndice - 1));
    }
    m_tipo = Puntos() == 1 ? TipoDeUnPunto() : kLineal;
}

void Entidad::CambioATexto() {
    if (m_puntos.empty())
        throw EntidadError(kSubindice,
                           "Entidad: el texto necesita un punto de insercion y no hay ninguno");
    const Punto3D& p = *m_puntos.front();
    PonCaja(m_maxmin, p, Caja(p, m_texto));
    m_puntos.resize(1);
    m_tipo = kTexto;
}

void Entidad::AdaptaEstadoEntidad(double nArea, bool nEsCerrado, int32_t nTamano, bool nEsVisible,
                                  bool nBorrado, int32_t nColorL, int32_t nColorRelleno,
                                  bool nModificado, int32_t nPuntero) {
    m_estado.area(nArea);
    m_estado.EsCerrado(nEsCerrado);
    m_estado.tamano(nTamano);
    m_estado.Visible(nEsVisible);
    m_estado.borrado(nBorrado);
    m_estado.colorL(nColorL);
    m_estado.colorRelleno(nColorRelleno);
    m_estado.modificado(nModificado);
    m_estado.puntero(nPuntero);
}

bool Entidad::EsCodigoValido(const std::vector<std::string>& codigo, const std::string& codigobin) {
    if (codigo.empty())
        throw EntidadError(kSubindice, "Entidad.EsCodigoValido: la lista de codigos esta vacia");
    bool incluido = false;
    for (const auto& patron : codigo) {
        if (!patron.empty() && patron[0] == '-') continue;
        const auto estrella = SinEspacios(patron).find('*');
        if (estrella == std::string::npos) {
            incluido = codigobin == patron;
        } else if (estrella == 0) {
            incluido = true;
        } else {
            // The position is taken on the trimmed pattern, the characters on the pattern.
            incluido = Izquierda(codigobin, estrella) == Izquierda(patron, estrella);
        }
        if (incluido) break;
    }
    bool excluido = false;
    for (const auto& patron : codigo) {
        if (patron.empty() || patron[0] != '-') continue;
        const std::string x = patron.substr(1);
        const auto estrella = x.find('*');
        excluido = estrella == std::string::npos
                       ? codigobin == x
                       : Izquierda(codigobin, estrella) == Izquierda(x, estrella);
        if (excluido) break;
    }
    return incluido && !excluido;
}

bool Entidad::EsCodigoFeatureValido(Entidad& entidadN, const std::vector<std::string>& codigos) {
    if (EsCodigoValido(codigos, entidadN.codigo())) return true;
    for (const auto& atr : entidadN.m_atributos) {
        if (atr->Tabla() == 1 && !atr->resto().empty() && EsCodigoValido(codigos, atr->resto()))
            return true;
    }
    return false;
}

void Entidad::AplicoFiltroCodigosFeaturesValidos(const std::vector<std::string>& codigos,
                                                 Entidades& entidadesN, bool& HayEntidades) {
    HayEntidades = false;
    for (const auto& ent : entidadesN) {
        const bool valido = EsCodigoFeatureValido(*ent, codigos);
        ent->Estado().Visible(valido);
        if (valido) HayEntidades = true;
    }
}

}  // namespace lumeral
