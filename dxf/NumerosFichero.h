#pragma once
// File numbers of the DXF reader. By default the library keeps its own table of 1 to 255;
// a host that opens other files by number (the utilities library, over the Digi file
// library's table) installs its own so that numbers are unique in the whole process.

#include <cstdint>
#include <functional>

namespace dornavel {

/// Takes the lowest free number and marks it in use; throws on exhaustion.
using TomaNumero = std::function<int32_t()>;
/// Gives a number back.
using LiberaNumero = std::function<void(int32_t)>;

/// Installs the process-wide numbering; empty functions restore the library's own table.
void EstableceNumeracionFicheros(TomaNumero toma, LiberaNumero libera);

/// The lowest free number (DxfError 67 when all 255 are in use).
int32_t TomaNumeroFichero();
void LiberaNumeroFichero(int32_t numero);

}  // namespace dornavel
