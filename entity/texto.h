#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lumeral {

/// Texto gráfico: the text properties of an element. Setting `Texto` raises the event
/// CambioATexto afterwards; one subscriber at a time (the entity that owns the object).
class texto {
  public:
    /// Text height, stored unchanged.
    int32_t Altura() const { return m_altura; }
    void Altura(int32_t v) { m_altura = v; }

    /// The string, stored without leading and trailing spaces. Every set raises CambioATexto,
    /// whose handler may throw (the owning entity does when it has no point).
    const std::string& Texto() const { return m_texto; }
    void Texto(const std::string& v);

    /// 0 to 8 (see Entidad for the box each gives); any other value is stored as 0.
    int32_t Justificacion() const { return m_justificacion; }
    void Justificacion(int32_t v) { m_justificacion = (v >= 0 && v <= 8) ? v : 0; }

    /// Rotation, stored unchanged.
    int32_t Giro() const { return m_giro; }
    void Giro(int32_t v) { m_giro = v; }

    /// Subscribes `manejador` to CambioATexto, replacing any earlier subscriber.
    void SuscribeCambioATexto(std::function<void()> manejador) {
        m_cambioATexto = std::move(manejador);
    }

  private:
    int32_t m_altura = 0;
    std::string m_texto;
    int32_t m_justificacion = 0;
    int32_t m_giro = 0;
    std::function<void()> m_cambioATexto;
};

}  // namespace lumeral
