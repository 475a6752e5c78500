#include "dxf/Mensajes.h"

#include <iostream>
#include <utility>

namespace dornavel {

namespace {
Mensajero& Actual() {
    static Mensajero m;
    return m;
}
}  // namespace

void EstableceMensajero(Mensajero mensajero) { Actual() = std::move(mensajero); }

void MuestraMensaje(const std::string& texto) {
    if (Actual()) {
        Actual()(texto);
    } else {
        std::cerr << texto << std::endl;
    }
}

}  // namespace dornavel
