// parvenza-cli dxfinfo FILE.dxf [--layers bindxf.tab] [--json]: what the DXF reader loads from
// a CAD file, entity by entity, and what it leaves out, so a user can see how the file will be
// read. With --json, one object other programs' readings can be compared with.

#include <CLI/CLI.hpp>
#include <charconv>
#include <iostream>
#include <memory>
#include <sstream>

#include "converter/cli/Json.h"
#include "converter/cli/Subcomando.h"
#include "digi/Texto1252.h"
#include "dxf/Mensajes.h"
#include "dxf/clsFicheroDxf.h"
#include "utilities/Utilidades.h"

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
    int64_t lineas = 0, polilineas = 0, textos = 0, puntos1 = 0;
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
        } else if (e.Tipo == "POINT") {
            ++puntos1;
            capa = e.Point.G8_capa;
            puntos = 1;
            primero = e.Point.G10_Coord;
        } else {
            ++textos;
            capa = e.Text.G8_capa;
            puntos = 1;
            primero = e.Text.G11_Coord;
        }
        out << " capa=" << U(capa);
        if (tabla) {
            BinDxfTab info;
            out << " código="
                << (buscador.BuscaEnBinDxfTab("", capa, *tabla, info) ? U(info.codigobin) : "-");
        }
        out << " puntos=" << puntos << " primero=" << Punto(primero);
        if (e.Tipo == "POLYLINE")
            out << " cerrada=" << (e.Polyline.G70_Cerrada == "1" ? "sí" : "no");
        if (e.Tipo == "TEXT")
            out << " texto=\"" << U(e.Text.G1_texto) << "\" altura=" << e.Text.G40_caract.G40_ancho
                << " anchura=" << e.Text.G40_caract.G41_alto;
        out << "\n";
    }
    out << "entidades: " << elementos.size() << " (líneas " << lineas << ", polilíneas "
        << polilineas << ", puntos " << puntos1 << ", textos " << textos << ")\n";
}

void Omitidos(const ResumenCargaDxf& r, std::ostream& out) {
    out << "tipos de entidad omitidos:";
    if (r.TiposOmitidos.empty()) out << " ninguno";
    for (const auto& [tipo, n] : r.TiposOmitidos) out << " " << U(tipo) << "=" << n;
    out << "\ncódigos de grupo omitidos:";
    if (r.GruposOmitidos.empty()) out << " ninguno";
    for (const auto& [grupo, n] : r.GruposOmitidos) out << " " << grupo << "=" << n;
    out << "\ncaracteres sustituidos por \"?\": " << r.CaracteresSustituidos << "\n";
}

void Json(const std::vector<tipo_ElementoDxf>& elementos, const ResumenCargaDxf& r,
          std::ostream& out) {
    auto punto = [&](const GCoord& c) {
        out << "[" << NumeroJson(c.X) << ", " << NumeroJson(c.Y) << ", " << NumeroJson(c.Z) << "]";
    };
    out << "{\"entities\": [";
    for (std::size_t i = 0; i < elementos.size(); ++i) {
        const auto& e = elementos[i];
        out << (i ? ",\n  " : "\n  ") << "{\"type\": \"" << e.Tipo << "\", \"layer\": ";
        std::vector<const GCoord*> puntos;
        bool cerrado = false;
        if (e.Tipo == "LINE") {
            out << CadenaJson(e.Line.G8_capa);
            puntos = {&e.Line.G10_Coord, &e.Line.G11_Coord};
        } else if (e.Tipo == "POLYLINE") {
            out << CadenaJson(e.Polyline.G8_capa);
            for (const auto& v : e.Polyline.Gvertices) puntos.push_back(&v.G10_Coord);
            cerrado = e.Polyline.G70_Cerrada == "1";
        } else if (e.Tipo == "POINT") {
            out << CadenaJson(e.Point.G8_capa);
            puntos = {&e.Point.G10_Coord};
        } else {
            out << CadenaJson(e.Text.G8_capa);
            puntos = {&e.Text.G11_Coord};
        }
        out << ", \"closed\": " << (cerrado ? "true" : "false") << ", \"points\": [";
        for (std::size_t k = 0; k < puntos.size(); ++k) {
            if (k) out << ", ";
            punto(*puntos[k]);
        }
        out << "]";
        if (e.Tipo == "TEXT") {
            const auto& c = e.Text.G40_caract;
            out << ", \"text\": " << CadenaJson(e.Text.G1_texto)
                << ", \"height\": " << NumeroJson(c.G40_ancho)
                << ", \"rotation\": " << NumeroJson(c.G50_rotac)
                << ", \"justification\": " << fenoquia::JustificacionDxf(c.G72_justH, c.G73_justV);
        }
        out << "}";
    }
    out << (elementos.empty() ? "" : "\n") << "],\n \"skipped\": {\"entities\": {";
    const char* coma = "";
    for (const auto& [tipo, n] : r.TiposOmitidos) {
        out << coma << CadenaJson(tipo) << ": " << n;
        coma = ", ";
    }
    out << "}, \"groups\": {";
    coma = "";
    for (const auto& [grupo, n] : r.GruposOmitidos) {
        out << coma << "\"" << grupo << "\": " << n;
        coma = ", ";
    }
    out << "}},\n \"replaced_characters\": " << r.CaracteresSustituidos << "}\n";
}

int DxfInfo(const std::string& fichero, const std::string& capas, bool json, std::ostream& out,
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
    if (json && estado == 0) {
        Json(elementos, dxf.Resumen(), out);
    } else if (!json && (n != 0 || !elementos.empty())) {
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
        "dxfinfo", "Lista lo que el lector DXF carga de un fichero DXF y lo que omite");
    auto fichero = std::make_shared<std::string>();
    auto capas = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    sub->add_option("FICHERO", *fichero, "Fichero DXF")->required();
    auto* tabla = sub->add_option("--layers", *capas,
                                  "Tabla de capas (bindxf.tab) que da el código Digi de cada capa");
    sub->add_flag("--json", *json,
                  "Un objeto JSON: entidades con cada vértice, lo omitido, caracteres "
                  "sustituidos")
        ->excludes(tabla);
    sub->callback([fichero, capas, json, &estado] {
        estado = DxfInfo(*fichero, *capas, *json, std::cout, std::cerr);
    });
});

}  // namespace

}  // namespace parvenza::cli
