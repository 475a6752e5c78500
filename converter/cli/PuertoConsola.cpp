#include "converter/cli/PuertoConsola.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

#include "converter/cli/Subcomando.h"

namespace parvenza::cli {

PuertoConsola::PuertoConsola(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}

PuertoConsola::~PuertoConsola() { Termina(); }

void PuertoConsola::Termina() {
    if (!m_dibujado) return;
    m_err << "\r\033[K" << std::flush;
    m_dibujado = false;
}

void PuertoConsola::Proceso(const std::string& texto) {
    m_proceso = texto;
    m_fraccion = -1;
    Dibuja(true);
}

void PuertoConsola::Progreso(double fraccion) {
    // Drivers set 0 after a run; a finished file is not shown as starting again.
    const bool nuevo = m_fraccion < 0;
    m_fraccion = fraccion;
    Dibuja(nuevo);
}

void PuertoConsola::Mensaje(const std::string& texto, bool, const std::string&) {
    Termina();
    m_err << "parvenza-cli: " << texto << "\n" << std::flush;
}

bool PuertoConsola::PideFichero(const std::string&, const std::string&, std::string& ruta) {
    if (m_respuestas.empty()) return false;
    ruta = m_respuestas.front();
    m_respuestas.pop_front();
    return true;
}

void PuertoConsola::Avance(int fichero, int nficheros, int, int64_t) {
    const bool nuevo = fichero != m_fichero;
    m_fichero = fichero;
    m_nficheros = nficheros;
    if (nuevo) m_fraccion = 0;
    // Without names (sheets converted at once, finishing in any order): the share of sheets.
    if (m_ficheros.empty() && nficheros > 0) m_fraccion = double(fichero) / nficheros;
    Dibuja(nuevo);
}

void PuertoConsola::Dibuja(bool forzar) {
    if (!m_terminal) return;
    // A terminal redrawn a few times a second is enough; more only slows the run.
    auto ahora = std::chrono::steady_clock::now();
    if (!forzar && ahora - m_ultimo < std::chrono::milliseconds(100)) return;
    m_ultimo = ahora;
    std::ostringstream linea;
    if (m_nficheros > 1) linea << "[" << m_fichero << "/" << m_nficheros << "] ";
    if (m_ficheros.size() == 1)
        linea << m_ficheros.front() << ": ";
    else if (m_fichero >= 1 && size_t(m_fichero) <= m_ficheros.size())
        linea << m_ficheros[m_fichero - 1] << ": ";
    if (m_fraccion >= 0)
        linea << std::lround(std::clamp(m_fraccion, 0.0, 1.0) * 100) << " %";
    else
        linea << m_proceso;
    m_err << "\r\033[K" << linea.str() << std::flush;
    m_dibujado = true;
}

int EstadoFinal(const Omisiones& omisiones, std::ostream& err) {
    for (const std::string& l : omisiones.Lineas()) err << "parvenza-cli: " << l << "\n";
    return omisiones.empty() ? kEstadoCompleto : kEstadoIncompleto;
}

}  // namespace parvenza::cli
