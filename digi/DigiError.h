#pragma once

#include <stdexcept>
#include <string>

namespace brisquel {

/// Error numbers shared by every library of the system.
enum ErrorNumero : int {
    kLlamadaNoValida = 5,     ///< invalid procedure call or argument
    kDesbordamiento = 6,      ///< overflow
    kSubindice = 9,           ///< subscript out of range
    kTipoNoCoincide = 13,     ///< type mismatch
    kFicheroNoEncontrado = 53,
    kFicheroYaAbierto = 55,
    kLecturaTrasFin = 62,     ///< input past end of file
    kPermisoDenegado = 70,
    kErrorDeRuta = 76,
};

/// The one exception type of the Digi file library: a number and a message that
/// names the file and the element or line concerned.
class DigiError : public std::runtime_error {
public:
    DigiError(int numero, const std::string& mensaje) : std::runtime_error(mensaje), m_numero(numero) {}
    int numero() const noexcept { return m_numero; }

private:
    int m_numero;
};

}  // namespace brisquel
