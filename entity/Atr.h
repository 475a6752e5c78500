#pragma once

#include <cstdint>
#include <string>

namespace lumeral {

/// Atributo de un elemento: a link to record `Registro` of attribute table `Tabla`, with the
/// secondary codes (features) in `resto`, stored unchanged.
class Atr {
  public:
    int32_t Tabla() const { return m_tabla; }
    void Tabla(int32_t v) { m_tabla = v; }
    int32_t Registro() const { return m_registro; }
    void Registro(int32_t v) { m_registro = v; }
    const std::string& resto() const { return m_resto; }
    void resto(const std::string& v) { m_resto = v; }

  private:
    int32_t m_tabla = 0;
    int32_t m_registro = 0;
    std::string m_resto;
};

}  // namespace lumeral
