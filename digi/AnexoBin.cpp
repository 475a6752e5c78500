#include "digi/AnexoBin.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "comun/Reemplazo.h"
#include "digi/Elemento.h"
#include "digi/FicheroBin.h"
#include "digi/FicheroDigi.h"

namespace brisquel {

namespace comun = parvenza::comun;

namespace {

constexpr size_t kTandaEscritura = 1 << 20;
// Room for a batch and the largest element: the batch never moves as it grows, and each of its
// pages is touched once in the run.
constexpr size_t kCapacidadTanda = kTandaEscritura + (512 << 10);

[[noreturn]] void Falla(const std::string& accion, const std::string& ruta, int e = errno) {
    throw DigiError(comun::NumeroDeErrno(e),
                    "no se puede " + accion + " " + ruta + ": " + comun::RazonSistema(e));
}

// The shared file helpers throw the common base; this library's callers catch DigiError.
template <typename F>
auto ComoDigi(F&& f) {
    try {
        return f();
    } catch (const DigiError&) {
        throw;
    } catch (const parvenza::Error& e) {
        throw DigiError(e.numero(), e.what());
    }
}

// The file a path names, behind its symbolic links, so the link survives the replacement.
std::string Real(const std::string& ruta) {
    char real[PATH_MAX];
    struct stat st;
    if (::lstat(ruta.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(ruta.c_str(), real))
        return real;
    return ruta;
}

void EscribeTodo(int fd, const char* p, size_t n, int64_t desde, const std::string& ruta) {
    if (const int e = comun::EscribeTodo(fd, p, n, desde)) Falla("escribir", ruta, e);
}

std::string EnElemento(const DigiError& e, const std::string& ruta, int64_t i,
                       const tipo_entidad& el) {
    return ruta + ": elemento " + std::to_string(i) + " (código \"" +
           TextoLimpio(el.elemento.cabecera.codigo) + "\"): " + e.what();
}

}  // namespace

AnexoBin::AnexoBin(const std::string& fichero, int esperaSegundos) : m_destino(Real(fichero)) {
    try {
        struct stat st;
        const std::string carpeta = comun::Carpeta(m_destino);
        if (::stat(carpeta.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw DigiError(kErrorDeRuta, m_destino + ": no existe la carpeta " + carpeta);
        if (::stat(m_destino.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            Falla("abrir", m_destino, EISDIR);
        m_cerrojo =
            ComoDigi([&] { return std::make_unique<comun::Cerrojo>(m_destino, esperaSegundos); });
        comun::LimpiaTemporales(carpeta);
        // Looked at again under the lock: the run before may have replaced it.
        const bool existe = ::stat(m_destino.c_str(), &st) == 0;
        if (!existe && errno != ENOENT) Falla("abrir", m_destino);
        if (existe) {
            const std::string defecto = DefectoBin(m_destino, true);
            if (!defecto.empty()) {
                throw DigiError(kTipoNoCoincide, m_destino + ": no es un fichero BIN (" + defecto +
                                                     "); no se le añade nada");
            }
        }
        m_temporal = comun::RaizTemporal(m_destino);
        m_fd = ::open(m_temporal.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd < 0) Falla("crear un fichero temporal junto a", m_destino);
        if (existe) {
            // The owner is kept where the system allows it (root, or the owner itself).
            [[maybe_unused]] const int propietario = ::fchown(m_fd, st.st_uid, st.st_gid);
            Copia(m_destino);
        }
    } catch (...) {
        Abandona();
        throw;
    }
}

AnexoBin::~AnexoBin() {
    if (!m_confirmado) Abandona();
}

void AnexoBin::Abandona() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporal.empty()) ::unlink(m_temporal.c_str());
    m_temporal.clear();
}

void AnexoBin::Copia(const std::string& origen) {
    const int fd = ::open(origen.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Falla("abrir", origen);
    struct Cierra {
        int fd;
        ~Cierra() { ::close(fd); }
    } cierra{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) Falla("leer", origen);
    // A copy that shares the blocks costs nothing where the file system can make one; it
    // takes the whole file, so only into an empty copy.
    if (m_posicion == 0 && ::ioctl(m_fd, FICLONE, fd) == 0) {
        m_posicion = st.st_size;
        return;
    }
    // Explicit offsets: the pending elements are written at m_posicion, not at the
    // descriptor's own offset.
    bool enNucleo = true;
    std::string tanda;
    loff_t desde = 0;
    for (;;) {
        ssize_t n = -1;
        if (enNucleo) {
            loff_t hacia = m_posicion;
            n = ::copy_file_range(fd, &desde, m_fd, &hacia, size_t(1) << 30, 0);
            if (n < 0 &&
                (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP) &&
                desde == 0) {
                enNucleo = false;
                continue;
            }
        } else {
            if (tanda.empty()) tanda.resize(kTandaEscritura);
            n = ::pread(fd, tanda.data(), tanda.size(), desde);
            if (n > 0) {
                EscribeTodo(m_fd, tanda.data(), size_t(n), m_posicion, m_destino);
                desde += n;
            }
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Falla("copiar", origen);
        if (n == 0) break;
        m_posicion += n;
    }
}

void AnexoBin::AnadeBin(const std::string& fichero, int64_t elementos) {
    if (m_fallido || m_confirmado || m_fd < 0) {
        throw DigiError(kLlamadaNoValida, m_destino + ": la escritura ya ha fallado o terminado");
    }
    if (!m_tanda.empty()) Vuelca();
    m_fallido = true;  // until the whole file is in
    const int64_t antes = m_posicion;
    Copia(fichero);
    m_anadidos += m_posicion - antes;
    m_elementos += elementos;
    m_primero = m_elementos;
    m_fallido = false;
}

void AnexoBin::Anade(tipo_entidad& el) {
    if (m_fallido || m_confirmado || m_fd < 0) {
        throw DigiError(kLlamadaNoValida, m_destino + ": la escritura ya ha fallado o terminado");
    }
    const int64_t i = ++m_elementos;
    if (m_tanda.capacity() < kCapacidadTanda) m_tanda.reserve(kCapacidadTanda);
    const size_t antes = m_tanda.size();
    try {
        // A negative count is an overflow of the field, whatever the properties say.
        if (el.elemento.cabecera.npuntos < 0) {
            throw DigiError(kDesbordamiento, "desbordamiento: npuntos " +
                                                 std::to_string(el.elemento.cabecera.npuntos) +
                                                 " no cabe en una cuenta de 0 a 32767");
        }
        FicheroDigi().AdaptaPropiedad(el);
        CalculaRango(el);
        const std::string& tipo = el.elemento.cabecera.tipo;
        if (tipo == "C=" || tipo == "T=") CodificaElemento(el.elemento, m_tanda);
    } catch (const DigiError& e) {
        m_tanda.resize(antes);
        throw DigiError(e.numero(), EnElemento(e, m_destino, i - m_primero, el));
    }
    if (m_tanda.size() >= kTandaEscritura) Vuelca();
}

void AnexoBin::Vuelve(const Marca& marca) {
    if (m_fallido || m_confirmado || m_fd < 0) {
        throw DigiError(kLlamadaNoValida, m_destino + ": la escritura ya ha fallado o terminado");
    }
    if (marca.bytes < 0 || marca.bytes > Estado().bytes || marca.elementos > m_elementos)
        throw DigiError(kLlamadaNoValida, m_destino + ": marca de escritura no válida");
    if (marca.bytes >= m_anadidos) {
        m_tanda.resize(size_t(marca.bytes - m_anadidos));
    } else {
        // Already in the copy: the next bytes go over them, and the copy is cut at the end.
        m_posicion -= m_anadidos - marca.bytes;
        m_anadidos = marca.bytes;
        m_tanda.clear();
        m_recorta = true;
    }
    m_elementos = marca.elementos;
}

void AnexoBin::Vuelca() {
    try {
        EscribeTodo(m_fd, m_tanda.data(), m_tanda.size(), m_posicion, m_destino);
    } catch (...) {
        m_fallido = true;
        throw;
    }
    m_posicion += int64_t(m_tanda.size());
    m_anadidos += int64_t(m_tanda.size());
    m_tanda.clear();
}

void AnexoBin::Confirma() {
    if (m_fallido || m_confirmado || m_fd < 0) {
        throw DigiError(kLlamadaNoValida, m_destino + ": la escritura ya ha fallado o terminado");
    }
    m_fallido = true;  // until the rename is done
    if (!m_tanda.empty()) Vuelca();
    if (m_recorta && ::ftruncate(m_fd, m_posicion) != 0) Falla("escribir", m_destino);
    if (m_sincroniza && ::fsync(m_fd) != 0) Falla("guardar en el disco", m_destino);
    const int r = ::close(m_fd);
    m_fd = -1;
    if (r != 0) Falla("cerrar", m_destino);
    ComoDigi([&] {
        comun::CopiaPermisos(m_temporal, m_destino);
        if (::rename(m_temporal.c_str(), m_destino.c_str()) != 0) Falla("reemplazar", m_destino);
    });
    m_temporal.clear();
    m_confirmado = true;
    m_fallido = false;
    // The rename itself is safe from here; flushing the folder makes it outlast a power cut.
    if (!m_sincroniza) return;
    try {
        comun::Sincroniza(comun::Carpeta(m_destino));
    } catch (const parvenza::Error&) {
    }
}

std::string DefectoBin(const std::string& ruta, bool entero) {
    FicheroBin f(ruta, true);
    const int64_t largo = f.Longitud();
    if (largo == 0) return {};
    if (largo < kCabecera) {
        return "byte 1: " + std::to_string(largo) + " bytes, menos que la cabecera de un elemento";
    }
    int64_t p = 1;
    do {
        const std::string en = "byte " + std::to_string(p) + ": ";
        if (p - 1 + kBloque > largo) return en + "elemento cortado por el final del fichero";
        tipo_dat c;
        try {
            DecodificaCabecera(f.Lee(p, kBloque), c);
        } catch (const DigiError& e) {
            return en + e.what();
        }
        if (c.tipo[1] == '=' && c.tipo[0] != 'C' && c.tipo[0] != 'T')
            return en + "clase de elemento \"" + c.tipo + "\" desconocida";
        if (!entero) return {};
        const int64_t tamano = c.tipo[1] == '=' ? TamanoLeido(c) : TamanoSegunCabecera(c);
        if (p - 1 + tamano > largo) return en + "elemento cortado por el final del fichero";
        p += tamano;
    } while (p <= largo);
    return {};
}

}  // namespace brisquel
