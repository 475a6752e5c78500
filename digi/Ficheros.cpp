#include "digi/Ficheros.h"

#include <bitset>
#include <mutex>

#include "digi/DigiError.h"

namespace brisquel {

namespace {
struct Tabla {
    std::mutex cerrojo;
    std::bitset<kUltimoNumeroFichero + 1> usados;  // index 0 never used
};
Tabla& LaTabla() {
    static Tabla t;
    return t;
}
}  // namespace

int32_t TomaNumeroFichero() {
    Tabla& t = LaTabla();
    std::lock_guard<std::mutex> g(t.cerrojo);
    for (int32_t n = kPrimerNumeroFichero; n <= kUltimoNumeroFichero; ++n) {
        if (!t.usados[n]) {
            t.usados[n] = true;
            return n;
        }
    }
    throw DigiError(kDemasiadosFicheros,
                    "Demasiados ficheros: todos los números de fichero del 1 al 255 están en uso");
}

void LiberaNumeroFichero(int32_t numero) {
    if (numero < kPrimerNumeroFichero || numero > kUltimoNumeroFichero) return;
    Tabla& t = LaTabla();
    std::lock_guard<std::mutex> g(t.cerrojo);
    t.usados[numero] = false;
}

bool NumeroFicheroEnUso(int32_t numero) {
    if (numero < kPrimerNumeroFichero || numero > kUltimoNumeroFichero) return false;
    Tabla& t = LaTabla();
    std::lock_guard<std::mutex> g(t.cerrojo);
    return t.usados[numero];
}

}  // namespace brisquel
