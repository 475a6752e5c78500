#pragma once
// A library's message sink: where the texts it would show in a box go. Each library keeps
// one of its own; the host installs it (the window shows a box, the command line writes to
// stderr, tests record the texts).

#include <functional>
#include <iostream>
#include <string>
#include <utility>

namespace parvenza {

/// Receives a message text (UTF-8) that a library would show in a box with an OK button.
using Mensajero = std::function<void(const std::string& texto)>;

/// One library's installed sink; empty means stderr.
class Sumidero {
  public:
    void Establece(Mensajero m) { m_mensajero = std::move(m); }
    void Muestra(const std::string& texto) const {
        if (m_mensajero) {
            m_mensajero(texto);
        } else {
            std::cerr << texto << std::endl;
        }
    }

  private:
    Mensajero m_mensajero;
};

}  // namespace parvenza
