#pragma once
// Subcommands of parvenza-cli register themselves from their own source file, so that
// each conversion brings its command line without touching the others.

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace parvenza::cli {

/// Exit statuses: everything in the input reached the output; the run failed; the command
/// line was wrong; the run finished but left something out (listed on stderr).
inline constexpr int kEstadoCompleto = 0;
inline constexpr int kEstadoFallo = 1;
inline constexpr int kEstadoUso = 2;
inline constexpr int kEstadoIncompleto = 3;

/// Adds a subcommand to `app`; the subcommand's callback sets the exit status in `estado`.
using Registro = std::function<void(CLI::App& app, int& estado)>;

/// Static registration: `static const bool r = RegistraSubcomando(...)` in each file.
bool RegistraSubcomando(int orden, Registro registro);

/// Every registration, in ascending `orden`.
std::vector<Registro> Subcomandos();

}  // namespace parvenza::cli
