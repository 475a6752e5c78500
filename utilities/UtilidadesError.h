#pragma once

#include <stdexcept>
#include <string>

namespace fenoquia {

/// The one exception type of the utilities library: an error number (5 invalid call,
/// 6 overflow, 9 subscript, 13 type mismatch, 53 file not found, 62 past end of file,
/// 76 path not found) and a message naming the file or element concerned.
class UtilidadesError : public std::runtime_error {
  public:
    UtilidadesError(int numero, const std::string& mensaje)
        : std::runtime_error(mensaje), m_numero(numero) {}
    int numero() const noexcept { return m_numero; }

  private:
    int m_numero;
};

}  // namespace fenoquia
