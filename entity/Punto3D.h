#pragma once

#include <cstdint>

namespace lumeral {

/// Coordenadas x,y,z de un punto, in the source file's integer units.
class Punto3D {
  public:
    Punto3D() = default;
    Punto3D(int32_t x, int32_t y, int32_t z) : m_x(x), m_y(y), m_z(z) {}

    int32_t x() const { return m_x; }
    int32_t y() const { return m_y; }
    int32_t z() const { return m_z; }
    void x(int32_t v) { m_x = v; }
    void y(int32_t v) { m_y = v; }
    void z(int32_t v) { m_z = v; }

  private:
    int32_t m_x = 0, m_y = 0, m_z = 0;
};

}  // namespace lumeral
