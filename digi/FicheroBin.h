#pragma once
// An open BIN file behind a file number: one descriptor, a read-only mapping of the file
// as it was when opened, a read buffer for whatever lies outside that mapping (bytes added
// later, the zeros past the end), and the file's length. Walking a file of hundreds of
// megabytes then reads straight from the page cache. Internal to the library.

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <memory>
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
    const unsigned char* Lee(int64_t posicion, size_t n) {
        const int64_t desde = posicion - 1;
        if (desde >= 0 && desde + int64_t(n) <= m_mapeados) {
            if (desde - m_soltados > kVentanaMapa) SueltaHasta(desde);
            return m_mapa + desde;
        }
        return LeeFueraDelMapa(posicion, n);
    }

    /// Writes `n` bytes at 1-based `posicion`, growing the file when needed.
    void Escribe(int64_t posicion, const void* datos, size_t n);

    /// Cuts or extends the file to `longitud` bytes.
    void CambiaLongitud(int64_t longitud);

    /// Takes the file's length from the system again and maps the file anew: after the file
    /// was cut through another descriptor, no read may touch the mapping past its end.
    void Renueva();

    bool MismoFichero(dev_t dispositivo, ino_t nodo) const {
        return m_dispositivo == dispositivo && m_nodo == nodo;
    }

  private:
    // Pages of the mapping already walked past are handed back every few megabytes, so a
    // sequential walk keeps a flat resident size whatever the file's length.
    static constexpr int64_t kVentanaMapa = int64_t(8) << 20;
    void SueltaHasta(int64_t desde);
    void Mapea();
    const unsigned char* LeeFueraDelMapa(int64_t posicion, size_t n);

    std::string m_ruta;
    int m_fd = -1;
    int64_t m_longitud = 0;
    int64_t m_posicion = 1;
    dev_t m_dispositivo = 0;
    ino_t m_nodo = 0;
    const unsigned char* m_mapa = nullptr;
    int64_t m_mapeados = 0;  // bytes of the file under m_mapa
    int64_t m_soltados = 0;  // bytes from the mapping's start already handed back
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
int32_t AbreBin(const std::string& ruta);

/// Closes the BIN file under `nfich`; a number with no BIN file open is ignored.
void CierraBin(int32_t nfich);

/// Call after cutting `ruta` by name: every open BIN file that is that file takes its new
/// length and mapping.
void TrasCortar(const std::string& ruta);

/// "ruta: " prefix for messages.
std::string EnFichero(const std::string& ruta);

}  // namespace brisquel
