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

#include "converter/cli/PuertoConsola.h"
#include "converter/cli/Subcomando.h"
#include "converter/core/DbfCampos.h"
#include "converter/core/ShpBin.h"
#include "converter/core/ShpBinError.h"
#include "converter/shapefile/PaginaCodigos.h"
#include "digi/Texto1252.h"

namespace parvenza::cli {

namespace {

struct ArgumentosShpBin {
    std::string fichero;
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
            throw ErrorUso{std::string(opcion) + " " + nombre + ": the field is not " +
                           (std::string(patron) == "DOBLE" ? "numeric" : "numeric or character")};
        return EntradaCampo(static_cast<int>(i), campos[i].nombre);
    }
    throw ErrorUso{std::string(opcion) + " " + nombre + ": " + tabla + " has no such field"};
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
        throw ErrorUso{std::string(opcion) + " " + texto + ": not a number"};
    }
}

OpcionesShpBin Opciones(const ArgumentosShpBin& a) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(a.fichero, ec)) throw ErrorUso{a.fichero + ": no such shapefile"};
    if (!PaginaConocida(NombrePagina(a.pagina)))
        throw ErrorUso{"--encoding " + a.pagina + ": página de códigos desconocida"};
    OpcionesShpBin o;
    o.paginaCodigos = a.pagina;
    o.forzarGrados = a.forzar;
    o.restaurarShx = a.restaurarShx;
    o.ficheroShp = a.fichero;
    o.ficheroBin = a.salida;
    o.factorUnidades = a.mm ? 1000 : 100;
    std::string directorio = fs::path(a.fichero).parent_path().string();
    directorio = directorio.empty() ? "./" : directorio + "/";
    if (directorio == "./") o.ficheroShp = directorio + a.fichero;
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
            throw ErrorUso{"--texts: only point and polyline shapefiles become texts, " +
                           a.fichero + " is of shape type " + std::to_string(tipo)};
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
            throw ErrorUso{"attribute " + std::to_string(k) + " cannot be defined"};
        const int base = k >= 3 ? 6 : (k - 1) * 3;
        if (tipo == 'E') {
            const std::string& par = a.enlaces[enlace++];
            const auto dos = par.find(':');
            if (dos == std::string::npos)
                throw ErrorUso{"--link " + par + ": expected TABLEFIELD:RECORDFIELD"};
            const std::string t = entrada(par.substr(0, dos), kFiltrosTablaDbf1[0], "--link");
            const std::string r = entrada(par.substr(dos + 1), kFiltrosTablaDbf1[1], "--link");
            if (IndiceDeEntrada(t) == 0)
                throw ErrorUso{"--link " + par +
                               ": the table's first field cannot give the table number "
                               "(field 0 means no field chosen)"};
            EligeTablaDbf1(s, base, t);
            EligeTablaDbf1(s, base + 1, r);
        } else {
            EligeTablaDbf1(s, base + 2,
                           entrada(a.restos[resto++], kFiltrosTablaDbf1[2], "--rest-field"));
        }
    }
    return o;
}

int Shp2Bin(const ArgumentosShpBin& a, std::ostream& out, std::ostream& err, bool terminal) {
    OpcionesShpBin o;
    try {
        o = Opciones(a);
    } catch (const ErrorUso& e) {
        err << "parvenza-cli: " << e.mensaje << "\n";
        return kEstadoUso;
    }
    PuertoShpBin puerto(err, terminal);
    const ResultadoShpBin r = ReadShape(o, puerto);
    puerto.Termina();
    if (r.enGrados) err << "parvenza-cli: --force lo convierte igualmente\n";
    if (!r.escrito) return kEstadoFallo;  // the port has said why
    out << o.ficheroBin << ": " << r.elementos << " elements from " << r.registros << " records";
    if (!r.registrosErroneos.empty())
        out << ", " << r.registrosErroneos.size() << " records left out";
    out << "\n";
    return EstadoFinal(r.omisiones, err);
}

const bool registrado = RegistraSubcomando(30, [](CLI::App& app, int& estado) {
    CLI::App* sub =
        app.add_subcommand("shp2bin", "Append the elements of a shapefile to a Digi BIN file");
    auto a = std::make_shared<ArgumentosShpBin>();
    sub->add_option("--output", a->salida, "BIN file to append to (created when missing)")
        ->required();
    sub->add_flag("--mm", a->mm, "BIN coordinates in millimetres (default centimetres)");
    auto* campoCodigo =
        sub->add_option("--code-field", a->campoCodigo, "Field giving each element's code");
    auto* codigo = sub->add_option("--code", a->codigo, "Code of every element (default 140100)");
    campoCodigo->excludes(codigo);
    auto* textos =
        sub->add_flag("--texts", a->textos, "Make text elements (point and polyline shapefiles)");
    struct Par {
        const char* campo;
        std::string* destinoCampo;
        const char* valor;
        std::string* destinoValor;
        const char* ayuda;
    };
    const Par pares[] = {
        {"--text-field", &a->campoTexto, "--text", &a->texto, "text (default NoTexto)"},
        {"--height-field", &a->campoAltura, "--height", &a->altura, "text height (default 1.50)"},
        {"--justification-field", &a->campoJustificacion, "--justification", &a->justificacion,
         "justification code (default 0)"},
        {"--rotation-field", &a->campoGiro, "--rotation", &a->giro,
         "rotation in degrees (default 0)"},
    };
    for (const Par& p : pares) {
        auto* c =
            sub->add_option(p.campo, *p.destinoCampo, std::string("Field giving the ") + p.ayuda);
        auto* v = sub->add_option(p.valor, *p.destinoValor, std::string("The ") + p.ayuda);
        c->excludes(v);
        c->needs(textos);
        v->needs(textos);
    }
    sub->add_flag("--force", a->forzar,
                  "Convert even when the coordinates look like degrees (centimetre rounding "
                  "destroys them)");
    sub->add_flag("--restore-shx", a->restaurarShx,
                  "Sin el .shx, lo reconstruye a partir del .shp en una carpeta temporal (no "
                  "escribe junto al shapefile); igual que SHAPE_RESTORE_SHX=YES");
    sub->add_option("--encoding", a->pagina,
                    "Code page of the attribute table (default: its .cpg, else its language "
                    "byte, else Windows-1252)");
    sub->add_option("--z-field", a->campoZ,
                    "Field giving Z (a non-zero value replaces the vertices' Z)");
    auto* enlaces = sub->add_option("--link", a->enlaces,
                                    "Attribute link: table-number and record-number fields");
    enlaces->type_name("TABLEFIELD:RECORDFIELD")->allow_extra_args(false)->take_all();
    auto* restos =
        sub->add_option("--rest-field", a->restos, "Attribute link by a rest code field");
    restos->allow_extra_args(false)->take_all();
    sub->add_option("FILE", a->fichero, "Shapefile (.shp)")->required();
    sub->callback([a, sub, enlaces, restos, &estado] {
        a->orden.clear();
        for (const CLI::Option* op : sub->parse_order()) {
            if (op == enlaces) a->orden.push_back('E');
            if (op == restos) a->orden.push_back('R');
        }
        estado = Shp2Bin(*a, std::cout, std::cerr, isatty(STDERR_FILENO));
    });
});

}  // namespace

}  // namespace parvenza::cli
