#include "entity/Mensajes.h"

namespace lumeral {

namespace {
parvenza::Sumidero& Actual() {
    static parvenza::Sumidero s;
    return s;
}
}  // namespace

void EstableceMensajero(Mensajero mensajero) { Actual().Establece(std::move(mensajero)); }

void MuestraMensaje(const std::string& texto) { Actual().Muestra(texto); }

}  // namespace lumeral
