#pragma once
// The one error base of every library and driver: a number from one list and a message.
// Header-only, so each library keeps linking none of the others and a host catches once.

#include <stdexcept>
#include <string>

namespace parvenza {

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
    kRegistroIlegible = 458,  ///< a record or value the shapefile component cannot read or hold
};

/// The base of every library's exception: a number and a message that names the file and
/// the element or record concerned, once.
class Error : public std::runtime_error {
  public:
    Error(int numero, const std::string& mensaje)
        : std::runtime_error(mensaje), m_numero(numero), m_mensaje(mensaje) {}
    int numero() const noexcept { return m_numero; }
    const char* what() const noexcept override { return m_mensaje.c_str(); }
    /// Puts the context a caller knows (the file, named by the driver) in front of the
    /// message; the caller then rethrows the same error with `throw;`, keeping its type.
    void Antepone(const std::string& contexto) { m_mensaje = contexto + ": " + m_mensaje; }

  private:
    int m_numero;
    std::string m_mensaje;
};

/// A state that ends the program. Thrown instead of ending it, so every output of the run is
/// rolled back by its destructor on the way out; only a host shows `what()` and ends the
/// program with `estado()`. Not an Error, so no handler that annotates errors catches it.
class FinDePrograma : public std::runtime_error {
  public:
    explicit FinDePrograma(const std::string& mensaje, int estado = 1)
        : std::runtime_error(mensaje), m_estado(estado) {}
    int estado() const noexcept { return m_estado; }

  private:
    int m_estado;
};

}  // namespace parvenza
