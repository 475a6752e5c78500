#pragma once
// An open BIN file behind a file number: one descriptor, a read buffer refilled with pread,
// and the file's length. The file is read, never mapped: a file cut shorter by another
// program while it is walked ends the walk at its new end (a cut element), where a mapping
// would kill the process with SIGBUS. Internal to the library.

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brisquel {

class FicheroBin {
  public:
    /// Opens `ruta` for reading and writing, creating an empty file when it is missing, or
    /// with `soloLectura` for reading only, never creating it. Throws DigiError with the
    /// system's reason (53, 75, 76, 70, 67).
    explicit FicheroBin(const std::string& ruta, bool soloLectura = false);
    ~FicheroBin();
    FicheroBin(const FicheroBin&) = delete;
    FicheroBin& operator=(const FicheroBin&) = delete;

    const std::string& Ruta() const { return m_ruta; }
    int64_t Longitud() const { return m_longitud; }
    /// 1-based read position.
    int64_t Posicion() const { return m_posicion; }
    void Situa(int64_t posicion) { m_posicion = posicion; }

    /// The bytes at 1-based positions [posicion, posicion + n). Bytes beyond the end of the
    /// file read as zeros; a file found shorter than its known length takes the new length.
    /// The pointer is valid until the next call on this object.
    const unsigned char* Lee(int64_t posicion, size_t n) {
        const int64_t desde = posicion - 1;
        if (desde >= m_inicioBuffer && desde + int64_t(n) <= m_inicioBuffer + int64_t(m_validos))
            return m_buffer.data() + (desde - m_inicioBuffer);
        return Rellena(posicion, n);
    }

    /// Writes `n` bytes at 1-based `posicion`, growing the file when needed.
    void Escribe(int64_t posicion, const void* datos, size_t n);

    /// Cuts or extends the file to `longitud` bytes.
    void CambiaLongitud(int64_t longitud);

    /// Takes the file's length from the system again and drops what was buffered: after the
    /// file was cut through another descriptor.
    void Renueva();

    bool MismoFichero(dev_t dispositivo, ino_t nodo) const {
        return m_dispositivo == dispositivo && m_nodo == nodo;
    }

  private:
    const unsigned char* Rellena(int64_t posicion, size_t n);

    std::string m_ruta;
    int m_fd = -1;
    int64_t m_longitud = 0;
    int64_t m_posicion = 1;
    dev_t m_dispositivo = 0;
    ino_t m_nodo = 0;
    std::vector<unsigned char> m_buffer;
    int64_t m_inicioBuffer = 0;  // 0-based file offset of m_buffer[0]
    size_t m_validos = 0;        // bytes of m_buffer that mirror the file (zeros past its end)
};

/// Open BIN files by number; [0] is never used.
extern std::array<std::unique_ptr<FicheroBin>, 256> g_abiertos;

/// Throws kNumeroFicheroIncorrecto (52) for `nfich`.
[[noreturn]] void NumeroIncorrecto(int32_t nfich);

/// The open BIN file under `nfich`. Throws kNumeroFicheroIncorrecto (52) when none is.
inline FicheroBin& FicheroAbierto(int32_t nfich) {
    if (nfich < 1 || nfich > 255 || !g_abiertos[size_t(nfich)]) NumeroIncorrecto(nfich);
    return *g_abiertos[size_t(nfich)];
}

/// Opens `ruta` under the lowest free process-wide file number and returns the number.
int32_t AbreBin(const std::string& ruta, bool soloLectura = false);

/// Closes the BIN file under `nfich`; a number with no BIN file open is ignored.
void CierraBin(int32_t nfich);

/// Call after cutting `ruta` by name: every open BIN file that is that file takes its new
/// length.
void TrasCortar(const std::string& ruta);

/// "ruta: " prefix for messages.
std::string EnFichero(const std::string& ruta);

}  // namespace brisquel
