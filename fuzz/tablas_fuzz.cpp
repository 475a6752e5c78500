// The code table and palette readers on the same bytes: leo_digi_tab, then leo_PAL.

#include <string>

#include "digi/FicheroDigi.h"
#include "digi/Mensajes.h"
#include "fuzz/Comun.h"

using namespace brisquel;
namespace fz = parvenza::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
    // The palette's format message is expected; nothing else may be shown.
    static const bool preparado = (EstableceMensajero([](const std::string& t) {
                                       if (t.rfind("Error en formato de fichero : ", 0) != 0)
                                           fz::Hallazgo("unexpected message: " + t);
                                   }),
                                   true);
    (void)preparado;
    const std::string ruta = fz::Ruta("tabla.tab");
    fz::Escribe(ruta, datos, n);
    FicheroDigi digi;

    TablaDigi tabla;
    int32_t fondo = 0, nuevo = 0;
    try {
        digi.leo_digi_tab(ruta, tabla, fondo, nuevo);
        // One row per line at most, each with its column 27 set.
        if (tabla.size() > n + 1) fz::Hallazgo("more rows than lines");
        for (const auto& fila : tabla)
            if (fila[26] != "1") fz::Hallazgo("a row without its column 27");
    } catch (const DigiError&) {
    }

    Paleta pal;
    try {
        digi.leo_PAL(ruta, pal);
        for (const auto& c : pal)
            if (int64_t(c[3]) != int64_t(c[0]) + 256 * int64_t(c[1]) + 65536 * int64_t(c[2]))
                fz::Hallazgo("colour value is not red + 256 green + 65536 blue");
    } catch (const DigiError&) {
    }
    return 0;
}
