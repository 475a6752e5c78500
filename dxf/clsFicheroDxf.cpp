#include "dxf/clsFicheroDxf.h"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "dxf/Mensajes.h"
#include "dxf/NumerosFichero.h"

namespace dornavel {

namespace {

bool EsSeparador(unsigned char c) {
    return c == 9 || c == 20 || c == 32 || c == 34 || c == 44 || c == 59;
}

std::string SinEspacios(const std::string& s) {
    const auto inicio = s.find_first_not_of(' ');
    if (inicio == std::string::npos) return {};
    return s.substr(inicio, s.find_last_not_of(' ') - inicio + 1);
}

}  // namespace

clsFicheroDxf::clsFicheroDxf() = default;

clsFicheroDxf::~clsFicheroDxf() {
    if (m_in) LiberaNumeroFichero(m_nfich);
}

void clsFicheroDxf::Requiere() const {
    if (!m_lector) throw DxfError(5, "clsFicheroDxf: no hay ningun fichero DXF abierto");
}

void clsFicheroDxf::Lee() {
    Requiere();
    m_par = m_lector->Siguiente();
}

ParDxf clsFicheroDxf::ReadCodes() {
    Lee();
    return m_par;
}

double clsFicheroDxf::Real(const char* que) const {
    std::string t = SinBlancos(m_par[1]);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    double v = 0.0;
    auto [fin, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || fin != t.data() + t.size() || !std::isfinite(v))
        throw DxfError(13, m_fichero + ", linea " + std::to_string(m_lector->Linea() + 1) + ": \"" +
                               m_par[1] + "\" no es un numero (" + que + ")");
    return v;
}

int64_t clsFicheroDxf::Entero(const char* que) const {
    const std::string t = SinBlancos(m_par[1]);
    int64_t v = 0;
    const char* inicio = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
    auto [fin, ec] = std::from_chars(inicio, t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || fin != t.data() + t.size())
        throw DxfError(13, m_fichero + ", linea " + std::to_string(m_lector->Linea() + 1) + ": \"" +
                               m_par[1] + "\" no es un numero entero (" + que + ")");
    return v;
}

uint8_t clsFicheroDxf::Byte(const char* que) const {
    const double v = std::nearbyint(Real(que));
    if (v < 0 || v > 255)
        throw DxfError(6, m_fichero + ", linea " + std::to_string(m_lector->Linea() + 1) +
                              ": el valor " + m_par[1] + " no cabe en un byte (" + que + ")");
    return static_cast<uint8_t>(v);
}

void clsFicheroDxf::AbreFicheroDxf(const std::string& fichero, int32_t& nfich) {
    if (m_in)
        throw DxfError(
            55, "clsFicheroDxf: ya hay un fichero abierto (" + m_fichero + ") al abrir " + fichero);
    std::error_code ec;
    if (std::filesystem::is_directory(fichero, ec))
        throw DxfError(53, "No se encuentra el fichero " + fichero + " (es una carpeta)");
    auto in = std::make_unique<std::ifstream>(fichero, std::ios::binary);
    if (!*in) throw DxfError(53, "No se encuentra el fichero " + fichero);
    const int32_t numero = TomaNumeroFichero();
    m_in = std::move(in);
    m_fichero = fichero;
    m_nfich = numero;
    m_lector = std::make_unique<LectorPares>(*m_in, fichero);
    m_par = {};
    nfich = numero;
}

void clsFicheroDxf::CierraFicheroDxf(const std::string& /*fichero*/, int32_t nfich) {
    if (!m_in || nfich != m_nfich) return;
    m_lector.reset();
    m_in.reset();
    LiberaNumeroFichero(m_nfich);
    m_nfich = 0;
}

void clsFicheroDxf::CargaFicheroDxf(const std::string& /*fichero*/,
                                    std::vector<tipo_ElementoDxf>& ElementosDxf,
                                    int32_t /*nfich*/) {
    Requiere();
    m_resumen = {};
    std::size_t n = 0;
    Lee();
    while (true) {
        // Only a group 0 pair ends the file or starts a section: a layer or a text may
        // well be called "EOF".
        if (Es0("EOF")) return;
        if (Es0("SECTION")) {
            Lee();
            if (m_par[1] != "ENTITIES") continue;  // examine this pair in turn
            Lee();
            while (!(Grupo() == 0 && (m_par[1] == "ENDSEC" || m_par[1] == "EOF"))) {
                if (Grupo() != 0) {
                    // Pairs after a SEQEND (its handle, its layer), or stray ones.
                    Omite();
                    Lee();
                    continue;
                }
                const std::string nombre = m_par[1];
                if (nombre == "LINE" || nombre == "POLYLINE" || nombre == "TEXT") {
                    tipo_ElementoDxf elemento;
                    leeDxf(nombre, elemento);
                    ++n;
                    ElementosDxf.resize(n - 1);
                    ElementosDxf.push_back(std::move(elemento));
                    if (Es0("SEQEND")) Lee();
                } else {
                    // An entity the reader does not convert: up to the next entity.
                    ++m_resumen.TiposOmitidos[nombre];
                    do {
                        Lee();
                    } while (Grupo() != 0);
                }
            }
            continue;
        }
        Lee();
    }
}

void clsFicheroDxf::leeDxf(const std::string& TipoDxf, tipo_ElementoDxf& ElementoDxf) {
    ElementoDxf = tipo_ElementoDxf{};
    if (TipoDxf == "LINE") {
        ElementoDxf.Tipo = "LINE";
        auto& l = ElementoDxf.Line;
        for (Lee(); Grupo() != 0; Lee()) {
            switch (Grupo()) {
                case 8:
                    l.G8_capa = m_par[1];
                    break;
                case 10:
                    l.G10_Coord.X = Real("LINE 10");
                    break;
                case 20:
                    l.G10_Coord.Y = Real("LINE 20");
                    break;
                case 30:
                    l.G10_Coord.Z = Real("LINE 30");
                    break;
                case 11:
                    l.G11_Coord.X = Real("LINE 11");
                    break;
                case 21:
                    l.G11_Coord.Y = Real("LINE 21");
                    break;
                case 31:
                    l.G11_Coord.Z = Real("LINE 31");
                    break;
                default:
                    Omite();
            }
        }
    } else if (TipoDxf == "POLYLINE") {
        ElementoDxf.Tipo = "POLYLINE";
        auto& p = ElementoDxf.Polyline;
        std::size_t k = 0;
        Lee();
        while (!(Grupo() == 0 && m_par[1] != "VERTEX")) {
            if (Grupo() == 0) {
                ++k;
                if (p.Gvertices.size() < k) p.Gvertices.resize(k);
                auto& v = p.Gvertices[k - 1];
                for (Lee(); Grupo() != 0; Lee()) {
                    switch (Grupo()) {
                        case 8:
                            v.G8_capa = m_par[1];
                            break;
                        case 10:
                            v.G10_Coord.X = Real("VERTEX 10");
                            break;
                        case 20:
                            v.G10_Coord.Y = Real("VERTEX 20");
                            break;
                        case 30:
                            v.G10_Coord.Z = Real("VERTEX 30");
                            break;
                        default:
                            Omite();
                    }
                }
                continue;  // the group 0 pair is examined without reading
            }
            switch (Grupo()) {
                case 8:
                    p.G8_capa = m_par[1];
                    break;
                case 66:
                case 10:
                case 20:
                case 30:
                    break;  // the polyline's own point
                case 70:
                    // Closure is the lowest bit of the flags: AutoCAD writes "     1", and 9
                    // for a closed 3D polyline.
                    p.G70_Cerrada = (Entero("POLYLINE 70") & 1) ? "1" : "0";
                    break;
                default:
                    Omite();
            }
            Lee();
        }
    } else if (TipoDxf == "TEXT") {
        ElementoDxf.Tipo = "TEXT";
        auto& t = ElementoDxf.Text;
        bool alineacion = false;
        for (Lee(); Grupo() != 0; Lee()) {
            switch (Grupo()) {
                case 8:
                    t.G8_capa = m_par[1];
                    break;
                case 10:
                    t.G10_Coord.X = Real("TEXT 10");
                    break;
                case 20:
                    t.G10_Coord.Y = Real("TEXT 20");
                    break;
                case 30:
                    t.G10_Coord.Z = Real("TEXT 30");
                    break;
                case 1:
                    t.G1_texto = m_par[1];
                    break;
                case 40:
                    t.G40_caract.G40_ancho = Real("TEXT 40");
                    break;
                case 41:
                    t.G40_caract.G41_alto = Real("TEXT 41");
                    break;
                case 72:
                    t.G40_caract.G72_justH = Byte("TEXT 72");
                    break;
                case 73:
                    t.G40_caract.G73_justV = Byte("TEXT 73");
                    break;
                case 11:
                    t.G11_Coord.X = Real("TEXT 11");
                    alineacion = true;
                    break;
                case 21:
                    t.G11_Coord.Y = Real("TEXT 21");
                    alineacion = true;
                    break;
                case 31:
                    t.G11_Coord.Z = Real("TEXT 31");
                    alineacion = true;
                    break;
                case 50:
                    t.G40_caract.G50_rotac = Real("TEXT 50");
                    break;
                default:
                    Omite();
            }
        }
        // Left-aligned texts, the most common, carry no alignment point: the insertion
        // point is where they stand.
        if (!alineacion) t.G11_Coord = t.G10_Coord;
    }
}

void clsFicheroDxf::CargoFicheroBinDxfTab(const std::string& ficheroBinDxfTab,
                                          std::vector<BinDxfTab>& tabla, bool& ErrorFormato) {
    ErrorFormato = false;
    std::error_code ec;
    if (std::filesystem::is_directory(ficheroBinDxfTab, ec))
        throw DxfError(53, "No se encuentra el fichero " + ficheroBinDxfTab + " (es una carpeta)");
    std::ifstream in(ficheroBinDxfTab, std::ios::binary);
    if (!in) throw DxfError(53, "No se encuentra el fichero " + ficheroBinDxfTab);
    std::string linea;
    if (!LeeLineaTexto(in, linea)) throw DxfError(62, ficheroBinDxfTab + ": el fichero esta vacio");
    std::size_t n = 0;
    std::vector<std::string> palabras;
    do {
        const std::string t = SinEspacios(linea);
        if (t.empty() || t[0] == '/') continue;
        ++n;
        tabla.resize(n - 1);
        tabla.emplace_back();
        leeLinea(linea, palabras);
        if (palabras.size() < 7) {
            ErrorFormato = true;
            MuestraMensaje("Error en formato de fichero : " + ficheroBinDxfTab +
                           " en la l\xC3\xAD"
                           "nea : " +
                           std::to_string(n));
            return;
        }
        auto& e = tabla.back();
        e.codigobin = palabras[0];
        e.capa = palabras[1];
        e.Tipo = palabras[2];
        e.color = palabras[3];
        e.estilo = palabras[4];
        e.tamTexto = palabras[5];
        e.descripcion = palabras[6];
    } while (LeeLineaTexto(in, linea));
}

bool clsFicheroDxf::BuscaEnBinDxfTab(const std::string& codigobin, const std::string& capadxf,
                                     const std::vector<BinDxfTab>& tabla, BinDxfTab& info) {
    info.capa.clear();
    info.Tipo.clear();
    for (const auto& e : tabla) {
        if (e.codigobin == codigobin || e.capa == capadxf) {
            info = e;
            return true;
        }
    }
    return false;
}

void clsFicheroDxf::leeLinea(const std::string& tira, std::vector<std::string>& palabras) {
    palabras.assign(1, std::string());
    for (char c : tira) {
        if (EsSeparador(static_cast<unsigned char>(c))) {
            if (!palabras.back().empty()) palabras.emplace_back();
        } else {
            palabras.back().push_back(c);
        }
    }
}

}  // namespace dornavel
