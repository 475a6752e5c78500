#pragma once
// Where the DXF library's message boxes go. The host sets the sink: the window shows a
// message box, the command line writes to stderr, tests record the texts.

#include <string>

#include "comun/Mensajero.h"

namespace dornavel {

using parvenza::Mensajero;

/// Installs the sink; an empty function restores the default (stderr).
void EstableceMensajero(Mensajero mensajero);

/// Shows a message through the installed sink.
void MuestraMensaje(const std::string& texto);

}  // namespace dornavel
