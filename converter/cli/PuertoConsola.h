#pragma once
// The conversions' port on the command line: messages to stderr, progress as one
// rewritten line when stderr is a terminal, file choices answered from the command line.

#include <chrono>
#include <deque>
#include <iosfwd>
#include <string>
#include <vector>

#include "converter/core/Omision.h"
#include "converter/core/Puerto.h"

namespace parvenza::cli {

class PuertoConsola : public Puerto {
  public:
    /// `terminal`: draw the progress line (isatty on stderr, and not --quiet).
    PuertoConsola(std::ostream& err, bool terminal);
    ~PuertoConsola() override;

    /// The caption, shown in the progress line on a terminal until a percentage replaces it.
    void Proceso(const std::string& texto) override;
    /// Share of the file being read, shown as a percentage.
    void Progreso(double fraccion) override;
    /// "parvenza-cli: <texto>" on stderr, always.
    void Mensaje(const std::string& texto, bool critico = false,
                 const std::string& titulo = "Parvenza") override;
    /// Answers with the next path given by Responde; false (cancel) when there is none.
    bool PideFichero(const std::string& filtro, const std::string& titulo,
                     std::string& ruta) override;
    void Ocupado(bool) override {}
    void Avance(int fichero, int nficheros, int pasada, int64_t elementos) override;
    void AvanceFichero(double fraccion) override { Progreso(fraccion); }

    /// Queues the answer to the next file choice.
    void Responde(const std::string& ruta) { m_respuestas.push_back(ruta); }
    /// The run's input files, named in the progress line by Avance's file number.
    void Ficheros(std::vector<std::string> ficheros) { m_ficheros = std::move(ficheros); }
    /// The file being read, for drivers that read one.
    void Fichero(const std::string& nombre) { m_ficheros = {nombre}; }
    /// Clears the progress line, if one is drawn.
    void Termina();

  private:
    void Dibuja(bool forzar);

    std::ostream& m_err;
    bool m_terminal;
    bool m_dibujado = false;
    std::deque<std::string> m_respuestas;
    std::vector<std::string> m_ficheros;
    std::string m_proceso;
    int m_fichero = 0, m_nficheros = 0;
    double m_fraccion = -1;
    std::chrono::steady_clock::time_point m_ultimo{};
};

/// Lists what a finished run cut, replaced or left out on `err`, one "parvenza-cli: " line per
/// file and kind (Omisiones::Lineas), and returns the exit status: kEstadoIncompleto when
/// anything was lost, else kEstadoCompleto.
int EstadoFinal(const Omisiones& omisiones, std::ostream& err);

}  // namespace parvenza::cli
