#include "dxf/Pares.h"

#include <charconv>

#include "dxf/DxfError.h"

namespace dornavel {

bool LeeLineaTexto(std::istream& in, std::string& linea) {
    linea.clear();
    std::streambuf* sb = in.rdbuf();
    bool algo = false;
    while (true) {
        const int c = sb->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return algo;
        }
        algo = true;
        if (c == '\n') return true;
        if (c == '\r') {
            if (sb->sgetc() == '\n') sb->sbumpc();
            return true;
        }
        linea.push_back(static_cast<char>(c));
    }
}

std::string_view SinBlancosVista(std::string_view s) {
    auto blanco = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blanco(s.front())) s.remove_prefix(1);
    while (!s.empty() && blanco(s.back())) s.remove_suffix(1);
    return s;
}

std::string SinBlancos(const std::string& s) { return std::string(SinBlancosVista(s)); }

int GrupoDxf(const std::string& codigo) {
    const std::string_view t = SinBlancosVista(codigo);
    int n = -1;
    auto [fin, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
    if (t.empty() || ec != std::errc() || fin != t.data() + t.size() || n < 0) return -1;
    return n;
}

bool LectorPares::Rellena() {
    if (m_bloque.empty()) m_bloque.resize(1 << 16);
    m_inicio = 0;
    const std::streamsize n =
        m_in.rdbuf()->sgetn(m_bloque.data(), std::streamsize(m_bloque.size()));
    m_fin = n > 0 ? std::size_t(n) : 0;
    if (m_fin == 0) m_in.setstate(std::ios::eofbit);
    return m_fin > 0;
}

bool LectorPares::Linea(std::string& linea) {
    linea.clear();
    bool algo = false;
    for (;;) {
        if (m_inicio == m_fin && !Rellena()) return algo;
        algo = true;
        const char* p = m_bloque.data() + m_inicio;
        const char* fin = m_bloque.data() + m_fin;
        const char* q = p;
        while (q != fin && *q != '\n' && *q != '\r') ++q;
        linea.append(p, q);
        m_inicio += std::size_t(q - p);
        if (q == fin) continue;
        const bool cr = *q == '\r';  // the block may be refilled below
        ++m_inicio;
        if (cr && (m_inicio < m_fin || Rellena()) && m_bloque[m_inicio] == '\n') ++m_inicio;
        return true;
    }
}

void LectorPares::Siguiente(ParDxf& par) {
    for (auto& linea : par) {
        if (!Linea(linea))
            throw DxfError(kLecturaTrasFin, m_fichero +
                                                ": fin de fichero inesperado tras la linea " +
                                                std::to_string(m_lineas) + " (falta el par 0/EOF)");
        ++m_lineas;
    }
    m_lineaCodigo = m_lineas - 1;
}

ParDxf LectorPares::Siguiente() {
    ParDxf par;
    Siguiente(par);
    return par;
}

}  // namespace dornavel
