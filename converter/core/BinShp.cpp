// The BIN-to-shapefile driver. Each BIN file is read once, element by element, and every element
// goes straight to its layer: no element is held beyond the current one.

#include "converter/core/BinShp.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>

#include "converter/core/CapasShape.h"
#include "converter/core/Proyeccion.h"
#include "converter/formas/Formas.h"
#include "converter/shapefile/Shapefile.h"
#include "digi/AnexoBin.h"
#include "digi/DigiError.h"
#include "digi/Elemento.h"
#include "digi/FicheroDigi.h"
#include "digi/Texto1252.h"

namespace fs = std::filesystem;

namespace parvenza {

namespace {

constexpr int64_t kCadaAvance = 4096;
const std::string kSinTexto;

/// Closes the BIN file however the pass ends.
class FicheroAbierto {
  public:
    FicheroAbierto(brisquel::FicheroDigi& digi, const std::string& ruta)
        : m_digi(digi), m_ruta(ruta) {
        m_digi.AbreFicheroLectura(m_ruta, m_nfich);
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
    std::vector<unsigned char> buffer(size_t(1) << 18);  // small enough to stay in cache
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

/// Position of a layer path among a sheet's five suffixes.
size_t OrdenCapa(const std::string& ruta) {
    for (size_t i = 0; i < formas::kCapas.size(); ++i) {
        const std::string sufijo = formas::kCapas[i].sufijo;
        if (ruta.size() >= sufijo.size() &&
            ruta.compare(ruta.size() - sufijo.size(), sufijo.size(), sufijo) == 0)
            return i;
    }
    return formas::kCapas.size();
}

/// One layer of the sheet being read: its writer and common fields, looked up once.
struct CapaAbierta {
    std::unique_ptr<Shapefile> escritor = std::make_unique<Shapefile>();
    bool abierta = false;
    int16_t tipo = 0;
    size_t indiceResultado = 0;
    std::optional<ShapeField> polyId, codigo, texto, rotacion;
    size_t anchoCodigo = 0, anchoTexto = 0;  ///< longer values are cut by the table
};

/// Notes element `n` when its code or text holds bytes Windows-1252 leaves undefined: the
/// table declares that page, so no reader can show them.
void AnotaIndefinidos(Omisiones& omisiones, const std::string& fichero, const std::string& codigo,
                      const std::string& texto, int32_t n) {
    auto indefinido = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
    };
    if (std::none_of(codigo.begin(), codigo.end(), indefinido) &&
        std::none_of(texto.begin(), texto.end(), indefinido))
        return;
    omisiones.Anota(fichero, "caracteres que Windows-1252 no define, escritos tal cual",
                    "elemento " + std::to_string(n));
}

/// What a field of `ancho` characters cuts `valor` to, noted as the loss of element `n`.
void AnotaCorte(Omisiones& omisiones, const std::string& fichero, const char* campo, size_t ancho,
                const std::string& valor, int32_t n, bool conValor) {
    if (valor.size() <= ancho) return;
    std::string caso = "elemento " + std::to_string(n);
    if (conValor) caso += " (" + brisquel::Utf8DesdeWindows1252(valor) + ")";
    omisiones.Anota(
        fichero, std::string(campo) + " cortado a " + std::to_string(ancho) + " caracteres", caso);
}

// The files after `actual` (an index of `ficheros`), one per line, for the message of a run
// that ends the program before it reaches them.
std::string SinConvertir(const std::vector<std::string>& ficheros, int actual) {
    if (actual < 0 || actual + 1 >= static_cast<int>(ficheros.size())) return {};
    std::string m = "\nNo se han convertido:";
    for (size_t i = static_cast<size_t>(actual) + 1; i < ficheros.size(); ++i)
        m += "\n" + ficheros[i];
    return m;
}

ResultadoBinShp Procesa(const OpcionesBinShp& opciones, Puerto& puerto, GanchoCatastro* catastro,
                        int& actual);

}  // namespace

ResultadoBinShp ProcesarBinShp(const OpcionesBinShp& opciones, Puerto& puerto,
                               GanchoCatastro* catastro) {
    int actual = -1;  // the file being converted, while one is
    try {
        return Procesa(opciones, puerto, catastro, actual);
    } catch (const FinDePrograma& fin) {
        throw FinDePrograma(fin.what() + SinConvertir(opciones.ficheros, actual), fin.estado());
    } catch (Error& e) {
        // The file is named once: the Digi library names it already in its own errors.
        if (actual >= 0 && std::string(e.what()).rfind(opciones.ficheros[actual] + ": ", 0) != 0)
            e.Antepone(opciones.ficheros[actual]);
        throw;
    }
}

std::string ChoqueDeCapas(const std::vector<std::string>& ficheros,
                          const std::string& carpetaSalida) {
    std::map<fs::path, std::string> capas;
    for (const std::string& h : ficheros) {
        const fs::path carpeta =
            carpetaSalida.empty() ? fs::path(h).parent_path() : fs::path(carpetaSalida);
        std::error_code ec;
        fs::path base = fs::weakly_canonical(fs::absolute(carpeta, ec), ec) / fs::path(h).stem();
        auto [it, nuevo] = capas.emplace(base, h);
        if (!nuevo)
            return it->second + " y " + h + " darían las mismas capas (" +
                   fs::path(h).stem().string() + "_*.shp)";
    }
    return {};
}

namespace {

/// Where the layers of `fichero` go, as the sheet path CapasEnObra and RutaCapa take.
std::string RutaDeCapas(const OpcionesBinShp& opciones, const std::string& fichero) {
    if (opciones.carpetaSalida.empty()) return fichero;
    return (fs::path(opciones.carpetaSalida) / fs::path(fichero).filename()).string();
}

/// A layer put in place, by its headers: the shape type of the .shp, the records of the .shx.
CapaEscrita CapaColocada(const std::string& ruta) {
    CapaEscrita capa{ruta, 0, 0};
    unsigned char cabecera[36] = {};
    const int fd = ::open(ruta.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (::pread(fd, cabecera, sizeof cabecera, 0) == ssize_t(sizeof cabecera))
            capa.tipo = cabecera[32] | cabecera[33] << 8 | cabecera[34] << 16 | cabecera[35] << 24;
        ::close(fd);
    }
    std::error_code ec;
    const auto indice = fs::file_size(fs::path(ruta).replace_extension(".shx"), ec);
    if (!ec && indice >= 100) capa.registros = int64_t(indice - 100) / 8;
    return capa;
}

ResultadoBinShp Procesa(const OpcionesBinShp& opciones, Puerto& puerto, GanchoCatastro* catastro,
                        int& actual) {
    ResultadoBinShp resultado;
    if (opciones.catastro && !opciones.mdbElegido) {
        puerto.Mensaje("No se ha elegido fichero MDB");
        return resultado;
    }
    if (!opciones.binElegido || opciones.ficheros.empty()) {
        puerto.Mensaje("No se ha elegido fichero BIN");
        return resultado;
    }
    if (!opciones.anexar) {
        const std::string choque = ChoqueDeCapas(opciones.ficheros, opciones.carpetaSalida);
        if (!choque.empty()) {
            puerto.Mensaje(choque + "; no se ha convertido ninguno", true);
            return resultado;
        }
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
    const formas::Reglas reglas{opciones.textosComoLineas, opciones.cerradasComoLineas,
                                opciones.anexar};
    formas::Forma forma;
    std::map<std::string, std::string> prjCapas;  // layer -> its sheet's coordinate system
    std::string prjHoja;
    {
        // One read of each sheet feeds all its layers, each on a writer of its own.
        std::array<CapaAbierta, formas::kCapas.size()> capas;
        for (int f = 0; f < nficheros; ++f) {
            const std::string& fichero = opciones.ficheros[f];
            actual = f;
            // Opening a BIN file creates it when missing; a conversion must not.
            std::error_code ec;
            if (!fs::is_regular_file(fichero, ec))
                throw Error(kFicheroNoEncontrado, "no existe el fichero");
            if (const std::string defecto = brisquel::DefectoBin(fichero, false);
                !defecto.empty()) {
                resultado.omisiones.Anota(fichero, "no es un fichero BIN, no se ha convertido",
                                          defecto);
                continue;
            }
            const std::string suya = opciones.anexar ? baseAnexo : RutaDeCapas(opciones, fichero);
            if (base != suya) ultimas.clear();
            base = suya;
            obra.Bloquea(base);
            prjHoja = opciones.prj.empty() ? LeePrj(RutaPrjHoja(fichero)) : opciones.prj;
            const int anchoPolyId = AnchoPolyIdDe(fichero);
            const size_t primeraCapaDelFichero = resultado.capas.size();
            Reloj reloj(puerto);
            puerto.Proceso("Procesando fichero...");
            int32_t contador = 0;
            FicheroAbierto bin(digi, fichero);
            const auto bytes = fs::file_size(fichero, ec);
            puerto.Proceso("Pasada 1");
            puerto.Avance(f + 1, nficheros, 1, 0);
            do {
                digi.DameEntidad(bin.nfich(), entidad);
                ++contador;
                const std::string& tipo = entidad.elemento.cabecera.tipo;
                if (entidad.nfich == 0 && tipo != "C=" && tipo != "T=") break;
                if (digi.ElementoCortado(bin.nfich(), entidad)) {
                    resultado.omisiones.Anota(fichero, "elemento cortado por el final del fichero",
                                              "byte " + std::to_string(entidad.puntero));
                    break;
                }
                if (contador % kCadaAvance == 0) {
                    puerto.Avance(f + 1, nficheros, 1, contador);
                    if (bytes > 0) puerto.AvanceFichero(double(entidad.puntero) / double(bytes));
                }
                codigo = entidad.elemento.cabecera.codigo;
                digi.limpia_texto(codigo);
                if (opciones.catastro) catastro->Busca(entidad, codigo);
                const formas::Capa clase = formas::CapaDe(entidad.Propiedad, reglas);
                if (clase == formas::kNingunaCapa) continue;
                CapaAbierta& capa = capas[clase];
                const formas::DefinicionCapa& def = formas::kCapas[clase];

                if (!capa.abierta) {
                    const int16_t tipoCapa = dosD ? def.tipo2D : def.tipoZ;
                    obra.CreateFichShape(*capa.escritor, base, tipoCapa, def.sufijo,
                                         opciones.anexar, opciones.catastro, anchoPolyId);
                    capa.abierta = true;
                    capa.tipo = tipoCapa;
                    auto campos = capa.escritor->Fields();
                    capa.polyId = campos.Item("Poly_id");
                    capa.codigo = campos.Item("Codigo");
                    capa.texto = campos.Item("Text");
                    capa.rotacion = campos.Item("Rotation");
                    capa.anchoCodigo = static_cast<size_t>(capa.codigo->Width());
                    capa.anchoTexto = static_cast<size_t>(capa.texto->Width());
                    // In append mode every file adds to the same layers: one entry each.
                    std::string ruta = RutaCapa(base, def.sufijo);
                    capa.indiceResultado = resultado.capas.size();
                    for (size_t k = 0; k < resultado.capas.size(); ++k)
                        if (resultado.capas[k].ruta == ruta) capa.indiceResultado = k;
                    if (capa.indiceResultado == resultado.capas.size())
                        resultado.capas.push_back({ruta, tipoCapa, 0});
                    ultimas[def.sufijo] = {obra.Archivo(ruta), ruta};
                    prjCapas[ruta] = prjHoja;
                }
                // Each field set once: the pending record starts blank, the text's fields
                // take a text's values.
                const bool esTexto = entidad.Propiedad.EsTexto;
                const std::string& texto = esTexto ? entidad.Propiedad.texto : kSinTexto;
                capa.polyId->Value(contador);
                capa.codigo->Value(codigo);
                if (esTexto) capa.texto->Value(texto);
                capa.rotacion->Value(esTexto ? formas::Rotacion(entidad) : 0.0);
                if (opciones.catastro) {
                    catastro->PonCampos(*capa.escritor, capa.tipo);
                    for (const GanchoCatastro::Corte& c : catastro->Cortes())
                        AnotaCorte(resultado.omisiones, fichero, c.campo.c_str(), c.ancho, c.valor,
                                   contador, true);
                }
                AnotaCorte(resultado.omisiones, fichero, "CODIGO", capa.anchoCodigo, codigo,
                           contador, true);
                AnotaIndefinidos(resultado.omisiones, fichero, codigo, texto, contador);
                AnotaCorte(resultado.omisiones, fichero, "TEXT", capa.anchoTexto, texto, contador,
                           false);
                formas::Geometria(entidad, clase, divisor, forma, !dosD);
                capa.escritor->Vertices().Add(forma.x.data(), forma.y.data(),
                                              dosD ? nullptr : forma.z.data(), forma.x.size());
                capa.escritor->WriteRecord();
                ++resultado.capas[capa.indiceResultado].registros;
            } while (entidad.nfich != 0);
            puerto.Avance(f + 1, nficheros, 1, contador);
            // Each sheet's layers close with it: the next sheet opens its own (or, appending,
            // reopens the same set); a failed flush is reported here.
            for (CapaAbierta& capa : capas) {
                if (!capa.abierta) continue;
                capa.escritor->CloseShapefile();
                capa.abierta = false;
            }
            // Listed in layer order, as the layers of a sheet always are.
            std::stable_sort(resultado.capas.begin() + primeraCapaDelFichero, resultado.capas.end(),
                             [](const CapaEscrita& a, const CapaEscrita& b) {
                                 return OrdenCapa(a.ruta) < OrdenCapa(b.ruta);
                             });
            ++resultado.ficherosConvertidos;
        }
        actual = -1;
    }
    if (!opciones.anexar)
        for (const std::string& fichero : opciones.ficheros)
            for (const std::string& ruta : obra.Ajenas(RutaDeCapas(opciones, fichero)))
                if (std::find(resultado.capasAnteriores.begin(), resultado.capasAnteriores.end(),
                              ruta) == resultado.capasAnteriores.end())
                    resultado.capasAnteriores.push_back(ruta);
    puerto.Proceso("Proceso Terminado");
    std::unique_ptr<ConjuntoCatastro> conjunto;
    if (opciones.catastro) {
        Reloj reloj(puerto);
        conjunto = catastro->Genera(ultimas, puerto);
    }
    for (const auto& [ruta, wkt] : prjCapas)
        if (!wkt.empty()) obra.Proyeccion(ruta, wkt);
    if (conjunto && !prjHoja.empty()) conjunto->Proyeccion(prjHoja);
    // Everything is written: only now does any file of the run take its place.
    obra.Confirma();
    if (conjunto) {
        conjunto->Coloca();
        for (const std::string& ruta : conjunto->Colocadas())
            resultado.capas.push_back(CapaColocada(ruta));
    }
    resultado.ejecutado = true;
    return resultado;
}

}  // namespace

}  // namespace parvenza
