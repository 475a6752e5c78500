// parvenza-cli dxfinfo FILE.dxf [--layers bindxf.tab]: what the DXF reader loads from a CAD
// file, entity by entity, and what it leaves out, so a user can see how the file will be read.

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <sstream>

#include "converter/cli/Subcomando.h"
#include "digi/Texto1252.h"
#include "dxf/Mensajes.h"
#include "dxf/clsFicheroDxf.h"

namespace parvenza::cli {

namespace {

using namespace dornavel;

std::string Punto(const GCoord& c) {
    std::ostringstream s;
    s.precision(15);
    s << "(" << c.X << "," << c.Y << "," << c.Z << ")";
    return s.str();
}

std::string U(const std::string& s) { return brisquel::Utf8DesdeWindows1252(s); }

void Lista(const std::vector<tipo_ElementoDxf>& elementos, const std::vector<BinDxfTab>* tabla,
           std::ostream& out) {
    clsFicheroDxf buscador;
    int64_t lineas = 0, polilineas = 0, textos = 0;
    for (std::size_t i = 0; i < elementos.size(); ++i) {
        const auto& e = elementos[i];
        std::string capa;
        std::size_t puntos = 0;
        GCoord primero;
        out << i + 1 << " " << e.Tipo;
        if (e.Tipo == "LINE") {
            ++lineas;
            capa = e.Line.G8_capa;
            puntos = 2;
            primero = e.Line.G10_Coord;
        } else if (e.Tipo == "POLYLINE") {
            ++polilineas;
            capa = e.Polyline.G8_capa;
            puntos = e.Polyline.Gvertices.size();
            primero = e.Polyline.Gvertices.front().G10_Coord;
        } else {
            ++textos;
            capa = e.Text.G8_capa;
            puntos = 1;
            primero = e.Text.G11_Coord;
        }
        out << " layer=" << U(capa);
        if (tabla) {
            BinDxfTab info;
            out << " code="
                << (buscador.BuscaEnBinDxfTab("", capa, *tabla, info) ? U(info.codigobin) : "-");
        }
        out << " points=" << puntos << " first=" << Punto(primero);
        if (e.Tipo == "POLYLINE")
            out << " closed=" << (e.Polyline.G70_Cerrada == "1" ? "yes" : "no");
        if (e.Tipo == "TEXT")
            // The conversion takes the height from group 41; show 40 beside it, since CAD
            // programs write the height there.
            out << " text=\"" << U(e.Text.G1_texto) << "\" height41=" << e.Text.G40_caract.G41_alto
                << " size40=" << e.Text.G40_caract.G40_ancho;
        out << "\n";
    }
    out << "entities: " << elementos.size() << " (lines " << lineas << ", polylines " << polilineas
        << ", texts " << textos << ")\n";
}

void Omitidos(const ResumenCargaDxf& r, std::ostream& out) {
    out << "skipped entity types:";
    if (r.TiposOmitidos.empty()) out << " none";
    for (const auto& [tipo, n] : r.TiposOmitidos) out << " " << U(tipo) << "=" << n;
    out << "\nskipped group codes:";
    if (r.GruposOmitidos.empty()) out << " none";
    for (const auto& [grupo, n] : r.GruposOmitidos) out << " " << grupo << "=" << n;
    out << "\n";
}

int DxfInfo(const std::string& fichero, const std::string& capas, std::ostream& out,
            std::ostream& err) {
    EstableceMensajero([&err](const std::string& t) { err << "parvenza-cli: " << t << "\n"; });
    clsFicheroDxf dxf;
    std::vector<BinDxfTab> tabla;
    if (!capas.empty()) {
        try {
            bool errorFormato = false;
            dxf.CargoFicheroBinDxfTab(capas, tabla, errorFormato);
            if (errorFormato) return 1;
        } catch (const DxfError& e) {
            err << "parvenza-cli: " << e.what() << "\n";
            return 1;
        }
    }
    std::vector<tipo_ElementoDxf> elementos;
    int32_t n = 0;
    int estado = 0;
    std::string error;
    try {
        dxf.AbreFicheroDxf(fichero, n);
        dxf.CargaFicheroDxf(fichero, elementos, n);
    } catch (const DxfError& e) {
        error = e.what();
        estado = 1;
    }
    if (n != 0) dxf.CierraFicheroDxf(fichero, n);
    if (n != 0 || !elementos.empty()) {
        // Also after a failure: what was read before it is what a caller would get.
        Lista(elementos, capas.empty() ? nullptr : &tabla, out);
        Omitidos(dxf.Resumen(), out);
    }
    out.flush();
    if (estado != 0) err << "parvenza-cli: " << error << "\n";
    return estado;
}

const bool registrado = RegistraSubcomando(40, [](CLI::App& app, int& estado) {
    CLI::App* sub = app.add_subcommand(
        "dxfinfo", "List what the DXF reader loads from a DXF file and what it skips");
    auto fichero = std::make_shared<std::string>();
    auto capas = std::make_shared<std::string>();
    sub->add_option("FILE", *fichero, "DXF file")->required();
    sub->add_option("--layers", *capas, "layer table (bindxf.tab) giving each layer's Digi code");
    sub->callback(
        [fichero, capas, &estado] { estado = DxfInfo(*fichero, *capas, std::cout, std::cerr); });
});

}  // namespace

}  // namespace parvenza::cli
