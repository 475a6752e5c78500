#pragma once
// The one exception type of the shapefile-to-BIN side: field listing, selection state and
// the conversion run.

#include <stdexcept>
#include <string>

namespace parvenza {

/// A failure with its number (5 invalid call, 6 overflow, 9 subscript out of range,
/// 13 type mismatch, 53 file not found) and a message naming the file or field concerned.
class ShpBinError : public std::runtime_error {
  public:
    ShpBinError(int numero, const std::string& mensaje)
        : std::runtime_error(mensaje), m_numero(numero) {}
    int numero() const noexcept { return m_numero; }

  private:
    int m_numero;
};

}  // namespace parvenza
