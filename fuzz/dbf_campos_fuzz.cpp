// The attribute-table field listing: every input is a ".dbf" file, listed as the field
// selectors list it (RellenaCampos with each filter word) and named field by field
// (ObtengoNombreCamposDbf).

#include <string>

#include "converter/core/DbfCampos.h"
#include "converter/core/Puerto.h"
#include "converter/core/ShpBinError.h"
#include "fuzz/Comun.h"

namespace fz = parvenza::fuzz;
using namespace parvenza;

namespace {

class PuertoMudo : public Puerto {
  public:
    void Proceso(const std::string&) override {}
    void Progreso(double) override {}
    void Mensaje(const std::string& t, bool, const std::string&) override {
        fz::Hallazgo("unexpected message: " + t);
    }
    bool PideFichero(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    void Ocupado(bool) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
    const std::string directorio = fz::Carpeta() + "/";
    fz::Escribe(directorio + "tabla.dbf", datos, n);
    PuertoMudo puerto;
    try {
        const auto campos = CamposDbf(directorio, "tabla");
        size_t listados = 0;
        for (const char* patron : {"TODOS", "DOBLE", "TEXTO"}) {
            const auto entradas = RellenaCampos(directorio, "tabla", patron, puerto);
            if (!entradas) fz::Hallazgo("a valid table name was refused");
            if (entradas->size() > campos.size()) fz::Hallazgo("more entries than fields");
            for (const std::string& e : *entradas) {
                const int16_t i = IndiceDeEntrada(e);
                if (i < 0 || size_t(i) >= campos.size())
                    fz::Hallazgo("entry with a wrong index: " + e);
                if (e != EntradaCampo(i, campos[size_t(i)].nombre))
                    fz::Hallazgo("entry does not name its field");
            }
            if (std::string(patron) == "TODOS") listados = entradas->size();
        }
        (void)listados;
        // Each lookup opens the table again: the first fields are enough.
        for (size_t i = 0; i < campos.size() && i < 64; ++i)
            if (ObtengoNombreCamposDbf(directorio, "tabla", int16_t(i)) != campos[i].nombre)
                fz::Hallazgo("field name differs between the listing and the lookup");
    } catch (const ShpBinError&) {
        // A table shapelib will not open: the documented error naming the file.
    }
    return 0;
}
