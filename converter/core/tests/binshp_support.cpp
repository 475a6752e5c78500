#include "converter/core/tests/binshp_support.h"

#include <shapefil.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "converter/core/Topologia.h"
#include "converter/core/tests/topologia_prueba.h"
#include "digi/FicheroDigi.h"

namespace fs = std::filesystem;

namespace parvenza::prueba_binshp {

brisquel::tipo_entidad Cuadrado(const std::string& codigo,
                                std::vector<brisquel::Fatrib> atributos) {
    return Linea(codigo, {{0, 0, 0}, {0, 100, 0}, {100, 100, 0}, {100, 0, 0}, {0, 0, 0}},
                 std::move(atributos));
}

std::vector<tipo_manzana> Carga(const std::string& fixture, bool& hayError, int32_t& codigo) {
    prueba::PuertoAnotador puerto;
    std::vector<tipo_manzana> manzanas;
    hayError = false;
    codigo = 0;
    CargaTopologia(prueba_topologia::Fixture(fixture), manzanas, hayError, codigo, puerto);
    return manzanas;
}

std::vector<tipo_manzana> Basica() {
    bool hayError;
    int32_t codigo;
    return Carga("basic.mdb", hayError, codigo);
}

void EscribeBin(const std::string& ruta, std::vector<brisquel::tipo_entidad> elementos) {
    std::ofstream(ruta, std::ios::binary | std::ios::trunc);  // empty file, even with no element
    brisquel::FicheroDigi().CreaFicheroDigi(ruta, elementos);
}

void BorraElemento(const std::string& ruta, int n) {
    std::fstream f(ruta, std::ios::in | std::ios::out | std::ios::binary);
    std::streamoff pos = 0;
    for (int i = 1;; ++i) {
        unsigned char cab[12];
        f.seekg(pos);
        if (!f.read(reinterpret_cast<char*>(cab), 12)) throw std::runtime_error("no such element");
        if (i == n) {
            f.seekp(pos + 1);
            f.put('*');  // second character of tipo other than "=": deleted
            return;
        }
        int npuntos = cab[10] | (cab[11] << 8);
        pos += 48 + 12 * (npuntos + cab[9]);
    }
}

}  // namespace parvenza::prueba_binshp
