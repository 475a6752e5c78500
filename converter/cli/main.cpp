// parvenza-cli: the conversions of the window, from the command line.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <iostream>
#include <map>

#include "comun/Error.h"
#include "converter/cli/Subcomando.h"

namespace parvenza::cli {

namespace {
std::multimap<int, Registro>& Tabla() {
    static std::multimap<int, Registro> tabla;
    return tabla;
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
    // Past a file-size limit a write fails with its reason and the run rolls back, instead of
    // the signal killing the program mid-write.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app{"Parvenza: Digi BIN files to shapefiles and back"};
    app.require_subcommand(1);
    app.set_version_flag("--version", "parvenza-cli " PARVENZA_VERSION);
    int estado = 0;
    for (auto& registro : parvenza::cli::Subcomandos()) registro(app, estado);
    // The one place where a run's failure is shown: the run's objects are gone by now, so
    // every output it had open is rolled back.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help prints and succeeds; every other parse error is a usage error.
        return app.exit(e) == 0 ? 0 : parvenza::cli::kEstadoUso;
    } catch (const parvenza::FinDePrograma& fin) {
        std::cerr << "parvenza-cli: " << fin.what() << "\n";
        return fin.estado();
    } catch (const std::exception& e) {
        std::cerr << "parvenza-cli: " << e.what() << "\n";
        return parvenza::cli::kEstadoFallo;
    }
    return estado;
}
