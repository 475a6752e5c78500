// The shapefile-to-BIN run (ReadShape) on a fuzzed .shp/.shx/.dbf triple with fuzzed field
// choices. Input layout: 16 bytes of choices, the lengths of the .shp and the .shx (16 bits
// each, little-endian, cut to what is left), then the three files back to back (the .dbf
// takes the rest). Afterwards the three input files must be unchanged, and the BIN file must
// hold what it held before plus exactly the elements the run says it wrote.

#include <shapefil.h>

#include <string>
#include <vector>

#include "converter/core/ShpBin.h"
#include "digi/FicheroDigi.h"
#include "digi/Mensajes.h"
#include "fuzz/Comun.h"

namespace fz = parvenza::fuzz;
using namespace parvenza;

// shapelib reserves room for as many records as the .shx header declares: a 100-byte index
// can ask for 1.7 GB. Untouched, those pages cost nothing and the open fails in
// milliseconds; under AddressSanitizer the reservation itself takes seconds. Capping
// allocations makes it fail at once, as shapelib expects when memory runs out.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=256";
}

namespace {

class PuertoMudo : public Puerto {
  public:
    void Proceso(const std::string&) override {}
    void Progreso(double) override {}
    void Mensaje(const std::string& t, bool, const std::string&) override {
        if (t.rfind(kMensajeMaximoPuntos, 0) == 0)
            fz::Hallazgo("the run ended the program on a file the check let through: " + t);
    }
    bool PideFichero(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    void Ocupado(bool) override {}
};

int16_t Indice(uint8_t b) { return b >= 0xF0 ? -1 : int16_t(b % 8); }

int32_t CampoEnlace(uint8_t b) { return b == 0xFF ? -99 : int32_t(b % 8); }

std::string CampoResto(uint8_t b) {
    if (b == 0xFF) return "-99";
    if (b == 0xFE) return "";
    return std::to_string(b % 8);
}

// A part of more than 32767 vertices is the documented way for the run to end the program:
// such inputs are passed over here, read with shapelib itself.
bool PartesDemasiadoLargas(const std::string& shp) {
    SAHooks ganchos;
    SASetupDefaultHooks(&ganchos);
    ganchos.Error = [](const char*) {};  // the run reports its own errors
    SHPHandle h = SHPOpenLL(shp.c_str(), "rb", &ganchos);
    if (!h) return false;
    bool larga = false;
    for (int i = 0; i < h->nRecords && !larga; ++i) {
        SHPObject* o = SHPReadObject(h, i);
        if (!o) continue;
        larga = o->nVertices > 32767;
        SHPDestroyObject(o);
    }
    SHPClose(h);
    return larga;
}

// One point element, 60 bytes, written by hand: what the BIN file held before the run.
std::string Previo() {
    std::string b = "C=PREVIO";
    b.resize(9, '\0');
    b += std::string("\0\x01\x00", 3);
    b.resize(60, '\0');
    return b;
}

// Live elements of a BIN file through the library's walk; -1 when it cannot be walked.
int64_t Vivos(const std::string& ruta) {
    brisquel::FicheroDigi digi;
    int32_t nfich = 0;
    digi.AbreFichero(ruta, nfich);
    int64_t vivos = 0;
    try {
        brisquel::tipo_entidad e;
        do {
            digi.DameEntidad(nfich, e);
            const std::string& t = e.elemento.cabecera.tipo;
            if (t == "C=" || t == "T=") ++vivos;
        } while (e.nfich != 0);
    } catch (const brisquel::DigiError&) {
        vivos = -1;
    }
    digi.CierraFichero(ruta, nfich);
    return vivos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t n) {
    static const bool preparado = (brisquel::EstableceMensajero([](const std::string& t) {
                                       fz::Hallazgo("unexpected Digi message: " + t);
                                   }),
                                   true);
    (void)preparado;
    uint8_t o[20] = {};
    for (size_t i = 0; i < 20 && i < n; ++i) o[i] = datos[i];
    const uint8_t* p = datos + (n < 20 ? n : 20);
    size_t resto = n < 20 ? 0 : n - 20;
    const size_t lShp = std::min<size_t>(o[16] | o[17] << 8, resto);
    const size_t lShx = std::min<size_t>(o[18] | o[19] << 8, resto - lShp);

    fz::Vacia();
    const std::string base = fz::Ruta("capa");
    const std::string shp(reinterpret_cast<const char*>(p), lShp);
    const std::string shx(reinterpret_cast<const char*>(p + lShp), lShx);
    const std::string dbf(reinterpret_cast<const char*>(p + lShp + lShx), resto - lShp - lShx);
    fz::Escribe(base + ".shp", shp.data(), shp.size());
    if (!(o[0] & 8)) fz::Escribe(base + ".shx", shx.data(), shx.size());
    if (!(o[0] & 16)) fz::Escribe(base + ".dbf", dbf.data(), dbf.size());
    if (PartesDemasiadoLargas(base + ".shp")) return 0;

    OpcionesShpBin op;
    op.ficheroShp = base + ".shp";
    op.ficheroBin = fz::Ruta("salida.bin");
    op.factorUnidades = (o[0] & 4) ? 1000 : 100;
    op.chkTextos = o[0] & 1;
    op.chkCotas = o[0] & 2;
    if (o[0] & 32) op.txtCodigo.clear();
    SeleccionShp& s = op.seleccion;
    s.directorio = fz::Carpeta() + "/";
    s.tabladbf = "capa";
    s.indexCampoCodigo = Indice(o[1]);
    s.indexCampoTexto_Rotulo = Indice(o[2]);
    s.indexCampoTexto_Altura = Indice(o[3]);
    s.indexCampoTexto_Justificacion = Indice(o[4]);
    s.indexCampoTexto_Giro = Indice(o[5]);
    s.indexCampoZ = Indice(o[6]);
    s.numAtributo = 3;
    s.listaAtributos = {"Atributo 3"};
    if (o[0] & 128) s.listaAtributos.push_back("Atributo 4");
    for (int k = 0; k < 3; ++k) {
        s.camposAtributo[k].campoTabla = CampoEnlace(o[7 + 3 * k]);
        s.camposAtributo[k].campoRegistro = CampoEnlace(o[8 + 3 * k]);
        s.camposAtributo[k].campoResto = CampoResto(o[9 + 3 * k]);
    }

    const std::string previo = (o[0] & 64) ? Previo() : std::string();
    if (!previo.empty()) fz::Escribe(op.ficheroBin, previo.data(), previo.size());

    PuertoMudo puerto;
    const ResultadoShpBin r = ReadShape(op, puerto);

    if (fz::Lee(base + ".shp") != shp || (!(o[0] & 8) && fz::Lee(base + ".shx") != shx) ||
        (!(o[0] & 16) && fz::Lee(base + ".dbf") != dbf))
        fz::Hallazgo("the run changed one of the files it reads");
    std::error_code ec;
    const bool existe = std::filesystem::exists(op.ficheroBin, ec);
    if (!r.escrito) {
        if (previo.empty() ? existe : fz::Lee(op.ficheroBin) != previo)
            fz::Hallazgo("a run that wrote nothing changed the BIN file");
        return 0;
    }
    const std::string salida = existe ? fz::Lee(op.ficheroBin) : std::string();
    if (salida.compare(0, previo.size(), previo) != 0)
        fz::Hallazgo("the run changed what the BIN file held");
    if (salida.size() == previo.size()) {
        if (r.elementos != 0) fz::Hallazgo("elements reported but not written");
        return 0;
    }
    const int64_t vivos = Vivos(op.ficheroBin);
    if (vivos < 0) fz::Hallazgo("the BIN file written cannot be read back");
    if (vivos != r.elementos + (previo.empty() ? 0 : 1))
        fz::Hallazgo("the BIN file does not hold the elements the run reports");
    return 0;
}
