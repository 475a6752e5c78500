// The layers of a run replaced whole: nothing is in place before the run completes, a failed
// run (a full disk, met as a file-size limit in a child process) leaves every file as it was
// and no temporary behind, the cadastre set is built from this run's layers only, layers of
// earlier runs are named, and a sheet of more than 999,999 elements converts whole.

#include <gtest/gtest.h>

#include <fstream>

#include "converter/core/BinShp.h"
#include "converter/core/CapasShape.h"
#include "converter/core/Catastro.h"
#include "converter/core/CatastroGenera.h"
#include "converter/core/Topologia.h"
#include "converter/core/tests/binshp_support.h"
#include "converter/core/tests/topologia_prueba.h"
#include "converter/shapefile/Shapefile.h"
#include "converter/shapefile/tests/limite_prueba.h"
#include "tests/robustez/Robustez.h"

namespace parvenza {
namespace {

namespace fs = std::filesystem;
using brisquel::tipo_entidad;
using namespace prueba_binshp;
using namespace prueba_topologia;
using prueba::Contenido;
using prueba::FallaConLimite;

/// 300 blocks, parcels and streets: layers of some tens of kilobytes.
std::vector<tipo_entidad> HojaGrande(bool conTextos) {
    std::vector<tipo_entidad> h;
    for (int i = 0; i < 100; ++i) {
        h.push_back(Cuadrado("1802", {{150, 12, ""}}));
        h.push_back(Cuadrado("1805", {{151, 24, ""}}));
        h.push_back(Linea("1241", {{0, 0, 0}, {300, 400, 0}}));
        if (conTextos) h.push_back(Texto("0700", "Calle", {10, 20, 0}, 250, 0));
    }
    return h;
}

ResultadoBinShp Catastral(const std::string& bin, const std::vector<tipo_manzana>& manzanas) {
    OpcionesBinShp o = Opciones({bin});
    o.mdbElegido = o.catastro = true;
    Catastro gancho(manzanas, fs::path(bin).parent_path().string());
    PuertoGrabador puerto;
    return ProcesarBinShp(o, puerto, &gancho);
}

// A full disk at any stage: in the layers, in the cadastre copies, in the table rebuilt
// without fields. Every file of the folder stays byte for byte, nothing temporary is left,
// and the failure names the file and the reason.
TEST(CapasEnObra, AFullDiskAtAnyStageLeavesEveryFileAsItWas) {
    CarpetaTemporal dir;
    const std::string bin = dir / "hoja.bin";
    const auto manzanas = Basica();
    EscribeBin(bin, HojaGrande(true));
    ASSERT_TRUE(Catastral(bin, manzanas).ejecutado);
    ASSERT_TRUE(fs::exists(dir / "elemtex.shp"));
    EscribeBin(bin, HojaGrande(false));  // the run that fails would change every layer
    const auto antes = Contenido(dir.ruta());

    struct Caso {
        std::string etapa;  ///< or the file the message names
        off_t limite;
        std::function<void()> trabajo;
    };
    const Caso casos[] = {
        {"layers", 8192, [&] { Catastral(bin, manzanas); }},
        {dir / "masa.shp", 8192,
         [&] {
             CapasDeHoja capas;
             for (const char* s : {"_P.shp", "_L.shp"})
                 capas[s] = {RutaCapa(bin, s), RutaCapa(bin, s)};
             PuertoGrabador puerto;
             GeneraShpCatastro(capas, dir.ruta().string(), puerto)->Coloca();
         }},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.etapa);
        const std::string m = FallaConLimite(c.limite, c.trabajo);
        EXPECT_NE(m.find("el fichero supera el tamaño máximo permitido"), std::string::npos) << m;
        EXPECT_TRUE(c.etapa[0] != '/' || m.find(c.etapa) != std::string::npos) << m;
        EXPECT_EQ(Contenido(dir.ruta()), antes);
    }
    EXPECT_EQ(FallaConLimite(1 << 30, casos[0].trabajo), "");  // room enough: it converts
    EXPECT_NE(Contenido(dir.ruta()), antes);
}

// The cadastre set holds what this run wrote: a text layer of an earlier run beside the sheet
// is not split into elemtex, and it is named as a layer this run left as it was. What killed
// runs left in the folder is removed.
TEST(CapasEnObra, TheCadastreSetIsBuiltFromThisRunsLayersAndOldOnesAreNamed) {
    CarpetaTemporal dir;
    const std::string bin = dir / "hoja.bin";
    const auto manzanas = Basica();
    EscribeBin(bin, HojaGrande(true));
    ASSERT_TRUE(Catastral(bin, manzanas).ejecutado);
    EXPECT_EQ(LeeCapa(dir / "elemtex.shp").registros.size(), 100u);
    OpcionesBinShp puntos = Opciones({bin});
    puntos.textosComoLineas = false;
    PuertoGrabador puerto;
    ProcesarBinShp(puntos, puerto);  // hoja_TX beside hoja_TL

    // What killed runs left: a layer's temporaries and a cadastre scratch folder.
    const pid_t muerto = robustez::PidMuerto();
    const std::string resto = ".hoja_P.parvenza-" + std::to_string(muerto) + "-1";
    std::ofstream(dir / (resto + ".shp")) << "x";
    fs::create_directory(dir / (".catastro.parvenza-" + std::to_string(muerto) + "-2"));
    std::ofstream(dir / (".catastro.parvenza-" + std::to_string(muerto) + "-2/masa.shp")) << "x";

    EscribeBin(bin, HojaGrande(false));
    ResultadoBinShp r = Catastral(bin, manzanas);
    ASSERT_TRUE(r.ejecutado);
    EXPECT_FALSE(fs::exists(dir / "elemtex.shp") || fs::exists(dir / "elemtex.dbf"));
    EXPECT_EQ(LeeCapa(dir / "masa.shp").registros.size(), 100u);
    EXPECT_EQ(r.capasAnteriores,
              (std::vector<std::string>{dir / "hoja_TL.shp", dir / "hoja_TX.shp"}));
    EXPECT_EQ(LeeCapa(dir / "hoja_TL.shp").registros.size(), 100u) << "named, not removed";
    for (const auto& f : fs::directory_iterator(dir.ruta()))
        EXPECT_NE(f.path().filename().string()[0], '.') << f.path();
    // The layers replaced were held open past their rename; once released none stays held,
    // its space lost until the program ends.
    EsperaLiberaciones();
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const std::string destino = fs::read_symlink(fd.path(), ec).string();
        EXPECT_EQ(destino.find(fs::path(dir.ruta()).string()), std::string::npos) << destino;
    }
}

// A block code longer than the cadastre layers' MASA field is cut by the table, and said.
TEST(CapasEnObra, CadastreCodesTooLongForTheirFieldAreListedAsCut) {
    CarpetaTemporal dir;
    const std::string bin = dir / "hoja.bin";
    auto manzanas = Basica();
    for (tipo_manzana& m : manzanas)
        if (m.Registro == 12) m.Manzana = "1234567";
    EscribeBin(bin, {Cuadrado("1802", {{150, 12, ""}}), Cuadrado("1802", {{150, 12, ""}})});
    ResultadoBinShp r = Catastral(bin, manzanas);
    ASSERT_TRUE(r.ejecutado);
    EXPECT_EQ(r.omisiones.Lineas(),
              std::vector<std::string>{bin + ": MASA cortado a 5 caracteres (2): elemento 1 "
                                             "(1234567); elemento 2 (1234567)"});
    EXPECT_EQ(LeeCapa(dir / "masa.shp").Valor(0, "MASA"), "12345");
}

TEST(CapasEnObra, PolyIdWidensOnlyWhenTheOrdinalsNeedIt) {
    for (auto [n, ancho] : {std::pair<int64_t, int>{0, 6},
                            {999999, 6},
                            {1000000, 7},
                            {1000001, 7},
                            {12345678901, 11}})
        EXPECT_EQ(AnchoPolyId(n), ancho) << n;

    // 1,000,001 points: one element's bytes written over and over.
    CarpetaTemporal dir;
    const std::string bin = dir / "grande.bin";
    EscribeBin(bin, {Linea("0501", {{700, 800, 900}})});
    std::string uno;
    {
        std::ifstream in(bin, std::ios::binary);
        uno.assign(std::istreambuf_iterator<char>(in), {});
    }
    constexpr int kElementos = 1000001;
    {
        std::string bloque;
        for (int i = 0; i < 1000; ++i) bloque += uno;
        std::ofstream out(bin, std::ios::binary | std::ios::trunc);
        for (int i = 0; i < kElementos / 1000; ++i) out << bloque;
        out << uno;
    }
    PuertoGrabador puerto;
    ResultadoBinShp r = ProcesarBinShp(Opciones({bin}), puerto);
    ASSERT_EQ(r.capas.size(), 1u);
    EXPECT_EQ(r.capas[0].registros, kElementos);
    Shapefile x;
    x.Open(dir / "grande_X.shp", 0, 1);
    EXPECT_EQ(x.Fields().Item("POLY_ID").Width(), 7);
    x.MoveTo(kElementos);
    EXPECT_EQ(TextoDe(x.Fields().Item("POLY_ID").Value()), "1000001");
}

}  // namespace
}  // namespace parvenza
