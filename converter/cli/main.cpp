// parvenza-cli: the conversions of the window, from the command line.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <iostream>
#include <map>

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
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return estado;
}
