// The BIN walk: DameEntidad from the first element to the one that comes back with nfich 0,
// then CargaFicheroDigi over the same file. Every input is a BIN file; corrupt kinds are
// taken out first (Comun.h), so reaching "fichero corrupto..." is a finding.

#include <string>
#include <vector>

#include "digi/FicheroDigi.h"
#include "fuzz/Comun.h"

using namespace brisquel;
namespace fz = parvenza::fuzz;

namespace {

// `parcial`: a record of the load whose DameEntidad failed after its body was read; it keeps
// what was filled (its size is then still 0).
void CompruebaRegistro(const tipo_entidad& e, int64_t longitud, bool parcial = false) {
    // Every element the walk returns lies at a position of the file and takes whole blocks.
    if (e.puntero < 1 || e.puntero > longitud) fz::Hallazgo("puntero outside the file");
    if (!(parcial && e.tamano == 0) && (e.tamano < 48 || e.tamano % 12 != 0))
        fz::Hallazgo("tamano not a whole element");
    const auto& c = e.elemento.cabecera;
    const bool vivo = c.tipo == "C=" || c.tipo == "T=";
    if (vivo && e.elemento.atributos.size() != c.natr) fz::Hallazgo("attributes and natr differ");
    if (c.tipo == "C=" && e.elemento.coordenadas.size() != size_t(c.npuntos))
        fz::Hallazgo("points and npuntos differ");
    if (c.tipo == "T=" && e.elemento.coordenadas.size() != 1)
        fz::Hallazgo("text without one insertion point");
}

}  // namespace

namespace {

int Prueba(const uint8_t* datos, size_t n) {
    std::string bin(reinterpret_cast<const char*>(datos), n);
    fz::QuitaClasesCorruptas(bin);
    const std::string ruta = fz::Ruta("recorrido.bin");
    fz::Escribe(ruta, bin.data(), bin.size());

    FicheroDigi digi;
    int32_t nfich = 0;
    digi.AbreFichero(ruta, nfich);
    // No element is shorter than 48 bytes, so a walk takes at most n / 48 + 1 calls.
    const size_t tope = n / 48 + 1;
    size_t llamadas = 0;
    tipo_entidad e;
    try {
        do {
            digi.DameEntidad(nfich, e);
            if (++llamadas > tope) fz::Hallazgo("the walk does not move on");
            CompruebaRegistro(e, int64_t(n) == 0 ? 1 : int64_t(n));
        } while (e.nfich != 0);
    } catch (const DigiError&) {
        // A count with its high byte set, an index or area failure: the documented errors.
    }

    std::vector<tipo_entidad> elementos;
    digi.CargaFicheroDigi(ruta, elementos, nfich);
    if (elementos.size() > tope) fz::Hallazgo("the load returned more elements than fit");
    for (const tipo_entidad& el : elementos) CompruebaRegistro(el, int64_t(n), true);
    digi.CierraFichero(ruta, nfich);

    if (fz::Lee(ruta) != bin) fz::Hallazgo("reading changed the file");
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
    return fz::Vigilado([&] { Prueba(datos, n); });
}
