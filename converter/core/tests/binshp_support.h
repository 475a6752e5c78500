#pragma once
// Test helpers for the BIN-to-shapefile driver: BIN inputs built with the Digi writer and
// layers read back with shapelib directly (the recording port and temporary folder are
// topologia_prueba.h's; the layers are read with shapelib_prueba.h).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/core/BinShp.h"
#include "converter/shapefile/tests/shapelib_prueba.h"
#include "digi/Registros.h"
#include "digi/tests/elementos_prueba.h"

namespace parvenza {
struct tipo_manzana;
}

namespace parvenza::prueba_binshp {

using brisquel::prueba::Linea, brisquel::prueba::Texto;

/// A closed "C=" square of side 100 at the origin.
brisquel::tipo_entidad Cuadrado(const std::string& codigo,
                                std::vector<brisquel::Fatrib> atributos = {});
/// The topology of a fixture of the topology test data, with the load's error flag and code.
std::vector<tipo_manzana> Carga(const std::string& fixture, bool& hayError, int32_t& codigo);
/// The topology of the basic.mdb fixture.
std::vector<tipo_manzana> Basica();
/// Writes `elementos` to a new BIN file `ruta` with the Digi library's writer.
void EscribeBin(const std::string& ruta, std::vector<brisquel::tipo_entidad> elementos);
/// Marks the `n`-th element (1-based) of a BIN file deleted, as Digi does, in place.
void BorraElemento(const std::string& ruta, int n);
/// A run over `ficheros`, chosen as the window chooses them, every other option as it starts.
inline OpcionesBinShp Opciones(std::vector<std::string> ficheros) {
    OpcionesBinShp o;
    o.ficheros = std::move(ficheros);
    o.binElegido = true;
    return o;
}

}  // namespace parvenza::prueba_binshp
