#pragma once
// Geometry that DXF files leave to the reader: object coordinates (the arbitrary-axis rule)
// and arcs, given by bulges, by ARC or by CIRCLE, approximated by vertices.

#include <vector>

#include "dxf/RegistrosDxf.h"

namespace dornavel {

/// Largest arc, in degrees, between two vertices of an approximated arc.
inline constexpr double kPasoArcoGrados = 4.0;

/// The axes of an object coordinate system given by its extrusion direction (groups 210, 220,
/// 230), by the arbitrary-axis rule.
class EjesOcs {
  public:
    explicit EjesOcs(const GCoord& extrusion);
    /// Whether the system is the world's (extrusion (0, 0, 1)): nothing to turn.
    bool Mundo() const { return m_mundo; }
    /// A point in object coordinates, in world coordinates.
    GCoord AMundo(const GCoord& p) const;
    /// An angle (degrees) measured in the object's plane, measured in the world's XY plane.
    double AnguloMundo(double grados) const;

  private:
    GCoord m_x, m_y, m_z;
    bool m_mundo = true;
};

/// The points strictly between `a` and `b` of the arc of bulge `bulge` (tan of a quarter of
/// the included angle, positive counter-clockwise), at most kPasoArcoGrados apart; Z is
/// interpolated. Nothing for a zero bulge or coincident points.
void PuntosBulge(const GCoord& a, const GCoord& b, double bulge, std::vector<GCoord>& puntos);

/// The arc of centre `c` and radius `r` from `inicio` to `fin` degrees, counter-clockwise
/// (`fin` below `inicio` goes past 360), at most kPasoArcoGrados apart, both ends included.
/// A whole circle (`fin` - `inicio` of 360) gives its points clockwise, without repeating the
/// first.
void PuntosArco(const GCoord& c, double r, double inicio, double fin, std::vector<GCoord>& puntos);

}  // namespace dornavel
