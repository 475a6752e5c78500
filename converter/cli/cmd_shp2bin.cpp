// parvenza-cli shp2bin: the window's reverse band from the command line. Field names map to
// the field indices the window's selectors record; links and rests are attributes 1, 2, 3...
// in the order given.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>

#include "comun/Reemplazo.h"
#include "converter/cli/Entradas.h"
#include "converter/cli/PuertoConsola.h"
#include "converter/cli/Subcomando.h"
#include "converter/core/DbfCampos.h"
#include "converter/core/ShpBin.h"
#include "converter/core/ShpBinError.h"
#include "converter/core/ShpBinParalelo.h"
#include "converter/shapefile/PaginaCodigos.h"
#include "digi/Texto1252.h"

namespace parvenza::cli {

namespace {

struct ArgumentosShpBin {
    std::vector<std::string> entradas;  ///< shapefiles and folders
    std::string salida;
    bool mm = false;
    std::string campoCodigo, codigo = "140100";
    bool textos = false;
    std::string campoTexto, texto = "NoTexto";
    std::string campoAltura, altura = "1.50";
    std::string campoJustificacion, justificacion = "0";
    std::string campoGiro, giro = "0";
    std::string campoZ;
    std::string pagina;         ///< --encoding
    bool forzar = false;        ///< --force
    bool restaurarShx = false;  ///< --restore-shx
    bool silencio = false;      ///< --quiet
    int trabajos = 0;           ///< --jobs: shapefiles converted at once (0: one per core)
    std::vector<std::string> enlaces;
    std::vector<std::string> restos;
    std::vector<char> orden;  ///< 'E' link, 'R' rest, in the order given
};

/// The console port, with the line breaks of the window's messages made terminal ones.
class PuertoShpBin : public PuertoConsola {
  public:
    using PuertoConsola::PuertoConsola;
    void Mensaje(const std::string& texto, bool critico, const std::string& titulo) override {
        std::string t = texto;
        std::replace(t.begin(), t.end(), '\r', '\n');
        PuertoConsola::Mensaje(t, critico, titulo);
    }
};

struct ErrorUso {
    std::string mensaje;
};

bool MismoNombre(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

/// Finds a field by name (without regard to case) among those a selector with filter
/// `patron` would list, and returns its selector entry.
std::string Entrada(const std::vector<CampoDbf>& campos, const std::string& nombre,
                    const char* patron, const std::string& tabla, const char* opcion) {
    // The command line speaks UTF-8, the table's names are Windows-1252.
    const std::string nombre1252 = brisquel::Windows1252DesdeUtf8(nombre);
    for (size_t i = 0; i < campos.size(); ++i) {
        if (!MismoNombre(campos[i].nombre, nombre1252)) continue;
        if (!PasaFiltro(campos[i].tipo, patron))
            throw ErrorUso{
                std::string(opcion) + " " + nombre + ": el campo no es " +
                (std::string(patron) == "DOBLE" ? "numérico" : "numérico ni de caracteres")};
        return EntradaCampo(static_cast<int>(i), campos[i].nombre);
    }
    throw ErrorUso{std::string(opcion) + " " + nombre + ": " + tabla + " no tiene ese campo"};
}

/// A value typed for the BIN file, in Windows-1252; a character that page lacks would be
/// written as "?" in every element, so it is refused.
std::string En1252(const std::string& valor, const char* opcion) {
    bool exacto = true;
    std::string r = brisquel::Windows1252DesdeUtf8(valor, '?', &exacto);
    if (!exacto)
        throw ErrorUso{std::string(opcion) + " " + valor +
                       ": lleva caracteres que Windows-1252 no tiene"};
    return r;
}

void Numero(const std::string& texto, const char* opcion) {
    try {
        NumeroDeTexto(texto);
    } catch (const ShpBinError&) {
        throw ErrorUso{std::string(opcion) + " " + texto + ": no es un número"};
    }
}

OpcionesShpBin Opciones(const ArgumentosShpBin& a, const std::string& fichero) {
    namespace fs = std::filesystem;
    if (!PaginaConocida(NombrePagina(a.pagina)))
        throw ErrorUso{"--encoding " + a.pagina + ": página de códigos desconocida"};
    OpcionesShpBin o;
    o.paginaCodigos = a.pagina;
    o.forzarGrados = a.forzar;
    o.restaurarShx = a.restaurarShx;
    o.ficheroShp = fichero;
    o.ficheroBin = a.salida;
    o.factorUnidades = a.mm ? 1000 : 100;
    std::string directorio = fs::path(fichero).parent_path().string();
    directorio = directorio.empty() ? "./" : directorio + "/";
    if (directorio == "./") o.ficheroShp = directorio + fichero;
    SeleccionShp& s = o.seleccion;
    ShpElegido(s, o.ficheroShp, directorio);
    const std::string tabla = RutaTablaDbf(s.directorio, s.tabladbf);
    const auto campos = CamposDbf(s.directorio, s.tabladbf, a.pagina);
    auto entrada = [&](const std::string& nombre, const char* patron, const char* opcion) {
        return Entrada(campos, nombre, patron, tabla, opcion);
    };

    if (!a.campoCodigo.empty())
        EligeTablaDbf1(s, 9, entrada(a.campoCodigo, kFiltrosTablaDbf1[9], "--code-field"));
    o.txtCodigo = En1252(a.codigo, "--code");

    if (a.textos) {
        const int16_t tipo = ChequeaTipoShp(o.ficheroShp, a.restaurarShx);
        if (!OfreceTextos(tipo))
            throw ErrorUso{"--texts: solo los shapefiles de puntos y de líneas dan textos; " +
                           fichero + " es de tipo " + std::to_string(tipo)};
        o.chkTextos = true;
        const std::string* campos4[] = {&a.campoTexto, &a.campoAltura, &a.campoJustificacion,
                                        &a.campoGiro};
        const char* nombres[] = {"--text-field", "--height-field", "--justification-field",
                                 "--rotation-field"};
        for (int i = 0; i < 4; ++i)
            if (!campos4[i]->empty())
                EligeTablaDbfTexto(s, i, entrada(*campos4[i], kFiltroTextosZ, nombres[i]));
        Numero(a.altura, "--height");
        Numero(a.justificacion, "--justification");
        Numero(a.giro, "--rotation");
        o.txtTextoRotulo = En1252(a.texto, "--text");
        o.txtTextoAltura = a.altura;
        o.txtTextoJustificacion = a.justificacion;
        o.txtTextoGiro = a.giro;
    }
    if (!a.campoZ.empty()) {
        o.chkCotas = true;
        EligeTablaDbfZ(s, entrada(a.campoZ, kFiltroTextosZ, "--z-field"));
    }

    // Attributes as the window's grid records them: 1 and 2 in their own columns, 3 and up
    // in the third column, each new one opened by its table or rest field.
    size_t enlace = 0, resto = 0;
    int k = 0;
    for (char tipo : a.orden) {
        ++k;
        if (k >= 3 && !EligeAtributo(s, "Atributo " + std::to_string(k),
                                     [](int16_t) { return std::string(); }))
            throw ErrorUso{"no se puede definir el atributo " + std::to_string(k)};
        const int base = k >= 3 ? 6 : (k - 1) * 3;
        if (tipo == 'E') {
            const std::string& par = a.enlaces[enlace++];
            const auto dos = par.find(':');
            if (dos == std::string::npos)
                throw ErrorUso{"--link " + par + ": se espera CAMPOTABLA:CAMPOREGISTRO"};
            const std::string t = entrada(par.substr(0, dos), kFiltrosTablaDbf1[0], "--link");
            const std::string r = entrada(par.substr(dos + 1), kFiltrosTablaDbf1[1], "--link");
            if (IndiceDeEntrada(t) == 0)
                throw ErrorUso{"--link " + par +
                               ": el primer campo de la tabla no puede dar el número de tabla "
                               "(el campo 0 es ninguno)"};
            EligeTablaDbf1(s, base, t);
            EligeTablaDbf1(s, base + 1, r);
        } else {
            EligeTablaDbf1(s, base + 2,
                           entrada(a.restos[resto++], kFiltrosTablaDbf1[2], "--rest-field"));
        }
    }
    return o;
}

/// The summary line of one shapefile's run.
void Resume(const ResultadoShpBin& r, const std::string& salida, const std::string& shp,
            bool varios, std::ostream& out) {
    auto cuenta = [](int64_t n, const char* uno, const char* varios) {
        return std::to_string(n) + " " + (n == 1 ? uno : varios);
    };
    out << salida << ": " << cuenta(r.elementos, "elemento añadido", "elementos añadidos") << " de "
        << cuenta(r.registros, "registro", "registros");
    if (!r.registrosErroneos.empty())
        out << ", "
            << cuenta(int64_t(r.registrosErroneos.size()), "registro omitido",
                      "registros omitidos");
    if (varios) out << " (" << shp << ")";
    out << "\n";
}

int Shp2Bin(const ArgumentosShpBin& a, std::ostream& out, std::ostream& err, bool terminal) {
    std::vector<OpcionesShpBin> opciones;
    try {
        std::vector<std::string> ficheros;
        try {
            ficheros = ExpandeEntradas(a.entradas, {".shp"}, "shapefile");
        } catch (const ErrorEntrada& e) {
            throw ErrorUso{e.what()};
        }
        for (const std::string& f : ficheros) opciones.push_back(Opciones(a, f));
    } catch (const ErrorUso& e) {
        err << "parvenza-cli: " << e.mensaje << "\n";
        return kEstadoUso;
    }
    PuertoShpBin puerto(err, terminal);
    Omisiones omisiones;
    const std::string aviso = "parvenza-cli: --force lo convierte igualmente\n";
    if (opciones.size() == 1) {
        puerto.Fichero(opciones[0].ficheroShp);
        const ResultadoShpBin r = ReadShape(opciones[0], puerto);
        puerto.Termina();
        if (r.enGrados) err << aviso;
        if (!r.escrito) return kEstadoFallo;  // the port has said why
        Resume(r, a.salida, opciones[0].ficheroShp, false, out);
        return EstadoFinal(r.omisiones, err);
    }
    // Several shapefiles: one append, so the file ends wholly as before or with every one.
    std::vector<std::string> nombres;
    for (const OpcionesShpBin& o : opciones) nombres.push_back(o.ficheroShp);
    puerto.Ficheros(nombres);
    const ResultadoShapes rs = ReadShapes(opciones, Trabajos(a.trabajos), puerto);
    puerto.Termina();
    if (!rs.shapes.empty() && rs.shapes.back().enGrados) err << aviso;
    if (!rs.escrito) {
        err << "parvenza-cli: " << a.salida << ": se deja como estaba\n";
        return kEstadoFallo;
    }
    for (size_t i = 0; i < rs.shapes.size(); ++i) {
        Resume(rs.shapes[i], a.salida, opciones[i].ficheroShp, true, out);
        omisiones.Junta(rs.shapes[i].omisiones);
    }
    return EstadoFinal(omisiones, err);
}

const bool registrado = RegistraSubcomando(30, [](CLI::App& app, int& estado) {
    CLI::App* sub = app.add_subcommand(
        "shp2bin",
        "Añade a un fichero BIN de Digi los elementos de shapefiles (una carpeta: sus shapefiles)");
    auto a = std::make_shared<ArgumentosShpBin>();
    sub->add_option("--output", a->salida, "Fichero BIN al que se añaden (creado si no existe)")
        ->required()
        ->type_name("FICHERO.bin");
    sub->add_flag("--mm", a->mm, "Coordenadas del BIN en milímetros (por omisión, centímetros)");
    auto* campoCodigo =
        sub->add_option("--code-field", a->campoCodigo, "Campo que da el código de cada elemento");
    auto* codigo =
        sub->add_option("--code", a->codigo, "Código de todos los elementos (por omisión, 140100)");
    campoCodigo->excludes(codigo);
    auto* textos = sub->add_flag("--texts", a->textos,
                                 "Crea elementos de texto (shapefiles de puntos y de líneas)");
    struct Par {
        const char* campo;
        std::string* destinoCampo;
        const char* valor;
        std::string* destinoValor;
        const char* ayuda;
    };
    const Par pares[] = {
        {"--text-field", &a->campoTexto, "--text", &a->texto, "texto (por omisión, NoTexto)"},
        {"--height-field", &a->campoAltura, "--height", &a->altura,
         "altura del texto (por omisión, 1.50)"},
        {"--justification-field", &a->campoJustificacion, "--justification", &a->justificacion,
         "código de justificación (por omisión, 0)"},
        {"--rotation-field", &a->campoGiro, "--rotation", &a->giro,
         "giro en grados (por omisión, 0)"},
    };
    for (const Par& p : pares) {
        auto* c =
            sub->add_option(p.campo, *p.destinoCampo, std::string("Campo que da el ") + p.ayuda);
        auto* v = sub->add_option(p.valor, *p.destinoValor, std::string("El ") + p.ayuda);
        c->excludes(v);
        c->needs(textos);
        v->needs(textos);
    }
    sub->add_flag("--force", a->forzar,
                  "Convierte aunque las coordenadas parezcan grados (el redondeo a "
                  "centímetros las destruye)");
    sub->add_flag("--restore-shx", a->restaurarShx,
                  "Sin el .shx, lo reconstruye a partir del .shp en una carpeta temporal (no "
                  "escribe junto al shapefile); igual que SHAPE_RESTORE_SHX=YES");
    sub->add_option("--encoding", a->pagina,
                    "Página de códigos de la tabla de atributos (por omisión, la de su .cpg, "
                    "si no la de su byte de idioma, si no Windows-1252)");
    sub->add_option("--z-field", a->campoZ,
                    "Campo que da la Z (un valor distinto de cero sustituye la Z de los vértices)");
    auto* enlaces =
        sub->add_option("--link", a->enlaces,
                        "Enlace de atributo: campos del número de tabla y del número de registro");
    enlaces->type_name("CAMPOTABLA:CAMPOREGISTRO")->allow_extra_args(false)->take_all();
    auto* restos = sub->add_option("--rest-field", a->restos,
                                   "Enlace de atributo por un campo de código resto");
    restos->allow_extra_args(false)->take_all();
    OpcionTrabajos(*sub, a->trabajos,
                   "Shapefiles convertidos a la vez (por omisión, uno por núcleo); se añaden en "
                   "el orden dado");
    sub->add_flag("--quiet,-q", a->silencio, "Sin progreso en el terminal");
    sub->add_option("FICHERO", a->entradas, "Shapefiles (.shp) o carpetas")
        ->required()
        ->type_name("");
    sub->callback([a, sub, enlaces, restos, &estado] {
        a->orden.clear();
        for (const CLI::Option* op : sub->parse_order()) {
            if (op == enlaces) a->orden.push_back('E');
            if (op == restos) a->orden.push_back('R');
        }
        estado = Shp2Bin(*a, std::cout, std::cerr, !a->silencio && isatty(STDERR_FILENO));
    });
});

}  // namespace

}  // namespace parvenza::cli
