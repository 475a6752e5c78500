#pragma once
// The one channel through which the conversion drivers talk back to their host.
// The drivers never touch a widget: the window implements this with its controls,
// the command line with stderr, tests with a recorder.

#include <cstdint>
#include <string>

namespace parvenza {

/// How a driver reports to its host. All texts are UTF-8.
class Puerto {
  public:
    virtual ~Puerto() = default;

    /// Caption of the process label (`lbl_Proceso`); the host shows it at once.
    virtual void Proceso(const std::string& texto) = 0;

    /// Moves the progress marker to `fraccion` (0..1) of the track (`BarraDeProgreso`).
    virtual void Progreso(double fraccion) = 0;

    /// A message box with an OK button; `critico` adds the critical icon.
    virtual void Mensaje(const std::string& texto, bool critico = false,
                         const std::string& titulo = "Parvenza") = 0;

    /// Asks for one existing file; returns false when the user cancels.
    virtual bool PideFichero(const std::string& filtro, const std::string& titulo,
                             std::string& ruta) = 0;

    /// Busy pointer (the hourglass) on or off.
    virtual void Ocupado(bool ocupado) = 0;

    /// Fine-grained progress for hosts that show it (the command line on a terminal):
    /// file `fichero` of `nficheros` (1-based), pass `pasada`, `elementos` read so far.
    virtual void Avance(int fichero, int nficheros, int pasada, int64_t elementos) {}

    /// Share (0..1) of the file of the last Avance read so far, for hosts that show a
    /// percentage.
    virtual void AvanceFichero(double fraccion) {}
};

/// Tells the host that a run stopped without writing: the message, then the captions and
/// pointer of a run that ends.
inline void AvisaInterrupcion(Puerto& puerto, const std::string& mensaje) {
    puerto.Ocupado(false);
    puerto.Mensaje(mensaje, true);
    puerto.Progreso(0);
    puerto.Proceso("Proceso interrumpido");
}

}  // namespace parvenza
