#include "converter/core/Hijos.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "comun/Error.h"
#include "comun/Reemplazo.h"
#include "converter/core/CapasShape.h"

namespace parvenza {

namespace {

// A worker: a process that takes tasks one after another, so what a process sets up once
// (its heap above all, which a fresh process faults in page by page) serves many.
struct Hijo {
    pid_t pid = -1;
    int informes = -1;  // reports, each its length then its text
    int pedidos = -1;   // task numbers; closed when there are no more
    bool ocupado = false;
    size_t indice = 0;  // the task under way
    std::string leido;
};

void Recoge(pid_t pid, int& estado) {
    while (::waitpid(pid, &estado, 0) < 0 && errno == EINTR) {
    }
}

void Cierra(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Workers left when the parent stops early (a failure, an exception) are killed and reaped, so
// none goes on writing into a folder about to be removed. Those sent away are reaped as they
// end: tearing down a process takes a while that nobody need wait for.
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
            Cierra(h.informes);
            Cierra(h.pedidos);
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

// A report's frame: its length, and whether the worker takes another task.
struct Marco {
    uint64_t largo = 0;
    uint64_t sigue = 0;
};

[[noreturn]] void Trabaja(int pedidos, int informes, const Tarea& hijo) {
    uint64_t i;
    int estado = 0;
    while (comun::LeeTodo(pedidos, &i, sizeof i)) {
        std::string informe;
        bool sigue = true;
        try {
            informe = hijo(size_t(i), sigue);
        } catch (...) {
            estado = 1;
            break;
        }
        const Marco m{informe.size(), sigue};
        if (comun::EscribeTodo(informes, &m, sizeof m) != 0 ||
            comun::EscribeTodo(informes, informe.data(), informe.size()) != 0 || !sigue)
            break;
    }
    // Straight out: the parent's buffers and exit handlers are not the worker's.
    ::_exit(estado);
}

}  // namespace

std::string FinHijo::Anomalia() const {
    if (WIFSIGNALED(estado))
        return std::string("terminó por la señal ") + ::strsignal(WTERMSIG(estado));
    if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0) return "terminó de forma anormal";
    return {};
}

bool EnHijos(size_t n, int trabajos, const Tarea& hijo, const std::function<bool(FinHijo&&)>& fin) {
    trabajos = int(std::min<size_t>(size_t(std::max(1, trabajos)), n));
    Activos activos;
    size_t siguiente = 0;
    // The next task to worker `h`, or its leave when there is none.
    auto encarga = [&](Hijo& h) {
        if (siguiente >= n) {
            Cierra(h.pedidos);
            return;
        }
        const uint64_t i = siguiente;
        // A socket, so that a worker already gone costs an error here rather than SIGPIPE.
        if (::send(h.pedidos, &i, sizeof i, MSG_NOSIGNAL) != ssize_t(sizeof i)) {
            Cierra(h.pedidos);  // it has ended: its report pipe says how
            return;
        }
        h.ocupado = true;
        h.indice = siguiente++;
    };
    while (siguiente < n || !activos.hijos.empty()) {
        while (siguiente < n && int(activos.hijos.size()) < trabajos) {
            int informes[2], pedidos[2];
            if (::pipe2(informes, O_CLOEXEC) != 0) FallaProceso("crear una tubería");
            if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pedidos) != 0) {
                const int e = errno;
                ::close(informes[0]);
                ::close(informes[1]);
                errno = e;
                FallaProceso("crear una tubería");
            }
            EsperaLiberaciones();  // a child would inherit that thread's state, not the thread
            const pid_t pid = ::fork();
            if (pid < 0) {
                const int e = errno;
                for (int fd : {informes[0], informes[1], pedidos[0], pedidos[1]}) ::close(fd);
                errno = e;
                FallaProceso("crear un proceso");
            }
            if (pid == 0) {
                // The other workers' pipes: held here, they would never see their end.
                for (Hijo& h : activos.hijos) {
                    Cierra(h.informes);
                    Cierra(h.pedidos);
                }
                ::close(informes[0]);
                ::close(pedidos[1]);
                Trabaja(pedidos[0], informes[1], hijo);
            }
            ::close(informes[1]);
            ::close(pedidos[0]);
            activos.hijos.push_back({pid, informes[0], pedidos[1], false, 0, {}});
            encarga(activos.hijos.back());
        }
        activos.RecogeSalidos();
        std::vector<pollfd> fds;
        for (const Hijo& h : activos.hijos) fds.push_back({h.informes, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            FallaProceso("esperar a los procesos");
        }
        for (size_t k = activos.hijos.size(); k-- > 0;) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Hijo& h = activos.hijos[k];
            char buffer[65536];
            const ssize_t leidos = ::read(h.informes, buffer, sizeof buffer);
            if (leidos < 0 && errno == EINTR) continue;
            if (leidos > 0) {
                h.leido.append(buffer, size_t(leidos));
                Marco m;
                while (h.ocupado && h.leido.size() >= sizeof m) {
                    std::memcpy(&m, h.leido.data(), sizeof m);
                    if (h.leido.size() - sizeof m < m.largo) break;
                    FinHijo f{h.indice, h.leido.substr(sizeof m, m.largo), 0};
                    h.leido.erase(0, sizeof m + m.largo);
                    h.ocupado = false;
                    if (!fin(std::move(f))) return false;
                    if (m.sigue)
                        encarga(h);
                    else
                        Cierra(h.pedidos);
                }
                continue;
            }
            // The worker has ended: sent away, or cut short in a task (how it ended says why).
            Cierra(h.informes);
            Cierra(h.pedidos);
            if (h.ocupado) {
                FinHijo f{h.indice, {}, 0};
                Recoge(h.pid, f.estado);
                activos.hijos.erase(activos.hijos.begin() + std::ptrdiff_t(k));
                if (!fin(std::move(f))) return false;
            } else {
                activos.saliendo.push_back(h.pid);
                activos.hijos.erase(activos.hijos.begin() + std::ptrdiff_t(k));
            }
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
