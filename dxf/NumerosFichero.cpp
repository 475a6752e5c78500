#include "dxf/NumerosFichero.h"

#include <bitset>
#include <utility>

#include "dxf/DxfError.h"

namespace dornavel {

namespace {

struct Numeracion {
    TomaNumero toma;
    LiberaNumero libera;
    std::bitset<256> enUso;
};

Numeracion& Actual() {
    static Numeracion n;
    return n;
}

}  // namespace

void EstableceNumeracionFicheros(TomaNumero toma, LiberaNumero libera) {
    Actual().toma = std::move(toma);
    Actual().libera = std::move(libera);
}

int32_t TomaNumeroFichero() {
    auto& n = Actual();
    if (n.toma) return n.toma();
    for (int32_t i = 1; i <= 255; ++i) {
        if (!n.enUso[i]) {
            n.enUso[i] = true;
            return i;
        }
    }
    throw DxfError(kDemasiadosFicheros, "Demasiados ficheros abiertos");
}

void LiberaNumeroFichero(int32_t numero) {
    auto& n = Actual();
    if (n.libera) {
        n.libera(numero);
    } else if (numero >= 1 && numero <= 255) {
        n.enUso[numero] = false;
    }
}

}  // namespace dornavel
