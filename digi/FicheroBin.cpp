#include "digi/FicheroBin.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "digi/DigiError.h"
#include "digi/Ficheros.h"

namespace brisquel {

namespace {

constexpr size_t kTamanoBuffer = 1 << 18;  // small enough to stay in cache

DigiError ErrorDelSistema(const std::string& ruta, const std::string& que, int err) {
    int numero = kErrorAccesoRuta;
    switch (err) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            numero = kErrorDeRuta;
            break;
        case EBUSY:
        case ETXTBSY:
        case EWOULDBLOCK:
            numero = kPermisoDenegado;
            break;
        case EMFILE:
        case ENFILE:
            numero = kDemasiadosFicheros;
            break;
        case EIO:
        case ENOSPC:
        case EFBIG:
        case EDQUOT:
            numero = kErrorEntradaSalida;
            break;
        default:
            break;
    }
    return DigiError(numero, EnFichero(ruta) + que + ": " + std::strerror(err));
}

inline auto& Abiertos() { return g_abiertos; }

// Every open BIN file that is this file takes its length and mapping anew.
void RenuevaIguales(dev_t dispositivo, ino_t nodo) {
    for (auto& f : g_abiertos) {
        if (f && f->MismoFichero(dispositivo, nodo)) f->Renueva();
    }
}

}  // namespace

// Indexed by file number; a plain global so that the lookup on every read costs nothing.
std::array<std::unique_ptr<FicheroBin>, 256> g_abiertos;
static_assert(kUltimoNumeroFichero == 255);

std::string EnFichero(const std::string& ruta) { return ruta + ": "; }

FicheroBin::FicheroBin(const std::string& ruta) : m_ruta(ruta) {
    do {
        m_fd = ::open(ruta.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) throw ErrorDelSistema(ruta, "cannot open for reading and writing", errno);
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EISDIR;
        ::close(m_fd);
        throw ErrorDelSistema(ruta, "not a regular file", err);
    }
    m_longitud = st.st_size;
    m_dispositivo = st.st_dev;
    m_nodo = st.st_ino;
    Mapea();
}

FicheroBin::~FicheroBin() {
    if (m_mapa) ::munmap(const_cast<unsigned char*>(m_mapa), size_t(m_mapeados));
    if (m_fd >= 0) ::close(m_fd);
}

void FicheroBin::Mapea() {
    if (m_mapa) ::munmap(const_cast<unsigned char*>(m_mapa), size_t(m_mapeados));
    m_mapa = nullptr;
    m_mapeados = 0;
    if (m_longitud <= 0) return;
    void* p = ::mmap(nullptr, size_t(m_longitud), PROT_READ, MAP_SHARED, m_fd, 0);
    if (p == MAP_FAILED) return;  // the read buffer does all the work then
    m_mapa = static_cast<const unsigned char*>(p);
    m_mapeados = m_longitud;
    m_soltados = 0;
    ::madvise(p, size_t(m_longitud), MADV_SEQUENTIAL);
}

void FicheroBin::SueltaHasta(int64_t desde) {
    // Keep a window behind the read position for elements that straddle it; dropped pages
    // of a shared file mapping come back from the page cache if read again.
    static const int64_t pagina = ::sysconf(_SC_PAGESIZE);
    const int64_t hasta = ((desde - kVentanaMapa / 2) / pagina) * pagina;
    if (hasta > m_soltados) {
        ::madvise(const_cast<unsigned char*>(m_mapa) + m_soltados, size_t(hasta - m_soltados),
                  MADV_DONTNEED);
    }
    m_soltados = std::max(m_soltados, hasta);
}

void FicheroBin::Renueva() {
    struct stat st {};
    if (::fstat(m_fd, &st) == 0) m_longitud = st.st_size;
    m_validos = 0;
    Mapea();
}

const unsigned char* FicheroBin::LeeFueraDelMapa(int64_t posicion, size_t n) {
    const int64_t desde = posicion - 1;
    if (desde < 0) {
        throw DigiError(kNumeroRegistroIncorrecto,
                        EnFichero(m_ruta) + "bad byte position " + std::to_string(posicion));
    }
    if (desde >= m_inicioBuffer && desde + int64_t(n) <= m_inicioBuffer + int64_t(m_validos)) {
        return m_buffer.data() + (desde - m_inicioBuffer);
    }
    const size_t capacidad = std::max(n, kTamanoBuffer);
    if (m_buffer.size() < capacidad) m_buffer.resize(capacidad);
    m_inicioBuffer = desde;
    // Read what the file holds, never more than its length; the rest is zeros.
    const int64_t enFichero =
        std::max<int64_t>(0, std::min<int64_t>(capacidad, m_longitud - desde));
    size_t leidos = 0;
    while (leidos < size_t(enFichero)) {
        const ssize_t r = ::pread(m_fd, m_buffer.data() + leidos, size_t(enFichero) - leidos,
                                  desde + int64_t(leidos));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            m_validos = 0;
            throw ErrorDelSistema(m_ruta, "read failed at byte " + std::to_string(posicion), errno);
        }
        if (r == 0) break;  // shorter than we thought: the rest reads as zeros
        leidos += size_t(r);
    }
    m_validos = std::max(n, leidos);
    std::memset(m_buffer.data() + leidos, 0, m_validos - leidos);
    return m_buffer.data();
}

void FicheroBin::Escribe(int64_t posicion, const void* datos, size_t n) {
    const int64_t desde = posicion - 1;
    if (desde < 0) {
        throw DigiError(kNumeroRegistroIncorrecto,
                        EnFichero(m_ruta) + "bad byte position " + std::to_string(posicion));
    }
    const auto* p = static_cast<const unsigned char*>(datos);
    size_t escritos = 0;
    while (escritos < n) {
        const ssize_t r = ::pwrite(m_fd, p + escritos, n - escritos, desde + int64_t(escritos));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            throw ErrorDelSistema(m_ruta, "write failed at byte " + std::to_string(posicion),
                                  errno);
        }
        escritos += size_t(r);
    }
    m_longitud = std::max(m_longitud, desde + int64_t(n));
    // Keep the read buffer in step with what is now in the file.
    const int64_t a = std::max(desde, m_inicioBuffer);
    const int64_t b = std::min(desde + int64_t(n), m_inicioBuffer + int64_t(m_validos));
    if (a < b) std::memcpy(m_buffer.data() + (a - m_inicioBuffer), p + (a - desde), size_t(b - a));
}

void FicheroBin::CambiaLongitud(int64_t longitud) {
    if (::ftruncate(m_fd, longitud) != 0) {
        throw ErrorDelSistema(m_ruta, "cannot set the length to " + std::to_string(longitud),
                              errno);
    }
    Renueva();
    RenuevaIguales(m_dispositivo, m_nodo);
}

void NumeroIncorrecto(int32_t nfich) {
    throw DigiError(kNumeroFicheroIncorrecto,
                    "bad file number " + std::to_string(nfich) + ": no BIN file is open under it");
}

int32_t AbreBin(const std::string& ruta) {
    auto fichero = std::make_unique<FicheroBin>(ruta);
    const int32_t n = TomaNumeroFichero();
    Abiertos()[n] = std::move(fichero);
    return n;
}

void TrasCortar(const std::string& ruta) {
    struct stat st {};
    if (::stat(ruta.c_str(), &st) == 0) RenuevaIguales(st.st_dev, st.st_ino);
}

void CierraBin(int32_t nfich) {
    if (nfich < kPrimerNumeroFichero || nfich > kUltimoNumeroFichero || !Abiertos()[nfich]) return;
    Abiertos()[nfich].reset();
    LiberaNumeroFichero(nfich);
}

}  // namespace brisquel
