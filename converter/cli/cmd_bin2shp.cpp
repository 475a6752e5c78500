// parvenza-cli bin2shp: the window's "Procesar" of the BIN-to-shapefile band, from the command
// line. Same core, same layers; a summary of what was written on stdout.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <memory>
#include <thread>

#include "comun/Error.h"
#include "converter/cli/PuertoConsola.h"
#include "converter/cli/Subcomando.h"
#include "converter/core/BinShp.h"
#include "converter/core/BinShpParalelo.h"
#include "converter/core/Catastro.h"
#include "converter/core/Proyeccion.h"
#include "utilities/Utilidades.h"

namespace parvenza::cli {

namespace {

struct ArgumentosBinShp {
    std::string fichero;
    bool mm = false;
    bool tresD = false;
    bool cerradasComoLineas = false;
    bool textosComoPuntos = false;
    bool todoElDirectorio = false;
    std::string anexar;
    std::string topologia;      ///< --cadastre: the topology database
    std::string carpetaSalida;  ///< --output-dir: where the cadastre layers go
    int trabajos = 0;           ///< --jobs: sheets converted at once (0: one per core)
    std::string srs;            ///< --a-srs
    std::string prj;            ///< --prj
};

const char* NombreTipo(int tipo) {
    switch (tipo) {
        case 1:
            return "point";
        case 3:
            return "polyline";
        case 5:
            return "polygon";
        case 11:
            return "pointZ";
        case 13:
            return "polylineZ";
        case 15:
            return "polygonZ";
        default:
            return "shape";
    }
}

void Resume(const OpcionesBinShp& o, const ResultadoBinShp& r, std::ostream& out);

int Bin2Shp(const ArgumentosBinShp& a, std::ostream& out, std::ostream& err, bool terminal) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(a.fichero, ec)) {
        err << "parvenza-cli: " << a.fichero << ": no such BIN file\n";
        return 1;
    }
    if (!a.anexar.empty() && !std::filesystem::is_regular_file(a.anexar, ec)) {
        err << "parvenza-cli: " << a.anexar << ": no such layer to append to\n";
        return 1;
    }

    OpcionesBinShp o;
    try {
        if (!a.srs.empty()) o.prj = WktEsri(a.srs);
        if (!a.prj.empty()) o.prj = LeePrj(a.prj);
        if (!a.prj.empty() && o.prj.empty())
            throw Error(kFicheroNoEncontrado, "--prj " + a.prj + ": no existe el fichero");
    } catch (const Error& e) {
        err << "parvenza-cli: " << e.what() << "\n";
        return 2;
    }
    std::vector<std::string> ficheros;
    {
        // The same listing as the window's "Todo el directorio".
        // The listing takes the folder from the path: give a bare name its folder.
        std::string ruta = a.fichero;
        if (std::filesystem::path(ruta).parent_path().empty()) ruta = "./" + ruta;
        fenoquia::EstableceSelectorFichero(std::make_shared<fenoquia::SelectorFijo>(ruta));
        struct Quita {
            ~Quita() { fenoquia::EstableceSelectorFichero(nullptr); }
        } quita;
        std::string directorio;
        const bool unSolo = !a.todoElDirectorio;
        fenoquia::Utilidades().PideFichero("Fichero BIN (*.bin)|*.bin", "Elegir fichero", ficheros,
                                           directorio, unSolo, o.binElegido);
    }
    if (!ficheros.empty()) ficheros.erase(ficheros.begin());  // entry 0 is the list's blank head
    o.ficheros = ficheros;
    o.divisor = a.mm ? 1000 : 100;
    o.dosD = !a.tresD;
    o.cerradasComoLineas = a.cerradasComoLineas;
    o.textosComoLineas = !a.textosComoPuntos;
    o.anexar = !a.anexar.empty();

    PuertoConsola puerto(err, terminal);
    puerto.Pasadas(1);
    if (o.anexar) puerto.Responde(a.anexar);
    // Cadastre mode: the topology is loaded first; its errors end the command with their message.
    // The layer set goes to the window's chosen folder, the BIN file's, unless told otherwise.
    Topologia topologia;
    std::unique_ptr<Catastro> catastro;
    if (!a.topologia.empty()) {
        CargaMdb(a.topologia, topologia, puerto);
        o.catastro = o.mdbElegido = true;
        std::string carpeta = a.carpetaSalida.empty()
                                  ? std::filesystem::path(a.fichero).parent_path().string()
                                  : a.carpetaSalida;
        catastro = std::make_unique<Catastro>(topologia.Manzanas, carpeta);
    }
    ResultadoBinShp r;
    const int trabajos =
        a.trabajos > 0 ? a.trabajos : std::max(1, int(std::thread::hardware_concurrency()));
    if (trabajos > 1 && o.ficheros.size() > 1 && !o.anexar && !o.catastro && o.binElegido) {
        // Sheets at once, each as a serial run writes it; one failure leaves the others alone.
        const std::vector<HojaParalela> hojas = ProcesarBinShpEnParalelo(o, trabajos, puerto);
        puerto.Termina();
        bool fallo = false;
        for (const HojaParalela& h : hojas) {
            for (const std::string& m : h.avisos)
                err << "parvenza-cli: " << h.fichero << ": " << m << "\n";
            if (!h.error.empty()) {
                // The driver names the file in its errors; name it once.
                err << "parvenza-cli: ";
                if (h.error.rfind(h.fichero + ": ", 0) != 0) err << h.fichero << ": ";
                err << h.error << "\n";
                fallo = true;
                continue;
            }
            r.capas.insert(r.capas.end(), h.resultado.capas.begin(), h.resultado.capas.end());
            r.capasAnteriores.insert(r.capasAnteriores.end(), h.resultado.capasAnteriores.begin(),
                                     h.resultado.capasAnteriores.end());
            r.omisiones.Junta(h.resultado.omisiones);
            r.ficherosConvertidos += h.resultado.ficherosConvertidos;
            fallo = fallo || !h.resultado.ejecutado;
        }
        Resume(o, r, out);
        return fallo ? kEstadoFallo : EstadoFinal(r.omisiones, err);
    }
    r = ProcesarBinShp(o, puerto, catastro.get());
    puerto.Termina();
    if (!r.ejecutado) return kEstadoFallo;  // the port has shown why
    Resume(o, r, out);
    return EstadoFinal(r.omisiones, err);
}

void Resume(const OpcionesBinShp& o, const ResultadoBinShp& r, std::ostream& out) {
    int64_t total = 0;
    for (const CapaEscrita& c : r.capas) {
        out << c.ruta << ": " << NombreTipo(c.tipo) << ", " << c.registros << " records\n";
        total += c.registros;
    }
    const int n = r.ficherosConvertidos;
    out << n << (n == 1 ? " file, " : " files, ") << r.capas.size()
        << (r.capas.size() == 1 ? " layer, " : " layers, ") << total << " records\n";
    // Layers of these sheets from an earlier run with other options: the user decides.
    for (const std::string& ruta : r.capasAnteriores)
        out << ruta
            << ": capa de una corrida anterior que esta no ha escrito; se deja como estaba\n";
}

const bool registrado = RegistraSubcomando(20, [](CLI::App& app, int& estado) {
    CLI::App* sub = app.add_subcommand("bin2shp", "Convert Digi BIN files into shapefile layers");
    auto a = std::make_shared<ArgumentosBinShp>();
    sub->add_flag("--mm", a->mm, "Coordinates are millimetres (default centimetres)");
    sub->add_flag("--3d", a->tresD, "Write Z layers");
    sub->add_flag("--closed-as-lines", a->cerradasComoLineas, "Closed lines go to the line layer");
    sub->add_flag("--texts-as-points", a->textosComoPuntos,
                  "Texts as points (_TX) instead of lines (_TL)");
    sub->add_flag("--all-in-folder", a->todoElDirectorio,
                  "Convert every BIN file of FILE's folder");
    sub->add_option("--append", a->anexar,
                    "Append to the layer set of this layer (cut at the first \"_\" of its name)");
    CLI::Option* cadastre = sub->add_option(
        "--cadastre", a->topologia,
        "Cadastre mode with this topology database (.mdb); ends by building the cadastre layers");
    sub->add_option("--output-dir", a->carpetaSalida,
                    "Folder of the cadastre layers (default: the BIN file's folder)")
        ->needs(cadastre)
        ->check(CLI::ExistingDirectory);
    sub->add_option("--jobs", a->trabajos,
                    "Hojas convertidas a la vez con --all-in-folder (por omisión, una por núcleo)")
        ->check(CLI::PositiveNumber);
    auto* srs = sub->add_option("--a-srs", a->srs,
                                "Coordinate system of the layers (EPSG:N), written as a .prj "
                                "beside each (default: the sheet's own .prj, if any)");
    sub->add_option("--prj", a->prj, "A .prj file copied beside each layer")->excludes(srs);
    sub->add_option("FILE", a->fichero, "BIN file")->required();
    sub->callback(
        [a, &estado] { estado = Bin2Shp(*a, std::cout, std::cerr, isatty(STDERR_FILENO)); });
});

}  // namespace

}  // namespace parvenza::cli
