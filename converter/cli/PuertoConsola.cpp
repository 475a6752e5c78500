#include "converter/cli/PuertoConsola.h"

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
    m_elementos = 0;  // counts belong to the step the caption names
    Dibuja(true);
}

void PuertoConsola::Progreso(double fraccion) {
    m_fraccion = fraccion;
    Dibuja(false);
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

void PuertoConsola::Avance(int fichero, int nficheros, int pasada, int64_t elementos) {
    bool nuevo = fichero != m_fichero || pasada != m_pasada;
    m_fichero = fichero;
    m_nficheros = nficheros;
    m_pasada = pasada;
    m_elementos = elementos;
    Dibuja(nuevo);
}

void PuertoConsola::Dibuja(bool forzar) {
    if (!m_terminal) return;
    // A terminal redrawn a few times a second is enough; more only slows the run.
    auto ahora = std::chrono::steady_clock::now();
    if (!forzar && ahora - m_ultimo < std::chrono::milliseconds(100)) return;
    m_ultimo = ahora;
    std::ostringstream linea;
    if (m_nficheros > 0) linea << "[" << m_fichero << "/" << m_nficheros << "] ";
    linea << m_proceso;
    if (m_pasadas > 0 && m_pasada > 0 && m_proceso.rfind("Pasada", 0) == 0)
        linea << "/" << m_pasadas;
    if (m_elementos > 0) linea << ": " << m_elementos << " elementos";
    if (m_fraccion >= 0) linea << " " << std::lround(m_fraccion * 100) << "%";
    m_err << "\r\033[K" << linea.str() << std::flush;
    m_dibujado = true;
}

int EstadoFinal(const Omisiones& omisiones, std::ostream& err) {
    for (const std::string& l : omisiones.Lineas()) err << "parvenza-cli: " << l << "\n";
    return omisiones.empty() ? kEstadoCompleto : kEstadoIncompleto;
}

}  // namespace parvenza::cli
