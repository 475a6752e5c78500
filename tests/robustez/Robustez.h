#pragma once
// Helpers of the bad-input tests: a fresh folder per test and BIN bytes written by hand.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "comun/Error.h"

namespace parvenza::robustez {

/// A folder of its own for the running test, removed afterwards.
class CarpetaTemporal {
  public:
    CarpetaTemporal() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_ruta =
            std::filesystem::temp_directory_path() / ("prueba-" + std::to_string(::getpid()) + "-" +
                                                      info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(m_ruta);
        std::filesystem::create_directories(m_ruta);
    }
    ~CarpetaTemporal() { std::filesystem::remove_all(m_ruta); }
    std::string operator/(const std::string& nombre) const { return (m_ruta / nombre).string(); }
    std::string Ruta() const { return m_ruta.string() + "/"; }
    const std::filesystem::path& ruta() const { return m_ruta; }

  private:
    std::filesystem::path m_ruta;
};

/// The same folder as a fixture.
class Carpeta : public ::testing::Test {
  protected:
    std::string Ruta(const std::string& nombre) const { return m_carpeta / nombre; }
    CarpetaTemporal m_carpeta;
    const std::filesystem::path& m_dir = m_carpeta.ruta();
};

/// Makes `ruta` unwritable even for root (immutable), or writable again. False when the
/// file system cannot.
inline bool SoloLectura(const std::string& ruta, bool si) {
    if (::geteuid() != 0) return ::chmod(ruta.c_str(), si ? 0444 : 0644) == 0;
    const int fd = ::open(ruta.c_str(), O_RDONLY);
    int banderas = 0;
    bool hecho = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &banderas) == 0;
    banderas = si ? banderas | FS_IMMUTABLE_FL : banderas & ~FS_IMMUTABLE_FL;
    hecho = hecho && ::ioctl(fd, FS_IOC_SETFLAGS, &banderas) == 0;
    if (fd >= 0) ::close(fd);
    return hecho;
}

/// The id of a process that has ended, as the temporaries of a killed run carry it.
inline pid_t PidMuerto() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

/// Names in `carpeta` that runs leave while they work (copies, locks): none once all ended.
inline std::vector<std::string> Restos(const std::filesystem::path& carpeta) {
    std::vector<std::string> v;
    for (const auto& e : std::filesystem::directory_iterator(carpeta))
        if (e.path().filename().string().find(".parvenza-") != std::string::npos)
            v.push_back(e.path().filename());
    return v;
}

/// The error number a call raises (0 when none), its message in `mensaje`.
inline int Falla(const std::function<void()>& f, std::string* mensaje = nullptr) try {
    return f(), 0;
} catch (const parvenza::Error& e) {
    if (mensaje) *mensaje = e.what();
    return e.numero();
}
/// "number message" of the error a call raises, "none" when it raises none.
inline std::string ErrorDe(const std::function<void()>& f) {
    std::string mensaje;
    const int numero = Falla(f, &mensaje);
    return numero ? std::to_string(numero) + " " + mensaje : "none";
}
inline void Escribe(const std::string& ruta, const std::string& bytes) {
    std::ofstream(ruta, std::ios::binary | std::ios::trunc) << bytes;
}
inline std::string Lee(const std::string& ruta) {
    std::ostringstream s;
    s << std::ifstream(ruta, std::ios::binary).rdbuf();
    return s.str();
}
/// Overwrites `bytes` at `desde` in an existing file.
inline void Parchea(const std::string& ruta, std::streamoff desde, const std::string& bytes) {
    std::fstream f(ruta, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(desde).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
/// `n` bytes of `v`, little-endian, or big-endian when `n` is negative.
inline std::string Bytes(uint32_t v, int n) {
    std::string b;
    for (int i = 0; i < std::abs(n); ++i) b += char(v >> 8 * (n < 0 ? -n - 1 - i : i) & 0xFF);
    return b;
}
inline std::string LE32(int64_t v) {
    const auto u = static_cast<uint32_t>(v);
    return {char(u & 0xFF), char(u >> 8 & 0xFF), char(u >> 16 & 0xFF), char(u >> 24 & 0xFF)};
}
/// Header block: kind, code NUL-padded to 7, natr, npuntos low byte then high byte.
inline std::string Cabecera(const std::string& tipo, std::string codigo, int natr, int npuntos) {
    codigo.resize(7, '\0');
    return tipo + codigo + char(natr) + char(npuntos % 256) + char(npuntos / 256);
}
/// A whole "C=" element of `n` points (x = 10 i, y = 20 i, z = i) and `natr` attributes.
inline std::string Linea(const std::string& codigo, int n, int natr = 0) {
    std::string b = Cabecera("C=", codigo, natr, n) + std::string(36, '\0');
    for (int i = 0; i < n; ++i) b += LE32(10 * i) + LE32(20 * i) + LE32(i);
    for (int j = 0; j < natr; ++j)
        b += std::string("\x01\x00", 2) + LE32(j + 1) + std::string("RES\0\0\0", 6);
    return b;
}
/// A "T=" element: insertion point and the text in NUL-padded blocks of 12.
inline std::string Texto(const std::string& codigo, std::string texto) {
    texto.resize((texto.size() / 12 + 1) * 12, '\0');
    return Cabecera("T=", codigo, 0, int(texto.size() / 12) + 1) + std::string(36, '\0') + LE32(5) +
           LE32(6) + LE32(0) + texto;
}
/// The same element marked deleted.
inline std::string Borrado(std::string elemento) { return elemento.replace(0, 2, "**"); }

}  // namespace parvenza::robustez
