#pragma once
// A full disk as a writer meets it, without privileges: the work runs in a child process whose
// files cannot grow past a limit (RLIMIT_FSIZE), so a write past it fails with EFBIG.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace parvenza::prueba {

/// Runs `trabajo` in a child whose files cannot grow past `limite` bytes. Returns the message
/// of the exception it threw, "" when it threw none.
inline std::string FallaConLimite(off_t limite, const std::function<void()>& trabajo) {
    int tubo[2];
    if (::pipe(tubo) != 0) return "sin tubería";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(tubo[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit r{rlim_t(limite), rlim_t(limite)};
        ::setrlimit(RLIMIT_FSIZE, &r);
        std::string m;
        try {
            trabajo();
        } catch (const std::exception& e) {
            m = std::string("error: ") + e.what();
        }
        (void)!::write(tubo[1], m.data(), m.size());
        ::_exit(0);
    }
    ::close(tubo[1]);
    std::string m;
    char b[512];
    for (ssize_t n; (n = ::read(tubo[0], b, sizeof b)) > 0;) m.append(b, size_t(n));
    ::close(tubo[0]);
    int estado = 0;
    ::waitpid(pid, &estado, 0);
    if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0) return "el hijo terminó mal";
    return m;
}

/// Every file of `carpeta` and below (hidden ones too) with its bytes, but those whose names
/// end in one of `salvo`.
inline std::map<std::string, std::string> Contenido(const std::filesystem::path& carpeta,
                                                    const std::vector<std::string>& salvo = {}) {
    std::map<std::string, std::string> c;
    for (const auto& f : std::filesystem::recursive_directory_iterator(carpeta)) {
        const std::string nombre = std::filesystem::relative(f.path(), carpeta).string();
        auto fuera = [&](const std::string& s) { return nombre.ends_with(s); };
        if (!f.is_regular_file() || std::any_of(salvo.begin(), salvo.end(), fuera)) continue;
        std::ifstream in(f.path(), std::ios::binary);
        c[nombre] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return c;
}

}  // namespace parvenza::prueba
