#include "converter/core/BinShpParalelo.h"

#include <sys/wait.h>

#include <cstdlib>
#include <exception>
#include <sstream>
#include <stdexcept>

#include "converter/core/Hijos.h"

namespace parvenza {

namespace {

std::string ConvierteHoja(const OpcionesBinShp& base, const std::string& fichero, bool& sigue) {
    std::ostringstream out;
    PuertoHijo puerto;
    try {
        OpcionesBinShp o = base;
        o.ficheros = {fichero};
        const ResultadoBinShp r = ProcesarBinShp(o, puerto);
        out << "R\t" << (r.ejecutado ? 1 : 0) << "\n";
        for (const CapaEscrita& c : r.capas)
            out << "C\t" << c.tipo << "\t" << c.registros << "\t" << Escapa(c.ruta) << "\n";
        for (const std::string& a : r.capasAnteriores) out << "A\t" << Escapa(a) << "\n";
        out << "F\t" << r.ficherosConvertidos << "\n";
        for (const Omision& m : r.omisiones) out << "O\t" << LineaOmision(m) << "\n";
    } catch (const std::exception& e) {
        out << "E\t" << Escapa(e.what()) << "\n";
        sigue = false;  // a program-ending state: the next sheet gets a fresh process
    }
    for (const PuertoHijo::Aviso& m : puerto.avisos) out << "M\t" << Escapa(m.texto) << "\n";
    return out.str();
}

void LeeInforme(const std::string& texto, HojaParalela& hoja) {
    std::istringstream in(texto);
    std::string linea;
    bool informado = false;
    while (std::getline(in, linea)) {
        const size_t tab = linea.find('\t');
        if (tab == std::string::npos) continue;
        const std::string clase = linea.substr(0, tab), resto = linea.substr(tab + 1);
        if (clase == "R") {
            hoja.resultado.ejecutado = resto == "1";
            informado = true;
        } else if (clase == "C") {
            const std::vector<std::string> c = Campos(resto);
            if (c.size() == 3)
                hoja.resultado.capas.push_back(
                    {c[2], std::atoi(c[0].c_str()), std::atoll(c[1].c_str())});
        } else if (clase == "A") {
            hoja.resultado.capasAnteriores.push_back(Desescapa(resto));
        } else if (clase == "F") {
            hoja.resultado.ficherosConvertidos = std::atoi(resto.c_str());
        } else if (clase == "O") {
            Omision o;
            if (LeeOmision(Campos(resto), o)) hoja.resultado.omisiones.Suma(o);
        } else if (clase == "M") {
            hoja.avisos.push_back(Desescapa(resto));
        } else if (clase == "E") {
            hoja.error = Desescapa(resto);
            informado = true;
        }
    }
    if (!informado && hoja.error.empty())
        hoja.error = "la conversión de esta hoja terminó de forma anormal";
}

}  // namespace

std::vector<HojaParalela> ProcesarBinShpEnParalelo(const OpcionesBinShp& opciones, int trabajos,
                                                   Puerto& puerto) {
    if (opciones.anexar || opciones.catastro)
        throw std::invalid_argument("append and cadastre runs write one set: they run serially");
    std::vector<HojaParalela> hojas(opciones.ficheros.size());
    for (size_t i = 0; i < hojas.size(); ++i) hojas[i].fichero = opciones.ficheros[i];
    size_t hechas = 0;
    puerto.Ocupado(true);
    EnHijos(
        hojas.size(), trabajos,
        [&](size_t i, bool& sigue) { return ConvierteHoja(opciones, hojas[i].fichero, sigue); },
        [&](FinHijo&& f) {
            HojaParalela& hoja = hojas[f.indice];
            LeeInforme(f.informe, hoja);
            if (WIFSIGNALED(f.estado) && hoja.error.empty())
                hoja.error = "la conversión de esta hoja " + f.Anomalia();
            puerto.Avance(int(++hechas), int(hojas.size()), 1, 0);
            return true;
        });
    puerto.Ocupado(false);
    return hojas;
}

}  // namespace parvenza
