#pragma once

#include <stdexcept>
#include <string>

namespace dornavel {

/// The one exception type of the DXF reader library: an error number (5 invalid call,
/// 6 overflow, 13 type mismatch, 53 file not found, 55 file already open, 62 input past end
/// of file, 67 too many files) and a message naming the file and line concerned.
class DxfError : public std::runtime_error {
  public:
    DxfError(int numero, const std::string& mensaje)
        : std::runtime_error(mensaje), m_numero(numero) {}
    int numero() const noexcept { return m_numero; }

  private:
    int m_numero;
};

}  // namespace dornavel
