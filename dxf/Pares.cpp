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

std::string SinBlancos(const std::string& s) {
    const auto inicio = s.find_first_not_of(" \t");
    if (inicio == std::string::npos) return {};
    return s.substr(inicio, s.find_last_not_of(" \t") - inicio + 1);
}

int GrupoDxf(const std::string& codigo) {
    const std::string t = SinBlancos(codigo);
    int n = -1;
    auto [fin, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
    if (t.empty() || ec != std::errc() || fin != t.data() + t.size() || n < 0) return -1;
    return n;
}

ParDxf LectorPares::Siguiente() {
    ParDxf par;
    for (auto& linea : par) {
        if (!LeeLineaTexto(m_in, linea))
            throw DxfError(kLecturaTrasFin, m_fichero +
                                                ": fin de fichero inesperado tras la linea " +
                                                std::to_string(m_lineas) + " (falta el par 0/EOF)");
        ++m_lineas;
    }
    m_lineaCodigo = m_lineas - 1;
    return par;
}

}  // namespace dornavel
