// parvenza-cli info FILE.bin: one line per live element and a summary, in metres, read through
// the Digi library the same way the conversions read a BIN file; --json for other programs.

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "converter/cli/Json.h"
#include "converter/cli/Subcomando.h"
#include "digi/Elemento.h"
#include "digi/FicheroDigi.h"
#include "digi/Texto1252.h"

namespace parvenza::cli {

namespace {

using namespace brisquel;

struct Resumen {
    int64_t puntos = 0, abiertas = 0, cerradas = 0, textos = 0, borrados = 0;
    bool hayRango = false;
    tipo_max rango;
};

// Deleted elements between two live ones: the walk passes over them, so count their
// headers in the gap.
int64_t CuentaBorrados(std::ifstream& in, int64_t desde, int64_t hasta) {
    int64_t n = 0;
    unsigned char cab[kBloque];
    while (desde < hasta) {
        in.clear();
        in.seekg(desde - 1);
        if (!in.read(reinterpret_cast<char*>(cab), kBloque)) break;
        tipo_dat c;
        try {
            DecodificaCabecera(cab, c);
        } catch (const DigiError&) {
            break;
        }
        ++n;
        desde += TamanoSegunCabecera(c);
    }
    return n;
}

std::string Clase(const tipo_entidad& e) {
    if (e.Propiedad.EsTexto) return "texto";
    if (e.Propiedad.EsPunto) return "punto";
    return e.Propiedad.EsCerrado ? "línea-cerrada" : "línea-abierta";
}

/// The same kinds for programs: stable words, no accents.
const char* ClaseJson(const tipo_entidad& e) {
    if (e.Propiedad.EsTexto) return "text";
    if (e.Propiedad.EsPunto) return "point";
    return e.Propiedad.EsCerrado ? "closed-line" : "open-line";
}

/// The BIN file's integer units as metres.
struct Metros {
    double divisor;
    std::string operator()(int32_t v) const { return NumeroJson(v / divisor); }
    std::string Punto(int32_t x, int32_t y, int32_t z, const char* sep) const {
        return (*this)(x) + sep + (*this)(y) + sep + (*this)(z);
    }
};

std::string Rango(const tipo_max& r, const Metros& m) {
    return "(" + m.Punto(r.xmin, r.ymin, r.zmin, ",") + ")-(" +
           m.Punto(r.xmax, r.ymax, r.zmax, ",") + ")";
}

void Suma(Resumen& s, const tipo_entidad& e) {
    if (e.Propiedad.EsTexto) {
        ++s.textos;
    } else if (e.Propiedad.EsPunto) {
        ++s.puntos;
    } else if (e.Propiedad.EsCerrado) {
        ++s.cerradas;
    } else {
        ++s.abiertas;
    }
    const tipo_max& r = e.elemento.rango;
    if (!s.hayRango) {
        s.rango = r;
        s.hayRango = true;
        return;
    }
    s.rango.xmin = std::min(s.rango.xmin, r.xmin), s.rango.ymin = std::min(s.rango.ymin, r.ymin);
    s.rango.zmin = std::min(s.rango.zmin, r.zmin), s.rango.xmax = std::max(s.rango.xmax, r.xmax);
    s.rango.ymax = std::max(s.rango.ymax, r.ymax), s.rango.zmax = std::max(s.rango.zmax, r.zmax);
}

void Linea(int64_t ordinal, const tipo_entidad& e, const std::string& codigo,
           const std::vector<std::string>& restos, const Metros& m, std::ostream& out) {
    out << ordinal << " " << Clase(e) << " código=" << Utf8DesdeWindows1252(codigo)
        << " puntos=" << e.elemento.cabecera.npuntos << " atributos=[";
    for (size_t j = 0; j < e.elemento.atributos.size(); ++j) {
        const Fatrib& a = e.elemento.atributos[j];
        out << (j ? " " : "") << a.idTabla << ":" << a.nregistro << ":"
            << Utf8DesdeWindows1252(restos[j]);
    }
    out << "]";
    if (e.Propiedad.EsTexto) out << " texto=\"" << Utf8DesdeWindows1252(e.Propiedad.texto) << "\"";
    out << " extensión=" << Rango(e.elemento.rango, m) << "\n";
}

void ElementoJson(int64_t ordinal, const tipo_entidad& e, const std::string& codigo,
                  const std::vector<std::string>& restos, const Metros& m, std::ostream& out) {
    out << (ordinal > 1 ? ",\n  " : "\n  ") << "{\"ordinal\": " << ordinal << ", \"kind\": \""
        << ClaseJson(e) << "\", \"code\": " << CadenaJson(codigo) << ", \"points\": [";
    const auto& c = e.elemento.coordenadas;
    for (size_t k = 0; k < c.size(); ++k)
        out << (k ? ", " : "") << "[" << m.Punto(c[k].x, c[k].y, c[k].z, ", ") << "]";
    out << "], \"attributes\": [";
    for (size_t j = 0; j < e.elemento.atributos.size(); ++j) {
        const Fatrib& a = e.elemento.atributos[j];
        out << (j ? ", " : "") << "{\"table\": " << a.idTabla << ", \"record\": " << a.nregistro
            << ", \"rest\": " << CadenaJson(restos[j]) << "}";
    }
    out << "]";
    if (e.Propiedad.EsTexto) out << ", \"text\": " << CadenaJson(e.Propiedad.texto);
    out << "}";
}

int Info(const std::string& fichero, bool mm, bool json, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fichero, ec)) {
        err << "parvenza-cli: " << fichero << ": no existe el fichero BIN\n";
        return 1;
    }
    const Metros m{mm ? 1000.0 : 100.0};
    const int64_t longitud = int64_t(std::filesystem::file_size(fichero, ec));
    std::ifstream huecos(fichero, std::ios::binary);
    FicheroDigi digi;
    int32_t n = 0;
    Resumen s;
    if (json) out << "{\"units\": \"m\", \"elements\": [";
    try {
        digi.AbreFicheroLectura(fichero, n);
        tipo_entidad e;
        int64_t ordinal = 0, esperado = 1;
        do {
            digi.DameEntidad(n, e);
            if (e.puntero > esperado) s.borrados += CuentaBorrados(huecos, esperado, e.puntero);
            esperado = int64_t(e.puntero) + e.tamano;
            const bool vivo = e.nfich != 0 || e.elemento.cabecera.tipo == "C=" ||
                              e.elemento.cabecera.tipo == "T=";
            if (!vivo) {
                if (longitud > 0) ++s.borrados;
                continue;
            }
            ++ordinal;
            std::string codigo = e.elemento.cabecera.codigo;
            digi.limpia_texto(codigo);
            std::vector<std::string> restos;
            for (const Fatrib& a : e.elemento.atributos) {
                restos.push_back(a.resto);
                digi.limpia_texto(restos.back());
            }
            if (json)
                ElementoJson(ordinal, e, codigo, restos, m, out);
            else
                Linea(ordinal, e, codigo, restos, m, out);
            Suma(s, e);
        } while (e.nfich != 0);
        digi.CierraFichero(fichero, n);
    } catch (const DigiError& e) {
        if (n != 0) digi.CierraFichero(fichero, n);
        // A reader of the JSON must not take the part before the failure for the whole file.
        if (json) out << "\n";
        out.flush();
        err << "parvenza-cli: " << e.what() << "\n";
        return 1;
    }
    const int64_t total = s.puntos + s.abiertas + s.cerradas + s.textos;
    if (json) {
        out << (total ? "\n" : "") << "],\n \"counts\": {\"elements\": " << total
            << ", \"points\": " << s.puntos << ", \"open_lines\": " << s.abiertas
            << ", \"closed_lines\": " << s.cerradas << ", \"texts\": " << s.textos
            << ", \"deleted\": " << s.borrados << "},\n \"extent\": ";
        if (s.hayRango)
            out << "[[" << m.Punto(s.rango.xmin, s.rango.ymin, s.rango.zmin, ", ") << "], ["
                << m.Punto(s.rango.xmax, s.rango.ymax, s.rango.zmax, ", ") << "]]";
        else
            out << "null";
        out << "}\n";
        return 0;
    }
    out << "elementos: " << total << " (puntos " << s.puntos << ", líneas abiertas " << s.abiertas
        << ", líneas cerradas " << s.cerradas << ", textos " << s.textos << "), borrados "
        << s.borrados << "\n";
    out << "extensión: " << (s.hayRango ? Rango(s.rango, m) : std::string("ninguna")) << "\n";
    out << "coordenadas en metros (el BIN en " << (mm ? "milímetros" : "centímetros")
        << (mm ? "" : "; --mm si está en milímetros") << ")\n";
    return 0;
}

const bool registrado = RegistraSubcomando(10, [](CLI::App& app, int& estado) {
    CLI::App* sub = app.add_subcommand(
        "info", "Lista los elementos de un fichero BIN de Digi y los resume (en metros)");
    auto fichero = std::make_shared<std::string>();
    auto mm = std::make_shared<bool>(false);
    auto json = std::make_shared<bool>(false);
    sub->add_flag("--mm", *mm, "Coordenadas del BIN en milímetros (por omisión, centímetros)");
    sub->add_flag("--json", *json,
                  "Un objeto JSON: elementos con código, clase, puntos en metros, texto y "
                  "atributos; cuentas; extensión");
    sub->add_option("FICHERO", *fichero, "Fichero BIN")->required();
    sub->callback([fichero, mm, json, &estado] {
        estado = Info(*fichero, *mm, *json, std::cout, std::cerr);
    });
});

}  // namespace

}  // namespace parvenza::cli
