#include "gdal/OgrDigi.h"

#include <cpl_json.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <mutex>

#include "comun/Error.h"
#include "comun/Reemplazo.h"
#include "digi/AnexoBin.h"
#include "digi/Elemento.h"
#include "digi/Texto1252.h"

namespace parvenza::gdal {

namespace {

// The process-wide table of BIN file numbers is not guarded by the library; two threads
// opening sheets at once must not take the same number.
std::mutex g_numeros;

enum Campo : int {
    kPolyId,
    kCodigo,
    kTexto,
    kRotacion,
    kCodigo7,
    kAltura,
    kJustificacion,
    kEnlaces
};

constexpr int kAnchoCodigo = 6;  // CODIGO as the shapefiles hold it; CODIGO7 has the whole code

OGRwkbGeometryType TipoDe(formas::Capa capa, bool conZ) {
    const OGRwkbGeometryType tipo = capa == formas::kPoligonos ? wkbPolygon
                                    : capa == formas::kLineas || capa == formas::kTextosLinea
                                        ? wkbLineString
                                        : wkbPoint;
    return conZ ? wkbSetZ(tipo) : tipo;
}

void AnadeCampo(OGRFeatureDefn* d, const char* nombre, OGRFieldType tipo, int ancho = 0,
                int decimales = 0, OGRFieldSubType subtipo = OFSTNone) {
    OGRFieldDefn campo(nombre, tipo);
    campo.SetWidth(ancho);
    campo.SetPrecision(decimales);
    campo.SetSubType(subtipo);
    d->AddFieldDefn(&campo);
}

std::string Utf8(const std::string& s) { return brisquel::Utf8DesdeWindows1252(s); }

[[noreturn]] void Falla(const std::string& mensaje) {
    throw parvenza::Error(kLlamadaNoValida, mensaje);
}

int32_t Entero(double v, const char* que) {
    if (const auto r = formas::Entero32(v)) return *r;
    throw parvenza::Error(kDesbordamiento, std::string(que) + " no cabe en el fichero BIN: " +
                                               CPLSPrintf("%.15g", v));
}

/// The links of an element as a JSON list: [{"tabla":1,"registro":2,"resto":"A"}], built by
/// hand since a sheet may have a million of them.
std::string ListaJson(const std::vector<brisquel::Fatrib>& enlaces) {
    std::string j = "[";
    for (const brisquel::Fatrib& a : enlaces) {
        if (j.size() > 1) j += ',';
        j += "{\"tabla\":" + std::to_string(a.idTabla) +
             ",\"registro\":" + std::to_string(a.nregistro) + ",\"resto\":\"";
        for (const char c : Utf8(brisquel::TextoLimpio(a.resto))) {
            if (c == '"' || c == '\\')
                j += {'\\', c};
            else if (static_cast<unsigned char>(c) < 0x20)
                j += CPLSPrintf("\\u%04x", c);
            else
                j += c;
        }
        j += "\"}";
    }
    return j + "]";
}

/// The vertices of every part of a geometry, polygon rings closed.
using Parte = std::vector<std::array<double, 3>>;

void Partes(const OGRGeometry* g, std::vector<Parte>& partes) {
    if (g == nullptr || g->IsEmpty()) return;
    if (g->hasCurveGeometry()) {
        std::unique_ptr<OGRGeometry> lineal(g->getLinearGeometry());
        Partes(lineal.get(), partes);
        return;
    }
    const OGRwkbGeometryType tipo = wkbFlatten(g->getGeometryType());
    auto curva = [&](const OGRSimpleCurve* c, bool cerrar) {
        Parte p;
        for (int i = 0; i < c->getNumPoints(); ++i)
            p.push_back({c->getX(i), c->getY(i), c->getZ(i)});
        if (cerrar && !p.empty() && (p.front()[0] != p.back()[0] || p.front()[1] != p.back()[1]))
            p.push_back(p.front());
        partes.push_back(std::move(p));
    };
    if (tipo == wkbPoint) {
        const OGRPoint* p = g->toPoint();
        partes.push_back({{p->getX(), p->getY(), p->getZ()}});
    } else if (tipo == wkbLineString) {
        curva(g->toLineString(), false);
    } else if (tipo == wkbPolygon || tipo == wkbTriangle) {
        for (const OGRLinearRing* anillo : *g->toPolygon()) curva(anillo, true);
    } else if (OGR_GT_IsSubClassOf(tipo, wkbGeometryCollection)) {
        for (const OGRGeometry* h : *g->toGeometryCollection()) Partes(h, partes);
    } else if (OGR_GT_IsSubClassOf(tipo, wkbPolyhedralSurface)) {
        for (const OGRPolygon* h : *g->toPolyhedralSurface()) Partes(h, partes);
    }
}

/// The option `clave`, else the field `porDefecto` when the layer has it, else nothing.
std::string CampoOpcion(char** opciones, const char* clave, const char* porDefecto,
                        OGRFeatureDefn* d) {
    if (const char* v = CSLFetchNameValue(opciones, clave)) return v;
    return porDefecto && d->GetFieldIndex(porDefecto) >= 0 ? porDefecto : "";
}

OpcionesEscritura OpcionesDe(char** opciones, OGRFeatureDefn* d) {
    OpcionesEscritura o;
    // A layer read from a sheet has the whole code in CODIGO7: take it before the cut one.
    o.campoCodigo = CampoOpcion(opciones, "CODE_FIELD",
                                d->GetFieldIndex("CODIGO7") >= 0 ? "CODIGO7" : "CODIGO", d);
    o.campoTexto = CampoOpcion(opciones, "TEXT_FIELD", "TEXT", d);
    o.campoAltura = CampoOpcion(opciones, "HEIGHT_FIELD", "ALTURA", d);
    o.campoJustificacion = CampoOpcion(opciones, "JUSTIFICATION_FIELD", "JUSTIF", d);
    o.campoGiro = CampoOpcion(opciones, "ROTATION_FIELD", "ROTATION", d);
    o.altura = CPLAtof(CSLFetchNameValueDef(opciones, "HEIGHT", "1.5"));
    o.justificacion = CPLAtof(CSLFetchNameValueDef(opciones, "JUSTIFICATION", "0"));
    o.giro = CPLAtof(CSLFetchNameValueDef(opciones, "ROTATION", "0"));
    if (const char* lista = CSLFetchNameValue(opciones, "LINK_FIELDS")) {
        const CPLStringList partes(
            CSLTokenizeString2(lista, ",", CSLT_STRIPLEADSPACES | CSLT_STRIPENDSPACES));
        for (int i = 0; i < partes.size(); ++i) {
            const std::string parte = partes[i];
            const size_t dos = parte.find(':');
            if (dos == std::string::npos)
                o.enlaces.push_back({"", "", parte});
            else
                o.enlaces.push_back({parte.substr(0, dos), parte.substr(dos + 1), ""});
        }
    } else if (d->GetFieldIndex("ENLACES") >= 0) {
        o.campoEnlacesJson = "ENLACES";
    }
    return o;
}

/// The field `nombre` of `r` when the layer has it and it is set.
int Indice(OGRFeature& r, const std::string& nombre) {
    if (nombre.empty()) return -1;
    const int i = r.GetFieldIndex(nombre.c_str());
    return i >= 0 && r.IsFieldSetAndNotNull(i) ? i : -1;
}

double Numero(OGRFeature& r, const std::string& campo, double porDefecto) {
    const int i = Indice(r, campo);
    return i < 0 ? porDefecto : r.GetFieldAsDouble(i);
}

std::vector<brisquel::Fatrib> EnlacesDe(OGRFeature& r, const OpcionesEscritura& o) {
    std::vector<brisquel::Fatrib> enlaces;
    if (const int i = Indice(r, o.campoEnlacesJson); i >= 0) {
        CPLJSONDocument doc;
        const std::string texto = r.GetFieldAsString(i);
        if (!texto.empty() &&
            (!doc.LoadMemory(texto) || doc.GetRoot().GetType() != CPLJSONObject::Type::Array))
            Falla("ENLACES no es una lista JSON de enlaces: " + texto);
        for (const CPLJSONObject& e : doc.GetRoot().ToArray()) {
            const int tabla = e.GetInteger("tabla", 1);
            if (tabla < -32768 || tabla > 32767) Falla("Número de tabla fuera de rango");
            enlaces.push_back({static_cast<int16_t>(tabla),
                               Entero(e.GetDouble("registro", 0), "Un número de registro"),
                               brisquel::Windows1252DesdeUtf8(e.GetString("resto"))});
        }
    }
    for (const OpcionesEscritura::Enlace& e : o.enlaces) {
        if (e.resto.empty()) {
            // As shp2bin: a link needs both numbers, from 1 up.
            const int t = Indice(r, e.tabla), n = Indice(r, e.registro);
            if (t < 0 || n < 0) continue;
            const double tabla = r.GetFieldAsDouble(t), registro = r.GetFieldAsDouble(n);
            if (tabla < 1 || registro < 1) continue;
            if (std::nearbyint(tabla) > 32767) Falla("Número de tabla fuera de rango");
            enlaces.push_back({static_cast<int16_t>(std::nearbyint(tabla)),
                               Entero(registro, "Un número de registro"),
                               {}});
        } else if (const int i = Indice(r, e.resto); i >= 0) {
            const std::string texto = brisquel::Windows1252DesdeUtf8(r.GetFieldAsString(i));
            if (texto.empty() || texto == "0") continue;
            enlaces.push_back({1, 0, texto});
        }
    }
    if (enlaces.size() > 255) Falla("Más de 255 atributos en un elemento");
    return enlaces;
}

}  // namespace

// --- Layers -------------------------------------------------------------------------------

CapaDigi::CapaDigi(HojaDigi& hoja, const std::string& nombre, formas::Capa capa, bool conZ,
                   char** opciones)
    : m_hoja(hoja),
      m_capa(capa),
      m_definicion(new OGRFeatureDefn(nombre.c_str())),
      m_opciones(CSLDuplicate(opciones)) {
    SetDescription(nombre.c_str());
    m_definicion->Reference();
    if (capa == formas::kNingunaCapa) return;  // a layer to write: its fields come from outside
    m_definicion->SetGeomType(TipoDe(capa, conZ));
    AnadeCampo(m_definicion, "POLY_ID", OFTInteger);
    AnadeCampo(m_definicion, "CODIGO", OFTString, kAnchoCodigo);
    AnadeCampo(m_definicion, "TEXT", OFTString);
    AnadeCampo(m_definicion, "ROTATION", OFTReal, 6, 2);
    AnadeCampo(m_definicion, "CODIGO7", OFTString, 7);
    AnadeCampo(m_definicion, "ALTURA", OFTReal);
    AnadeCampo(m_definicion, "JUSTIF", OFTInteger);
    AnadeCampo(m_definicion, "ENLACES", OFTString, 0, 0, OFSTJSON);
}

CapaDigi::~CapaDigi() {
    m_definicion->Release();
    CSLDestroy(m_opciones);
}

void CapaDigi::Toma(std::vector<Entrada>&& entradas) {
    m_entradas = std::move(entradas);
    m_entradas.shrink_to_fit();
    const double d = m_hoja.Divisor();
    for (const Entrada& e : m_entradas)
        if (e.xmin <= e.xmax) {
            m_extension.Merge(e.xmin / d, e.ymin / d);
            m_extension.Merge(e.xmax / d, e.ymax / d);
        }
}

OGRFeature* CapaDigi::GetNextFeature() {
    // The filter in file units, one unit wider so no rounding leaves an element out.
    const double d = m_hoja.Divisor();
    const double xmin = m_sFilterEnvelope.MinX * d - 1, xmax = m_sFilterEnvelope.MaxX * d + 1;
    const double ymin = m_sFilterEnvelope.MinY * d - 1, ymax = m_sFilterEnvelope.MaxY * d + 1;
    while (m_siguiente < m_entradas.size()) {
        const Entrada& e = m_entradas[m_siguiente++];
        // The extent found at opening rules the element out without reading it.
        if (m_poFilterGeom &&
            (e.xmin > e.xmax || e.xmax < xmin || e.xmin > xmax || e.ymax < ymin || e.ymin > ymax))
            continue;
        OGRFeature* r = Rasgo(e);
        if (r == nullptr) return nullptr;
        if ((m_poFilterGeom == nullptr || FilterGeometry(r->GetGeometryRef())) &&
            (m_poAttrQuery == nullptr || m_poAttrQuery->Evaluate(r)))
            return r;
        delete r;
    }
    return nullptr;
}

OGRFeature* CapaDigi::GetFeature(GIntBig fid) {
    const auto e = std::lower_bound(m_entradas.begin(), m_entradas.end(), fid,
                                    [](const Entrada& a, GIntBig b) { return a.ordinal < b; });
    return e == m_entradas.end() || e->ordinal != fid ? nullptr : Rasgo(*e);
}

GIntBig CapaDigi::GetFeatureCount(int forzar) {
    if (m_poFilterGeom || m_poAttrQuery) return OGRLayer::GetFeatureCount(forzar);
    return static_cast<GIntBig>(m_entradas.size());
}

OGRErr CapaDigi::GetExtent(OGREnvelope* caja, int) {
    if (!m_extension.IsInit()) return OGRERR_FAILURE;
    *caja = m_extension;
    return OGRERR_NONE;
}

int CapaDigi::TestCapability(const char* c) {
    if (EQUAL(c, OLCRandomRead) || EQUAL(c, OLCFastGetExtent) || EQUAL(c, OLCFastSpatialFilter) ||
        EQUAL(c, OLCStringsAsUTF8))
        return TRUE;
    if (EQUAL(c, OLCFastFeatureCount)) return m_poFilterGeom == nullptr && m_poAttrQuery == nullptr;
    if (EQUAL(c, OLCSequentialWrite) || EQUAL(c, OLCCreateField))
        return m_hoja.TestCapability(ODsCCreateLayer);
    return FALSE;
}

OGRErr CapaDigi::ICreateFeature(OGRFeature* rasgo) {
    return m_hoja.Escribe(*rasgo, OpcionesDe(m_opciones, m_definicion));
}

OGRErr CapaDigi::CreateField(OGRFieldDefn* campo, int) {
    if (!m_hoja.TestCapability(ODsCCreateLayer)) return OGRERR_UNSUPPORTED_OPERATION;
    m_definicion->AddFieldDefn(campo);
    return OGRERR_NONE;
}

OGRFeature* CapaDigi::Rasgo(const Entrada& en) {
    static thread_local brisquel::tipo_entidad e;
    static thread_local formas::Forma forma;
    if (!m_hoja.Lee(en.puntero, e)) return nullptr;
    auto r = std::make_unique<OGRFeature>(m_definicion);
    r->SetFID(en.ordinal);
    r->SetField(kPolyId, en.ordinal);
    std::string codigo = e.elemento.cabecera.codigo;
    m_hoja.Digi().limpia_texto(codigo);
    r->SetField(kCodigo, Utf8(codigo.substr(0, kAnchoCodigo)).c_str());
    r->SetField(kCodigo7, Utf8(codigo).c_str());
    const double divisor = m_hoja.Divisor();
    if (e.Propiedad.EsTexto) {
        // An empty text is null, as a shapefile reads back.
        if (!e.Propiedad.texto.empty()) r->SetField(kTexto, Utf8(e.Propiedad.texto).c_str());
        r->SetField(kRotacion, formas::Rotacion(e));
        r->SetField(kAltura, e.elemento.rango.xlib / divisor);
        r->SetField(kJustificacion, e.elemento.rango.ylib);
    } else {
        // As the shapefiles bin2shp writes read back: no text, rotation 0.
        r->SetField(kRotacion, 0.0);
    }
    if (!e.elemento.atributos.empty())
        r->SetField(kEnlaces, ListaJson(e.elemento.atributos).c_str());

    formas::Geometria(e, m_capa, divisor, forma);
    const size_t n = forma.x.size();
    if (n == 0) return r.release();  // a line of no points: no shape, as in the shapefile
    const bool conZ = OGR_GT_HasZ(m_definicion->GetGeomType());
    const double* z = conZ ? forma.z.data() : nullptr;
    if (m_capa == formas::kPoligonos) {
        formas::OrientaAnilloExterior(forma);
        auto anillo = std::make_unique<OGRLinearRing>();
        anillo->setPoints(int(n), forma.x.data(), forma.y.data(), z);
        auto poligono = std::make_unique<OGRPolygon>();
        poligono->addRingDirectly(anillo.release());
        r->SetGeometryDirectly(poligono.release());
    } else if (m_capa == formas::kLineas || m_capa == formas::kTextosLinea) {
        auto linea = std::make_unique<OGRLineString>();
        linea->setPoints(int(n), forma.x.data(), forma.y.data(), z);
        r->SetGeometryDirectly(linea.release());
    } else {
        r->SetGeometryDirectly(conZ ? new OGRPoint(forma.x[0], forma.y[0], forma.z[0])
                                    : new OGRPoint(forma.x[0], forma.y[0]));
    }
    return r.release();
}

// --- The sheet ----------------------------------------------------------------------------

int HojaDigi::Identifica(GDALOpenInfo* info) {
    if (!EQUAL(CPLGetExtension(info->pszFilename), "bin") || info->fpL == nullptr ||
        info->nHeaderBytes < brisquel::kBloque)
        return FALSE;
    brisquel::tipo_dat c;
    try {
        brisquel::DecodificaCabecera(info->pabyHeader, c);
    } catch (const parvenza::Error&) {
        return FALSE;  // counts that do not fit their field
    }
    const bool vivo = c.tipo[1] == '=';
    if (vivo && c.tipo[0] != 'C' && c.tipo[0] != 'T') return FALSE;
    VSIStatBufL estado;
    if (VSIStatL(info->pszFilename, &estado) != 0) return FALSE;
    const int64_t tamano = vivo ? brisquel::TamanoLeido(c) : brisquel::TamanoSegunCabecera(c);
    return tamano <= static_cast<int64_t>(estado.st_size);
}

namespace {

/// Widens `en`'s extent by the shape of `e` in layer `clase`; whether it has a height.
bool Caja(const brisquel::tipo_entidad& e, formas::Capa clase, double divisor, formas::Forma& forma,
          Entrada& en) {
    bool conZ = false;
    auto anade = [&](int32_t x, int32_t y, int32_t z) {
        en.xmin = std::min(en.xmin, x), en.xmax = std::max(en.xmax, x);
        en.ymin = std::min(en.ymin, y), en.ymax = std::max(en.ymax, y);
        conZ = conZ || z != 0;
    };
    const auto& puntos = e.elemento.coordenadas;
    if (!e.Propiedad.EsTexto) {
        const size_t n =
            std::min(puntos.size(), size_t(std::max<int16_t>(e.elemento.cabecera.npuntos, 0)));
        for (size_t i = 0; i < n; ++i) anade(puntos[i].x, puntos[i].y, puntos[i].z);
        return conZ;
    }
    // A text's run ends off the file's grid: its end rounded outwards.
    formas::Geometria(e, clase, divisor, forma);
    for (size_t i = 0; i < forma.x.size(); ++i) {
        const double x = forma.x[i] * divisor, y = forma.y[i] * divisor;
        auto entero = [](double v) { return int32_t(std::clamp(v, -2147483647.0, 2147483647.0)); };
        anade(entero(std::floor(x)), entero(std::floor(y)), 0);
        anade(entero(std::ceil(x)), entero(std::ceil(y)), 0);
        conZ = conZ || forma.z[i] != 0;
    }
    return conZ;
}

/// The unit divisor of the option UNITS (cm, mm), or 0 after a GDAL error.
double DivisorDe(char** opciones) {
    const char* u = CSLFetchNameValueDef(opciones, "UNITS", "cm");
    if (EQUAL(u, "cm")) return 100;
    if (EQUAL(u, "mm")) return 1000;
    CPLError(CE_Failure, CPLE_IllegalArg, "UNITS=%s: las unidades son cm o mm", u);
    return 0;
}

}  // namespace

GDALDataset* HojaDigi::Abre(GDALOpenInfo* info) {
    if (!Identifica(info)) return nullptr;
    std::unique_ptr<HojaDigi> hoja(new HojaDigi);
    hoja->m_ruta = info->pszFilename;
    hoja->m_actualizable = info->eAccess == GA_Update;
    hoja->m_divisor = DivisorDe(info->papszOpenOptions);
    const std::string textos = CSLFetchNameValueDef(info->papszOpenOptions, "TEXTS", "LINES");
    if (hoja->m_divisor == 0) return nullptr;
    if (!EQUAL(textos.c_str(), "LINES") && !EQUAL(textos.c_str(), "POINTS") &&
        !EQUAL(textos.c_str(), "BOTH")) {
        CPLError(CE_Failure, CPLE_IllegalArg, "TEXTS=%s: los textos van en LINES, POINTS o BOTH",
                 textos.c_str());
        return nullptr;
    }
    hoja->SetDescription(info->pszFilename);
    try {
        const std::lock_guard<std::mutex> l(g_numeros);
        hoja->m_digi.AbreFicheroLectura(hoja->m_ruta, hoja->m_nfich);
    } catch (const std::exception& e) {
        CPLError(CE_Failure, CPLE_OpenFailed, "%s", e.what());
        return nullptr;
    }
    hoja->Recorre(textos);
    return hoja.release();
}

// One walk over the whole sheet finds each element's layer, ordinal and extent; the features
// are read from the file again when asked for. A damaged element ends the walk: the layers
// keep what came before it.
bool HojaDigi::Recorre(const std::string& textos) {
    std::array<std::vector<Entrada>, formas::kCapas.size()> entradas;
    // Room for every element of 60 bytes or more (all but lines of no points); pages never
    // touched cost nothing.
    const int64_t maximo = m_digi.LongitudFichero(m_nfich) / 60 + 1;
    for (auto& v : entradas) v.reserve(size_t(std::min<int64_t>(maximo, 1 << 24)));
    bool conZ = false;
    formas::Forma forma;
    brisquel::tipo_entidad& e = m_entidad;
    const formas::Reglas reglas{!EQUAL(textos.c_str(), "POINTS"), false, false};
    const bool ambas = EQUAL(textos.c_str(), "BOTH");
    int32_t contador = 0;
    try {
        if (m_digi.LongitudFichero(m_nfich) > 0) do {
                m_digi.DameEntidad(m_nfich, e);
                ++contador;
                const std::string& tipo = e.elemento.cabecera.tipo;
                if (e.nfich == 0 && tipo != "C=" && tipo != "T=") break;
                if (m_digi.ElementoCortado(m_nfich, e)) {
                    CPLError(CE_Warning, CPLE_AppDefined,
                             "%s: byte %d: elemento cortado por el final del fichero; no se lee",
                             m_ruta.c_str(), e.puntero);
                    break;
                }
                std::array<formas::Capa, 2> clases{formas::CapaDe(e.Propiedad, reglas),
                                                   formas::kNingunaCapa};
                if (ambas && e.Propiedad.EsTexto)
                    clases = {formas::kTextosLinea, formas::kTextosPunto};
                for (const formas::Capa clase : clases) {
                    if (clase == formas::kNingunaCapa) continue;
                    Entrada en{e.puntero, contador, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
                    conZ = Caja(e, clase, m_divisor, forma, en) || conZ;
                    entradas[clase].push_back(en);
                }
            } while (e.nfich != 0);
    } catch (const std::exception& ex) {
        CPLError(CE_Warning, CPLE_AppDefined, "%s; se leen los %d elementos anteriores", ex.what(),
                 contador);
    }
    const std::string base = CPLGetBasename(m_ruta.c_str());
    // The sheet's coordinate system, from a .prj beside it as bin2shp takes it.
    OGRSpatialReference* srs = nullptr;
    for (const char* extension : {"prj", "PRJ"}) {
        const std::string prj = CPLResetExtension(m_ruta.c_str(), extension);
        VSIStatBufL estado;
        if (srs != nullptr || VSIStatL(prj.c_str(), &estado) != 0) continue;
        GByte* datos = nullptr;
        if (!VSIIngestFile(nullptr, prj.c_str(), &datos, nullptr, 1 << 20)) continue;
        const std::string wkt = reinterpret_cast<const char*>(datos);
        VSIFree(datos);
        srs = new OGRSpatialReference();
        srs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        if (srs->importFromWkt(wkt.c_str()) != OGRERR_NONE) {
            CPLError(CE_Warning, CPLE_AppDefined, "%s: no es un sistema de coordenadas",
                     prj.c_str());
            srs->Release();
            srs = nullptr;
        }
    }
    for (size_t c = 0; c < entradas.size(); ++c) {
        if (entradas[c].empty()) continue;
        std::string sufijo = formas::kCapas[c].sufijo;
        sufijo.resize(sufijo.size() - 4);  // without ".shp"
        auto capa =
            std::make_unique<CapaDigi>(*this, base + sufijo, formas::Capa(c), conZ, nullptr);
        capa->Toma(std::move(entradas[c]));
        if (srs != nullptr) capa->GetLayerDefn()->GetGeomFieldDefn(0)->SetSpatialRef(srs);
        m_capas.push_back(std::move(capa));
    }
    if (srs != nullptr) srs->Release();
    return true;
}

GDALDataset* HojaDigi::Crea(const char* nombre, int, int, int, GDALDataType, char** opciones) {
    VSIStatBufL estado;
    if (VSIStatL(nombre, &estado) == 0) {
        CPLError(CE_Failure, CPLE_AppDefined,
                 "%s: ya existe; para añadirle elementos, ábralo para actualizar (ogr2ogr "
                 "-append)",
                 nombre);
        return nullptr;
    }
    std::unique_ptr<HojaDigi> hoja(new HojaDigi);
    hoja->m_ruta = nombre;
    hoja->m_actualizable = true;
    hoja->m_divisor = DivisorDe(opciones);
    if (hoja->m_divisor == 0) return nullptr;
    hoja->SetDescription(nombre);
    if (!hoja->AbreAnexo()) return nullptr;
    return hoja.release();
}

HojaDigi::~HojaDigi() {
    m_capas.clear();
    if (m_nfich != 0) {
        const std::lock_guard<std::mutex> l(g_numeros);
        try {
            m_digi.CierraFichero(m_ruta, m_nfich);
        } catch (const std::exception&) {
            // A file only read loses nothing when its closing fails.
        }
    }
    if (!m_anexo) return;
    if (m_fallido) {
        CPLError(CE_Failure, CPLE_AppDefined,
                 "%s: no se ha escrito nada, porque un rasgo no se pudo escribir", m_ruta.c_str());
        return;  // the append removes its copy: the file stays as it was
    }
    try {
        m_anexo->Confirma();
    } catch (const std::exception& e) {
        CPLError(CE_Failure, CPLE_FileIO, "%s", e.what());
        return;
    }
    EscribePrj();
}

void HojaDigi::EscribePrj() {
    if (m_wkt.empty()) return;
    for (const char* extension : {"prj", "PRJ"}) {
        const std::string prj = CPLResetExtension(m_ruta.c_str(), extension);
        VSIStatBufL estado;
        if (VSIStatL(prj.c_str(), &estado) != 0) continue;
        // The sheet's own stays: a different one is said, never overwritten.
        OGRSpatialReference suyo, nuestro;
        char** lineas = CSLLoad(prj.c_str());
        const bool igual = lineas != nullptr && suyo.importFromESRI(lineas) == OGRERR_NONE &&
                           nuestro.importFromWkt(m_wkt.c_str()) == OGRERR_NONE &&
                           suyo.IsSame(&nuestro);
        CSLDestroy(lineas);
        if (!igual)
            CPLError(CE_Warning, CPLE_AppDefined,
                     "%s: su sistema de coordenadas no es el de las capas escritas; se deja "
                     "como estaba",
                     prj.c_str());
        return;
    }
    try {
        comun::FicheroNuevo prj(CPLResetExtension(m_ruta.c_str(), "prj"));
        prj.Escribe(m_wkt.data(), m_wkt.size());
        prj.Confirma();
    } catch (const std::exception& e) {
        CPLError(CE_Failure, CPLE_FileIO, "%s", e.what());
    }
}

OGRLayer* HojaDigi::GetLayer(int i) {
    return i < 0 || i >= GetLayerCount() ? nullptr : m_capas[size_t(i)].get();
}

int HojaDigi::TestCapability(const char* c) {
    if (EQUAL(c, ODsCCreateLayer) || EQUAL(c, ODsCRandomLayerWrite)) return m_actualizable;
    if (EQUAL(c, ODsCZGeometries)) return TRUE;
    return FALSE;
}

OGRLayer* HojaDigi::ICreateLayer(const char* nombre, OGRSpatialReference* srs,
                                 OGRwkbGeometryType tipo, char** opciones) {
    if (!m_actualizable) {
        CPLError(CE_Failure, CPLE_NoWriteAccess, "%s: abierto solo para leer", m_ruta.c_str());
        return nullptr;
    }
    // A GeoPackage layer without a system reads back as an "Undefined" one: not worth a .prj
    // that would tell bin2shp and shp2bin the sheet is in degrees.
    const char* nombreSrs = srs != nullptr ? srs->GetName() : nullptr;
    if (srs != nullptr && !srs->IsLocal() &&
        !(nombreSrs != nullptr && CPLString(nombreSrs).ifind("undefined") != std::string::npos)) {
        char* wkt = nullptr;
        const char* const formato[] = {"FORMAT=WKT1_ESRI", nullptr};
        if (srs->exportToWkt(&wkt, formato) == OGRERR_NONE && wkt != nullptr) {
            if (m_wkt.empty()) {
                m_wkt = wkt;
            } else if (m_wkt != wkt) {
                CPLError(CE_Warning, CPLE_AppDefined,
                         "%s: las capas traen sistemas de coordenadas distintos; el .prj de la "
                         "hoja lleva el de la primera",
                         m_ruta.c_str());
            }
        }
        CPLFree(wkt);
    }
    auto capa = std::make_unique<CapaDigi>(*this, nombre, formas::kNingunaCapa, false, opciones);
    capa->GetLayerDefn()->SetGeomType(tipo);
    m_capas.push_back(std::move(capa));
    return m_capas.back().get();
}

bool HojaDigi::Lee(int32_t puntero, brisquel::tipo_entidad& e) {
    try {
        m_digi.SituaLectura(m_nfich, puntero);
        m_digi.DameEntidad(m_nfich, e);
        return true;
    } catch (const std::exception& ex) {
        CPLError(CE_Failure, CPLE_FileIO, "%s", ex.what());
        return false;
    }
}

bool HojaDigi::AbreAnexo() {
    if (m_anexo) return true;
    try {
        m_anexo = std::make_unique<brisquel::AnexoBin>(m_ruta);
        return true;
    } catch (const std::exception& e) {
        CPLError(CE_Failure, CPLE_OpenFailed, "%s", e.what());
        return false;
    }
}

OGRErr HojaDigi::Escribe(OGRFeature& rasgo, const OpcionesEscritura& o) {
    if (!m_actualizable) {
        CPLError(CE_Failure, CPLE_NoWriteAccess, "%s: abierto solo para leer", m_ruta.c_str());
        return OGRERR_FAILURE;
    }
    if (m_fallido || !AbreAnexo()) return OGRERR_FAILURE;
    const double f = m_divisor;
    try {
        std::vector<Parte> partes;
        Partes(rasgo.GetGeometryRef(), partes);
        std::string codigo = "9995";
        if (const int i = Indice(rasgo, o.campoCodigo); i >= 0) {
            codigo = brisquel::Windows1252DesdeUtf8(rasgo.GetFieldAsString(i));
            m_digi.limpia_texto(codigo);
        }
        if (codigo.size() > 7) Falla("Código de más de 7 caracteres: " + Utf8(codigo));
        std::string texto;
        if (const int i = Indice(rasgo, o.campoTexto); i >= 0) {
            bool exacto = true;
            texto = brisquel::Windows1252DesdeUtf8(rasgo.GetFieldAsString(i), '?', &exacto);
            m_digi.limpia_texto(texto);
            if (!exacto && !m_avisoTexto) {
                m_avisoTexto = true;
                CPLError(CE_Warning, CPLE_AppDefined,
                         "%s: hay textos con caracteres que Windows-1252 no tiene; se escriben "
                         "como \"?\"",
                         m_ruta.c_str());
            }
        }
        const std::vector<brisquel::Fatrib> enlaces = EnlacesDe(rasgo, o);
        brisquel::tipo_entidad& e = m_entidad;
        auto& m = e.elemento;
        for (const Parte& p : partes) {
            if (p.empty()) continue;
            m = {};
            e.Propiedad = {};
            e.nfich = e.puntero = e.tamano = 0;
            m.cabecera.codigo = codigo;
            m.cabecera.natr = static_cast<uint8_t>(enlaces.size());
            m.atributos = enlaces;
            if (texto.empty() && p.size() > size_t(formas::kMaximoPuntos))
                Falla(formas::kMensajeMaximoPuntos + std::to_string(m_anexo->Elementos() + 1));
            const size_t n = texto.empty() ? p.size() : 1;
            for (size_t i = 0; i < n; ++i)
                m.coordenadas.push_back(
                    {Entero(p[i][0] * f, "Una coordenada"),
                     Entero(formas::SinFalsoNorte(p[i][1], f) * f, "Una coordenada"),
                     Entero(std::isnan(p[i][2]) ? 0 : p[i][2] * f, "Una coordenada")});
            if (texto.empty()) {
                m.cabecera.tipo = "C=";
                m.cabecera.npuntos = static_cast<int16_t>(n);
            } else {
                m.cabecera.tipo = "T=";
                m.rango.xlib = Entero(Numero(rasgo, o.campoAltura, o.altura) * f, "La altura");
                m.rango.ylib = Entero(Numero(rasgo, o.campoJustificacion, o.justificacion),
                                      "La justificación");
                m.rango.zlib = Entero(Numero(rasgo, o.campoGiro, o.giro) * 100, "El giro");
                // The writer's extent takes in the text's run from the insertion point.
                const double largo = std::fabs(double(m.rango.xlib)) * double(texto.size());
                if (std::abs(double(m.coordenadas[0].x)) + largo > 2147483647.0 ||
                    std::abs(double(m.coordenadas[0].y)) + largo > 2147483647.0)
                    throw parvenza::Error(kDesbordamiento,
                                          "El texto no cabe en las coordenadas del fichero BIN");
                e.Propiedad.EsTexto = true;
                e.Propiedad.texto = texto;
                std::string copia = texto;
                m_digi.ModificaTextoEntidad(copia, e);
            }
            m_anexo->Anade(e);
        }
        if (partes.empty())
            CPLError(CE_Warning, CPLE_AppDefined,
                     "%s: un rasgo sin geometría no tiene elemento que escribir", m_ruta.c_str());
        return OGRERR_NONE;
    } catch (const std::exception& ex) {
        m_fallido = true;
        CPLError(CE_Failure, CPLE_AppDefined, "%s: %s", m_ruta.c_str(), ex.what());
        return OGRERR_FAILURE;
    }
}

}  // namespace parvenza::gdal

// --- Registration -------------------------------------------------------------------------

namespace {

constexpr const char* kOpcionesApertura = R"(<OpenOptionList>
  <Option name='UNITS' type='string-select' default='cm' description='Unidades del fichero BIN'>
    <Value>cm</Value><Value>mm</Value>
  </Option>
  <Option name='TEXTS' type='string-select' default='LINES' description='Capa de los textos: la de líneas de su recorrido (_TL), la de puntos (_TX) o ambas'>
    <Value>LINES</Value><Value>POINTS</Value><Value>BOTH</Value>
  </Option>
</OpenOptionList>)";

constexpr const char* kOpcionesCreacion = R"(<CreationOptionList>
  <Option name='UNITS' type='string-select' default='cm' description='Unidades del fichero BIN'>
    <Value>cm</Value><Value>mm</Value>
  </Option>
</CreationOptionList>)";

constexpr const char* kOpcionesCapa = R"(<LayerCreationOptionList>
  <Option name='CODE_FIELD' type='string' description='Campo del código (por defecto CODIGO7 o CODIGO; sin él, 9995)'/>
  <Option name='TEXT_FIELD' type='string' description='Campo del texto: un rasgo con texto da elementos de texto (por defecto TEXT)'/>
  <Option name='HEIGHT_FIELD' type='string' description='Campo de la altura del texto (por defecto ALTURA)'/>
  <Option name='HEIGHT' type='float' default='1.5' description='Altura del texto sin campo'/>
  <Option name='JUSTIFICATION_FIELD' type='string' description='Campo de la justificación (por defecto JUSTIF)'/>
  <Option name='JUSTIFICATION' type='int' default='0' description='Justificación sin campo'/>
  <Option name='ROTATION_FIELD' type='string' description='Campo del giro en grados (por defecto ROTATION)'/>
  <Option name='ROTATION' type='float' default='0' description='Giro sin campo'/>
  <Option name='LINK_FIELDS' type='string' description='Enlaces a atributos: TABLA:REGISTRO o RESTO, separados por comas (por defecto la lista JSON de ENLACES)'/>
</LayerCreationOptionList>)";

}  // namespace

extern "C" __attribute__((visibility("default"))) void RegisterOGRDigi() {
    if (!GDAL_CHECK_VERSION("Digi") || GDALGetDriverByName("Digi") != nullptr) return;
    auto* d = new GDALDriver();
    d->SetDescription("Digi");
    d->SetMetadataItem(GDAL_DCAP_VECTOR, "YES");
    d->SetMetadataItem(GDAL_DCAP_CREATE, "YES");
    d->SetMetadataItem(GDAL_DCAP_Z_GEOMETRIES, "YES");
    d->SetMetadataItem(GDAL_DMD_LONGNAME, "Hoja BIN de Digi");
    d->SetMetadataItem(GDAL_DMD_EXTENSION, "bin");
    d->SetMetadataItem(GDAL_DMD_EXTENSIONS, "bin");
    d->SetMetadataItem(GDAL_DMD_HELPTOPIC, "README.md#gdal-driver");
    d->SetMetadataItem(GDAL_DMD_CREATIONFIELDDATATYPES, "Integer Integer64 Real String");
    d->SetMetadataItem(GDAL_DMD_OPENOPTIONLIST, kOpcionesApertura);
    d->SetMetadataItem(GDAL_DMD_CREATIONOPTIONLIST, kOpcionesCreacion);
    d->SetMetadataItem(GDAL_DS_LAYER_CREATIONOPTIONLIST, kOpcionesCapa);
    d->pfnIdentify = parvenza::gdal::HojaDigi::Identifica;
    d->pfnOpen = parvenza::gdal::HojaDigi::Abre;
    d->pfnCreate = parvenza::gdal::HojaDigi::Crea;
    GetGDALDriverManager()->RegisterDriver(d);
}
