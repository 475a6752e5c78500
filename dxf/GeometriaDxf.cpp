#include "dxf/GeometriaDxf.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dornavel {

namespace {

GCoord Cruz(const GCoord& a, const GCoord& b) {
    return {a.Y * b.Z - a.Z * b.Y, a.Z * b.X - a.X * b.Z, a.X * b.Y - a.Y * b.X};
}

GCoord Unitario(const GCoord& a) {
    const double n = std::sqrt(a.X * a.X + a.Y * a.Y + a.Z * a.Z);
    return n > 0 ? GCoord{a.X / n, a.Y / n, a.Z / n} : a;
}

constexpr double kRadian = std::numbers::pi / 180.0;

}  // namespace

EjesOcs::EjesOcs(const GCoord& extrusion) {
    m_mundo = extrusion.X == 0 && extrusion.Y == 0 && extrusion.Z > 0;
    if (m_mundo || (extrusion.X == 0 && extrusion.Y == 0 && extrusion.Z == 0)) {
        m_mundo = true;  // no direction at all: taken as the world's
        return;
    }
    m_z = Unitario(extrusion);
    // The arbitrary-axis rule: near the world's Z axis the object X comes from the world's Y.
    const double limite = 1.0 / 64.0;
    m_x = Unitario(std::fabs(m_z.X) < limite && std::fabs(m_z.Y) < limite ? Cruz({0, 1, 0}, m_z)
                                                                          : Cruz({0, 0, 1}, m_z));
    m_y = Unitario(Cruz(m_z, m_x));
}

GCoord EjesOcs::AMundo(const GCoord& p) const {
    if (m_mundo) return p;
    return {p.X * m_x.X + p.Y * m_y.X + p.Z * m_z.X, p.X * m_x.Y + p.Y * m_y.Y + p.Z * m_z.Y,
            p.X * m_x.Z + p.Y * m_y.Z + p.Z * m_z.Z};
}

double EjesOcs::AnguloMundo(double grados) const {
    if (m_mundo) return grados;
    const double a = grados * kRadian;
    const GCoord d = AMundo({std::cos(a), std::sin(a), 0});
    if (std::fabs(d.X) < 1e-12 && std::fabs(d.Y) < 1e-12) return grados;  // seen edge-on
    double r = std::atan2(d.Y, d.X) / kRadian;
    if (r < 0) r += 360;
    return r;
}

void PuntosBulge(const GCoord& a, const GCoord& b, double bulge, std::vector<GCoord>& puntos) {
    const double dx = b.X - a.X, dy = b.Y - a.Y;
    const double cuerda = std::hypot(dx, dy);
    if (bulge == 0 || !std::isfinite(bulge) || cuerda == 0) return;
    const double incluido = 4 * std::atan(bulge);  // signed, counter-clockwise positive
    const double radio = cuerda / (2 * std::sin(std::fabs(incluido) / 2));
    // The centre lies off the chord's midpoint, to the left for a counter-clockwise arc.
    const double h = radio * std::cos(incluido / 2) * (bulge > 0 ? 1 : -1);
    const double mx = (a.X + b.X) / 2, my = (a.Y + b.Y) / 2;
    const double cx = mx - h * dy / cuerda;
    const double cy = my + h * dx / cuerda;
    const double inicio = std::atan2(a.Y - cy, a.X - cx);
    const int tramos = static_cast<int>(std::ceil(std::fabs(incluido) / kRadian / kPasoArcoGrados));
    for (int i = 1; i < tramos; ++i) {
        const double f = static_cast<double>(i) / tramos;
        const double ang = inicio + incluido * f;
        puntos.push_back(
            {cx + radio * std::cos(ang), cy + radio * std::sin(ang), a.Z + (b.Z - a.Z) * f});
    }
}

void PuntosArco(const GCoord& c, double r, double inicio, double fin, std::vector<GCoord>& puntos) {
    // Counter-clockwise from the start: angles far beyond 360 from a damaged file included.
    double barrido = std::fmod(fin - inicio, 360.0);
    if (!std::isfinite(barrido)) barrido = 360;
    if (barrido <= 0) barrido += 360;
    const bool circulo = barrido == 360;
    const int tramos = std::max(1, static_cast<int>(std::ceil(barrido / kPasoArcoGrados)));
    // A circle has no direction of its own: clockwise, as GDAL lists it.
    const double sentido = circulo ? -1 : 1;
    for (int i = 0; i <= tramos - (circulo ? 1 : 0); ++i) {
        const double ang = (inicio + sentido * barrido * i / tramos) * kRadian;
        puntos.push_back({c.X + r * std::cos(ang), c.Y + r * std::sin(ang), c.Z});
    }
}

}  // namespace dornavel
