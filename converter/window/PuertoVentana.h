#pragma once
// The conversion drivers' port, implemented with the window's widgets.

#include "converter/core/Puerto.h"

namespace parvenza {

class Ventana;

/// Captions go to `lbl_Proceso` (painted at once), progress to the marker, messages to
/// message boxes, file choices to the file dialog, the busy state to the hourglass.
/// One port serves one command; it puts the pointer back when it goes.
class PuertoVentana : public Puerto {
  public:
    explicit PuertoVentana(Ventana& ventana) : m_ventana(ventana) {}
    ~PuertoVentana() override;
    PuertoVentana(const PuertoVentana&) = delete;
    PuertoVentana& operator=(const PuertoVentana&) = delete;

    void Proceso(const std::string& texto) override;
    void Progreso(double fraccion) override;
    void Mensaje(const std::string& texto, bool critico, const std::string& titulo) override;
    bool PideFichero(const std::string& filtro, const std::string& titulo,
                     std::string& ruta) override;
    void Ocupado(bool ocupado) override;

    /// The file last chosen through PideFichero, or "".
    const std::string& FicheroElegido() const { return m_fichero; }

  private:
    Ventana& m_ventana;
    std::string m_fichero;
    bool m_ocupado = false;
};

}  // namespace parvenza
