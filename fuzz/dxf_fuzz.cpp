// The DXF reader: the load of a drawing (CargaFicheroDxf) and the layer table
// (CargoFicheroBinDxfTab) on the same bytes. Every load must end, with its entities or with
// a DxfError.

#include <string>
#include <vector>

#include "dxf/Mensajes.h"
#include "dxf/clsFicheroDxf.h"
#include "fuzz/Comun.h"

using namespace dornavel;
namespace fz = parvenza::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
    static const bool preparado = (EstableceMensajero([](const std::string& t) {
                                       if (t.rfind("Error en formato de fichero : ", 0) != 0)
                                           fz::Hallazgo("unexpected message: " + t);
                                   }),
                                   true);
    (void)preparado;
    const std::string ruta = fz::Ruta("dibujo.dxf");
    fz::Escribe(ruta, datos, n);

    {
        clsFicheroDxf dxf;
        int32_t nfich = 0;
        std::vector<tipo_ElementoDxf> elementos;
        try {
            dxf.AbreFicheroDxf(ruta, nfich);
            dxf.CargaFicheroDxf(ruta, elementos, nfich);
        } catch (const DxfError&) {
        }
        // Each entity takes at least one pair of lines.
        if (elementos.size() > n / 2 + 1) fz::Hallazgo("more entities than pairs of lines");
        for (const auto& e : elementos) {
            if (e.Tipo != "LINE" && e.Tipo != "POLYLINE" && e.Tipo != "TEXT" && e.Tipo != "POINT")
                fz::Hallazgo("an entity of type \"" + e.Tipo + "\" was loaded");
            if (e.Polyline.Gvertices.empty()) fz::Hallazgo("a polyline without its reset vertex");
        }
        dxf.CierraFicheroDxf(ruta, nfich);
    }

    {
        clsFicheroDxf dxf;
        std::vector<BinDxfTab> tabla;
        bool error = false;
        try {
            dxf.CargoFicheroBinDxfTab(ruta, tabla, error);
        } catch (const DxfError&) {
        }
        BinDxfTab info;
        dxf.BuscaEnBinDxfTab("", "0", tabla, info);
    }
    return 0;
}
