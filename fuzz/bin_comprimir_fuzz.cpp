// comprimir on a copy of the input. Afterwards the file must hold the live elements of the
// input, in order and with the same contents, and no deleted element once anything moved;
// when the call fails, the file must be as it was.

#include <string>
#include <vector>

#include "digi/FicheroDigi.h"
#include "fuzz/Comun.h"

using namespace brisquel;
namespace fz = parvenza::fuzz;

namespace {

struct Visto {
    std::vector<tipo_entidad> vivos;
    size_t borrados = 0;
    bool completo = true;  // the walk reached the end without an error
};

// The elements of a file through the library's own walk, with DameEntidad.
Visto Recorre(const std::string& ruta) {
    FicheroDigi digi;
    Visto v;
    int32_t nfich = 0;
    digi.AbreFichero(ruta, nfich);
    tipo_entidad e;
    try {
        do {
            digi.DameEntidad(nfich, e);
            const std::string& t = e.elemento.cabecera.tipo;
            if (t == "C=" || t == "T=") {
                v.vivos.push_back(e);
            } else {
                ++v.borrados;
            }
        } while (e.nfich != 0);
    } catch (const DigiError&) {
        v.completo = false;
    }
    digi.CierraFichero(ruta, nfich);
    return v;
}

std::string Limpio(const std::string& s) {
    std::string t = s.substr(0, s.find('\0'));
    const size_t a = t.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    return t.substr(a, t.find_last_not_of(' ') - a + 1);
}

// Same element as far as the file can tell: moving re-encodes the code and the rest codes
// (trimmed, NUL-padded), everything else goes over byte for byte.
bool Igual(const tipo_entidad& a, const tipo_entidad& b) {
    const auto &x = a.elemento, &y = b.elemento;
    if (x.cabecera.tipo != y.cabecera.tipo ||
        Limpio(x.cabecera.codigo) != Limpio(y.cabecera.codigo) ||
        x.cabecera.natr != y.cabecera.natr || x.cabecera.npuntos != y.cabecera.npuntos)
        return false;
    const auto &r = x.rango, &s = y.rango;
    if (r.xmin != s.xmin || r.ymin != s.ymin || r.zmin != s.zmin || r.xmax != s.xmax ||
        r.ymax != s.ymax || r.zmax != s.zmax || r.xlib != s.xlib || r.ylib != s.ylib ||
        r.zlib != s.zlib)
        return false;
    if (x.coordenadas != y.coordenadas || x.textos.size() != y.textos.size() ||
        x.atributos.size() != y.atributos.size())
        return false;
    for (size_t i = 0; i < x.textos.size(); ++i)
        if (x.textos[i].texto12 != y.textos[i].texto12) return false;
    for (size_t i = 0; i < x.atributos.size(); ++i) {
        const Fatrib &p = x.atributos[i], &q = y.atributos[i];
        if (p.idTabla != q.idTabla || p.nregistro != q.nregistro ||
            Limpio(p.resto) != Limpio(q.resto))
            return false;
    }
    return true;
}

}  // namespace

namespace {

int Prueba(const uint8_t* datos, size_t n) {
    std::string bin(reinterpret_cast<const char*>(datos), n);
    fz::QuitaClasesCorruptas(bin);
    const std::string ruta = fz::Ruta("comprimir.bin");
    fz::Escribe(ruta, bin.data(), bin.size());
    const Visto antes = Recorre(ruta);

    FicheroDigi digi;
    bool bien = true;
    try {
        digi.comprimir(ruta);
    } catch (const DigiError&) {
        bien = false;
    }
    const std::string despues = fz::Lee(ruta);
    if (!bien) {
        if (despues != bin) fz::Hallazgo("a failed comprimir changed the file");
        return 0;
    }
    if (!antes.completo) fz::Hallazgo("comprimir succeeded on a file whose walk fails");
    if (despues == bin) return 0;  // nothing had to move
    const Visto v = Recorre(ruta);
    if (!v.completo) fz::Hallazgo("the compacted file cannot be walked");
    if (v.borrados != 0) fz::Hallazgo("a deleted element is left after moving");
    if (v.vivos.size() != antes.vivos.size()) fz::Hallazgo("comprimir lost or added elements");
    for (size_t i = 0; i < v.vivos.size(); ++i)
        if (!Igual(v.vivos[i], antes.vivos[i]))
            fz::Hallazgo("element " + std::to_string(i + 1) + " changed in comprimir");
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
    return fz::Vigilado([&] { Prueba(datos, n); });
}
