#pragma once
// Shared pieces of the fuzz targets: one scratch folder per process, files written from the
// fuzzer's bytes, and the guards that keep the documented "ends the program" states from
// being taken for findings (see README.md).

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "comun/Error.h"

namespace parvenza::fuzz {

/// The process's scratch folder, made on first use and removed at exit.
inline const std::string& Carpeta() {
    static const std::string carpeta = [] {
        const char* tmp = getenv("TMPDIR");
        std::string plantilla = std::string(tmp && *tmp ? tmp : "/tmp") + "/parvenza-fuzz-XXXXXX";
        if (!mkdtemp(plantilla.data())) {
            perror("mkdtemp");
            abort();
        }
        static std::string borrar;
        borrar = plantilla;
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(borrar, ec);
        });
        return plantilla;
    }();
    return carpeta;
}

/// Path of `nombre` inside the scratch folder.
inline std::string Ruta(const std::string& nombre) { return Carpeta() + "/" + nombre; }

/// Writes `n` bytes as the whole content of `ruta`.
inline void Escribe(const std::string& ruta, const void* datos, size_t n) {
    std::ofstream out(ruta, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(datos), static_cast<std::streamsize>(n));
    if (!out) {
        perror(ruta.c_str());
        abort();
    }
}

inline std::string Lee(const std::string& ruta) {
    std::ifstream in(ruta, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Removes every file of the scratch folder, so that no input sees another's leftovers.
inline void Vacia() {
    std::error_code ec;
    for (const auto& f : std::filesystem::directory_iterator(Carpeta(), ec))
        std::filesystem::remove_all(f.path(), ec);
}

/// A finding of the harness itself (a broken promise of the code under test).
[[noreturn]] inline void Hallazgo(const std::string& que) {
    fprintf(stderr, "\n*** finding: %s\n", que.c_str());
    abort();
}

/// Runs one input; a program-ending state escaping the code under test is a finding, since
/// every input is first cleared of the states that may end the program.
template <class F>
int Vigilado(F&& f) {
    try {
        f();
    } catch (const parvenza::FinDePrograma& e) {
        Hallazgo(std::string("a program-ending state: ") + e.what());
    }
    return 0;
}

/// Walks the element chain of a BIN image as the reader does (header, then the element's
/// size: 48 + 12 x (npuntos + natr), a text always with its insertion point) and turns every
/// corrupt kind on it ("=" second, first neither "C" nor "T") into "C". A corrupt kind is the
/// documented way to end the program; the harness keeps it out of the files it writes, so
/// that the library meeting one anyway is a finding. Stops where the reader must stop: at a
/// count whose high byte is 0x80 or more.
inline void QuitaClasesCorruptas(std::string& b) {
    uint64_t pos = 0;
    while (pos < b.size()) {
        unsigned char h[12] = {};
        for (int i = 0; i < 12 && pos + i < b.size(); ++i)
            h[i] = static_cast<unsigned char>(b[pos + i]);
        if (h[11] >= 0x80) return;
        if (h[1] == '=' && h[0] != 'C' && h[0] != 'T') {
            b[pos] = 'C';
            h[0] = 'C';
        }
        const int64_t npuntos = h[10] + 256 * h[11];
        const int64_t natr = h[9];
        int64_t cuerpo = npuntos;
        if (h[1] == '=' && h[0] == 'T') cuerpo = 1 + (npuntos > 1 ? npuntos - 1 : 0);
        pos += 48 + 12 * (cuerpo + natr);
    }
}

}  // namespace parvenza::fuzz
