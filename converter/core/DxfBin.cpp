#include "converter/core/DxfBin.h"

#include <exception>
#include <optional>

#include "converter/core/AlmacenBin.h"
#include "converter/core/ShpBin.h"
#include "converter/core/ShpBinError.h"
#include "digi/AnexoBin.h"
#include "digi/FicheroDigi.h"
#include "dxf/clsFicheroDxf.h"
#include "entity/Entidad.h"
#include "utilities/Utilidades.h"

namespace parvenza {

using brisquel::tipo_entidad;
using dornavel::GCoord;
using dornavel::tipo_ElementoDxf;

namespace {

constexpr std::size_t kMaximoPuntos = 32767;

const std::string& Capa(const tipo_ElementoDxf& x) {
    if (x.Tipo == "LINE") return x.Line.G8_capa;
    if (x.Tipo == "POLYLINE") return x.Polyline.G8_capa;
    if (x.Tipo == "POINT") return x.Point.G8_capa;
    return x.Text.G8_capa;
}

// Puts a record in the BIN file's frame before the entity conversion scales it by 100 and
// rounds: the false northing dropped where y would not fit, millimetres as tenths of cm.
void AlMarcoBin(tipo_ElementoDxf& x, double f) {
    const double escala = f / 100;
    auto punto = [&](GCoord& c) {
        c.Y = SinFalsoNorte(c.Y, f);
        if (escala != 1) c.X *= escala, c.Y *= escala, c.Z *= escala;
    };
    if (x.Tipo == "LINE") punto(x.Line.G10_Coord), punto(x.Line.G11_Coord);
    if (x.Tipo == "POINT") punto(x.Point.G10_Coord);
    if (x.Tipo == "POLYLINE")
        for (auto& v : x.Polyline.Gvertices) punto(v.G10_Coord);
    if (x.Tipo == "TEXT") {
        punto(x.Text.G11_Coord);
        x.Text.G40_caract.G40_ancho *= escala;
    }
}

std::string NoGrabado(const OpcionesDxfBin& o, const std::exception& e) {
    return "No se ha podido grabar el fichero BIN " + o.ficheroBin + "; queda como estaba.\n" +
           e.what();
}

// Everything of one run that stays the same from entity to entity.
struct Contexto {
    const OpcionesDxfBin& o;
    const std::vector<dornavel::BinDxfTab>& tabla;
    fenoquia::Utilidades utilidades;
    brisquel::FicheroDigi& digi;
    AlmacenBin& elementos;
    ResultadoDxfBin& r;
    // The style the entity conversion looks up has no place in a BIN element: one neutral
    // colour and no code row are enough for it.
    brisquel::TablaDigi digitab;
    brisquel::Paleta paleta;
    tipo_entidad borrador;
};

// One entity into c.elementos. Throws on an entity that does not fit a BIN element.
void ConvierteEntidad(Contexto& c, tipo_ElementoDxf x) {
    if (x.Tipo == "POLYLINE") {
        const std::size_t n = x.Polyline.Gvertices.size() + (x.Polyline.G70_Cerrada == "1");
        if (n > kMaximoPuntos)
            throw ShpBinError(kDesbordamiento, std::to_string(n) + " vertices, mas de " +
                                                   std::to_string(kMaximoPuntos));
    }
    AlMarcoBin(x, c.o.factorUnidades);
    lumeral::Entidad entidad;
    c.utilidades.ConvierteDxfOrmanto(x, c.tabla, c.digitab, c.paleta, 1, entidad);
    std::string codigo = entidad.codigo();
    if (codigo.empty()) {
        codigo = c.o.codigo;
        ++c.r.capasSinCodigo[Capa(x)];
    }
    if (codigo.size() > 7)
        throw ShpBinError(kLlamadaNoValida, "codigo de mas de 7 caracteres: " + codigo);
    tipo_entidad& e = c.borrador;
    auto& cab = e.elemento.cabecera;
    cab.codigo = codigo;
    e.elemento.rango = {};
    auto& coords = e.elemento.coordenadas;
    coords.clear();
    for (int32_t i = 1; i <= entidad.Puntos(); ++i) {
        const auto p = entidad.Punto(i);
        coords.push_back({p->x(), p->y(), p->z()});
    }
    std::string texto;
    if (entidad.tipo() == lumeral::Entidad::kTexto) {
        cab.tipo = "T=";
        auto& t = entidad.Texto();
        e.elemento.rango.xlib = t.Altura();
        e.elemento.rango.ylib = t.Justificacion();
        e.elemento.rango.zlib = t.Giro();
        texto = t.Texto();
    } else {
        cab.tipo = "C=";
        // The BIN file marks a closed line by ending it on its first point.
        if (entidad.Estado().EsCerrado() && coords.size() > 1) coords.push_back(coords.front());
        cab.npuntos = static_cast<int16_t>(coords.size());
        // The writer works these out again; here an area that overflows costs one entity.
        c.digi.AdaptaPropiedad(e);
    }
    c.elementos.Guarda(e, texto);
}

}  // namespace

ResultadoDxfBin DxfABin(const OpcionesDxfBin& o, Puerto& puerto) {
    ResultadoDxfBin r;
    auto falla = [&](const std::string& mensaje) {
        r.escrito = false;
        r.error = mensaje;
        AvisaInterrupcion(puerto, mensaje);
        return r;
    };
    dornavel::clsFicheroDxf dxf;
    std::vector<dornavel::BinDxfTab> tabla;
    try {
        bool errorFormato = false;
        dxf.CargoFicheroBinDxfTab(o.ficheroCapas, tabla, errorFormato);
        if (errorFormato)
            return falla("La tabla de capas " + o.ficheroCapas + " tiene una linea mal formada");
    } catch (const dornavel::DxfError& e) {
        return falla(e.what());
    }

    // Opened before reading: the lock keeps other runs off the file for the whole run, and
    // the elements go into its copy as they are converted.
    std::optional<brisquel::AnexoBin> anexo;
    try {
        anexo.emplace(o.ficheroBin);
    } catch (const std::exception& e) {
        return falla(NoGrabado(o, e));
    }
    brisquel::FicheroDigi digi;
    AlmacenBin elementos(*anexo, digi);
    Contexto c{o, tabla, {}, digi, elementos, r, brisquel::TablaDigi(1), brisquel::Paleta(1), {}};
    c.digitab[0][0] = std::string(1, '\0');  // no code matches it
    c.elementos.Enlaces({});
    puerto.Proceso("Procesando ficheros DXF...");
    const std::size_t nFicheros = o.ficherosDxf.size();
    for (std::size_t k = 0; k < nFicheros; ++k) {
        const std::string& fichero = o.ficherosDxf[k];
        int32_t n = 0;
        int64_t i = 0;
        int64_t sustituidos = 0;  // the reader's count when the last entity was handed over
        // Progress by the bytes read would need the reader's position: by file is enough.
        puerto.Progreso(static_cast<double>(k) / nFicheros);
        try {
            dxf.AbreFicheroDxf(fichero, n);
            dxf.RecorreFicheroDxf(
                fichero,
                [&](tipo_ElementoDxf& entidad) {
                    ++r.entidades;
                    ++i;
                    const AlmacenBin::Marca antes = c.elementos.Estado();
                    const std::string tipo = entidad.Tipo;
                    const std::string caso = "entidad " + std::to_string(i) + " (" + tipo + ")";
                    const int64_t ahora = dxf.Resumen().CaracteresSustituidos;
                    if (ahora > sustituidos)
                        r.omisiones.Anota(fichero, kCaracteresSustituidos, caso);
                    sustituidos = ahora;
                    try {
                        ConvierteEntidad(c, std::move(entidad));
                    } catch (const std::exception& e) {
                        if (c.elementos.Fallido()) throw;
                        c.elementos.Vuelve(antes);
                        r.omisiones.Anota(fichero, "entidades omitidas", caso + ": " + e.what());
                    }
                },
                n);
        } catch (const dornavel::DxfError& e) {
            if (n != 0) dxf.CierraFicheroDxf(fichero, n);
            return falla(e.what());
        } catch (const std::exception& e) {
            // The BIN copy could not be written.
            if (n != 0) dxf.CierraFicheroDxf(fichero, n);
            return falla(NoGrabado(o, e));
        }
        dxf.CierraFicheroDxf(fichero, n);
        const auto& resumen = dxf.Resumen();
        for (const auto& [tipo, cuantas] : resumen.TiposOmitidos)
            r.omisiones.Suma(
                {fichero, "entidades " + tipo + ", de una clase que no se convierte", cuantas, {}});
    }

    puerto.Progreso(1);
    puerto.Proceso("Grabando BIN...");
    puerto.Ocupado(true);
    try {
        r.elementos = c.elementos.size();
        anexo->Confirma();
    } catch (const std::exception& e) {
        r.elementos = 0;
        return falla(NoGrabado(o, e));
    }
    r.escrito = true;
    puerto.Ocupado(false);
    puerto.Progreso(0);
    puerto.Proceso("Proceso Terminado");
    return r;
}

}  // namespace parvenza
