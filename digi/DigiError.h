#pragma once

#include <stdexcept>
#include <string>

namespace brisquel {

/// Error numbers shared by every library of the system.
enum ErrorNumero : int {
    kLlamadaNoValida = 5,           ///< invalid procedure call or argument
    kDesbordamiento = 6,            ///< overflow
    kSubindice = 9,                 ///< subscript out of range
    kTipoNoCoincide = 13,           ///< type mismatch
    kNumeroFicheroIncorrecto = 52,  ///< bad file number: nothing open under it
    kFicheroNoEncontrado = 53,
    kFicheroYaAbierto = 55,
    kErrorEntradaSalida = 57,        ///< the system failed to read or write the file
    kLecturaTrasFin = 62,            ///< input past end of file
    kNumeroRegistroIncorrecto = 63,  ///< a byte position before the first byte
    kDemasiadosFicheros = 67,        ///< every file number 1..255 is in use
    kPermisoDenegado = 70,
    kErrorAccesoRuta = 75,  ///< path/file access error (read-only file, a folder...)
    kErrorDeRuta = 76,
};

/// The one exception type of the Digi file library: a number and a message that
/// names the file and the element or line concerned.
class DigiError : public std::runtime_error {
  public:
    DigiError(int numero, const std::string& mensaje)
        : std::runtime_error(mensaje), m_numero(numero) {}
    int numero() const noexcept { return m_numero; }

  private:
    int m_numero;
};

}  // namespace brisquel
