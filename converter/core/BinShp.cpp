// The five-pass BIN-to-shapefile driver. Each BIN file is read once per output class, so only
// one layer is open at a time and no element is held beyond the current one.

#include "converter/core/BinShp.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "converter/core/CapasShape.h"
#include "converter/shapefile/Shapefile.h"
#include "digi/DigiError.h"
#include "digi/Elemento.h"
#include "digi/FicheroDigi.h"

namespace fs = std::filesystem;

namespace parvenza {

namespace {

enum Clase { kPoligono, kLinea, kPunto, kTexto };

struct Pasada {
    const char* sufijo;
    int16_t tipo2D;
    int16_t tipoZ;
    Clase clase;
};

constexpr std::array<Pasada, 5> kPasadas = {{{"_P.shp", 5, 15, kPoligono},
                                             {"_L.shp", 3, 13, kLinea},
                                             {"_X.shp", 1, 11, kPunto},
                                             {"_TL.shp", 3, 13, kTexto},
                                             {"_TX.shp", 1, 11, kTexto}}};

constexpr double kPi = 3.14159265358979;
constexpr int64_t kCadaAvance = 4096;

bool EsZ(int16_t tipo) { return tipo == 11 || tipo == 13 || tipo == 15; }

/// Whether the element goes to pass `pasada` (1-based).
bool EnPasada(int pasada, const brisquel::tipo_propiedad& p, const OpcionesBinShp& o) {
    switch (pasada) {
        case 1:
            return p.EsCerrado && !p.EsPunto && !p.EsTexto && !o.cerradasComoLineas;
        case 2:
            return !p.EsPunto && !p.EsTexto && (!p.EsCerrado || o.cerradasComoLineas);
        case 3:
            return p.EsPunto && !p.EsTexto && !o.anexar;
        case 4:
            return p.EsTexto && o.textosComoLineas;
        default:
            return p.EsTexto && !o.textosComoLineas;
    }
}

/// Closes the BIN file however the pass ends.
class FicheroAbierto {
  public:
    FicheroAbierto(brisquel::FicheroDigi& digi, const std::string& ruta)
        : m_digi(digi), m_ruta(ruta) {
        m_digi.AbreFichero(m_ruta, m_nfich);
    }
    ~FicheroAbierto() {
        try {
            m_digi.CierraFichero(m_ruta, m_nfich);
        } catch (const std::exception&) {
            // Closing a file we only read cannot lose data; the first error is the one to report.
        }
    }
    int32_t nfich() const { return m_nfich; }

  private:
    brisquel::FicheroDigi& m_digi;
    std::string m_ruta;
    int32_t m_nfich = 0;
};

/// Hourglass off when the run ends, by failure too.
class Reloj {
  public:
    explicit Reloj(Puerto& p) : m_p(p) { m_p.Ocupado(true); }
    ~Reloj() { m_p.Ocupado(false); }

  private:
    Puerto& m_p;
};

/// Live elements of `fichero`, by a walk over their headers alone: enough to size POLY_ID
/// before any layer is made. A damaged header ends the count; the passes report it.
int64_t CuentaElementos(const std::string& fichero) {
    const int fd = ::open(fichero.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    std::vector<unsigned char> buffer(size_t(1) << 20);
    int64_t inicioBuffer = 0, validos = 0, posicion = 0, n = 0;
    for (;;) {
        if (posicion < inicioBuffer || posicion + brisquel::kBloque > inicioBuffer + validos) {
            const ssize_t r = ::pread(fd, buffer.data(), buffer.size(), posicion);
            if (r < brisquel::kBloque) break;
            inicioBuffer = posicion;
            validos = r;
        }
        brisquel::tipo_dat c;
        try {
            brisquel::DecodificaCabecera(buffer.data() + (posicion - inicioBuffer), c);
        } catch (const brisquel::DigiError&) {
            break;
        }
        const bool vivo = c.tipo[1] == '=' && (c.tipo[0] == 'C' || c.tipo[0] == 'T');
        if (c.tipo[1] == '=' && !vivo) break;
        n += vivo;
        posicion += vivo ? brisquel::TamanoLeido(c) : brisquel::TamanoSegunCabecera(c);
    }
    ::close(fd);
    return n;
}

/// Width of POLY_ID for the sheet `fichero`, decided before any layer is made: a file too
/// short to hold a million elements keeps the usual width; a longer one is counted.
int AnchoPolyIdDe(const std::string& fichero) {
    constexpr int64_t kOrdinalesCortos = 999999;
    std::error_code ec;
    const auto longitud = fs::file_size(fichero, ec);
    if (ec || longitud < uint64_t(kOrdinalesCortos) * brisquel::kCabecera) return kAnchoPolyId;
    return AnchoPolyId(CuentaElementos(fichero));
}

/// The open layer and its common fields, looked up once per layer.
struct CapaAbierta {
    int16_t tipo = 0;
    size_t indiceResultado = 0;
    std::optional<ShapeField> polyId, codigo, texto, rotacion;
};

}  // namespace

ResultadoBinShp ProcesarBinShp(const OpcionesBinShp& opciones, Puerto& puerto,
                               GanchoCatastro* catastro) {
    ResultadoBinShp resultado;
    if (opciones.catastro && !opciones.mdbElegido) {
        puerto.Mensaje("No se ha elegido fichero MDB");
        return resultado;
    }
    if (!opciones.binElegido || opciones.ficheros.empty()) {
        puerto.Mensaje("No se ha elegido fichero BIN");
        return resultado;
    }
    if (opciones.catastro && !catastro)
        throw std::invalid_argument("ProcesarBinShp: cadastre mode without its hook");
    if (opciones.divisor <= 0)
        throw std::invalid_argument("ProcesarBinShp: unit divisor must be positive");

    const double divisor = opciones.divisor;
    // Cadastre layers take the 2D types: the cadastre fields exist only on those.
    const bool dosD = opciones.dosD || opciones.catastro;

    std::string baseAnexo;
    if (opciones.anexar) {
        std::string elegido;
        if (!puerto.PideFichero("Fichero SHP (*.shp)|*.shp", "Elegir fichero", elegido))
            return resultado;
        // Cut at the first "_" of the file name, never inside a folder name.
        fs::path p(elegido);
        std::string nombre = p.filename().string();
        size_t corte = nombre.find('_');
        if (corte == std::string::npos) {
            puerto.Mensaje(
                "El nombre del fichero elegido no lleva \"_\"; no se sabe a qué capas anexar: " +
                    elegido,
                true);
            return resultado;
        }
        baseAnexo = (p.parent_path() / nombre.substr(0, corte)).string() + ".bin";
    }

    brisquel::FicheroDigi digi;
    brisquel::tipo_entidad entidad;
    std::string codigo;
    std::string base;
    const int nficheros = static_cast<int>(opciones.ficheros.size());
    // Made before the writer, so the writer has closed the layers when they are removed.
    CapasEnObra obra;
    CapasDeHoja ultimas;  // the layers of the last sheet, for the cadastre set
    {
        auto escritor = std::make_unique<Shapefile>();
        for (int f = 0; f < nficheros; ++f) {
            const std::string& fichero = opciones.ficheros[f];
            // Opening a BIN file creates it when missing; a conversion must not.
            std::error_code ec;
            if (!fs::is_regular_file(fichero, ec))
                throw brisquel::DigiError(brisquel::kFicheroNoEncontrado,
                                          fichero + ": no existe el fichero");
            if (base != (opciones.anexar ? baseAnexo : fichero)) ultimas.clear();
            base = opciones.anexar ? baseAnexo : fichero;
            obra.Bloquea(base);
            const int anchoPolyId = AnchoPolyIdDe(fichero);
            std::array<bool, 4> pendiente = {true, true, true, true};
            Reloj reloj(puerto);
            puerto.Proceso("Procesando fichero...");
            for (int pasada = 1; pasada <= 5; ++pasada) {
                const Pasada& def = kPasadas[pasada - 1];
                int32_t contador = 0;
                FicheroAbierto bin(digi, fichero);
                puerto.Proceso("Pasada " + std::to_string(pasada));
                puerto.Avance(f + 1, nficheros, pasada, 0);
                CapaAbierta capa;
                do {
                    digi.DameEntidad(bin.nfich(), entidad);
                    ++contador;
                    const std::string& tipo = entidad.elemento.cabecera.tipo;
                    if (entidad.nfich == 0 && tipo != "C=" && tipo != "T=") break;
                    if (contador % kCadaAvance == 0)
                        puerto.Avance(f + 1, nficheros, pasada, contador);
                    codigo = entidad.elemento.cabecera.codigo;
                    digi.limpia_texto(codigo);
                    if (opciones.catastro) catastro->Busca(entidad, codigo);
                    const brisquel::tipo_propiedad& prop = entidad.Propiedad;
                    if (!EnPasada(pasada, prop, opciones)) continue;

                    if (pendiente[def.clase]) {
                        int16_t tipoCapa = dosD ? def.tipo2D : def.tipoZ;
                        obra.CreateFichShape(*escritor, base, tipoCapa, def.sufijo, opciones.anexar,
                                             opciones.catastro, anchoPolyId);
                        pendiente[def.clase] = false;
                        capa.tipo = tipoCapa;
                        auto campos = escritor->Fields();
                        capa.polyId = campos.Item("Poly_id");
                        capa.codigo = campos.Item("Codigo");
                        capa.texto = campos.Item("Text");
                        capa.rotacion = campos.Item("Rotation");
                        // In append mode every file adds to the same layers: one entry each.
                        std::string ruta = RutaCapa(base, def.sufijo);
                        capa.indiceResultado = resultado.capas.size();
                        for (size_t k = 0; k < resultado.capas.size(); ++k)
                            if (resultado.capas[k].ruta == ruta) capa.indiceResultado = k;
                        if (capa.indiceResultado == resultado.capas.size())
                            resultado.capas.push_back({ruta, tipoCapa, 0});
                        ultimas[def.sufijo] = {obra.Archivo(ruta), ruta};
                    }
                    capa.polyId->Value(contador);
                    capa.codigo->Value(codigo);
                    capa.texto->Value("");
                    capa.rotacion->Value(int32_t{0});
                    if (opciones.catastro) catastro->PonCampos(*escritor, capa.tipo);

                    const bool conZ = EsZ(capa.tipo);
                    const auto& puntos = entidad.elemento.coordenadas;
                    auto vertices = escritor->Vertices();
                    if (!prop.EsTexto) {
                        // npuntos is what the file says; the array holds what could be read.
                        size_t n =
                            std::min(puntos.size(), static_cast<size_t>(std::max<int16_t>(
                                                        entidad.elemento.cabecera.npuntos, 0)));
                        for (size_t i = 0; i < n; ++i) {
                            const auto& p = puntos[i];
                            if (conZ)
                                vertices.Add(p.x / divisor, p.y / divisor, p.z / divisor);
                            else
                                vertices.Add(p.x / divisor, p.y / divisor);
                        }
                    } else {
                        const auto& r = entidad.elemento.rango;
                        capa.texto->Value(prop.texto);
                        double rotacion = r.zlib / 100.0;
                        // ROTATION holds -99.99 to 999.99: an angle outside that range is
                        // written as the same angle within 0 to 360 rather than stop the run.
                        if (rotacion < -99.995 || rotacion >= 999.995) {
                            rotacion = std::fmod(rotacion, 360.0);
                            if (rotacion < 0) rotacion += 360.0;
                        }
                        capa.rotacion->Value(rotacion);
                        brisquel::Fpunto3d p1 = puntos.empty() ? brisquel::Fpunto3d{} : puntos[0];
                        double x1 = p1.x / divisor, y1 = p1.y / divisor, z1 = p1.z / divisor;
                        auto pon = [&](double x, double y) {
                            if (conZ)
                                vertices.Add(x, y, z1);
                            else
                                vertices.Add(x, y);
                        };
                        pon(x1, y1);
                        if (def.clase == kTexto && def.tipo2D == 3) {
                            double largo =
                                (r.xlib / divisor) * static_cast<double>(prop.texto.size()) * 0.8;
                            double a = (90 - r.zlib / 100.0) * kPi / 180;
                            pon(x1 + std::sin(a) * largo, y1 + std::cos(a) * largo);
                        }
                    }
                    escritor->WriteRecord();
                    ++resultado.capas[capa.indiceResultado].registros;
                } while (entidad.nfich != 0);
                puerto.Avance(f + 1, nficheros, pasada, contador);
            }
        }
        escritor->CloseShapefile();  // completes the last layer; a failed flush is reported
        escritor.reset();
    }
    if (!opciones.anexar)
        for (const std::string& fichero : opciones.ficheros)
            for (const std::string& ruta : obra.Ajenas(fichero))
                if (std::find(resultado.capasAnteriores.begin(), resultado.capasAnteriores.end(),
                              ruta) == resultado.capasAnteriores.end())
                    resultado.capasAnteriores.push_back(ruta);
    puerto.Proceso("Proceso Terminado");
    std::unique_ptr<ConjuntoCatastro> conjunto;
    if (opciones.catastro) {
        Reloj reloj(puerto);
        conjunto = catastro->Genera(ultimas, puerto);
    }
    // Everything is written: only now does any file of the run take its place.
    obra.Confirma();
    if (conjunto) conjunto->Coloca();
    resultado.ejecutado = true;
    return resultado;
}

}  // namespace parvenza
