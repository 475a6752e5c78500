#pragma once
// Files written so that a failed or killed run never costs data. Every output is built under a
// temporary name in its destination folder and renamed into place only when complete, so
// another program sees the old file or the new one, never a mix; a lock keeps two runs off the
// same output; the temporaries of a killed run are recognised and removed by the next run in
// that folder. Header-only: every library may use it without linking another.
//
// Temporary names: ".NAME.parvenza-PID-RANDOM[.EXT]" beside NAME; lock files:
// ".NAME.parvenza-cerrojo", present only while a run holds them.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "comun/Error.h"

namespace parvenza::comun {

/// Writes all of `n` bytes, at `pos` or, when `pos` is negative, where the file stands.
/// 0, or the system's error (ENOSPC for a write that makes no progress).
inline int EscribeTodo(int fd, const void* datos, size_t n, int64_t pos = -1) {
    const char* p = static_cast<const char*>(datos);
    while (n > 0) {
        const ssize_t w = pos < 0 ? ::write(fd, p, n) : ::pwrite(fd, p, n, off_t(pos));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return w < 0 ? errno : ENOSPC;
        p += w;
        n -= size_t(w);
        if (pos >= 0) pos += w;
    }
    return 0;
}

/// Reads exactly `n` bytes; false at the end of the file or pipe, or on an error.
inline bool LeeTodo(int fd, void* datos, size_t n) {
    char* p = static_cast<char*>(datos);
    while (n > 0) {
        const ssize_t r = ::read(fd, p, n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
    }
    return true;
}

/// The system's reason for `e` (an errno value), in Spanish for the usual ones.
inline std::string RazonSistema(int e) {
    switch (e) {
        case ENOSPC:
            return "no queda espacio en el disco";
        case EDQUOT:
            return "se ha superado la cuota de disco";
        case EFBIG:
            return "el fichero supera el tamaño máximo permitido";
        case EACCES:
        case EPERM:
            return "permiso denegado";
        case EROFS:
            return "el sistema de ficheros es de solo lectura";
        case ENOENT:
            return "no existe el fichero o la carpeta";
        case ENOTDIR:
            return "una parte de la ruta no es una carpeta";
        case EISDIR:
            return "es una carpeta";
        case EIO:
            return "error de entrada/salida del dispositivo";
        case EMFILE:
        case ENFILE:
            return "demasiados ficheros abiertos";
        case ENAMETOOLONG:
            return "el nombre es demasiado largo";
        case EBUSY:
            return "el fichero está en uso";
        default:
            return std::strerror(e);
    }
}

/// The error number that fits a system failure.
inline int NumeroDeErrno(int e) {
    switch (e) {
        case ENOENT:
            return kFicheroNoEncontrado;
        case ENOTDIR:
        case ENAMETOOLONG:
            return kErrorDeRuta;
        case EACCES:
        case EPERM:
        case EROFS:
            return kPermisoDenegado;
        case EMFILE:
        case ENFILE:
            return kDemasiadosFicheros;
        case EISDIR:
        case EBUSY:
            return kErrorAccesoRuta;
        default:
            return kErrorEntradaSalida;
    }
}

/// Throws the error of a failed system call on `ruta`: "no se puede ACCION RUTA: RAZON".
[[noreturn]] inline void FalloSistema(const std::string& accion, const std::string& ruta,
                                      int e = errno) {
    throw Error(NumeroDeErrno(e), "no se puede " + accion + " " + ruta + ": " + RazonSistema(e));
}

inline std::string Carpeta(const std::string& ruta) {
    const size_t barra = ruta.find_last_of('/');
    if (barra == std::string::npos) return ".";
    return barra == 0 ? "/" : ruta.substr(0, barra);
}

inline std::string NombreEnRuta(const std::string& ruta) {
    const size_t barra = ruta.find_last_of('/');
    return barra == std::string::npos ? ruta : ruta.substr(barra + 1);
}

inline constexpr const char* kMarcaTemporal = ".parvenza-";

/// A fresh temporary stem beside `destino` (a path, with or without extension):
/// "CARPETA/.NOMBRE.parvenza-PID-RANDOM". Nothing is created.
inline std::string RaizTemporal(const std::string& destino) {
    static thread_local std::mt19937_64 azar{std::random_device{}()};
    const std::string carpeta = Carpeta(destino);
    return (carpeta == "/" ? "" : carpeta) + "/." + NombreEnRuta(destino) + kMarcaTemporal +
           std::to_string(::getpid()) + "-" + std::to_string(azar() % 1000000000);
}

/// Flushes `ruta` (a file or a folder) to the disk.
inline void Sincroniza(const std::string& ruta) {
    const int fd = ::open(ruta.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) FalloSistema("abrir", ruta);
    const int r = ::fsync(fd);
    const int e = errno;
    ::close(fd);
    // Some file systems refuse fsync on folders; the rename itself is still atomic there.
    if (r != 0 && e != EINVAL && e != EROFS) FalloSistema("guardar en el disco", ruta, e);
}

/// Gives `temporal` the permissions of `destino` when that exists, else the usual ones of a new
/// file (0666 less the umask), so a replaced file keeps its permissions.
inline void CopiaPermisos(const std::string& temporal, const std::string& destino) {
    struct stat st;
    mode_t modo;
    if (::stat(destino.c_str(), &st) == 0) {
        modo = st.st_mode & 07777;
    } else {
        const mode_t mascara = ::umask(0);
        ::umask(mascara);
        modo = 0666 & ~mascara;
    }
    if (::chmod(temporal.c_str(), modo) != 0) FalloSistema("dar permisos a", temporal);
}

/// Puts the complete file `temporal` in the place of `destino`: flushed, with the permissions
/// of the file it replaces, renamed (atomic in one folder). Throws naming `destino`.
inline void Reemplaza(const std::string& temporal, const std::string& destino) {
    CopiaPermisos(temporal, destino);
    Sincroniza(temporal);
    if (::rename(temporal.c_str(), destino.c_str()) != 0) FalloSistema("reemplazar", destino);
}

/// Removes a file or an empty folder, ignoring one that is already gone.
inline void Borra(const std::string& ruta) {
    if (::unlink(ruta.c_str()) != 0 && errno == EISDIR) ::rmdir(ruta.c_str());
}

/// Removes a folder and everything below it (a killed run's temporary folder).
inline void BorraArbol(const std::string& ruta) {
    if (DIR* d = ::opendir(ruta.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..") continue;
            const std::string hijo = ruta + "/" + n;
            struct stat st;
            if (::lstat(hijo.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                BorraArbol(hijo);
            } else {
                ::unlink(hijo.c_str());
            }
        }
        ::closedir(d);
    }
    ::rmdir(ruta.c_str());
}

/// The PID in a temporary name of this scheme, 0 when `nombre` is not one.
inline pid_t PidDeTemporal(const std::string& nombre) {
    if (nombre.empty() || nombre[0] != '.') return 0;
    const size_t marca = nombre.rfind(kMarcaTemporal);
    if (marca == std::string::npos) return 0;
    const char* p = nombre.c_str() + marca + std::strlen(kMarcaTemporal);
    char* fin = nullptr;
    const long pid = std::strtol(p, &fin, 10);
    if (fin == p || *fin != '-' || pid <= 0) return 0;
    return static_cast<pid_t>(pid);
}

/// Removes from `carpeta` the temporary files and folders of runs that are no longer alive
/// (killed, or ended by a power cut). Returns how many it removed. Failures are ignored: a
/// leftover is untidy, never harmful.
inline int LimpiaTemporales(const std::string& carpeta) {
    std::vector<std::string> muertos;
    if (DIR* d = ::opendir(carpeta.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            const pid_t pid = PidDeTemporal(n);
            if (pid == 0 || pid == ::getpid()) continue;
            if (::kill(pid, 0) == 0 || errno == EPERM) continue;  // still running
            muertos.push_back(carpeta + "/" + n);
        }
        ::closedir(d);
    }
    for (const std::string& m : muertos) {
        struct stat st;
        if (::lstat(m.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            BorraArbol(m);
        } else {
            ::unlink(m.c_str());
        }
    }
    return static_cast<int>(muertos.size());
}

/// A file under construction: created under a temporary name beside `destino`, put in its place
/// by Confirma(), removed by the destructor when not confirmed.
class FicheroNuevo {
  public:
    explicit FicheroNuevo(std::string destino, const std::string& extension = "")
        : m_destino(std::move(destino)), m_temporal(RaizTemporal(m_destino) + extension) {
        m_fd = ::open(m_temporal.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd < 0) FalloSistema("crear un fichero temporal junto a", m_destino);
    }
    ~FicheroNuevo() {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_confirmado) ::unlink(m_temporal.c_str());
    }
    FicheroNuevo(const FicheroNuevo&) = delete;
    FicheroNuevo& operator=(const FicheroNuevo&) = delete;

    int Descriptor() const { return m_fd; }
    const std::string& Temporal() const { return m_temporal; }
    const std::string& Destino() const { return m_destino; }

    /// Writes all of `n` bytes at the end of what was written; throws naming the destination.
    void Escribe(const void* datos, size_t n) {
        if (const int e = EscribeTodo(m_fd, datos, n)) FalloSistema("escribir", m_destino, e);
    }

    /// Closes the file (checked) and renames it over the destination.
    void Confirma() {
        if (::fsync(m_fd) != 0) FalloSistema("guardar en el disco", m_destino);
        const int r = ::close(m_fd);
        m_fd = -1;
        if (r != 0) FalloSistema("cerrar", m_destino);
        Reemplaza(m_temporal, m_destino);
        m_confirmado = true;
    }

  private:
    std::string m_destino;
    std::string m_temporal;
    int m_fd = -1;
    bool m_confirmado = false;
};

/// An exclusive lock on an output: two runs never write the same file at once. The lock lives
/// in a sibling file, since the output itself is replaced by a rename while the lock is held.
/// Waits up to `esperaSegundos` for another run to finish, then throws naming the file.
class Cerrojo {
  public:
    explicit Cerrojo(const std::string& destino, int esperaSegundos = 30)
        : m_ruta(Carpeta(destino) + "/." + NombreEnRuta(destino) + ".parvenza-cerrojo") {
        const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(esperaSegundos);
        for (;;) {
            m_fd = ::open(m_ruta.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
            if (m_fd < 0) FalloSistema("bloquear", destino);
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                // The holder before us may have removed the lock file on release: then this
                // descriptor locks a file nobody else sees, so take the new one.
                struct stat abierto, enRuta;
                if (::fstat(m_fd, &abierto) == 0 && ::stat(m_ruta.c_str(), &enRuta) == 0 &&
                    abierto.st_dev == enRuta.st_dev && abierto.st_ino == enRuta.st_ino) {
                    return;
                }
            } else if (errno != EWOULDBLOCK && errno != EINTR) {
                const int e = errno;
                ::close(m_fd);
                FalloSistema("bloquear", destino, e);
            } else if (std::chrono::steady_clock::now() >= limite) {
                ::close(m_fd);
                m_fd = -1;
                throw Error(kErrorAccesoRuta,
                            destino + ": otro proceso está escribiendo en este fichero");
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~Cerrojo() {
        if (m_fd < 0) return;
        ::unlink(m_ruta.c_str());
        ::close(m_fd);
    }
    Cerrojo(const Cerrojo&) = delete;
    Cerrojo& operator=(const Cerrojo&) = delete;

  private:
    std::string m_ruta;
    int m_fd = -1;
};

}  // namespace parvenza::comun
