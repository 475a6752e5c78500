#pragma once
// An open BIN file behind a file number: one descriptor, a large read buffer and the
// file's length, so that walking a file of hundreds of megabytes costs a few big reads.
// Internal to the library.

#include <cstdint>
#include <string>
#include <vector>

namespace brisquel {

class FicheroBin {
public:
    /// Opens `ruta` for reading and writing, creating an empty file when it is missing.
    /// Throws DigiError with the system's reason (75, 76, 70, 67).
    explicit FicheroBin(const std::string& ruta);
    ~FicheroBin();
    FicheroBin(const FicheroBin&) = delete;
    FicheroBin& operator=(const FicheroBin&) = delete;

    const std::string& Ruta() const { return m_ruta; }
    int64_t Longitud() const { return m_longitud; }
    /// 1-based read position.
    int64_t Posicion() const { return m_posicion; }
    void Situa(int64_t posicion) { m_posicion = posicion; }

    /// The bytes at 1-based positions [posicion, posicion + n). Bytes beyond the end of the
    /// file read as zeros. The pointer is valid until the next call on this object.
    const unsigned char* Lee(int64_t posicion, size_t n);

    /// Writes `n` bytes at 1-based `posicion`, growing the file when needed.
    void Escribe(int64_t posicion, const void* datos, size_t n);

    /// Cuts or extends the file to `longitud` bytes.
    void CambiaLongitud(int64_t longitud);

private:
    std::string m_ruta;
    int m_fd = -1;
    int64_t m_longitud = 0;
    int64_t m_posicion = 1;
    std::vector<unsigned char> m_buffer;
    int64_t m_inicioBuffer = 0;  // 0-based file offset of m_buffer[0]
    size_t m_validos = 0;        // bytes of m_buffer that mirror the file (zeros past its end)
};

/// The open BIN file under `nfich`. Throws kNumeroFicheroIncorrecto (52) when none is.
FicheroBin& FicheroAbierto(int32_t nfich);

/// Opens `ruta` under the lowest free process-wide file number and returns the number.
int32_t AbreBin(const std::string& ruta);

/// Closes the BIN file under `nfich`; a number with no BIN file open is ignored.
void CierraBin(int32_t nfich);

/// "ruta: " prefix for messages.
std::string EnFichero(const std::string& ruta);

}  // namespace brisquel
