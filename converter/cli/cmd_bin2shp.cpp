// parvenza-cli bin2shp: the window's "Procesar" of the BIN-to-shapefile band, from the command
// line. Same core, same layers; a summary of what was written on stdout.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <thread>

#include "comun/Error.h"
#include "converter/cli/Entradas.h"
#include "converter/cli/PuertoConsola.h"
#include "converter/cli/Subcomando.h"
#include "converter/core/BinShp.h"
#include "converter/core/BinShpParalelo.h"
#include "converter/core/Catastro.h"
#include "converter/core/Proyeccion.h"
#include "converter/formas/Formas.h"

namespace parvenza::cli {

namespace {

struct ArgumentosBinShp {
    std::vector<std::string> entradas;  ///< BIN files and folders
    bool mm = false;
    bool tresD = false;
    bool cerradasComoLineas = false;
    bool textosComoPuntos = false;
    bool todoElDirectorio = false;
    std::string anexar;
    std::string topologia;      ///< --cadastre: the topology database
    std::string carpetaSalida;  ///< --output-dir
    int trabajos = 0;           ///< --jobs: sheets converted at once (0: one per core)
    std::string srs;            ///< --a-srs
    std::string prj;            ///< --prj
    bool silencio = false;      ///< --quiet
};

struct ErrorUso {
    std::string mensaje;
};

/// The BIN files of the command line; with --all-in-folder each file stands for its folder.
std::vector<std::string> Hojas(const ArgumentosBinShp& a) {
    std::vector<std::string> entradas = a.entradas;
    if (a.todoElDirectorio)
        for (std::string& e : entradas) {
            std::error_code ec;
            if (std::filesystem::is_directory(e, ec)) continue;
            const std::string carpeta = std::filesystem::path(e).parent_path().string();
            if (std::filesystem::exists(e, ec)) e = carpeta.empty() ? "." : carpeta;
        }
    try {
        return ExpandeEntradas(entradas, {".bin"}, "BIN");
    } catch (const ErrorEntrada& e) {
        throw ErrorUso{e.what()};
    }
}

std::string Cuenta(int64_t n, const char* uno, const char* varios) {
    return std::to_string(n) + " " + (n == 1 ? uno : varios);
}

void Resume(const ResultadoBinShp& r, std::ostream& out);

int Bin2Shp(const ArgumentosBinShp& a, std::ostream& out, std::ostream& err, bool terminal) {
    namespace fs = std::filesystem;
    OpcionesBinShp o;
    try {
        o.ficheros = Hojas(a);
        std::error_code ec;
        if (!a.anexar.empty() && !fs::is_regular_file(a.anexar, ec))
            throw ErrorUso{a.anexar + ": no existe la capa a la que anexar"};
        if (!a.carpetaSalida.empty() && fs::exists(a.carpetaSalida, ec) &&
            !fs::is_directory(a.carpetaSalida, ec))
            throw ErrorUso{"--output-dir " + a.carpetaSalida + ": no es una carpeta"};
        if (a.anexar.empty())
            if (const std::string choque = ChoqueDeCapas(o.ficheros, a.carpetaSalida);
                !choque.empty())
                throw ErrorUso{choque};
        if (!a.srs.empty()) o.prj = WktEsri(a.srs);
        if (!a.prj.empty()) o.prj = LeePrj(a.prj);
        if (!a.prj.empty() && o.prj.empty())
            throw ErrorUso{"--prj " + a.prj + ": no existe el fichero"};
    } catch (const ErrorUso& e) {
        err << "parvenza-cli: " << e.mensaje << "\n";
        return kEstadoUso;
    } catch (const Error& e) {
        err << "parvenza-cli: " << e.what() << "\n";
        return kEstadoUso;
    }
    if (!a.carpetaSalida.empty()) {
        std::error_code ec;
        fs::create_directories(a.carpetaSalida, ec);
        if (ec) {
            err << "parvenza-cli: --output-dir " << a.carpetaSalida
                << ": no se puede crear la carpeta: " << ec.message() << "\n";
            return kEstadoFallo;
        }
    }
    o.binElegido = true;
    o.carpetaSalida = a.carpetaSalida;
    o.divisor = a.mm ? 1000 : 100;
    o.dosD = !a.tresD;
    o.cerradasComoLineas = a.cerradasComoLineas;
    o.textosComoLineas = !a.textosComoPuntos;
    o.anexar = !a.anexar.empty();

    PuertoConsola puerto(err, terminal);
    puerto.Ficheros(o.ficheros);
    if (o.anexar) puerto.Responde(a.anexar);
    // Cadastre mode: the topology is loaded first; its errors end the command with their message.
    // The set is built from the last sheet's layers, beside that sheet unless told otherwise.
    Topologia topologia;
    std::unique_ptr<Catastro> catastro;
    if (!a.topologia.empty()) {
        CargaMdb(a.topologia, topologia, puerto);
        o.catastro = o.mdbElegido = true;
        std::string carpeta = a.carpetaSalida.empty()
                                  ? fs::path(o.ficheros.back()).parent_path().string()
                                  : a.carpetaSalida;
        catastro = std::make_unique<Catastro>(topologia.Manzanas, carpeta);
    }
    ResultadoBinShp r;
    const int trabajos = Trabajos(a.trabajos);
    if (trabajos > 1 && o.ficheros.size() > 1 && !o.anexar && !o.catastro) {
        // Sheets at once, each as a serial run writes it; one failure leaves the others alone.
        puerto.Ficheros({});
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
        Resume(r, out);
        return fallo ? kEstadoFallo : EstadoFinal(r.omisiones, err);
    }
    r = ProcesarBinShp(o, puerto, catastro.get());
    puerto.Termina();
    if (!r.ejecutado) return kEstadoFallo;  // the port has shown why
    Resume(r, out);
    return EstadoFinal(r.omisiones, err);
}

void Resume(const ResultadoBinShp& r, std::ostream& out) {
    int64_t total = 0;
    for (const CapaEscrita& c : r.capas) {
        out << c.ruta << ": " << Cuenta(c.registros, "registro", "registros") << " ("
            << formas::NombreTipo(c.tipo) << ")\n";
        total += c.registros;
    }
    out << Cuenta(r.ficherosConvertidos, "fichero BIN", "ficheros BIN") << ", "
        << Cuenta(int64_t(r.capas.size()), "capa", "capas") << ", "
        << Cuenta(total, "registro", "registros") << "\n";
    // Layers of these sheets from an earlier run with other options: the user decides.
    for (const std::string& ruta : r.capasAnteriores)
        out << ruta
            << ": capa de una ejecución anterior que esta no ha escrito; queda como estaba\n";
}

const bool registrado = RegistraSubcomando(20, [](CLI::App& app, int& estado) {
    CLI::App* sub = app.add_subcommand(
        "bin2shp", "Convierte ficheros BIN de Digi en capas shapefile (una carpeta: sus BIN)");
    auto a = std::make_shared<ArgumentosBinShp>();
    sub->add_flag("--mm", a->mm, "Coordenadas en milímetros (por omisión, centímetros)");
    sub->add_flag("--3d", a->tresD, "Capas con Z");
    sub->add_flag("--closed-as-lines", a->cerradasComoLineas,
                  "Las líneas cerradas van a la capa de líneas");
    sub->add_flag("--texts-as-points", a->textosComoPuntos,
                  "Textos como puntos (_TX) en lugar de líneas (_TL)");
    sub->add_flag("--all-in-folder", a->todoElDirectorio,
                  "Todos los BIN de la carpeta de cada FICHERO (como dar la carpeta)");
    auto* anexar =
        sub->add_option(
               "--append", a->anexar,
               "Anexa al juego de capas de esta capa (su nombre cortado en el primer \"_\")")
            ->type_name("CAPA.shp");
    sub->add_option("--cadastre", a->topologia,
                    "Modo catastro con esta base de datos de topología (.mdb); termina "
                    "generando las capas de catastro")
        ->type_name("FICHERO.mdb");
    sub->add_option("--output-dir", a->carpetaSalida,
                    "Carpeta de las capas, creada si no existe (por omisión, la de cada BIN)")
        ->excludes(anexar)
        ->type_name("CARPETA");
    OpcionTrabajos(*sub, a->trabajos, "Hojas convertidas a la vez (por omisión, una por núcleo)");
    auto* srs = sub->add_option("--a-srs", a->srs,
                                "Sistema de coordenadas de las capas (EPSG:N), escrito como "
                                ".prj junto a cada una (por omisión, el .prj de la hoja)")
                    ->type_name("EPSG:N");
    sub->add_option("--prj", a->prj, "Fichero .prj copiado junto a cada capa")
        ->type_name("FICHERO.prj")
        ->excludes(srs);
    sub->add_flag("--quiet,-q", a->silencio, "Sin progreso en el terminal");
    sub->add_option("FICHERO", a->entradas, "Ficheros BIN o carpetas")->required()->type_name("");
    sub->callback([a, &estado] {
        estado = Bin2Shp(*a, std::cout, std::cerr, !a->silencio && isatty(STDERR_FILENO));
    });
});

}  // namespace

}  // namespace parvenza::cli
