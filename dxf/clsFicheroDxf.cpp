#include "dxf/clsFicheroDxf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "dxf/GeometriaDxf.h"
#include "dxf/Mensajes.h"
#include "dxf/NumerosFichero.h"

namespace dornavel {

namespace {

// The entities leeDxf reads.
bool SeLee(const std::string& nombre) {
    static const char* const kNombres[] = {"LINE",   "POLYLINE", "LWPOLYLINE", "ARC",
                                           "CIRCLE", "TEXT",     "MTEXT",      "POINT"};
    return std::any_of(std::begin(kNombres), std::end(kNombres),
                       [&](const char* n) { return nombre == n; });
}

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
    if (!m_lector)
        throw DxfError(kLlamadaNoValida, "clsFicheroDxf: no hay ningun fichero DXF abierto");
}

void clsFicheroDxf::Lee() {
    Requiere();
    m_lector->Siguiente(m_par);
    m_grupo = GrupoDxf(m_par[0]);
}

ParDxf clsFicheroDxf::ReadCodes() {
    Lee();
    return m_par;
}

std::string clsFicheroDxf::Donde() const {
    return m_fichero + ", linea " + std::to_string(m_lector->Linea() + 1);
}

double clsFicheroDxf::Real(const char* que) const {
    std::string_view t = SinBlancosVista(m_par[1]);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    double v = 0.0;
    auto [fin, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || fin != t.data() + t.size() || !std::isfinite(v))
        throw DxfError(kTipoNoCoincide, m_fichero + ", linea " +
                                            std::to_string(m_lector->Linea() + 1) + ": \"" +
                                            m_par[1] + "\" no es un numero (" + que + ")");
    return v;
}

int64_t clsFicheroDxf::Entero(const char* que) const {
    const std::string_view t = SinBlancosVista(m_par[1]);
    int64_t v = 0;
    const char* inicio = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
    auto [fin, ec] = std::from_chars(inicio, t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || fin != t.data() + t.size())
        throw DxfError(kTipoNoCoincide, m_fichero + ", linea " +
                                            std::to_string(m_lector->Linea() + 1) + ": \"" +
                                            m_par[1] + "\" no es un numero entero (" + que + ")");
    return v;
}

uint8_t clsFicheroDxf::Byte(const char* que) const {
    const double v = std::nearbyint(Real(que));
    if (v < 0 || v > 255)
        throw DxfError(kDesbordamiento, m_fichero + ", linea " +
                                            std::to_string(m_lector->Linea() + 1) + ": el valor " +
                                            m_par[1] + " no cabe en un byte (" + que + ")");
    return static_cast<uint8_t>(v);
}

void clsFicheroDxf::AbreFicheroDxf(const std::string& fichero, int32_t& nfich) {
    if (m_in)
        throw DxfError(kFicheroYaAbierto, "clsFicheroDxf: ya hay un fichero abierto (" + m_fichero +
                                              ") al abrir " + fichero);
    std::error_code ec;
    if (std::filesystem::is_directory(fichero, ec))
        throw DxfError(kFicheroNoEncontrado,
                       "No se encuentra el fichero " + fichero + " (es una carpeta)");
    auto in = std::make_unique<std::ifstream>(fichero, std::ios::binary);
    if (!*in) throw DxfError(kFicheroNoEncontrado, "No se encuentra el fichero " + fichero);
    const int32_t numero = TomaNumeroFichero();
    m_in = std::move(in);
    m_fichero = fichero;
    m_nfich = numero;
    // A binary DXF starts with its sentinel; its pairs are not lines of text.
    char inicio[18] = {};
    m_in->read(inicio, sizeof inicio);
    m_binario =
        std::string(inicio, static_cast<std::size_t>(m_in->gcount())) == "AutoCAD Binary DXF";
    m_in->clear();
    m_in->seekg(0);
    m_lector = std::make_unique<LectorPares>(*m_in, fichero);
    m_par = {};
    m_grupo = -1;
    nfich = numero;
}

void clsFicheroDxf::CierraFicheroDxf(const std::string& /*fichero*/, int32_t nfich) {
    if (!m_in || nfich != m_nfich) return;
    m_lector.reset();
    m_in.reset();
    LiberaNumeroFichero(m_nfich);
    m_nfich = 0;
}

void clsFicheroDxf::CargaFicheroDxf(const std::string& fichero,
                                    std::vector<tipo_ElementoDxf>& ElementosDxf, int32_t nfich) {
    std::size_t n = 0;
    RecorreFicheroDxf(
        fichero,
        [&](tipo_ElementoDxf& elemento) {
            ++n;
            ElementosDxf.resize(n - 1);
            ElementosDxf.push_back(std::move(elemento));
        },
        nfich);
}

void clsFicheroDxf::RecorreFicheroDxf(const std::string& /*fichero*/,
                                      const std::function<void(tipo_ElementoDxf&)>& recibe,
                                      int32_t /*nfich*/) {
    Requiere();
    if (m_binario)
        throw DxfError(kTipoNoCoincide,
                       m_fichero +
                           ": es un fichero DXF binario; solo se leen ficheros DXF de texto "
                           "(guardelo como DXF ASCII)");
    m_resumen = {};
    m_texto.Origen("", "");
    tipo_ElementoDxf elemento;
    Lee();
    while (true) {
        // Only a group 0 pair ends the file or starts a section: a layer or a text may
        // well be called "EOF".
        if (Es0("EOF")) return;
        if (Es0("SECTION")) {
            Lee();
            if (m_par[1] == "HEADER") {
                LeeCabecera();
                continue;
            }
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
                if (!SeLee(nombre)) {
                    // An entity the reader does not convert: up to the next entity.
                    ++m_resumen.TiposOmitidos[nombre];
                    do {
                        Lee();
                    } while (Grupo() != 0);
                    continue;
                }
                leeDxf(nombre, elemento);
                // Empty for a mesh, counted by leeDxf.
                if (!elemento.Tipo.empty()) recibe(elemento);
                if (Es0("SEQEND")) Lee();
            }
            continue;
        }
        Lee();
    }
}

void clsFicheroDxf::LeeCabecera() {
    std::string variable, version, pagina;
    for (Lee(); !(Grupo() == 0 && (m_par[1] == "ENDSEC" || m_par[1] == "EOF")); Lee()) {
        if (Grupo() == 9) variable = SinBlancos(m_par[1]);
        if (Grupo() == 1 && variable == "$ACADVER") version = SinBlancos(m_par[1]);
        if (Grupo() == 3 && variable == "$DWGCODEPAGE") pagina = SinBlancos(m_par[1]);
    }
    m_texto.Origen(version, pagina);
}

// Groups every converted entity may carry: the layer and the extrusion direction.
struct clsFicheroDxf::Comunes {
    std::string* capa = nullptr;
    GCoord extrusion{0, 0, 1};
};

bool clsFicheroDxf::Comun(Comunes& c) {
    switch (Grupo()) {
        case 8:
            *c.capa = m_texto.Decodifica(m_par[1], ClaseTextoDxf::Nombre);
            return true;
        case 210:
            c.extrusion.X = Real("210");
            return true;
        case 220:
            c.extrusion.Y = Real("220");
            return true;
        case 230:
            c.extrusion.Z = Real("230");
            return true;
        default:
            return false;
    }
}

void clsFicheroDxf::leeDxf(const std::string& TipoDxf, tipo_ElementoDxf& ElementoDxf) {
    ElementoDxf = tipo_ElementoDxf{};
    if (TipoDxf == "LINE")
        LeeLine(ElementoDxf);
    else if (TipoDxf == "POLYLINE")
        LeePolyline(ElementoDxf);
    else if (TipoDxf == "LWPOLYLINE")
        LeeLwPolyline(ElementoDxf);
    else if (TipoDxf == "ARC")
        LeeArco(ElementoDxf, false);
    else if (TipoDxf == "CIRCLE")
        LeeArco(ElementoDxf, true);
    else if (TipoDxf == "TEXT")
        LeeText(ElementoDxf);
    else if (TipoDxf == "MTEXT")
        LeeMText(ElementoDxf);
    else if (TipoDxf == "POINT")
        LeePoint(ElementoDxf);
}

void clsFicheroDxf::LeeLine(tipo_ElementoDxf& e) {
    e.Tipo = "LINE";
    auto& l = e.Line;
    Comunes c{&l.G8_capa};
    // LINE is in world coordinates whatever its extrusion.
    for (Lee(); Grupo() != 0; Lee()) {
        switch (Grupo()) {
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
                if (!Comun(c)) Omite();
        }
    }
}

namespace {

struct VerticeBulge {
    VERTEX_dxf v;
    double bulge = 0;
};

// The vertices of a polyline with its bulges resolved into arc points and object coordinates
// into world ones. A closed polyline's last bulge bends the closing segment.
void Resuelve(const std::vector<VerticeBulge>& entrada, bool cerrada, const EjesOcs& ejes,
              std::vector<VERTEX_dxf>& salida) {
    salida.clear();
    salida.reserve(entrada.size());
    std::vector<GCoord> arco;
    for (std::size_t i = 0; i < entrada.size(); ++i) {
        salida.push_back(entrada[i].v);
        const bool ultimo = i + 1 == entrada.size();
        if (entrada[i].bulge == 0 || (ultimo && !cerrada)) continue;
        arco.clear();
        PuntosBulge(entrada[i].v.G10_Coord, entrada[ultimo ? 0 : i + 1].v.G10_Coord,
                    entrada[i].bulge, arco);
        for (const GCoord& p : arco) salida.push_back({entrada[i].v.G8_capa, p});
    }
    if (!ejes.Mundo())
        for (auto& v : salida) v.G10_Coord = ejes.AMundo(v.G10_Coord);
}

}  // namespace

void clsFicheroDxf::LeePolyline(tipo_ElementoDxf& e) {
    e.Tipo = "POLYLINE";
    auto& p = e.Polyline;
    Comunes c{&p.G8_capa};
    int64_t banderas = 0;
    double elevacion = 0;
    std::vector<VerticeBulge> vertices;
    Lee();
    while (!(Grupo() == 0 && m_par[1] != "VERTEX")) {
        if (Grupo() == 0) {
            VerticeBulge v;
            v.v.G10_Coord.Z = elevacion;
            int64_t tipoVertice = 0;
            for (Lee(); Grupo() != 0; Lee()) {
                switch (Grupo()) {
                    case 8:
                        v.v.G8_capa = m_texto.Decodifica(m_par[1], ClaseTextoDxf::Nombre);
                        break;
                    case 10:
                        v.v.G10_Coord.X = Real("VERTEX 10");
                        break;
                    case 20:
                        v.v.G10_Coord.Y = Real("VERTEX 20");
                        break;
                    case 30:
                        v.v.G10_Coord.Z = Real("VERTEX 30");
                        break;
                    case 42:
                        v.bulge = Real("VERTEX 42");
                        break;
                    case 70:
                        tipoVertice = Entero("VERTEX 70");
                        break;
                    default:
                        if (!(banderas & 80)) Omite();
                }
            }
            // Spline frame points are not on the curve; face records of a mesh are no points.
            if (!(tipoVertice & 16) && !(tipoVertice & 128 && !(tipoVertice & 64)))
                vertices.push_back(std::move(v));
            continue;  // the group 0 pair is examined without reading
        }
        switch (Grupo()) {
            case 66:
            case 10:
            case 20:
                break;  // the polyline's own point
            case 30:
                elevacion = Real("POLYLINE 30");
                break;
            case 70:
                // Closure is the lowest bit of the flags: AutoCAD writes "     1", and 9
                // for a closed 3D polyline.
                banderas = Entero("POLYLINE 70");
                p.G70_Cerrada = (banderas & 1) ? "1" : "0";
                break;
            default:
                if (!Comun(c)) Omite();
        }
        Lee();
    }
    if (banderas & 80) {
        // Polyface (64) and polygon (16) meshes are surfaces, not lines.
        ++m_resumen.TiposOmitidos[banderas & 64 ? "POLYFACE_MESH" : "POLYGON_MESH"];
        e = tipo_ElementoDxf{};
        return;
    }
    if (vertices.empty()) return;  // the reset vertex stays
    // A 3D polyline (8) is in world coordinates; a 2D one in its object's.
    Resuelve(vertices, banderas & 1, EjesOcs(banderas & 8 ? GCoord{0, 0, 1} : c.extrusion),
             p.Gvertices);
}

void clsFicheroDxf::LeeLwPolyline(tipo_ElementoDxf& e) {
    e.Tipo = "POLYLINE";
    auto& p = e.Polyline;
    Comunes c{&p.G8_capa};
    int64_t banderas = 0;
    double elevacion = 0;
    std::vector<VerticeBulge> vertices;
    for (Lee(); Grupo() != 0; Lee()) {
        switch (Grupo()) {
            case 10:
                vertices.emplace_back();
                vertices.back().v.G10_Coord.X = Real("LWPOLYLINE 10");
                break;
            case 20:
                if (vertices.empty())
                    throw DxfError(kTipoNoCoincide, Donde() + ": grupo 20 sin grupo 10");
                vertices.back().v.G10_Coord.Y = Real("LWPOLYLINE 20");
                break;
            case 42:
                if (vertices.empty())
                    throw DxfError(kTipoNoCoincide, Donde() + ": grupo 42 sin grupo 10");
                vertices.back().bulge = Real("LWPOLYLINE 42");
                break;
            case 38:
                elevacion = Real("LWPOLYLINE 38");
                break;
            case 70:
                banderas = Entero("LWPOLYLINE 70");
                p.G70_Cerrada = (banderas & 1) ? "1" : "0";
                break;
            case 90:
                vertices.reserve(static_cast<std::size_t>(
                    std::clamp<int64_t>(Entero("LWPOLYLINE 90"), 0, 1 << 16)));
                break;
            default:
                if (!Comun(c)) Omite();
        }
    }
    if (vertices.empty()) return;
    for (auto& v : vertices) {
        v.v.G8_capa = p.G8_capa;
        v.v.G10_Coord.Z = elevacion;
    }
    Resuelve(vertices, banderas & 1, EjesOcs(c.extrusion), p.Gvertices);
}

void clsFicheroDxf::LeeArco(tipo_ElementoDxf& e, bool circulo) {
    e.Tipo = "POLYLINE";
    auto& p = e.Polyline;
    Comunes c{&p.G8_capa};
    GCoord centro;
    double radio = 0, inicio = 0, fin = 360;
    const char* que = circulo ? "CIRCLE" : "ARC";
    for (Lee(); Grupo() != 0; Lee()) {
        switch (Grupo()) {
            case 10:
                centro.X = Real(que);
                break;
            case 20:
                centro.Y = Real(que);
                break;
            case 30:
                centro.Z = Real(que);
                break;
            case 40:
                radio = Real(que);
                break;
            case 50:
                if (circulo)
                    Omite();
                else
                    inicio = Real(que);
                break;
            case 51:
                if (circulo)
                    Omite();
                else
                    fin = Real(que);
                break;
            default:
                if (!Comun(c)) Omite();
        }
    }
    p.G70_Cerrada = circulo ? "1" : "0";
    std::vector<GCoord> puntos;
    if (circulo)
        PuntosArco(centro, radio, 0, 360, puntos);
    else
        PuntosArco(centro, radio, inicio, fin, puntos);
    const EjesOcs ejes(c.extrusion);
    p.Gvertices.clear();
    p.Gvertices.reserve(puntos.size());
    for (const GCoord& q : puntos) p.Gvertices.push_back({p.G8_capa, ejes.AMundo(q)});
}

void clsFicheroDxf::LeeText(tipo_ElementoDxf& e) {
    e.Tipo = "TEXT";
    auto& t = e.Text;
    Comunes c{&t.G8_capa};
    bool alineacion = false;
    for (Lee(); Grupo() != 0; Lee()) {
        switch (Grupo()) {
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
                t.G1_texto = m_texto.Decodifica(m_par[1], ClaseTextoDxf::Texto);
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
                if (!Comun(c)) Omite();
        }
    }
    // Left-aligned texts, the most common, stand at their insertion point: a group 11 there
    // means nothing. Aligned (3) and fitted (5) texts run from there to the group 11 point.
    const uint8_t h = t.G40_caract.G72_justH;
    if (!alineacion || (h == 0 && t.G40_caract.G73_justV == 0) || h == 3 || h == 5)
        t.G11_Coord = t.G10_Coord;
    const EjesOcs ejes(c.extrusion);
    if (!ejes.Mundo()) {
        t.G10_Coord = ejes.AMundo(t.G10_Coord);
        t.G11_Coord = ejes.AMundo(t.G11_Coord);
        t.G40_caract.G50_rotac = ejes.AnguloMundo(t.G40_caract.G50_rotac);
    }
}

void clsFicheroDxf::LeeMText(tipo_ElementoDxf& e) {
    e.Tipo = "TEXT";
    auto& t = e.Text;
    Comunes c{&t.G8_capa};
    std::string texto;
    int64_t adjunto = 1;
    GCoord direccion;
    bool hayDireccion = false;
    for (Lee(); Grupo() != 0; Lee()) {
        switch (Grupo()) {
            case 10:
                t.G10_Coord.X = Real("MTEXT 10");
                break;
            case 20:
                t.G10_Coord.Y = Real("MTEXT 20");
                break;
            case 30:
                t.G10_Coord.Z = Real("MTEXT 30");
                break;
            case 1:
            case 3:
                // Long texts come in pieces of group 3 before the last one, group 1.
                texto += m_par[1];
                break;
            case 40:
                t.G40_caract.G40_ancho = Real("MTEXT 40");
                break;
            case 50:
                t.G40_caract.G50_rotac = Real("MTEXT 50");
                break;
            case 71:
                adjunto = Entero("MTEXT 71");
                break;
            case 11:
                direccion.X = Real("MTEXT 11");
                hayDireccion = true;
                break;
            case 21:
                direccion.Y = Real("MTEXT 21");
                hayDireccion = true;
                break;
            case 31:
                direccion.Z = Real("MTEXT 31");
                break;
            default:
                if (!Comun(c)) Omite();
        }
    }
    t.G1_texto = m_texto.Decodifica(texto, ClaseTextoDxf::MText);
    // Attachment 1 to 9: top, middle, bottom rows of left, centre, right.
    if (adjunto >= 1 && adjunto <= 9) {
        t.G40_caract.G72_justH = static_cast<uint8_t>((adjunto - 1) % 3);
        t.G40_caract.G73_justV = static_cast<uint8_t>(3 - (adjunto - 1) / 3);
    }
    // The insertion point is the attachment point, in world coordinates.
    t.G11_Coord = t.G10_Coord;
    if (hayDireccion && (direccion.X != 0 || direccion.Y != 0)) {
        double r = std::atan2(direccion.Y, direccion.X) * 180 / std::numbers::pi;
        t.G40_caract.G50_rotac = r < 0 ? r + 360 : r;
    } else {
        t.G40_caract.G50_rotac = EjesOcs(c.extrusion).AnguloMundo(t.G40_caract.G50_rotac);
    }
}

void clsFicheroDxf::LeePoint(tipo_ElementoDxf& e) {
    e.Tipo = "POINT";
    auto& p = e.Point;
    Comunes c{&p.G8_capa};
    // POINT is in world coordinates whatever its extrusion.
    for (Lee(); Grupo() != 0; Lee()) {
        switch (Grupo()) {
            case 10:
                p.G10_Coord.X = Real("POINT 10");
                break;
            case 20:
                p.G10_Coord.Y = Real("POINT 20");
                break;
            case 30:
                p.G10_Coord.Z = Real("POINT 30");
                break;
            default:
                if (!Comun(c)) Omite();
        }
    }
}

void clsFicheroDxf::CargoFicheroBinDxfTab(const std::string& ficheroBinDxfTab,
                                          std::vector<BinDxfTab>& tabla, bool& ErrorFormato) {
    ErrorFormato = false;
    std::error_code ec;
    if (std::filesystem::is_directory(ficheroBinDxfTab, ec))
        throw DxfError(kFicheroNoEncontrado,
                       "No se encuentra el fichero " + ficheroBinDxfTab + " (es una carpeta)");
    std::ifstream in(ficheroBinDxfTab, std::ios::binary);
    if (!in) throw DxfError(kFicheroNoEncontrado, "No se encuentra el fichero " + ficheroBinDxfTab);
    std::string linea;
    if (!LeeLineaTexto(in, linea))
        throw DxfError(kLecturaTrasFin, ficheroBinDxfTab + ": el fichero esta vacio");
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
