#include <cctype>

#include "digi/FicheroDigi.h"
#include "digi/Ficheros.h"
#include "dxf/NumerosFichero.h"
#include "dxf/clsFicheroDxf.h"
#include "utilities/Comunes.h"
#include "utilities/Utilidades.h"

namespace fenoquia {

namespace {

// DXF files take their numbers from the Digi library's table, so that BIN and DXF files
// open in one process never share a number.
const bool kNumeracionComun = [] {
    dornavel::EstableceNumeracionFicheros(
        [] {
            try {
                return brisquel::TomaNumeroFichero();
            } catch (const brisquel::DigiError& e) {
                throw dornavel::DxfError(e.numero(), e.what());
            }
        },
        [](int32_t n) { brisquel::LiberaNumeroFichero(n); });
    return true;
}();

}  // namespace

brisquel::FicheroDigi& FicheroDigiComun() {
    static brisquel::FicheroDigi f;
    return f;
}

dornavel::clsFicheroDxf& LectorDxfComun() {
    static dornavel::clsFicheroDxf d;
    return d;
}

void Utilidades::TipoFichero(const std::string& Directorio, const std::string& Fichero,
                             brisquel::Paleta& pal, brisquel::TablaDigi& digitab,
                             int32_t& fondo_pantalla, int32_t& colornuevo,
                             std::string& strTipoFichero,
                             std::vector<dornavel::BinDxfTab>& tablaBinDxf) {
    (void)kNumeracionComun;
    std::string tipo = Fichero.size() >= 3 ? Fichero.substr(Fichero.size() - 3) : Fichero;
    for (char& c : tipo) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    strTipoFichero = tipo;
    if (tipo != "BIN" && tipo != "DXF") return;

    std::string tablas = Directorio;
    if (!tablas.empty() && tablas.back() != '/') tablas += '/';
    tablas += "TABLAS/";
    Protegido("TipoFichero", [&] {
        FicheroDigiComun().leo_PAL(tablas + "digi.pal", pal);
        FicheroDigiComun().leo_digi_tab(tablas + "digi.tab", digitab, fondo_pantalla, colornuevo);
        if (tipo == "DXF") {
            bool errorFormato = false;
            LectorDxfComun().CargoFicheroBinDxfTab(tablas + "bindxf.tab", tablaBinDxf,
                                                   errorFormato);
        }
    });
}

}  // namespace fenoquia
