#pragma once
// Helpers of the window tests: the application object, a scripted file chooser, a recorder
// that answers the message boxes, and a fresh temporary folder.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "converter/window/Ventana.h"
#include "utilities/SelectorFichero.h"

namespace parvenza::prueba {

/// The file chooser of the tests: gives the queued answers in order ("" = cancel) and
/// notes what it was asked. Installed for the life of the object.
class SelectorGuion : public fenoquia::SelectorFichero {
  public:
    struct Pregunta {
        std::string filtro, titulo;
    };
    std::string Elige(const std::string& filtro, const std::string& titulo) override;

    std::deque<std::string> respuestas;
    std::vector<Pregunta> preguntas;
};

/// Installs a fresh SelectorGuion and removes it on destruction.
class SelectorInstalado {
  public:
    SelectorInstalado();
    ~SelectorInstalado();
    SelectorGuion& operator*() { return *m_selector; }
    SelectorGuion* operator->() { return m_selector.get(); }

  private:
    std::shared_ptr<SelectorGuion> m_selector;
};

/// While alive, answers every message box that opens with OK and records it.
class RecogeMensajes {
  public:
    struct Caja {
        QString titulo, texto;
        QMessageBox::Icon icono;
    };
    RecogeMensajes();
    ~RecogeMensajes();
    std::vector<Caja> cajas;

  private:
    QTimer m_reloj;
};

/// A fresh folder under the system's temporary folder, removed with the object.
class CarpetaTemporal {
  public:
    CarpetaTemporal();
    ~CarpetaTemporal();
    const std::filesystem::path& ruta() const { return m_ruta; }
    /// Creates an empty file named `nombre` inside and returns its path.
    std::string Fichero(const std::string& nombre) const;

  private:
    std::filesystem::path m_ruta;
};

/// The window after start-up with the given number format, shown offscreen.
std::unique_ptr<Ventana> Abre(Separadores separadores = {"", "."});

/// The control named `nombre`; a test failure when there is none of that kind.
template <class W = QWidget>
W* Control(Ventana& v, const QString& nombre) {
    auto* w = v.findChild<W*>(nombre);
    if (!w) ADD_FAILURE() << "no control " << nombre.toStdString() << " of the expected kind";
    return w;
}

/// Whether the control shows once the window is on screen.
bool Visible(Ventana& v, const char* nombre);

/// A click near the control's left edge, where a check or option box has its indicator.
void Pulsa(Ventana& v, const char* nombre);

}  // namespace parvenza::prueba
