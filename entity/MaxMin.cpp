#include "entity/MaxMin.h"

#include "entity/Redondeo.h"

namespace lumeral {

using detalle::A32;
using detalle::Redondea;

int32_t MaxMin::Ancho() const { return A32(int64_t{m_xmax} - m_xmin, "MaxMin.Ancho"); }

int32_t MaxMin::Alto() const { return A32(int64_t{m_ymax} - m_ymin, "MaxMin.Alto"); }

void MaxMin::Ajusta(double mx, double my, double mz) {
    // Compute every bound first, so that an overflow leaves the box as it was.
    const int32_t xmax = Redondea(m_xmax + mx, "MaxMin.xmax");
    const int32_t xmin = Redondea(m_xmin - mx, "MaxMin.xmin");
    const int32_t ymax = Redondea(m_ymax + my, "MaxMin.ymax");
    const int32_t ymin = Redondea(m_ymin - my, "MaxMin.ymin");
    const int32_t zmax = Redondea(m_zmax + mz, "MaxMin.zmax");
    const int32_t zmin = Redondea(m_zmin - mz, "MaxMin.zmin");
    m_xmax = xmax;
    m_xmin = xmin;
    m_ymax = ymax;
    m_ymin = ymin;
    m_zmax = zmax;
    m_zmin = zmin;
}

void MaxMin::Inflar(int32_t dx, int32_t dy, int32_t dz) { Ajusta(dx / 2.0, dy / 2.0, dz / 2.0); }

void MaxMin::DesInflar(int32_t dx, int32_t dy, int32_t dz) {
    Ajusta(-(dx / 2.0), -(dy / 2.0), -(dz / 2.0));
}

}  // namespace lumeral
