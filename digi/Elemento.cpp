#include "digi/Elemento.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "digi/Bytes.h"
#include "digi/DigiError.h"

namespace brisquel {

namespace {

[[noreturn]] void DesbordaArea() {
    throw DigiError(kDesbordamiento, "desbordamiento en el área de una línea cerrada");
}

void PonPunto(unsigned char* p, const Fpunto3d& q) {
    bytes::EscribeEntero32(p, q.x);
    bytes::EscribeEntero32(p + 4, q.y);
    bytes::EscribeEntero32(p + 8, q.z);
}

inline Fpunto3d LeePunto(const unsigned char* p) {
    return {bytes::LeeEntero32(p), bytes::LeeEntero32(p + 4), bytes::LeeEntero32(p + 8)};
}

// Cut to `largo` characters or padded up to it with `relleno`.
std::string Ajusta(const std::string& s, size_t largo, char relleno) {
    std::string r = s.substr(0, largo);
    r.resize(largo, relleno);
    return r;
}

}  // namespace

std::string SinEspacios(const std::string& texto) {
    const size_t a = texto.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    const size_t b = texto.find_last_not_of(' ');
    return texto.substr(a, b - a + 1);
}

std::string TextoLimpio(const std::string& texto) {
    const size_t nul = texto.find('\0');
    return SinEspacios(nul == std::string::npos ? texto : texto.substr(0, nul));
}

// The file's point and range blocks are little-endian 32-bit integers in the order of
// the record's fields, so on a little-endian machine they copy straight in.
constexpr bool kCopiaDirecta = std::endian::native == std::endian::little &&
                               sizeof(Fpunto3d) == 12 && sizeof(tipo_max) == 36 &&
                               std::is_trivially_copyable_v<Fpunto3d> &&
                               std::is_trivially_copyable_v<tipo_max>;

inline void LeePuntos(const unsigned char* q, Fpunto3d* destino, size_t n) {
    if constexpr (kCopiaDirecta) {
        if (n <= 4) {  // most elements: spare the call
            for (size_t i = 0; i < n; ++i) std::memcpy(&destino[i], q + i * kBloque, kBloque);
        } else {
            std::memcpy(destino, q, n * kBloque);
        }
    } else {
        for (size_t i = 0; i < n; ++i, q += kBloque) destino[i] = LeePunto(q);
    }
}

void DecodificaCuerpo(const unsigned char* p, tipo_entidad_mem& e) {
    tipo_max& r = e.rango;
    const unsigned char* q = p + kBloque;
    if constexpr (kCopiaDirecta) {
        std::memcpy(&r, q, 36);
    } else {
        r.xmin = bytes::LeeEntero32(q), r.ymin = bytes::LeeEntero32(q + 4);
        r.zmin = bytes::LeeEntero32(q + 8), r.xmax = bytes::LeeEntero32(q + 12);
        r.ymax = bytes::LeeEntero32(q + 16), r.zmax = bytes::LeeEntero32(q + 20);
        r.xlib = bytes::LeeEntero32(q + 24), r.ylib = bytes::LeeEntero32(q + 28);
        r.zlib = bytes::LeeEntero32(q + 32);
    }
    q = p + kCabecera;
    const tipo_dat& c = e.cabecera;
    if (c.tipo[0] == 'T') {
        e.coordenadas.resize(1);
        LeePuntos(q, e.coordenadas.data(), 1);
        q += kBloque;
        const int n = std::max(c.npuntos - 1, 0);
        e.textos.resize(n);
        for (int i = 0; i < n; ++i, q += kBloque) Copia(e.textos[i].texto12, q, kBloque);
    } else {
        e.textos.clear();
        e.coordenadas.resize(c.npuntos);
        LeePuntos(q, e.coordenadas.data(), size_t(c.npuntos));
        q += size_t(kBloque) * c.npuntos;
    }
    e.atributos.resize(c.natr);
    for (int j = 0; j < c.natr; ++j, q += kBloque) {
        Fatrib& a = e.atributos[j];
        a.idTabla = bytes::LeeEntero16(q);
        a.nregistro = bytes::LeeEntero32(q + 2);
        Copia(a.resto, q + 6, 6);
    }
}

void CodificaElemento(tipo_entidad_mem& e, std::string& salida) {
    tipo_dat& c = e.cabecera;
    const bool texto = EsTipo(c.tipo, 'T');
    std::string codigo = SinEspacios(c.codigo);
    if (codigo.size() > 7) {
        throw DigiError(
            kLlamadaNoValida,
            "el código \"" + codigo + "\" pasa de los 7 caracteres que caben en un elemento BIN");
    }
    codigo.resize(7, '\0');
    if (c.npuntos < 0) {
        throw DigiError(kDesbordamiento, "desbordamiento: npuntos " + std::to_string(c.npuntos) +
                                             " no cabe en un contador de 0 a 32767");
    }
    if (texto && c.npuntos < 1) {
        throw DigiError(kLlamadaNoValida,
                        "elemento de texto con npuntos 0: necesita al menos su punto de inserción");
    }
    const size_t puntos = texto ? 1 : size_t(c.npuntos);
    const size_t textos = texto ? size_t(c.npuntos - 1) : 0;
    if (e.coordenadas.size() < puntos) {
        throw DigiError(kSubindice, "subíndice fuera de rango: " + std::to_string(puntos) +
                                        " puntos que escribir y " +
                                        std::to_string(e.coordenadas.size()) + " dados");
    }
    if (e.textos.size() < textos) {
        throw DigiError(kSubindice, "subíndice fuera de rango: " + std::to_string(textos) +
                                        " bloques de texto que escribir y " +
                                        std::to_string(e.textos.size()) + " dados");
    }
    if (e.atributos.size() < c.natr) {
        throw DigiError(kSubindice, "subíndice fuera de rango: " + std::to_string(c.natr) +
                                        " atributos que escribir y " +
                                        std::to_string(e.atributos.size()) + " dados");
    }

    const size_t antes = salida.size();
    salida.resize(antes + kCabecera + kBloque * (puntos + textos + c.natr));
    unsigned char* p = reinterpret_cast<unsigned char*>(salida.data()) + antes;
    try {
        std::memcpy(p, c.tipo.data(), 2);
        std::memcpy(p + 2, codigo.data(), 7);
        p[9] = c.natr;
        bytes::EscribeEntero16(p + 10, c.npuntos);
        const tipo_max& r = e.rango;
        const int32_t rango[9] = {r.xmin, r.ymin, r.zmin, r.xmax, r.ymax,
                                  r.zmax, r.xlib, r.ylib, r.zlib};
        for (int i = 0; i < 9; ++i) bytes::EscribeEntero32(p + kBloque + 4 * i, rango[i]);
        p += kCabecera;
        for (size_t i = 0; i < puntos; ++i, p += kBloque) PonPunto(p, e.coordenadas[i]);
        for (size_t i = 0; i < textos; ++i, p += kBloque) {
            std::memcpy(p, Ajusta(e.textos[i].texto12, kBloque, ' ').data(), kBloque);
        }
        for (size_t j = 0; j < c.natr; ++j, p += kBloque) {
            const Fatrib& a = e.atributos[j];
            bytes::EscribeEntero16(p, a.idTabla);
            bytes::EscribeEntero32(p + 2, a.nregistro);
            std::memcpy(p + 6, Ajusta(SinEspacios(a.resto), 6, '\0').data(), 6);
        }
    } catch (...) {
        salida.resize(antes);
        throw;
    }
    c.codigo = codigo;
}

double AreaPoligono(const std::vector<Fpunto3d>& p, size_t n) {
    if (n <= 2 || n > p.size() || p[0].x != p[n - 1].x || p[0].y != p[n - 1].y) return 0.0;
    // Halving each term or the sum gives the same double: halving is exact.
    const Fpunto3d* q = p.data();
    double suma = 0.0;
    bool fuera = false;
    for (size_t i = 1; i < n; ++i) {
        int32_t dx, sy;
        fuera |= __builtin_sub_overflow(q[i].x, q[i - 1].x, &dx);
        fuera |= __builtin_add_overflow(q[i].y, q[i - 1].y, &sy);
        suma += double(dx) * double(sy);
    }
    if (fuera) DesbordaArea();
    return std::fabs(suma / 2.0);
}

int32_t Redondea(double valor) {
    const double r = std::nearbyint(valor);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) {
        throw DigiError(kDesbordamiento, "desbordamiento: " + std::to_string(valor) +
                                             " no cabe en un entero de 32 bits");
    }
    return static_cast<int32_t>(r);
}

void CalculaRango(tipo_entidad& e) {
    tipo_entidad_mem& m = e.elemento;
    const std::string& tipo = m.cabecera.tipo;
    size_t n = m.coordenadas.size();
    if (tipo == "T=") {
        n = std::min<size_t>(n, 1);
    } else if (tipo == "C=" && m.cabecera.npuntos >= 0) {
        n = std::min<size_t>(n, size_t(m.cabecera.npuntos));
    }
    if (n == 0) {
        throw DigiError(kSubindice, "subíndice fuera de rango: elemento sin coordenadas");
    }
    tipo_max& r = m.rango;
    Fpunto3d extremos[2];  // of a text's run from its insertion point
    size_t nExtremos = 0;
    if (tipo == "T=" && !e.Propiedad.texto.empty()) {
        const double pi = 3.14159265359, vuelta = 6.28318530718;
        double a = (90.0 - r.zlib / 100.0) * pi / 180.0;
        while (a > vuelta) a -= vuelta;
        while (a < 0) a += vuelta;
        const int64_t largo = int64_t(e.Propiedad.texto.size()) * r.xlib;
        if (largo < std::numeric_limits<int32_t>::min() ||
            largo > std::numeric_limits<int32_t>::max()) {
            throw DigiError(kDesbordamiento,
                            "desbordamiento: longitud del texto " + std::to_string(largo));
        }
        const double L = double(largo);
        double d1 = 0, d2 = 0;
        switch (r.ylib) {
            case 0:
            case 1:
            case 2:
                d2 = L;
                break;
            case 3:
            case 7:
            case 8:
                d1 = -L / 2;
                d2 = L / 2;
                break;
            case 4:
            case 5:
            case 6:
                d1 = -L;
                break;
            default:
                break;
        }
        const Fpunto3d q = m.coordenadas[0];
        extremos[0] = {Redondea(q.x + std::sin(a) * d1), Redondea(q.y + std::cos(a) * d1), 0};
        extremos[1] = {Redondea(q.x + std::sin(a) * d2), Redondea(q.y + std::cos(a) * d2), 0};
        nExtremos = 2;
    }
    // Kept in locals: the points are int32 as the range is, so writing the range in the loop
    // would make the compiler reload it for every point.
    int32_t xmin = 999999999, ymin = 999999999, zmin = 999999999, xmax = 0, ymax = 0, zmax = 0;
    auto abarca = [&](const Fpunto3d& q) {
        xmax = std::max(xmax, q.x);
        ymax = std::max(ymax, q.y);
        zmax = std::max(zmax, q.z);
        xmin = std::min(xmin, q.x);
        ymin = std::min(ymin, q.y);
        zmin = std::min(zmin, q.z);
    };
    const Fpunto3d* puntos = m.coordenadas.data();
    for (size_t i = 0; i < n; ++i) abarca(puntos[i]);
    for (size_t i = 0; i < nExtremos; ++i) abarca(extremos[i]);
    r.xmin = xmin, r.ymin = ymin, r.zmin = zmin;
    r.xmax = xmax, r.ymax = ymax, r.zmax = zmax;
}

}  // namespace brisquel
