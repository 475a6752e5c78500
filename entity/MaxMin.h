#pragma once

#include <cstdint>

namespace lumeral {

/// Rango de un elemento gráfico: the box that holds the element, all bounds 0 at first.
class MaxMin {
  public:
    int32_t xmax() const { return m_xmax; }
    int32_t ymax() const { return m_ymax; }
    int32_t zmax() const { return m_zmax; }
    int32_t xmin() const { return m_xmin; }
    int32_t ymin() const { return m_ymin; }
    int32_t zmin() const { return m_zmin; }
    void xmax(int32_t v) { m_xmax = v; }
    void ymax(int32_t v) { m_ymax = v; }
    void zmax(int32_t v) { m_zmax = v; }
    void xmin(int32_t v) { m_xmin = v; }
    void ymin(int32_t v) { m_ymin = v; }
    void zmin(int32_t v) { m_zmin = v; }

    /// xmax - xmin. Throws EntidadError 6 when the difference does not fit in 32 bits.
    int32_t Ancho() const;
    /// ymax - ymin. Throws EntidadError 6 likewise.
    int32_t Alto() const;
    /// Enlarges the box by half of each argument on each side; every new bound is rounded to
    /// the nearest integer, halves to even. Throws EntidadError 6 (box unchanged) on overflow.
    void Inflar(int32_t dx, int32_t dy, int32_t dz);
    /// Shrinks the box likewise.
    void DesInflar(int32_t dx, int32_t dy, int32_t dz);

  private:
    void Ajusta(double dx, double dy, double dz);
    int32_t m_xmax = 0, m_ymax = 0, m_zmax = 0;
    int32_t m_xmin = 0, m_ymin = 0, m_zmin = 0;
};

}  // namespace lumeral
