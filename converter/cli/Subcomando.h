#pragma once
// Subcommands of parvenza-cli register themselves from their own source file, so that
// each conversion brings its command line without touching the others.

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace parvenza::cli {

/// Adds a subcommand to `app`; the subcommand's callback sets the exit status in `estado`.
using Registro = std::function<void(CLI::App& app, int& estado)>;

/// Static registration: `static const bool r = RegistraSubcomando(...)` in each file.
bool RegistraSubcomando(int orden, Registro registro);

/// Every registration, in ascending `orden`.
std::vector<Registro> Subcomandos();

}  // namespace parvenza::cli
