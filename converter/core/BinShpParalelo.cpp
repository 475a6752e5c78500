#include "converter/core/BinShpParalelo.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <sstream>
#include <stdexcept>

namespace parvenza {

namespace {

// A child reports its sheet as lines "KIND\tFIELDS...", tabs and line breaks of texts escaped.
std::string Escapa(const std::string& s) {
    std::string r;
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

/// The child's port: what the run would show, kept for the parent.
class PuertoHijo : public Puerto {
  public:
    std::vector<std::string> avisos;
    void Proceso(const std::string&) override {}
    void Progreso(double) override {}
    void Mensaje(const std::string& texto, bool, const std::string&) override {
        avisos.push_back(texto);
    }
    bool PideFichero(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    void Ocupado(bool) override {}
};

void EscribeTodo(int fd, const std::string& s) {
    size_t hecho = 0;
    while (hecho < s.size()) {
        const ssize_t n = ::write(fd, s.data() + hecho, s.size() - hecho);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        hecho += size_t(n);
    }
}

[[noreturn]] void ConvierteEnHijo(const OpcionesBinShp& base, const std::string& fichero, int fd) {
    std::ostringstream out;
    int estado = 0;
    PuertoHijo puerto;
    try {
        OpcionesBinShp o = base;
        o.ficheros = {fichero};
        const ResultadoBinShp r = ProcesarBinShp(o, puerto);
        out << "R\t" << (r.ejecutado ? 1 : 0) << "\n";
        for (const CapaEscrita& c : r.capas)
            out << "C\t" << c.tipo << "\t" << c.registros << "\t" << Escapa(c.ruta) << "\n";
        for (const std::string& a : r.capasAnteriores) out << "A\t" << Escapa(a) << "\n";
        out << "F\t" << r.ficherosConvertidos << "\n";
        for (const Omision& m : r.omisiones) {
            out << "O\t" << m.veces << "\t" << Escapa(m.fichero) << "\t" << Escapa(m.clase);
            for (const std::string& c : m.casos) out << "\t" << Escapa(c);
            out << "\n";
        }
    } catch (const std::exception& e) {
        out << "E\t" << Escapa(e.what()) << "\n";
        estado = 1;
    }
    for (const std::string& m : puerto.avisos) out << "M\t" << Escapa(m) << "\n";
    EscribeTodo(fd, out.str());
    ::close(fd);
    // Straight out: the parent's buffers and exit handlers are not the child's to run.
    ::_exit(estado);
}

void LeeInforme(const std::string& texto, HojaParalela& hoja) {
    std::istringstream in(texto);
    std::string linea;
    bool informado = false;
    while (std::getline(in, linea)) {
        const size_t tab = linea.find('\t');
        if (tab == std::string::npos) continue;
        const std::string clase = linea.substr(0, tab), resto = linea.substr(tab + 1);
        if (clase == "R") {
            hoja.resultado.ejecutado = resto == "1";
            informado = true;
        } else if (clase == "C") {
            std::istringstream campos(resto);
            CapaEscrita c;
            std::string ruta;
            campos >> c.tipo >> c.registros;
            campos.ignore(1);
            std::getline(campos, ruta);
            c.ruta = Desescapa(ruta);
            hoja.resultado.capas.push_back(c);
        } else if (clase == "A") {
            hoja.resultado.capasAnteriores.push_back(Desescapa(resto));
        } else if (clase == "F") {
            hoja.resultado.ficherosConvertidos = std::atoi(resto.c_str());
        } else if (clase == "O") {
            std::vector<std::string> campos;
            for (size_t i = 0, t; i <= resto.size(); i = t + 1) {
                t = std::min(resto.find('\t', i), resto.size());
                campos.push_back(Desescapa(resto.substr(i, t - i)));
            }
            if (campos.size() < 3) continue;
            Omision o{campos[1], campos[2], std::atoll(campos[0].c_str()), {}};
            o.casos.assign(campos.begin() + 3, campos.end());
            hoja.resultado.omisiones.Suma(o);
        } else if (clase == "M") {
            hoja.avisos.push_back(Desescapa(resto));
        } else if (clase == "E") {
            hoja.error = Desescapa(resto);
            informado = true;
        }
    }
    if (!informado && hoja.error.empty())
        hoja.error = "la conversión de esta hoja terminó de forma anormal";
}

struct Hijo {
    pid_t pid = -1;
    int fd = -1;
    size_t indice = 0;
    std::string informe;
};

}  // namespace

std::vector<HojaParalela> ProcesarBinShpEnParalelo(const OpcionesBinShp& opciones, int trabajos,
                                                   Puerto& puerto) {
    if (opciones.anexar || opciones.catastro)
        throw std::invalid_argument("append and cadastre runs write one set: they run serially");
    std::vector<HojaParalela> hojas(opciones.ficheros.size());
    for (size_t i = 0; i < hojas.size(); ++i) hojas[i].fichero = opciones.ficheros[i];
    trabajos = std::max(1, trabajos);
    std::vector<Hijo> activos;
    size_t siguiente = 0, hechas = 0;
    puerto.Ocupado(true);
    while (siguiente < hojas.size() || !activos.empty()) {
        while (siguiente < hojas.size() && int(activos.size()) < trabajos) {
            int tubo[2];
            if (::pipe2(tubo, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
            const pid_t pid = ::fork();
            if (pid < 0) {
                ::close(tubo[0]);
                ::close(tubo[1]);
                throw std::runtime_error("fork");
            }
            if (pid == 0) {
                ::close(tubo[0]);
                ConvierteEnHijo(opciones, hojas[siguiente].fichero, tubo[1]);
            }
            ::close(tubo[1]);
            activos.push_back({pid, tubo[0], siguiente++, {}});
        }
        std::vector<pollfd> fds;
        for (const Hijo& h : activos) fds.push_back({h.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            throw std::runtime_error("poll");
        for (size_t k = activos.size(); k-- > 0;) {
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            Hijo& h = activos[k];
            char buffer[65536];
            const ssize_t n = ::read(h.fd, buffer, sizeof buffer);
            if (n > 0) {
                h.informe.append(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            ::close(h.fd);
            int estado = 0;
            ::waitpid(h.pid, &estado, 0);
            HojaParalela& hoja = hojas[h.indice];
            LeeInforme(h.informe, hoja);
            if (WIFSIGNALED(estado) && hoja.error.empty())
                hoja.error = std::string("la conversión de esta hoja terminó por la señal ") +
                             ::strsignal(WTERMSIG(estado));
            activos.erase(activos.begin() + k);
            puerto.Avance(int(++hechas), int(hojas.size()), 1, 0);
        }
    }
    puerto.Ocupado(false);
    return hojas;
}

}  // namespace parvenza
