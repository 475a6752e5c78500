#include "converter/core/Hijos.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "comun/Error.h"
#include "comun/Reemplazo.h"

namespace parvenza {

namespace {

void EscribeTodo(int fd, const std::string& s) {
    size_t hecho = 0;
    while (hecho < s.size()) {
        const ssize_t n = ::write(fd, s.data() + hecho, s.size() - hecho);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        hecho += size_t(n);
    }
}

// Closes a child's report: what comes before it reached the parent whole.
constexpr char kFinInforme = '\x04';

struct Hijo {
    pid_t pid = -1;
    int fd = -1;
    size_t indice = 0;
    std::string informe;
};

void Recoge(pid_t pid, int& estado) {
    while (::waitpid(pid, &estado, 0) < 0 && errno == EINTR) {
    }
}

// Children left when the parent stops early (a failure, an exception): killed and reaped, so
// none goes on writing into a folder about to be removed. Those whose report is in are reaped
// as they end: tearing down a process takes a while that the next child need not wait for.
struct Activos {
    std::vector<Hijo> hijos;
    std::vector<pid_t> saliendo;
    void RecogeSalidos() {
        for (size_t k = saliendo.size(); k-- > 0;) {
            int estado;
            if (::waitpid(saliendo[k], &estado, WNOHANG) != 0)
                saliendo.erase(saliendo.begin() + std::ptrdiff_t(k));
        }
    }
    ~Activos() {
        for (Hijo& h : hijos) {
            ::kill(h.pid, SIGKILL);
            ::close(h.fd);
        }
        int estado;
        for (Hijo& h : hijos) Recoge(h.pid, estado);
        for (pid_t pid : saliendo) Recoge(pid, estado);
    }
};

[[noreturn]] void FallaProceso(const char* que) {
    const int e = errno;
    throw Error(kErrorEntradaSalida,
                std::string("no se puede ") + que + ": " + comun::RazonSistema(e));
}

}  // namespace

std::string FinHijo::Anomalia() const {
    if (WIFSIGNALED(estado))
        return std::string("terminó por la señal ") + ::strsignal(WTERMSIG(estado));
    if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0) return "terminó de forma anormal";
    return {};
}

bool EnHijos(size_t n, int trabajos, const std::function<std::string(size_t)>& hijo,
             const std::function<bool(FinHijo&&)>& fin) {
    trabajos = std::max(1, trabajos);
    Activos activos;
    size_t siguiente = 0;
    while (siguiente < n || !activos.hijos.empty()) {
        while (siguiente < n && int(activos.hijos.size()) < trabajos) {
            int tubo[2];
            if (::pipe2(tubo, O_CLOEXEC) != 0) FallaProceso("crear una tubería");
            const pid_t pid = ::fork();
            if (pid < 0) {
                const int e = errno;
                ::close(tubo[0]);
                ::close(tubo[1]);
                errno = e;
                FallaProceso("crear un proceso");
            }
            if (pid == 0) {
                ::close(tubo[0]);
                int estado = 0;
                try {
                    EscribeTodo(tubo[1], hijo(siguiente) + kFinInforme);
                } catch (...) {
                    estado = 1;
                }
                ::close(tubo[1]);
                // Straight out: the parent's buffers and exit handlers are not the child's.
                ::_exit(estado);
            }
            ::close(tubo[1]);
            activos.hijos.push_back({pid, tubo[0], siguiente++, {}});
        }
        activos.RecogeSalidos();
        std::vector<pollfd> fds;
        for (const Hijo& h : activos.hijos) fds.push_back({h.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            FallaProceso("esperar a los procesos");
        }
        for (size_t k = activos.hijos.size(); k-- > 0;) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Hijo& h = activos.hijos[k];
            char buffer[65536];
            const ssize_t leidos = ::read(h.fd, buffer, sizeof buffer);
            if (leidos > 0) {
                h.informe.append(buffer, size_t(leidos));
                continue;
            }
            if (leidos < 0 && errno == EINTR) continue;
            ::close(h.fd);
            FinHijo f{h.indice, std::move(h.informe), 0};
            if (!f.informe.empty() && f.informe.back() == kFinInforme) {
                f.informe.pop_back();
                activos.saliendo.push_back(h.pid);
            } else {
                // Cut short: how it ended says why.
                Recoge(h.pid, f.estado);
            }
            activos.hijos.erase(activos.hijos.begin() + std::ptrdiff_t(k));
            if (!fin(std::move(f))) return false;
        }
    }
    return true;
}

std::string Escapa(const std::string& s) {
    std::string r;
    r.reserve(s.size());
    for (char c : s) {
        if (c == '\\')
            r += "\\\\";
        else if (c == '\n')
            r += "\\n";
        else if (c == '\t')
            r += "\\t";
        else
            r += c;
    }
    return r;
}

std::string Desescapa(const std::string& s) {
    std::string r;
    r.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            r += s[i];
            continue;
        }
        const char c = s[++i];
        r += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return r;
}

std::vector<std::string> Campos(const std::string& resto) {
    std::vector<std::string> campos;
    for (size_t i = 0, t; i <= resto.size(); i = t + 1) {
        t = std::min(resto.find('\t', i), resto.size());
        campos.push_back(Desescapa(resto.substr(i, t - i)));
    }
    return campos;
}

std::string LineaOmision(const Omision& o) {
    std::string l = std::to_string(o.veces) + "\t" + Escapa(o.fichero) + "\t" + Escapa(o.clase);
    for (const std::string& c : o.casos) l += "\t" + Escapa(c);
    return l;
}

bool LeeOmision(const std::vector<std::string>& campos, Omision& o) {
    if (campos.size() < 3) return false;
    o = Omision{campos[1], campos[2], std::atoll(campos[0].c_str()), {}};
    o.casos.assign(campos.begin() + 3, campos.end());
    return true;
}

}  // namespace parvenza
