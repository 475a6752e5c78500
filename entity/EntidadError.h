#pragma once

#include <stdexcept>
#include <string>

namespace lumeral {

/// The one exception type of the entity model library: an error number (5 invalid call,
/// 6 overflow, 9 subscript out of range) and a message saying what failed.
class EntidadError : public std::runtime_error {
  public:
    EntidadError(int numero, const std::string& mensaje)
        : std::runtime_error(mensaje), m_numero(numero) {}
    int numero() const noexcept { return m_numero; }

  private:
    int m_numero;
};

}  // namespace lumeral
