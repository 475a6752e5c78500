#include "converter/core/ShpBinParalelo.h"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "comun/Reemplazo.h"
#include "converter/core/Hijos.h"
#include "converter/core/Proyeccion.h"
#include "digi/AnexoBin.h"

namespace parvenza {

namespace {

std::string Sustituye(std::string texto, const std::string& de, const std::string& por) {
    for (size_t p = texto.find(de); p != std::string::npos; p = texto.find(de, p + por.size()))
        texto.replace(p, de.size(), por);
    return texto;
}

// A worker's run: the shapefile's elements into a scratch BIN file of its own, reported as
// lines "M" (messages, in order), "R" (the result), "N" (erroneous records), "O" (losses),
// "F" (a program-ending state) or "E" (an unexpected failure).
std::string ConvierteEnHijo(const OpcionesShpBin& o, const std::string& ruta, bool& sigue) {
    PuertoHijo puerto;
    std::ostringstream fin;
    try {
        brisquel::AnexoBin anexo(ruta);
        anexo.SinSincronizar();
        ResultadoShpBin r = AnadeShape(o, anexo, puerto);
        if (r.escrito) {
            try {
                anexo.Confirma();
            } catch (const std::exception& e) {
                r.escrito = false;
                r.elementos = 0;
                puerto.Mensaje(MensajeNoGrabado(e), true, {});
            }
        }
        fin << "R\t" << r.escrito << "\t" << r.registros << "\t" << r.elementos << "\t"
            << r.enGrados << "\t" << anexo.BytesAnadidos() << "\t" << Escapa(r.error) << "\n";
        fin << "N";
        for (int32_t n : r.registrosErroneos) fin << "\t" << n;
        fin << "\n";
        for (const Omision& m : r.omisiones) fin << "O\t" << LineaOmision(m) << "\n";
    } catch (const FinDePrograma& e) {
        fin << "F\t" << e.estado() << "\t" << Escapa(e.what()) << "\n";
        sigue = false;
    } catch (const std::exception& e) {
        fin << "E\t" << Escapa(e.what()) << "\n";
        sigue = false;
    }
    std::string informe;
    for (const PuertoHijo::Aviso& a : puerto.avisos)
        informe += "M\t" + std::to_string(a.critico) + "\t" + Escapa(a.texto) + "\n";
    // The scratch file stands for the BIN file: the messages name that one.
    return Sustituye(informe + fin.str(), ruta, o.ficheroBin);
}

// What a worker reported.
struct Informe {
    std::vector<PuertoHijo::Aviso> avisos;
    std::optional<ResultadoShpBin> resultado;
    int64_t bytes = 0;
    std::optional<FinDePrograma> finPrograma;
    std::string error;
};

Informe LeeInforme(const std::string& texto) {
    Informe inf;
    std::istringstream in(texto);
    std::string linea;
    while (std::getline(in, linea)) {
        const size_t tab = linea.find('\t');
        const std::string clase = linea.substr(0, tab);
        const std::vector<std::string> c =
            tab == std::string::npos ? std::vector<std::string>{} : Campos(linea.substr(tab + 1));
        if (clase == "M" && c.size() == 2) {
            inf.avisos.push_back({c[1], c[0] == "1"});
        } else if (clase == "R" && c.size() == 6) {
            ResultadoShpBin r;
            r.escrito = c[0] == "1";
            r.registros = std::atoi(c[1].c_str());
            r.elementos = std::atoll(c[2].c_str());
            r.enGrados = c[3] == "1";
            inf.bytes = std::atoll(c[4].c_str());
            r.error = c[5];
            inf.resultado = r;
        } else if (clase == "N" && inf.resultado) {
            for (const std::string& n : c)
                if (!n.empty()) inf.resultado->registrosErroneos.push_back(std::atoi(n.c_str()));
        } else if (clase == "O" && inf.resultado) {
            Omision o;
            if (LeeOmision(c, o)) inf.resultado->omisiones.Suma(o);
        } else if (clase == "F" && c.size() == 2) {
            inf.finPrograma.emplace(c[1], std::atoi(c[0].c_str()));
        } else if (clase == "E" && c.size() == 1) {
            inf.error = c[0];
        }
    }
    return inf;
}

// A private folder beside the BIN file, for the workers' scratch files: on the same disk, so
// taking them in is a copy within it; removed with everything in it whatever happens (a killed
// run's, by the next run in that folder).
struct CarpetaPrivada {
    std::string ruta;
    explicit CarpetaPrivada(const std::string& junto) : ruta(comun::RaizTemporal(junto)) {
        if (::mkdir(ruta.c_str(), 0700) != 0)
            comun::FalloSistema("crear una carpeta temporal junto a", junto);
    }
    ~CarpetaPrivada() { comun::BorraArbol(ruta); }
};

void Interrumpido(Puerto& puerto) {
    puerto.Ocupado(false);
    puerto.Progreso(0);
    puerto.Proceso("Proceso interrumpido");
}

}  // namespace

ResultadoShapes ReadShapes(const std::vector<OpcionesShpBin>& opciones, int trabajos,
                           Puerto& puerto) {
    ResultadoShapes rs;
    if (opciones.empty()) return rs;
    const std::string& salida = opciones[0].ficheroBin;
    for (const OpcionesShpBin& o : opciones)
        if (o.ficheroBin != salida)
            throw std::invalid_argument("every shapefile of one run goes to the same BIN file");
    const size_t n = opciones.size();

    std::optional<brisquel::AnexoBin> anexo;
    try {
        anexo.emplace(salida);
    } catch (const std::exception& e) {
        AvisaInterrupcion(puerto, MensajeNoGrabado(e));
        return rs;
    }

    if (trabajos <= 1 || n == 1) {
        for (size_t i = 0; i < n; ++i) {
            puerto.Avance(int(i + 1), int(n), 1, 0);
            rs.shapes.push_back(AnadeShape(opciones[i], *anexo, puerto));
            if (!rs.shapes.back().escrito) return rs;
        }
    } else {
        std::optional<CarpetaPrivada> carpeta;
        try {
            carpeta.emplace(anexo->Fichero());
        } catch (const std::exception& e) {
            AvisaInterrupcion(puerto, MensajeNoGrabado(e));
            return rs;
        }
        // Asked here once, the workers inherit the answers instead of each opening PROJ.
        for (const OpcionesShpBin& o : opciones) {
            try {
                EsGeografico(LeePrj(RutaPrjShape(o.ficheroShp)));
            } catch (const Error&) {
                // The worker meets it again and says it in its turn.
            }
        }
        SueltaProj();
        auto scratch = [&](size_t i) { return carpeta->ruta + "/" + std::to_string(i) + ".bin"; };
        std::vector<std::optional<FinHijo>> hechos(n);
        std::optional<FinDePrograma> finPrograma;
        size_t siguiente = 0;
        // The shapefile `i`, its worker ended: its messages shown, its elements taken in.
        auto toma = [&](size_t i) {
            const OpcionesShpBin& o = opciones[i];
            Informe inf = LeeInforme(hechos[i]->informe);
            for (const PuertoHijo::Aviso& a : inf.avisos) puerto.Mensaje(a.texto, a.critico);
            if (inf.finPrograma) {
                finPrograma = inf.finPrograma;
                return false;
            }
            std::string fallo;
            if (!inf.error.empty()) {
                fallo = o.ficheroShp + ": " + inf.error;
            } else if (!inf.resultado) {
                const std::string anomalia = hechos[i]->Anomalia();
                fallo = o.ficheroShp + ": la conversión de este shapefile " +
                        (anomalia.empty() ? "terminó de forma anormal" : anomalia);
            }
            if (!fallo.empty()) {
                AvisaInterrupcion(puerto, fallo);
                rs.shapes.push_back({});
                rs.shapes.back().error = fallo;
                return false;
            }
            rs.shapes.push_back(*inf.resultado);
            if (!inf.resultado->escrito) {
                // The worker's messages said why, as the run's own would.
                Interrumpido(puerto);
                return false;
            }
            try {
                struct stat st;
                if (::stat(scratch(i).c_str(), &st) != 0 || st.st_size != inf.bytes)
                    throw Error(
                        kErrorEntradaSalida,
                        o.ficheroShp + ": la conversión de este shapefile quedó incompleta");
                anexo->AnadeBin(scratch(i), inf.resultado->elementos);
            } catch (const std::exception& e) {
                rs.shapes.back().escrito = false;
                rs.shapes.back().error = MensajeNoGrabado(e);
                AvisaInterrupcion(puerto, rs.shapes.back().error);
                return false;
            }
            comun::Borra(scratch(i));
            puerto.Avance(int(i + 1), int(n), 1, 0);
            return true;
        };
        bool completo = false;
        try {
            completo = EnHijos(
                n, trabajos,
                [&](size_t i, bool& sigue) {
                    return ConvierteEnHijo(opciones[i], scratch(i), sigue);
                },
                [&](FinHijo&& f) {
                    hechos[f.indice] = std::move(f);
                    for (; siguiente < n && hechos[siguiente]; ++siguiente)
                        if (!toma(siguiente)) return false;
                    return true;
                });
        } catch (const Error& e) {
            AvisaInterrupcion(puerto, MensajeNoGrabado(e));
            return rs;
        }
        if (finPrograma) throw *finPrograma;
        if (!completo) return rs;
    }

    puerto.Proceso("Grabando BIN...");
    puerto.Ocupado(true);
    try {
        anexo->Confirma();
    } catch (const std::exception& e) {
        for (ResultadoShpBin& r : rs.shapes) r.escrito = false, r.elementos = 0;
        AvisaInterrupcion(puerto, MensajeNoGrabado(e));
        return rs;
    }
    puerto.Ocupado(false);
    puerto.Proceso("Proceso Terminado");
    rs.escrito = true;
    return rs;
}

}  // namespace parvenza
