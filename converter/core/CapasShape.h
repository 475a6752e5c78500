#pragma once
// The layers of the BIN-to-shapefile conversion: their names, shape types and field schemas.

#include <cstdint>
#include <string>
#include <vector>

namespace parvenza {

class Shapefile;

/// One field of a layer schema; type codes are those of ShapeFields.Add.
struct DefCampo {
    const char* nombre;
    int tipo;
    int ancho;
    int decimales;
};

/// The four fields every new layer starts with.
const std::vector<DefCampo>& CamposComunes();
/// The cadastre fields that follow them for shape type 5, 3 or 1; empty for any other type.
const std::vector<DefCampo>& CamposCatastro(int16_t tipo);

/// Layer path: `ficheroBin` without its last four characters, followed by `subNombre`.
std::string RutaCapa(const std::string& ficheroBin, const std::string& subNombre);

/// Opens the layer of `ficheroBin` and `subNombre` on `escritor` with shape type `tipo`.
/// Without `anexar` the layer is created anew with the common fields, plus the cadastre set
/// of its type when `catastro`; with `anexar` the existing layer is reopened and keeps its
/// fields. Throws the component's ShapefileError.
void CreateFichShape(Shapefile& escritor, const std::string& ficheroBin, int16_t tipo,
                     const std::string& subNombre, bool anexar, bool catastro);

}  // namespace parvenza
