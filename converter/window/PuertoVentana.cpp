#include "converter/window/PuertoVentana.h"

#include <QApplication>

#include "converter/window/Ventana.h"

namespace parvenza {

PuertoVentana::~PuertoVentana() { Ocupado(false); }

void PuertoVentana::Proceso(const std::string& texto) { m_ventana.Proceso(texto); }

void PuertoVentana::Progreso(double fraccion) { m_ventana.BarraDeProgreso(fraccion); }

void PuertoVentana::Mensaje(const std::string& texto, bool critico, const std::string& titulo) {
    m_ventana.Mensaje(texto, critico, titulo);
}

bool PuertoVentana::PideFichero(const std::string& filtro, const std::string& titulo,
                                std::string& ruta) {
    if (!m_ventana.PideUnFichero(filtro, titulo, ruta)) return false;
    m_fichero = ruta;
    return true;
}

void PuertoVentana::Ocupado(bool ocupado) {
    if (ocupado == m_ocupado) return;
    if (ocupado)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    m_ocupado = ocupado;
}

}  // namespace parvenza
