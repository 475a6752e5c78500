#pragma once
// Work handed to child processes, several at once: the libraries keep process-wide state (open
// file numbers, message sinks), and a crash or a program-ending state in one input must not
// touch the others. A child reports back as text lines "KIND\tFIELDS...".

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "converter/core/Omision.h"
#include "converter/core/Puerto.h"

namespace parvenza {

/// One child's end, as the parent sees it.
struct FinHijo {
    size_t indice = 0;
    std::string informe;  ///< everything the child wrote
    int estado = 0;       ///< as waitpid gives it; 0 when the whole report came in
    /// Why the child ended abnormally ("terminó por la señal ..."); empty when its whole report
    /// came in.
    std::string Anomalia() const;
};

/// Runs `n` tasks, each in a child process forked for it, up to `trabajos` at once, started in
/// input order. `hijo(i)` runs in the child and returns its report, which reaches the parent
/// whole; the child then ends at once, without running the parent's exit handlers. `fin` runs
/// in the parent as each child ends, in any order; when it returns false the run stops:
/// children still running are killed and reaped, and no more are started. Returns whether
/// every task ended (fin never said stop). Throws Error when no process can be made, after
/// killing the children started.
bool EnHijos(size_t n, int trabajos, const std::function<std::string(size_t)>& hijo,
             const std::function<bool(FinHijo&&)>& fin);

/// A text as one field of a report line: backslashes, tabs and line breaks escaped.
std::string Escapa(const std::string& s);
std::string Desescapa(const std::string& s);
/// The fields of a report line after its kind, unescaped.
std::vector<std::string> Campos(const std::string& resto);

/// An omission as the fields of an "O" line, and back (false when the fields are short).
std::string LineaOmision(const Omision& o);
bool LeeOmision(const std::vector<std::string>& campos, Omision& o);

/// A child's port: what the run would show, kept for the parent to show in input order.
class PuertoHijo : public Puerto {
  public:
    struct Aviso {
        std::string texto;
        bool critico = false;
    };
    std::vector<Aviso> avisos;
    void Proceso(const std::string&) override {}
    void Progreso(double) override {}
    void Mensaje(const std::string& texto, bool critico, const std::string&) override {
        avisos.push_back({texto, critico});
    }
    bool PideFichero(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    void Ocupado(bool) override {}
};

}  // namespace parvenza
