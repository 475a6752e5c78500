// parvenza-cli: the conversions of the window, from the command line.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <iostream>
#include <map>
#include <regex>

#include "comun/Error.h"
#include "converter/cli/Subcomando.h"

namespace parvenza::cli {

namespace {
std::multimap<int, Registro>& Tabla() {
    static std::multimap<int, Registro> tabla;
    return tabla;
}

/// The parser's messages in the program's language; one it does not know stays as it is.
std::string Traduce(const std::string& mensaje) {
    static const std::pair<std::regex, const char*> kReglas[] = {
        {std::regex("^A subcommand is required$"), "falta el subcomando"},
        {std::regex("^(.*) is required$"), "falta $1"},
        {std::regex("^The following arguments? (?:was|were) not expected: (.*)$"),
         "argumento no esperado: $1"},
        {std::regex("^(.*) requires (.*)$"), "$1 solo va con $2"},
        {std::regex("^(.*) excludes (.*)$"), "$1 no va con $2"},
        {std::regex("^Could not convert: (.*)$"), "valor no válido: $1"},
        {std::regex("^The value (.*) is not an allowed value for (.*)$"),
         "$2: valor no admitido: $1"},
        {std::regex("^Expected at least ([0-9]+) arguments? to (.*), got ([0-9]+)$"),
         "$2 necesita un valor"},
        {std::regex("^Expected exactly ([0-9]+) arguments? to (.*), got ([0-9]+)$"),
         "$2 necesita un valor"},
        {std::regex("^(.*): ([0-9]+) required (.*) missing$"), "$1 necesita un valor"},
        {std::regex("^(.*): too many inputs for a flag$"), "$1 no lleva valor"},
        {std::regex("^(.*) was given a disallowed flag override$"), "$1 no lleva valor"},
    };
    for (const auto& [regla, texto] : kReglas)
        if (std::regex_match(mensaje, regla)) return std::regex_replace(mensaje, regla, texto);
    return mensaje;
}

std::string MensajeDeFallo(const CLI::App*, const CLI::Error& e) {
    return "parvenza-cli: " + Traduce(e.what()) + "\nparvenza-cli --help explica el uso\n";
}

/// Help in the program's language: CLI11's fixed words.
std::shared_ptr<CLI::Formatter> Formato() {
    auto f = std::make_shared<CLI::Formatter>();
    const std::pair<const char*, const char*> kEtiquetas[] = {{"Usage", "Uso"},
                                                              {"OPTIONS", "OPCIONES"},
                                                              {"SUBCOMMAND", "SUBCOMANDO"},
                                                              {"SUBCOMMANDS", "SUBCOMANDOS"},
                                                              {"Positionals", "Argumentos"},
                                                              {"REQUIRED", "OBLIGATORIO"},
                                                              {"Needs", "Necesita"},
                                                              {"Excludes", "Excluye"},
                                                              {"TEXT", "TEXTO"},
                                                              {"INT", "ENTERO"},
                                                              {"UINT", "ENTERO"},
                                                              {"FLOAT", "NÚMERO"},
                                                              {"Env", "Entorno"}};
    for (const auto& [clave, valor] : kEtiquetas) f->label(clave, valor);
    f->column_width(32);
    return f;
}

}  // namespace

bool RegistraSubcomando(int orden, Registro registro) {
    Tabla().emplace(orden, std::move(registro));
    return true;
}

std::vector<Registro> Subcomandos() {
    std::vector<Registro> v;
    for (auto& [orden, r] : Tabla()) v.push_back(r);
    return v;
}

}  // namespace parvenza::cli

int main(int argc, char** argv) {
    using namespace parvenza::cli;
    // Past a file-size limit a write fails with its reason and the run rolls back, instead of
    // the signal killing the program mid-write.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app{"Parvenza: ficheros BIN de Digi a shapefiles y vuelta", "parvenza-cli"};
    // Set before the subcommands, which take them from here.
    app.formatter(Formato());
    app.failure_message(MensajeDeFallo);
    app.option_defaults()->group("Opciones");
    app.set_help_flag("-h,--help", "Muestra esta ayuda y termina");
    app.group("Subcomandos");
    app.set_version_flag("--version", "parvenza-cli " PARVENZA_VERSION,
                         "Muestra la versión y termina");
    app.require_subcommand(0, 1);
    int estado = 0;
    for (auto& registro : Subcomandos()) registro(app, estado);
    // A subcommand makes its help flag before it takes the option defaults.
    for (CLI::App* sub : app.get_subcommands({})) sub->get_help_ptr()->group("Opciones");
    app.footer(
        "Estados de salida: 0 completo, 1 fallo, 2 uso incorrecto, 3 terminado con algo omitido "
        "o cortado (listado en la salida de errores).\n"
        "Ayuda de cada subcomando: parvenza-cli SUBCOMANDO --help");
    // The one place where a run's failure is shown: the run's objects are gone by now, so
    // every output it had open is rolled back.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ExtrasError& e) {
        // A first word that is no subcommand: name it as such, not as a stray argument.
        if (app.get_subcommands().empty() && argc > 1 && argv[1][0] != '-') {
            std::cerr << "parvenza-cli: subcomando desconocido: " << argv[1]
                      << "\nparvenza-cli --help lista los subcomandos\n";
            return kEstadoUso;
        }
        app.exit(e);
        return kEstadoUso;
    } catch (const CLI::ParseError& e) {
        // --help and --version print and succeed; every other parse error is a usage error.
        return app.exit(e) == 0 ? 0 : kEstadoUso;
    } catch (const parvenza::FinDePrograma& fin) {
        std::cerr << "parvenza-cli: " << fin.what() << "\n";
        return fin.estado();
    } catch (const std::exception& e) {
        std::cerr << "parvenza-cli: " << e.what() << "\n";
        return kEstadoFallo;
    }
    if (app.get_subcommands().empty()) {
        std::cerr << "parvenza-cli: falta el subcomando\n" << app.help();
        return kEstadoUso;
    }
    return estado;
}
