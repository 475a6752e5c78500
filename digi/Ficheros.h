#pragma once
// The process-wide table of file numbers. Everything that opens files by number (the BIN
// files of FicheroDigi, the DXF reader) takes its number here, so that two libraries never
// hand out the same number and "the lowest free one" means the same thing everywhere.

#include <cstdint>

namespace brisquel {

constexpr int32_t kPrimerNumeroFichero = 1;
constexpr int32_t kUltimoNumeroFichero = 255;

/// Takes the lowest free number from 1 to 255 and marks it in use.
/// Throws DigiError kDemasiadosFicheros (67) when every number is in use.
int32_t TomaNumeroFichero();

/// Gives `numero` back. A number that is not in use (or out of range) is ignored.
void LiberaNumeroFichero(int32_t numero);

/// True when `numero` is in use.
bool NumeroFicheroEnUso(int32_t numero);

}  // namespace brisquel
