#include "converter/core/ShpBin.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>

#include "comun/Error.h"
#include "converter/core/AlmacenBin.h"
#include "converter/core/DbfCampos.h"
#include "converter/core/Proyeccion.h"
#include "converter/core/ShpBinError.h"
#include "converter/shapefile/Shapefile.h"
#include "digi/AnexoBin.h"
#include "digi/FicheroDigi.h"

namespace parvenza {

using brisquel::Fatrib;
using brisquel::Fpunto3d;
using brisquel::tipo_entidad;

namespace {

constexpr int32_t kBorrado = -99;
using formas::kMaximoPuntos;
const char* const kCodigoPorDefecto = "9995";

std::string Recorta(const std::string& s) {
    const auto a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    const auto b = s.find_last_not_of(' ');
    return s.substr(a, b - a + 1);
}

// A field's value on the current record. A blank character field is null, as dBase readers
// take it (it has no other way to be null).
ValorCampo Valor(Shapefile& shp, int indice) {
    ValorCampo v = shp.Fields().Item(indice + 1).Value();
    if (auto t = std::get_if<std::string>(&v); t && t->find_first_not_of(' ') == std::string::npos)
        return std::monostate{};
    return v;
}

// Whether a value counts as a number: numbers, and texts that read as one. Dates and
// logicals are not numbers even when their text looks like one.
bool EsNumero(Shapefile& shp, int indice, const ValorCampo& v) {
    if (std::holds_alternative<int32_t>(v) || std::holds_alternative<double>(v)) return true;
    if (!std::holds_alternative<std::string>(v)) return false;
    const char tipo = shp.Fields().Item(indice + 1).Type();
    if (tipo == 'D' || tipo == 'L') return false;
    try {
        NumeroDeTexto(std::get<std::string>(v));
        return true;
    } catch (const ShpBinError&) {
        return false;
    }
}

double Numero(const ValorCampo& v) {
    if (auto p = std::get_if<int32_t>(&v)) return *p;
    if (auto p = std::get_if<double>(&v)) return *p;
    if (auto p = std::get_if<std::string>(&v)) return NumeroDeTexto(*p);
    throw ShpBinError(kTipoNoCoincide, "Valor nulo donde se esperaba un número");
}

std::string Texto(const ValorCampo& v) {
    if (auto p = std::get_if<int32_t>(&v)) return std::to_string(*p);
    if (auto p = std::get_if<double>(&v)) return TextoNumero(*p);
    if (auto p = std::get_if<std::string>(&v)) return Recorta(*p);
    return {};
}

int32_t Entero32(const ValorCampo& v) {
    if (auto p = std::get_if<int32_t>(&v)) return *p;
    return Redondea32(Numero(v));
}

int16_t Entero16(const ValorCampo& v) {
    const double r = std::nearbyint(Numero(v));
    if (!(r >= -32768.0 && r <= 32767.0))
        throw ShpBinError(kDesbordamiento, "Número de tabla fuera de rango");
    return static_cast<int16_t>(r);
}

// A number typed in a default box: "empty" is checked before trimming, as the window does.
double NumeroDeCaja(const std::string& caja, double vacia) {
    return caja.empty() ? vacia : NumeroDeTexto(caja);
}

// Everything of one run that stays the same from record to record.
struct Contexto {
    const OpcionesShpBin& o;
    Shapefile& shp;
    brisquel::FicheroDigi& digi;
    Puerto& puerto;
    AlmacenBin& elementos;
    tipo_entidad borrador;  // the element being built; its arrays keep their capacity
    int32_t total = 0;
    int atributos = 0;  // attributes 1..atributos are converted
    bool multipunto = false;
    // Values held from record to record, as the run's variables.
    std::string rotulo;
    double altura = 0;
    int32_t justificacion = 0;
    double giro = 0;
    // Whether the coordinates may be degrees: their extent, and vertices the rounding joined.
    double xmin = HUGE_VAL, ymin = HUGE_VAL, xmax = -HUGE_VAL, ymax = -HUGE_VAL;
    int64_t juntados = 0;
    bool poligonos = false;
    int agujeros = 0;  // of the record converted last: holes that became filled polygons
};

std::string CodigoDe(Contexto& c) {
    const SeleccionShp& s = c.o.seleccion;
    if (s.indexCampoCodigo == -1 && c.o.txtCodigo.empty()) return kCodigoPorDefecto;
    if (s.indexCampoCodigo != -1) {
        const ValorCampo v = Valor(c.shp, s.indexCampoCodigo);
        return EsNulo(v) ? kCodigoPorDefecto : Texto(v);
    }
    return Recorta(c.o.txtCodigo);
}

std::vector<Fatrib> EnlacesDe(Contexto& c) {
    std::vector<Fatrib> enlaces;
    const SeleccionShp& s = c.o.seleccion;
    for (int k = 1; k <= c.atributos; ++k) {
        const CampoAtributo& a = s.camposAtributo[k - 1];
        if (a.campoTabla != kBorrado && a.campoTabla != 0) {
            // A table-number field rules out the rest field of the same attribute.
            const ValorCampo t = Valor(c.shp, a.campoTabla);
            if (EsNulo(t) || !EsNumero(c.shp, a.campoTabla, t) || Entero32(t) < 1 ||
                a.campoRegistro == kBorrado)
                continue;
            const ValorCampo r = Valor(c.shp, a.campoRegistro);
            if (EsNulo(r) || !EsNumero(c.shp, a.campoRegistro, r) || Entero32(r) < 1) continue;
            enlaces.push_back({Entero16(t), Entero32(r), {}});
        } else {
            if (a.campoResto.empty() || a.campoResto == "-99") continue;
            const int indice = std::atoi(a.campoResto.c_str());
            const ValorCampo v = Valor(c.shp, indice);
            const std::string texto = Texto(v);
            if (EsNulo(v) || texto == "0" || texto.empty()) continue;
            enlaces.push_back({1, 0, texto});
        }
    }
    if (enlaces.size() > 255)
        throw ShpBinError(kDesbordamiento, "Más de 255 atributos en un elemento");
    return enlaces;
}

// Ends the program: the host shows the message once nothing of this run is left open.
[[noreturn]] void DemasiadosPuntos(Contexto& c) {
    throw FinDePrograma(kMensajeMaximoPuntos + std::to_string(c.elementos.size() + 1));
}

// One record: its elements are appended to c.elementos. Throws on a record that cannot be
// read or converted; the caller then drops what was appended.
void ConvierteRegistro(Contexto& c, int32_t registro) {
    const OpcionesShpBin& o = c.o;
    const SeleccionShp& s = o.seleccion;
    const double f = o.factorUnidades;

    std::string codigo = CodigoDe(c);
    // A longer code would make the whole BIN write fail; only this record is lost instead.
    if (codigo.size() > 7)
        throw ShpBinError(kLlamadaNoValida, "Código de más de 7 caracteres: " + codigo);
    std::string texto;
    if (o.chkTextos) {
        try {
            const CajasTexto cajas{o.txtTextoRotulo, o.txtTextoAltura, o.txtTextoJustificacion,
                                   o.txtTextoGiro};
            ObtengoDatosTextos(c.shp, s.indexCampoTexto_Rotulo, s.indexCampoTexto_Altura,
                               s.indexCampoTexto_Justificacion, s.indexCampoTexto_Giro, cajas,
                               c.rotulo, c.altura, c.justificacion, c.giro);
        } catch (const ShpBinError&) {
            // A box that is not a number: the values worked out so far stand, the rest
            // keep what they held.
        }
        texto = c.rotulo;
    }
    const std::vector<Fatrib> enlaces = EnlacesDe(c);
    c.elementos.Enlaces(enlaces);
    double ZConstante = 0;
    if (s.indexCampoZ >= 0 && o.chkCotas) ObtengoDatosZ(c.shp, s.indexCampoZ, ZConstante);
    const bool zFija = ZConstante != 0;
    const int32_t zFijaEntera = zFija ? Redondea32(ZConstante * f) : 0;

    ShapeParts partes = c.shp.Parts();
    ShapeVertices vertices = c.shp.Vertices();
    // Each point of a multipoint is a point of its own: a line through them would invent
    // a feature that is not there.
    const int nPartes = c.multipunto ? vertices.Count() : partes.Count();
    const double fraccion = static_cast<double>(registro) / c.total;
    // Rings turning counter-clockwise are holes when the record has an outer (clockwise) one:
    // a BIN element has no holes, so each becomes a filled polygon of its own.
    int antihorarios = 0, horarios = 0;
    for (int p = 1; p <= nPartes; ++p) {
        const ShapePart parte = c.multipunto ? ShapePart{p, p} : partes.Item(p);
        const int n = parte.LastVertex - parte.FirstVertex + 1;
        // A part without vertices has nowhere to put an element.
        if (n < 1) continue;
        tipo_entidad& e = c.borrador;
        auto& cab = e.elemento.cabecera;
        cab.codigo = codigo;
        e.elemento.rango = {};
        if (!texto.empty()) {
            cab.tipo = "T=";
            e.elemento.rango.xlib = Redondea32(c.altura * f);
            e.elemento.rango.ylib = c.justificacion;
            e.elemento.rango.zlib = Redondea32(c.giro * 100);
        } else {
            cab.tipo = "C=";
            if (n > kMaximoPuntos) DemasiadosPuntos(c);
            cab.npuntos = static_cast<int16_t>(n);
        }
        auto& coords = e.elemento.coordenadas;
        coords.clear();
        coords.reserve(n);
        ShapeVertex anterior, primero;
        double area2 = 0;
        for (int i = parte.FirstVertex; i <= parte.LastVertex; ++i) {
            const ShapeVertex v = vertices.Item(i);
            if (i == parte.FirstVertex)
                primero = v;
            else
                area2 += anterior.X * v.Y - v.X * anterior.Y;
            c.xmin = std::min(c.xmin, v.X), c.xmax = std::max(c.xmax, v.X);
            c.ymin = std::min(c.ymin, v.Y), c.ymax = std::max(c.ymax, v.Y);
            Fpunto3d punto;
            punto.x = Redondea32(v.X * f);
            punto.y = Redondea32(SinFalsoNorte(v.Y, f) * f);
            punto.z = zFija ? zFijaEntera : Redondea32(v.Z * f);
            if (!coords.empty() && punto.x == coords.back().x && punto.y == coords.back().y &&
                (v.X != anterior.X || v.Y != anterior.Y))
                ++c.juntados;
            anterior = v;
            coords.push_back(punto);
        }
        if (c.poligonos) {
            area2 += anterior.X * primero.Y - primero.X * anterior.Y;
            antihorarios += area2 > 0;
            horarios += area2 < 0;
        }
        if (cab.tipo == "C=") {
            // The writer works these out again; doing it here turns a closed line whose area
            // overflows into one erroneous record instead of a failed write.
            c.digi.AdaptaPropiedad(e);
        } else {
            // The writer's extent takes in the text's run from the insertion point: it must fit.
            const double largo =
                std::fabs(static_cast<double>(e.elemento.rango.xlib)) * texto.size();
            if (std::abs(static_cast<double>(coords[0].x)) + largo > 2147483647.0 ||
                std::abs(static_cast<double>(coords[0].y)) + largo > 2147483647.0)
                throw ShpBinError(kDesbordamiento,
                                  "El texto no cabe en las coordenadas del fichero BIN");
        }
        c.elementos.Guarda(e, texto);
        c.puerto.Progreso(fraccion);
    }
    c.agujeros = horarios > 0 ? antihorarios : 0;
}

std::string NombreCampoElegido(const char* que, int k) {
    return std::string(que) + (k > 0 ? " del atributo " + std::to_string(k) : std::string());
}

// Chosen fields must exist in this table: indices left from another table would read the
// wrong field or fail on every record.
std::string CompruebaCampos(const OpcionesShpBin& o, int nCampos, int atributos) {
    const SeleccionShp& s = o.seleccion;
    std::string falta;
    auto mira = [&](long indice, const char* que, int k = 0) {
        if (falta.empty() && (indice < 0 || indice >= nCampos))
            falta = "El fichero " + o.ficheroShp + " no tiene el campo " + std::to_string(indice) +
                    " elegido para " + NombreCampoElegido(que, k);
    };
    if (s.indexCampoCodigo >= 0) mira(s.indexCampoCodigo, "el código");
    if (o.chkTextos) {
        if (s.indexCampoTexto_Rotulo >= 0) mira(s.indexCampoTexto_Rotulo, "el texto");
        if (s.indexCampoTexto_Altura >= 0) mira(s.indexCampoTexto_Altura, "la altura");
        if (s.indexCampoTexto_Justificacion >= 0)
            mira(s.indexCampoTexto_Justificacion, "la justificación");
        if (s.indexCampoTexto_Giro >= 0) mira(s.indexCampoTexto_Giro, "el giro");
    }
    if (o.chkCotas && s.indexCampoZ >= 0) mira(s.indexCampoZ, "la Z");
    for (int k = 1; k <= atributos; ++k) {
        const CampoAtributo& a = s.camposAtributo[k - 1];
        if (a.campoTabla != kBorrado && a.campoTabla != 0) {
            mira(a.campoTabla, "la tabla", k);
            if (a.campoRegistro != kBorrado) mira(a.campoRegistro, "el registro", k);
        } else if (!a.campoResto.empty() && a.campoResto != "-99") {
            long indice = -1;
            const char* fin = a.campoResto.data() + a.campoResto.size();
            auto [p, ec] = std::from_chars(a.campoResto.data(), fin, indice);
            if (ec != std::errc() || p != fin) indice = -1;
            mira(indice, "el resto", k);
        }
    }
    return falta;
}

// A record's failure without the shapefile's name in front: the list of omissions names the
// file once.
std::string SinFichero(std::string m, const std::string& shp) {
    for (const std::string& f : {shp, shp.substr(0, shp.size() - 4) + ".dbf"}) {
        if (m.size() > f.size() + 2 && m.compare(0, f.size(), f) == 0 &&
            (m[f.size()] == ':' || m[f.size()] == ',') && m[f.size() + 1] == ' ')
            return m.erase(0, f.size() + 2);
    }
    return m;
}

// The input file (the shapefile's own, or its table) that the output BIN file is, if any:
// appending to it would ruin the user's data.
std::string EntradaQueEsSalida(const OpcionesShpBin& o) {
    struct stat salida;
    if (::stat(o.ficheroBin.c_str(), &salida) != 0) return {};
    const std::string& shp = o.ficheroShp;
    const std::string base = shp.size() > 4 ? shp.substr(0, shp.size() - 4) : shp;
    std::vector<std::string> entradas = {
        shp, RutaTablaDbf(o.seleccion.directorio, o.seleccion.tabladbf)};
    for (const char* ext :
         {".shp", ".shx", ".dbf", ".cpg", ".prj", ".SHP", ".SHX", ".DBF", ".CPG", ".PRJ"})
        entradas.push_back(base + ext);
    for (const std::string& e : entradas) {
        struct stat st;
        if (::stat(e.c_str(), &st) == 0 && st.st_dev == salida.st_dev && st.st_ino == salida.st_ino)
            return e;
    }
    return {};
}

std::string MensajeGrados(const std::string& shp, const std::string& motivo) {
    return "Las coordenadas de " + shp + " parecen grados (" + motivo +
           "): redondeadas a centímetros, la geometría quedaría destruida.";
}

void Interrumpe(Puerto& puerto, ResultadoShpBin& r, const std::string& mensaje) {
    r.escrito = false;
    r.error = mensaje;
    AvisaInterrupcion(puerto, mensaje);
}

}  // namespace

std::string MensajeNoGrabado(const std::exception& e) {
    return std::string("No se ha podido grabar el fichero BIN; queda como estaba.\n") + e.what();
}

void DesbordaEntero32(double valor) {
    throw ShpBinError(kDesbordamiento,
                      "Desbordamiento: " + TextoNumero(valor) + " no cabe en un entero de 32 bits");
}

std::string TextoNumero(double valor) {
    if (valor == 0) return "0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15G", valor);
    return buf;
}

double NumeroDeTexto(const std::string& texto) {
    const std::string t = Recorta(texto);
    const char* p = t.data();
    const char* fin = p + t.size();
    bool negativo = false;
    if (p != fin && (*p == '+' || *p == '-')) {
        negativo = *p == '-';
        ++p;
    }
    // Only digits, a decimal point and an exponent: no "inf", "nan" or second sign.
    if (p == fin || !(std::isdigit(static_cast<unsigned char>(*p)) || *p == '.'))
        throw ShpBinError(kTipoNoCoincide, "No es un número: " + texto);
    double v = 0;
    auto [resto, ec] = std::from_chars(p, fin, v, std::chars_format::general);
    if (ec != std::errc() || resto != fin)
        throw ShpBinError(kTipoNoCoincide, "No es un número: " + texto);
    return negativo ? -v : v;
}

VistaShpElegido EligeShp(SeleccionShp& s, const std::string& ruta, const std::string& directorio,
                         Puerto& puerto) {
    VistaShpElegido v;
    v.cmbLabel17 = ShpElegido(s, ruta, directorio);
    v.lblFicheroShp = ruta;
    for (size_t i = 0; i < v.cmbTablaDbf1.size(); ++i)
        v.cmbTablaDbf1[i] = RellenaCampos(s.directorio, s.tabladbf, kFiltrosTablaDbf1[i], puerto);
    v.tipoShp = ChequeaTipoShp(ruta);
    v.chkTextosVisible = OfreceTextos(v.tipoShp);
    return v;
}

int16_t ChequeaTipoShp(const std::string& fich_entrada, bool restaurarShx) {
    Shapefile shp;
    shp.RestoreIndex(restaurarShx);
    try {
        shp.Open(fich_entrada, 0, 0);
        return static_cast<int16_t>(shp.ShapeType());
    } catch (const ShapefileError&) {
        return 0;
    }
}

void ObtengoDatosTextos(Shapefile& shp, int16_t indexCampoTexto_Rotulo,
                        int16_t indexCampoTexto_Altura, int16_t indexCampoTexto_Justificacion,
                        int16_t indexCampoTexto_Giro, const CajasTexto& cajas,
                        std::string& RotuloTexto, double& RotuloAltura,
                        int32_t& RotuloJustificacion, double& RotuloGiro) {
    if (indexCampoTexto_Rotulo <= -1) {
        RotuloTexto = cajas.txtTextoRotulo.empty() ? "NoTexto" : Recorta(cajas.txtTextoRotulo);
    } else {
        const ValorCampo v = Valor(shp, indexCampoTexto_Rotulo);
        RotuloTexto = EsNulo(v) ? "NoTexto" : Texto(v);
    }
    // The three numbers: the box when no field is chosen, else the field's number or a default.
    auto numero = [&shp](int16_t indice, const std::string& caja, double defecto) {
        if (indice <= -1) return NumeroDeCaja(caja, defecto);
        const ValorCampo v = Valor(shp, indice);
        return !EsNulo(v) && EsNumero(shp, indice, v) ? Numero(v) : defecto;
    };
    RotuloAltura = numero(indexCampoTexto_Altura, cajas.txtTextoAltura, 1.5);
    RotuloJustificacion =
        Redondea32(numero(indexCampoTexto_Justificacion, cajas.txtTextoJustificacion, 0));
    RotuloGiro = numero(indexCampoTexto_Giro, cajas.txtTextoGiro, 0);
}

void ObtengoDatosZ(Shapefile& shp, int16_t indexCampoZ, double& ZConstante) {
    if (indexCampoZ <= -1) return;
    const ValorCampo v = Valor(shp, indexCampoZ);
    ZConstante = !EsNulo(v) && EsNumero(shp, indexCampoZ, v) ? Numero(v) : 0;
}

namespace {

// The run of one shapefile: into its own append of `o.ficheroBin`, confirmed at the end, or
// into `externo`, a longer append the caller confirms.
ResultadoShpBin Convierte(const OpcionesShpBin& o, Puerto& puerto, brisquel::AnexoBin* externo) {
    ResultadoShpBin r;
    Shapefile shp;
    shp.CodePage(o.paginaCodigos);
    shp.RestoreIndex(o.restaurarShx);
    try {
        shp.Open(o.ficheroShp, 0, 0);
    } catch (const ShapefileError& e) {
        Interrumpe(puerto, r, std::string("No se puede leer el fichero shape: ") + e.what());
        return r;
    }
    if (!shp.UnknownCodePage().empty())
        puerto.Mensaje("La tabla de " + o.ficheroShp + " declara la página de códigos \"" +
                       shp.UnknownCodePage() + "\", que no se conoce: se lee como Windows-1252");
    puerto.Proceso("Procesando fichero Shape...");

    const SeleccionShp& s = o.seleccion;
    const int atributos =
        static_cast<int>(std::min(s.listaAtributos.size() + 1, s.camposAtributo.size()));
    const std::string falta = CompruebaCampos(o, shp.Fields().Count(), atributos);
    if (!falta.empty()) {
        Interrumpe(puerto, r, falta);
        return r;
    }
    std::string wkt;
    try {
        wkt = LeePrj(RutaPrjShape(o.ficheroShp));
    } catch (const Error& e) {
        Interrumpe(puerto, r, e.what());
        return r;
    }
    if (EsGeografico(wkt)) {
        const std::string m = MensajeGrados(o.ficheroShp, "su .prj es un sistema geográfico");
        if (!o.forzarGrados) {
            r.enGrados = true;
            Interrumpe(puerto, r, m + " No se ha convertido.");
            return r;
        }
        puerto.Mensaje(m + " Se convierte igualmente.");
    }
    if (const std::string entrada = EntradaQueEsSalida(o); !entrada.empty()) {
        Interrumpe(puerto, r,
                   "El fichero BIN de salida " + o.ficheroBin + " es el fichero de entrada " +
                       entrada + "; no se escribe nada");
        return r;
    }
    // Opened before converting: the lock keeps other runs off the file for the whole run, and
    // a file that is not a BIN file is said before any work.
    std::optional<brisquel::AnexoBin> propio;
    if (!externo) {
        try {
            propio.emplace(o.ficheroBin);
        } catch (const std::exception& e) {
            Interrumpe(puerto, r, MensajeNoGrabado(e));
            return r;
        }
    }
    brisquel::AnexoBin& anexo = externo ? *externo : *propio;
    anexo.NuevaEntrada();
    const AlmacenBin::Marca inicio = anexo.Estado();

    brisquel::FicheroDigi digi;
    AlmacenBin elementos(anexo, digi);
    Contexto c{o, shp, digi, puerto, elementos, {}, 0, 0, false, {}, 0, 0, 0};
    c.total = shp.RecordCount();
    c.atributos = atributos;
    const int tipo = shp.ShapeType();
    c.multipunto = tipo == 8 || tipo == 18 || tipo == 28;
    c.poligonos = tipo == 5 || tipo == 15 || tipo == 25;

    std::string fallo;
    for (int32_t registro = 1; registro <= c.total && fallo.empty(); ++registro) {
        const AlmacenBin::Marca antes = elementos.Estado();
        const int64_t perdidas = shp.LossyTexts();
        // Listed as the run's counter minus one: the record's number counted from 0, as
        // shapelib and GDAL number features.
        auto numero = [registro] { return "registro " + std::to_string(registro - 1); };
        try {
            shp.MoveTo(registro);
            ConvierteRegistro(c, registro);
            if (elementos.Estado().elementos == antes.elementos)
                r.omisiones.Anota(o.ficheroShp, "registros sin geometría, no convertidos",
                                  numero());
            if (c.agujeros > 0)
                r.omisiones.Anota(
                    o.ficheroShp,
                    "polígonos con agujeros: cada agujero, un polígono relleno aparte", numero());
            if (shp.LossyTexts() != perdidas)
                r.omisiones.Anota(o.ficheroShp, kCaracteresSustituidos, numero());
        } catch (const Error& e) {
            // A failed write of the BIN copy ends the run; anything else costs this record.
            if (elementos.Fallido()) {
                fallo = MensajeNoGrabado(e);
                break;
            }
            // A record the component cannot read, or a value the BIN file cannot hold.
            elementos.Vuelve(antes);
            r.registrosErroneos.push_back(registro - 1);
            r.omisiones.Anota(o.ficheroShp, "registros omitidos",
                              numero() + ": " + SinFichero(e.what(), o.ficheroShp));
        }
        r.registros = registro;
    }

    if (fallo.empty() && c.juntados > 0 && ExtensionDeGrados(c.xmin, c.ymin, c.xmax, c.ymax) &&
        !EsGeografico(wkt)) {
        const std::string m =
            MensajeGrados(o.ficheroShp, "caben en -180..180 y -90..90, y el redondeo junta " +
                                            std::to_string(c.juntados) + " vértices consecutivos");
        if (!o.forzarGrados) {
            r.enGrados = true;
            if (externo) externo->Vuelve(inicio);
            Interrumpe(puerto, r, m + " No se ha convertido.");
            return r;
        }
        puerto.Mensaje(m + " Se convierte igualmente.");
    }
    puerto.Progreso(1);
    if (externo) {
        r.elementos = elementos.size();
        r.escrito = fallo.empty();
    } else {
        puerto.Proceso("Grabando BIN...");
        puerto.Ocupado(true);
        if (fallo.empty()) {
            try {
                r.elementos = elementos.size();
                anexo.Confirma();
                r.escrito = true;
            } catch (const std::exception& e) {
                fallo = MensajeNoGrabado(e);
            }
        }
        propio.reset();
        puerto.Ocupado(false);
    }
    if (!r.escrito) r.elementos = 0;
    if (!r.escrito) puerto.Mensaje(fallo, true);

    if (!r.registrosErroneos.empty()) {
        std::string m = "Se han encontrado " + std::to_string(r.registrosErroneos.size()) +
                        " errores en la conversión\rEntidades erróneas : \r";
        for (int32_t n : r.registrosErroneos) m += " / " + std::to_string(n);
        puerto.Mensaje(m);
    }
    puerto.Progreso(0);
    if (r.escrito) {
        // A longer append says it when the whole of it is written.
        if (!externo) puerto.Proceso("Proceso Terminado");
    } else {
        r.error = fallo;
        puerto.Proceso("Proceso interrumpido");
    }
    return r;
}

}  // namespace

ResultadoShpBin ReadShape(const OpcionesShpBin& o, Puerto& puerto) {
    return Convierte(o, puerto, nullptr);
}

ResultadoShpBin AnadeShape(const OpcionesShpBin& o, brisquel::AnexoBin& anexo, Puerto& puerto) {
    return Convierte(o, puerto, &anexo);
}

}  // namespace parvenza
