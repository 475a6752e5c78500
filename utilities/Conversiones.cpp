// Digi and DXF elements into entities of the entity model, styled from the code table and
// palette.
#include <charconv>
#include <cmath>
#include <limits>

#include "digi/DigiError.h"
#include "digi/FicheroDigi.h"
#include "dxf/DxfError.h"
#include "dxf/clsFicheroDxf.h"
#include "entity/EntidadError.h"
#include "utilities/Comunes.h"
#include "utilities/Utilidades.h"

namespace fenoquia {

namespace {

// A table column as an integer: blanks around it allowed, a decimal rounded halves to even.
int32_t ComoEntero(const std::string& texto, const std::string& que) {
    const auto inicio = texto.find_first_not_of(' ');
    std::string t = inicio == std::string::npos
                        ? std::string()
                        : texto.substr(inicio, texto.find_last_not_of(' ') - inicio + 1);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    double v = 0;
    auto [fin, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || fin != t.data() + t.size() || !std::isfinite(v))
        throw UtilidadesError(kTipoNoCoincide, que + ": \"" + texto + "\" no es un numero");
    const double r = std::nearbyint(v);
    if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())
        throw UtilidadesError(kDesbordamiento, que + ": " + texto + " no cabe en 32 bits");
    return static_cast<int32_t>(r);
}

int32_t ColorDePaleta(const brisquel::Paleta& pal, int32_t indice) {
    if (indice < 1 || static_cast<std::size_t>(indice) > pal.size())
        throw UtilidadesError(kSubindice, "BuscaEnDigiTab: el color " + std::to_string(indice) +
                                              " no esta en la paleta (tiene " +
                                              std::to_string(pal.size()) + " colores)");
    return pal[indice - 1][3];
}

// A DXF coordinate, height or angle in hundredths, halves to even.
int32_t Escala(double v, const char* que) {
    const double r = std::nearbyint(v * 100.0);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
        throw UtilidadesError(kDesbordamiento,
                              std::string("ConvierteDxfOrmanto: desbordamiento al escalar ") + que);
    return static_cast<int32_t>(r);
}

std::shared_ptr<lumeral::Punto3D> PuntoDxf(const dornavel::GCoord& c) {
    return std::make_shared<lumeral::Punto3D>(Escala(c.X, "X"), Escala(c.Y, "Y"), Escala(c.Z, "Z"));
}

// The fill colour: the colour itself for a filled element, negated otherwise.
int32_t Relleno(int32_t color, int32_t nRelleno) {
    if (nRelleno < 0) return color;
    if (color == std::numeric_limits<int32_t>::min())
        throw UtilidadesError(kDesbordamiento,
                              "el color " + std::to_string(color) + " no se puede negar");
    return -color;
}

}  // namespace

int32_t JustificacionDxf(uint8_t h, uint8_t v) {
    if (h != 1) return 8;
    if (v == 1) return 7;
    if (v == 2) return 8;
    return 3;
}

void Utilidades::BuscaEnDigiTab(const std::string& codigo, const brisquel::TablaDigi& digitab,
                                const brisquel::Paleta& pal, int32_t colornuevo, int32_t& nColor,
                                int32_t& nValor4, int32_t& nGrosor, int32_t& nRelleno) {
    if (digitab.empty())
        throw UtilidadesError(kSubindice, "BuscaEnDigiTab: la tabla de codigos esta vacia");
    if (pal.empty()) throw UtilidadesError(kSubindice, "BuscaEnDigiTab: la paleta esta vacia");
    for (std::size_t r = 0; r < digitab.size(); ++r) {
        const auto& fila = digitab[r];
        if (fila[0] != codigo) continue;
        const std::string que =
            "BuscaEnDigiTab, codigo " + codigo + " (fila " + std::to_string(r + 1) + ")";
        nRelleno = ComoEntero(fila[1], que);
        nColor = ColorDePaleta(pal, ComoEntero(fila[2], que));
        nValor4 = ComoEntero(fila[3], que);
        nGrosor = ComoEntero(fila[4], que);
        return;
    }
    nColor = ColorDePaleta(pal, colornuevo);
}

void Utilidades::ConvierteDigiOrmanto(const brisquel::tipo_entidad& elemento,
                                      const brisquel::TablaDigi& digitab,
                                      const brisquel::Paleta& digipal, const int32_t& colornuevo,
                                      lumeral::Entidad& EntidadN) {
    Protegido("ConvierteDigiOrmanto", [&] {
        const auto& cab = elemento.elemento.cabecera;
        const auto& rango = elemento.elemento.rango;
        std::string codigo = cab.codigo;
        FicheroDigiComun().limpia_texto(codigo);
        EntidadN.codigo(codigo);

        auto& m = EntidadN.MaxMin();
        m.xmin(rango.xmin);
        m.ymin(rango.ymin);
        m.zmin(rango.zmin);
        m.xmax(rango.xmax);
        m.ymax(rango.ymax);
        m.zmax(rango.zmax);

        auto& t = EntidadN.Texto();
        t.Altura(rango.xlib);
        t.Justificacion(rango.ylib);
        t.Giro(rango.zlib);

        const auto& coords = elemento.elemento.coordenadas;
        auto punto = [&](int32_t i) {
            if (i < 1 || static_cast<std::size_t>(i) > coords.size())
                throw UtilidadesError(
                    kSubindice, "el punto " + std::to_string(i) + " del elemento " + codigo +
                                    " no existe (tiene " + std::to_string(coords.size()) + ")");
            const auto& c = coords[i - 1];
            EntidadN.AnadePunto(std::make_shared<lumeral::Punto3D>(c.x, c.y, c.z));
        };
        if (cab.tipo == "C=") {
            for (int32_t i = 1; i <= cab.npuntos; ++i) punto(i);
        } else if (cab.tipo == "T=") {
            punto(1);
            const auto& textos = elemento.elemento.textos;
            std::string texto;
            for (int32_t i = 1; i <= cab.npuntos - 1; ++i) {
                if (static_cast<std::size_t>(i) > textos.size())
                    throw UtilidadesError(kSubindice, "el bloque de texto " + std::to_string(i) +
                                                          " del elemento " + codigo + " no existe");
                texto += textos[i - 1].texto12;
            }
            FicheroDigiComun().limpia_texto(texto);
            t.Texto(texto);
        }

        const auto& atributos = elemento.elemento.atributos;
        for (int32_t i = 1; i <= cab.natr; ++i) {
            if (static_cast<std::size_t>(i) > atributos.size())
                throw UtilidadesError(kSubindice, "el atributo " + std::to_string(i) +
                                                      " del elemento " + codigo + " no existe");
            const auto& a = atributos[i - 1];
            auto atr = std::make_shared<lumeral::Atr>();
            atr->Tabla(a.idTabla);
            atr->Registro(a.nregistro);
            std::string resto = a.resto;
            FicheroDigiComun().limpia_texto(resto);
            atr->resto(resto);
            EntidadN.AnadeAtributo(atr);
        }

        int32_t color = 0, valor4 = 0, grosor = 0, relleno = 0;
        BuscaEnDigiTab(EntidadN.codigo(), digitab, digipal, colornuevo, color, valor4, grosor,
                       relleno);
        EntidadN.AdaptaEstadoEntidad(elemento.Propiedad.area, elemento.Propiedad.EsCerrado,
                                     elemento.tamano, true, false, color, Relleno(color, relleno),
                                     false, elemento.puntero);
        EntidadN.Estado().Grosor(grosor);
    });
}

void Utilidades::ConvierteDxfOrmanto(const dornavel::tipo_ElementoDxf& elementoDxf,
                                     const std::vector<dornavel::BinDxfTab>& tablaBinDxf,
                                     const brisquel::TablaDigi& digitab,
                                     const brisquel::Paleta& digipal, const int32_t& colornuevo,
                                     lumeral::Entidad& EntidadN) {
    const std::string& tipo = elementoDxf.Tipo;
    if (tipo != "LINE" && tipo != "POLYLINE" && tipo != "TEXT" && tipo != "POINT")
        throw UtilidadesError(kLlamadaNoValida,
                              "ConvierteDxfOrmanto: el elemento DXF de tipo \"" + tipo +
                                  "\" no se convierte (solo LINE, POLYLINE, POINT y TEXT)");
    Protegido("ConvierteDxfOrmanto", [&] {
        auto& m = EntidadN.MaxMin();
        m.xmin(999999999);
        m.ymin(999999999);
        m.zmin(999999999);
        m.xmax(0);
        m.ymax(0);
        m.zmax(0);
        auto& t = EntidadN.Texto();
        t.Altura(0);
        t.Justificacion(0);
        t.Giro(0);

        auto codigoDeCapa = [&](const std::string& capa) {
            dornavel::BinDxfTab info;
            LectorDxfComun().BuscaEnBinDxfTab("", capa, tablaBinDxf, info);
            EntidadN.codigo(info.codigobin);
        };
        bool cerrado = false;
        if (tipo == "LINE") {
            codigoDeCapa(elementoDxf.Line.G8_capa);
            EntidadN.AnadePunto(PuntoDxf(elementoDxf.Line.G10_Coord));
            EntidadN.AnadePunto(PuntoDxf(elementoDxf.Line.G11_Coord));
        } else if (tipo == "POLYLINE") {
            codigoDeCapa(elementoDxf.Polyline.G8_capa);
            // One block holds the polyline's points: each is still an object of its own,
            // shared with the entity, without an allocation per vertex.
            const auto& vertices = elementoDxf.Polyline.Gvertices;
            auto bloque = std::make_shared<lumeral::Punto3D[]>(vertices.size());
            EntidadN.ReservaPuntos(static_cast<int32_t>(vertices.size()));
            for (std::size_t i = 0; i < vertices.size(); ++i) {
                const auto& c = vertices[i].G10_Coord;
                bloque[i] = {Escala(c.X, "X"), Escala(c.Y, "Y"), Escala(c.Z, "Z")};
                EntidadN.AnadePunto(std::shared_ptr<lumeral::Punto3D>(bloque, &bloque[i]));
            }
            cerrado = elementoDxf.Polyline.G70_Cerrada == "1";
        } else if (tipo == "POINT") {
            codigoDeCapa(elementoDxf.Point.G8_capa);
            EntidadN.AnadePunto(PuntoDxf(elementoDxf.Point.G10_Coord));
        } else {
            const auto& x = elementoDxf.Text;
            codigoDeCapa(x.G8_capa);
            EntidadN.AnadePunto(PuntoDxf(x.G11_Coord));
            t.Justificacion(JustificacionDxf(x.G40_caract.G72_justH, x.G40_caract.G73_justV));
            t.Giro(Escala(x.G40_caract.G50_rotac, "el giro"));
            // Group 40 is the height in every DXF writer; 41 is the width factor.
            t.Altura(Escala(x.G40_caract.G40_ancho, "la altura"));
            // Last, so that the text box takes the height and justification just set.
            t.Texto(x.G1_texto);
        }

        int32_t color = 0, valor4 = 0, grosor = 0, relleno = 0;
        BuscaEnDigiTab(EntidadN.codigo(), digitab, digipal, colornuevo, color, valor4, grosor,
                       relleno);
        EntidadN.AdaptaEstadoEntidad(0.0, cerrado, 0, true, false, color, Relleno(color, relleno),
                                     false, 0);
        EntidadN.Estado().Grosor(grosor);
    });
}

}  // namespace fenoquia
