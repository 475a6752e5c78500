#pragma once
// Test helpers for the BIN-to-shapefile driver: BIN inputs built with the Digi writer and
// layers read back with shapelib directly (the recording port and temporary folder are
// topologia_prueba.h's; the layers are read with shapelib_prueba.h).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/shapefile/tests/shapelib_prueba.h"
#include "digi/Registros.h"

namespace parvenza {
struct tipo_manzana;
}

namespace parvenza::prueba_binshp {

/// A "C=" element: one point makes a point element, more a line.
brisquel::tipo_entidad Linea(const std::string& codigo,
                             const std::vector<brisquel::Fpunto3d>& puntos,
                             std::vector<brisquel::Fatrib> atributos = {});
/// A "T=" element at `p` with text height `altura` and rotation `rotacion` (hundredths of a
/// degree).
brisquel::tipo_entidad Texto(const std::string& codigo, const std::string& texto,
                             brisquel::Fpunto3d p, int32_t altura, int32_t rotacion);
/// A closed "C=" square of side 100 at the origin.
brisquel::tipo_entidad Cuadrado(const std::string& codigo,
                                std::vector<brisquel::Fatrib> atributos = {});
/// The topology of the basic.mdb fixture.
std::vector<tipo_manzana> Basica();
/// Writes `elementos` to a new BIN file `ruta` with the Digi library's writer.
void EscribeBin(const std::string& ruta, std::vector<brisquel::tipo_entidad> elementos);
/// Marks the `n`-th element (1-based) of a BIN file deleted, as Digi does, in place.
void BorraElemento(const std::string& ruta, int n);

}  // namespace parvenza::prueba_binshp
