#include "converter/formas/Formas.h"

#include <algorithm>
#include <cmath>

namespace parvenza::formas {

namespace {
constexpr double kPi = 3.14159265358979;
}

Capa CapaDe(const brisquel::tipo_propiedad& p, const Reglas& r) {
    if (p.EsTexto) return r.textosComoLineas ? kTextosLinea : kTextosPunto;
    if (p.EsPunto) return r.sinPuntos ? kNingunaCapa : kPuntos;
    return p.EsCerrado && !r.cerradasComoLineas ? kPoligonos : kLineas;
}

void Geometria(const brisquel::tipo_entidad& e, Capa capa, double divisor, Forma& f, bool conZ) {
    // Sized, then filled: kept between elements, the vectors rarely grow and are never
    // cleared and zeroed first.
    const auto& puntos = e.elemento.coordenadas;
    if (!e.Propiedad.EsTexto) {
        // npuntos is what the file says; the array holds what could be read.
        const size_t n = std::min(
            puntos.size(), static_cast<size_t>(std::max<int16_t>(e.elemento.cabecera.npuntos, 0)));
        f.x.resize(n);
        f.y.resize(n);
        f.z.resize(conZ ? n : 0);
        double* x = f.x.data();
        double* y = f.y.data();
        for (size_t i = 0; i < n; ++i) {
            x[i] = puntos[i].x / divisor;
            y[i] = puntos[i].y / divisor;
        }
        double* z = f.z.data();
        if (conZ)
            for (size_t i = 0; i < n; ++i) z[i] = puntos[i].z / divisor;
        return;
    }
    const brisquel::Fpunto3d p1 = puntos.empty() ? brisquel::Fpunto3d{} : puntos[0];
    const double x1 = p1.x / divisor, y1 = p1.y / divisor, z1 = p1.z / divisor;
    const size_t n = capa == kTextosLinea ? 2 : 1;
    f.x.resize(n);
    f.y.resize(n);
    f.z.assign(conZ ? n : 0, z1);
    f.x[0] = x1;
    f.y[0] = y1;
    if (n == 2) {
        const auto& r = e.elemento.rango;
        const double largo =
            (r.xlib / divisor) * static_cast<double>(e.Propiedad.texto.size()) * 0.8;
        const double a = (90 - r.zlib / 100.0) * kPi / 180;
        f.x[1] = x1 + std::sin(a) * largo;
        f.y[1] = y1 + std::cos(a) * largo;
    }
}

double Rotacion(const brisquel::tipo_entidad& e) {
    double rotacion = e.elemento.rango.zlib / 100.0;
    if (rotacion < -99.995 || rotacion >= 999.995) {
        rotacion = std::fmod(rotacion, 360.0);
        if (rotacion < 0) rotacion += 360.0;
    }
    return rotacion;
}

void OrientaAnilloExterior(Forma& f) {
    const size_t n = f.x.size();
    if (n < 3) return;
    double suma = f.x[0] * (f.y[1] - f.y[n - 1]);
    for (size_t i = 1; i + 1 < n; ++i) suma += f.x[i] * (f.y[i + 1] - f.y[i - 1]);
    suma += f.x[n - 1] * (f.y[0] - f.y[n - 2]);
    if (suma > 0) {
        std::reverse(f.x.begin(), f.x.end());
        std::reverse(f.y.begin(), f.y.end());
        std::reverse(f.z.begin(), f.z.end());
    }
}

double SinFalsoNorte(double y, double factor) {
    // Coordinates with the 4,000,000 m false northing still in do not fit: drop it.
    return y * factor > 2147483647.0 ? y - 4000000 : y;
}

const char* NombreTipo(int tipo) {
    switch (tipo) {
        case 1:
            return "puntos";
        case 3:
            return "líneas";
        case 5:
            return "polígonos";
        case 11:
            return "puntos Z";
        case 13:
            return "líneas Z";
        case 15:
            return "polígonos Z";
        default:
            return "shape";
    }
}

}  // namespace parvenza::formas
