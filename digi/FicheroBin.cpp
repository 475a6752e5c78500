#include "digi/FicheroBin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "comun/Reemplazo.h"
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
    return DigiError(numero, EnFichero(ruta) + que + ": " + parvenza::comun::RazonSistema(err));
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

FicheroBin::FicheroBin(const std::string& ruta, bool soloLectura) : m_ruta(ruta) {
    const int modo = soloLectura ? O_RDONLY : O_RDWR | O_CREAT;
    do {
        m_fd = ::open(ruta.c_str(), modo | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        const int err = errno;
        if (soloLectura && err == ENOENT)
            throw DigiError(kFicheroNoEncontrado, EnFichero(ruta) + "no existe el fichero");
        throw ErrorDelSistema(
            ruta,
            soloLectura ? "no se puede abrir para leer" : "no se puede abrir para leer y escribir",
            err);
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EISDIR;
        ::close(m_fd);
        throw ErrorDelSistema(ruta, "no es un fichero normal", err);
    }
    m_longitud = st.st_size;
    m_dispositivo = st.st_dev;
    m_nodo = st.st_ino;
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

FicheroBin::~FicheroBin() {
    if (m_fd >= 0) ::close(m_fd);
}

void FicheroBin::Renueva() {
    struct stat st {};
    if (::fstat(m_fd, &st) == 0) m_longitud = st.st_size;
    m_validos = 0;
}

const unsigned char* FicheroBin::Rellena(int64_t posicion, size_t n) {
    const int64_t desde = posicion - 1;
    if (desde < 0) {
        throw DigiError(
            kNumeroRegistroIncorrecto,
            EnFichero(m_ruta) + "posición de byte incorrecta " + std::to_string(posicion));
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
            throw ErrorDelSistema(m_ruta, "no se puede leer en el byte " + std::to_string(posicion),
                                  errno);
        }
        if (r == 0) {
            // Cut shorter under us: it ends here now, and the element being read is cut.
            m_longitud = desde + int64_t(leidos);
            break;
        }
        leidos += size_t(r);
    }
    m_validos = std::max(n, leidos);
    std::memset(m_buffer.data() + leidos, 0, m_validos - leidos);
    return m_buffer.data();
}

void FicheroBin::Escribe(int64_t posicion, const void* datos, size_t n) {
    const int64_t desde = posicion - 1;
    if (desde < 0) {
        throw DigiError(
            kNumeroRegistroIncorrecto,
            EnFichero(m_ruta) + "posición de byte incorrecta " + std::to_string(posicion));
    }
    const auto* p = static_cast<const unsigned char*>(datos);
    size_t escritos = 0;
    while (escritos < n) {
        const ssize_t r = ::pwrite(m_fd, p + escritos, n - escritos, desde + int64_t(escritos));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            throw ErrorDelSistema(
                m_ruta, "no se puede escribir en el byte " + std::to_string(posicion), errno);
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
        throw ErrorDelSistema(m_ruta, "no se puede dejar en " + std::to_string(longitud) + " bytes",
                              errno);
    }
    Renueva();
    RenuevaIguales(m_dispositivo, m_nodo);
}

void NumeroIncorrecto(int32_t nfich) {
    throw DigiError(kNumeroFicheroIncorrecto, "número de fichero incorrecto " +
                                                  std::to_string(nfich) +
                                                  ": no hay ningún fichero BIN abierto con él");
}

int32_t AbreBin(const std::string& ruta, bool soloLectura) {
    auto fichero = std::make_unique<FicheroBin>(ruta, soloLectura);
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
