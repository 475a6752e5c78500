// parvenza-cli dxf2bin --layers bindxf.tab [--mm] [--code CODE] --output OUT.bin FILE.dxf...:
// the entities of CAD drawings appended to a Digi BIN file, with their Digi codes from the
// layer table.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>

#include "converter/cli/PuertoConsola.h"
#include "converter/cli/Subcomando.h"
#include "converter/core/DxfBin.h"
#include "digi/Texto1252.h"
#include "dxf/Mensajes.h"

namespace parvenza::cli {

namespace {

struct ArgumentosDxfBin {
    std::vector<std::string> ficheros;
    std::string capas, salida, codigo = "9995";
    bool mm = false;
    bool silencio = false;  ///< --quiet
};

std::string U(const std::string& s) { return brisquel::Utf8DesdeWindows1252(s); }

// The summary: what was written, and the layers that took the default code.
void Resumen(const OpcionesDxfBin& o, const ResultadoDxfBin& r, std::ostream& out) {
    out << o.ficheroBin << ": " << r.elementos << " elementos de " << r.entidades
        << " entidades DXF\n";
    if (!r.capasSinCodigo.empty()) {
        out << "capas que no estan en la tabla (codigo " << U(o.codigo) << "):";
        for (const auto& [capa, n] : r.capasSinCodigo) out << " " << U(capa) << "=" << n;
        out << "\n";
    }
}

int Dxf2Bin(const ArgumentosDxfBin& a, std::ostream& out, std::ostream& err, bool terminal) {
    OpcionesDxfBin o;
    o.ficherosDxf = a.ficheros;
    o.ficheroCapas = a.capas;
    o.ficheroBin = a.salida;
    o.factorUnidades = a.mm ? 1000 : 100;
    // The command line speaks UTF-8, the BIN file Windows-1252.
    o.codigo = brisquel::Windows1252DesdeUtf8(a.codigo);
    if (o.codigo.empty() || o.codigo.size() > 7) {
        err << "parvenza-cli: --code " << a.codigo << ": de 1 a 7 caracteres\n";
        return 2;
    }
    PuertoConsola puerto(err, terminal);
    dornavel::EstableceMensajero([&puerto](const std::string& t) { puerto.Mensaje(t); });
    const ResultadoDxfBin r = DxfABin(o, puerto);
    dornavel::EstableceMensajero({});
    puerto.Termina();
    if (!r.escrito) return 1;  // the port has said why
    Resumen(o, r, out);
    return EstadoFinal(r.omisiones, err);
}

const bool registrado = RegistraSubcomando(35, [](CLI::App& app, int& estado) {
    CLI::App* sub = app.add_subcommand(
        "dxf2bin", "Añade a un fichero BIN de Digi las entidades de dibujos DXF");
    auto a = std::make_shared<ArgumentosDxfBin>();
    sub->add_option("--layers", a->capas,
                    "Tabla de capas (bindxf.tab) que da el código de cada capa")
        ->required();
    sub->add_option("--output", a->salida, "Fichero BIN al que se añaden (creado si no existe)")
        ->required();
    sub->add_flag("--mm", a->mm, "Coordenadas del BIN en milímetros (por omisión, centímetros)");
    sub->add_option("--code", a->codigo,
                    "Código de las entidades cuya capa no está en la tabla (por omisión, 9995)");
    sub->add_flag("--quiet,-q", a->silencio, "Sin progreso en el terminal");
    sub->add_option("FICHERO", a->ficheros, "Ficheros DXF")->required();
    sub->callback([a, &estado] {
        estado = Dxf2Bin(*a, std::cout, std::cerr, !a->silencio && isatty(STDERR_FILENO));
    });
});

}  // namespace

}  // namespace parvenza::cli
