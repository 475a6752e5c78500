#pragma once
// Elements in memory, as the converters and the tests hand them to the Digi writer.

#include <filesystem>
#include <string>
#include <vector>

#include "digi/FicheroDigi.h"

namespace brisquel::prueba {

/// A "C=" element: one point makes a point element, more a line.
inline tipo_entidad Linea(const std::string& codigo, std::vector<Fpunto3d> puntos,
                          std::vector<Fatrib> atributos = {}) {
    tipo_entidad e;
    e.elemento.cabecera = {"C=", codigo, static_cast<uint8_t>(atributos.size()),
                           static_cast<int16_t>(puntos.size())};
    e.elemento.coordenadas = std::move(puntos);
    e.elemento.atributos = std::move(atributos);
    return e;
}

/// A "T=" element at `p` with its text blocks set as the shapefile import sets them; height,
/// rotation (hundredths of a degree) and justification in the extent's free values.
inline tipo_entidad Texto(const std::string& codigo, std::string texto, Fpunto3d p,
                          int32_t altura = 0, int32_t rotacion = 0, int32_t justificacion = 0) {
    tipo_entidad e;
    e.elemento.cabecera = {"T=", codigo};
    e.elemento.coordenadas = {p};
    e.elemento.rango = {0, 0, 0, 0, 0, 0, altura, justificacion, rotacion};
    FicheroDigi().ModificaTextoEntidad(texto, e);
    return e;
}

/// Every live element of a BIN file, in file order; none when it is missing or empty.
inline std::vector<tipo_entidad> LeeBin(const std::string& ruta) {
    std::vector<tipo_entidad> elementos;
    if (!std::filesystem::exists(ruta) || std::filesystem::file_size(ruta) == 0) return elementos;
    FicheroDigi digi;
    int32_t n = 0;
    digi.AbreFichero(ruta, n);
    digi.CargaFicheroDigi(ruta, elementos, n);
    digi.CierraFichero(ruta, n);
    return elementos;
}

}  // namespace brisquel::prueba
