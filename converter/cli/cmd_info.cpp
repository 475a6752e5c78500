// parvenza-cli info FILE.bin: one line per live element and a summary, read through the
// Digi library the same way the conversions read a BIN file.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

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
    if (e.Propiedad.EsTexto) return "text";
    if (e.Propiedad.EsPunto) return "point";
    return e.Propiedad.EsCerrado ? "closed-line" : "open-line";
}

std::string Rango(const tipo_max& r) {
    std::ostringstream s;
    s << "(" << r.xmin << "," << r.ymin << "," << r.zmin << ")-(" << r.xmax << "," << r.ymax << ","
      << r.zmax << ")";
    return s.str();
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

int Info(const std::string& fichero, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(fichero, ec)) {
        err << "parvenza-cli: " << fichero << ": no such BIN file\n";
        return 1;
    }
    const int64_t longitud = int64_t(std::filesystem::file_size(fichero, ec));
    std::ifstream huecos(fichero, std::ios::binary);
    FicheroDigi digi;
    int32_t n = 0;
    Resumen s;
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
            out << ordinal << " " << Clase(e) << " code=" << Utf8DesdeWindows1252(codigo)
                << " points=" << e.elemento.cabecera.npuntos << " attributes=[";
            for (size_t j = 0; j < e.elemento.atributos.size(); ++j) {
                const Fatrib& a = e.elemento.atributos[j];
                std::string resto = a.resto;
                digi.limpia_texto(resto);
                out << (j ? " " : "") << a.idTabla << ":" << a.nregistro << ":"
                    << Utf8DesdeWindows1252(resto);
            }
            out << "]";
            if (e.Propiedad.EsTexto)
                out << " text=\"" << Utf8DesdeWindows1252(e.Propiedad.texto) << "\"";
            out << " extent=" << Rango(e.elemento.rango) << "\n";
            Suma(s, e);
        } while (e.nfich != 0);
        digi.CierraFichero(fichero, n);
    } catch (const DigiError& e) {
        if (n != 0) digi.CierraFichero(fichero, n);
        out.flush();
        err << "parvenza-cli: " << e.what() << "\n";
        return 1;
    }
    const int64_t total = s.puntos + s.abiertas + s.cerradas + s.textos;
    out << "elements: " << total << " (points " << s.puntos << ", open lines " << s.abiertas
        << ", closed lines " << s.cerradas << ", texts " << s.textos << "), deleted " << s.borrados
        << "\n";
    out << "extent: " << (s.hayRango ? Rango(s.rango) : std::string("none")) << "\n";
    return 0;
}

const bool registrado = RegistraSubcomando(10, [](CLI::App& app, int& estado) {
    CLI::App* sub =
        app.add_subcommand("info", "List the elements of a Digi BIN file and sum them up");
    auto fichero = std::make_shared<std::string>();
    sub->add_option("FILE", *fichero, "BIN file")->required();
    sub->callback([fichero, &estado] { estado = Info(*fichero, std::cout, std::cerr); });
});

}  // namespace

}  // namespace parvenza::cli
