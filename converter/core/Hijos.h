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

/// One task's end, as the parent sees it.
struct FinHijo {
    size_t indice = 0;
    std::string informe;  ///< the task's report; empty when its worker died in it
    int estado = 0;       ///< the worker's, as waitpid gives it, when it died in the task
    /// Why the worker ended in the task ("terminó por la señal ..."); empty when the report came
    /// in.
    std::string Anomalia() const;
};

/// A task run in a worker: `hijo(i, sigue)` returns task `i`'s report; it clears `sigue` when
/// the worker's state may no longer be sound (a failure left it), so a fresh worker takes the
/// tasks after it.
using Tarea = std::function<std::string(size_t, bool&)>;

/// Runs `n` tasks in up to `trabajos` worker processes, forked for the run, each taking the next
/// task in input order as it finishes one. `hijo` runs in a worker and its report reaches the
/// parent whole; a worker ends without running the parent's exit handlers.
/// `fin` runs in the parent as each task ends, in any order; a task whose worker dies in it
/// ends with the worker's status and no report, and a new worker takes the tasks left. When
/// `fin` returns false the run stops: workers are killed and reaped, no more tasks start.
/// Returns whether every task ended (fin never said stop). Throws Error when no process can
/// be made, after killing the workers started.
bool EnHijos(size_t n, int trabajos, const Tarea& hijo, const std::function<bool(FinHijo&&)>& fin);

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
