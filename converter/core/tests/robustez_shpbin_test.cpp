// Damaged shapefile triples through the shapefile component, the field listing and the
// shapefile-to-BIN run: a clear error naming the file, the readable records converted, and
// neither the input files nor the BIN file changed by a failed run.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "converter/core/DbfCampos.h"
#include "converter/core/ShpBin.h"
#include "converter/core/ShpBinError.h"
#include "converter/core/tests/shpbin_ayuda.h"
#include "converter/shapefile/Shapefile.h"
#include "tests/robustez/Robustez.h"

namespace parvenza {
namespace {

using namespace prueba;
using robustez::Bytes, robustez::Lee, robustez::Parchea;
using E = std::vector<int32_t>;
using Erroneos = std::optional<E>;
const std::string kPrevio =
    std::string("C=PREVIO\0\0\x01", 12) + std::string(48, '\0');  // one point element

class RobustezShp : public ::testing::Test {
  protected:
    // Four lines coded 1..4, and a BIN file that already holds one point element.
    void SetUp() override {
        std::vector<Registro> registros;
        for (int i = 0; i < 4; ++i)
            registros.push_back(
                {{{{double(i), 0, 0}, {double(i), 1, 0}, {double(i) + 1, 1, 0}}}, {double(i + 1)}});
        EscribeShape(shp, SHPT_ARC, {{"COD", 'N', 6}}, registros);
        o.ficheroShp = shp;
        o.ficheroBin = carpeta / "salida.bin";
        ShpElegido(o.seleccion, shp, carpeta.Ruta());
        o.seleccion.indexCampoCodigo = 0;
        std::ofstream(o.ficheroBin, std::ios::binary) << kPrevio;
    }
    // Runs the conversion and checks that it did not touch its inputs.
    ResultadoShpBin Convierte() {
        std::map<std::string, std::string> antes;
        for (const char* ext : {".shp", ".shx", ".dbf"})
            if (fs::exists(base + ext)) antes[ext] = Lee(base + ext);
        puerto = {};
        const ResultadoShpBin r = ReadShape(o, puerto);
        for (const auto& [ext, bytes] : antes)
            EXPECT_EQ(Lee(base + ext), bytes) << ext << " changed";
        return r;
    }
    // Each case damages a fresh triple. The run lists `erroneos` (any, when none given) and
    // converts the rest; when `rechazo` is 1 the run may instead refuse the file (2: it must),
    // with a critical message naming `fichero` and the BIN file as it was.
    // Then the field listing, when `campos` is 0 or 1 (1: it must fail).
    void Comprueba(const char* que, const std::function<void()>& dana, const Erroneos& erroneos,
                   int rechazo = 0, const char* fichero = "capa.", int campos = -1) {
        SCOPED_TRACE(que);
        SetUp();
        dana();
        const auto r = Convierte();
        if (campos >= 0) CamposOError(campos);
        EXPECT_TRUE(rechazo < 2 || !r.escrito);
        if (!r.escrito) {
            EXPECT_TRUE(rechazo > 0) << r.error;
            EXPECT_NE(r.error.find(fichero), std::string::npos) << r.error;
            ASSERT_FALSE(puerto.mensajes.empty());
            EXPECT_TRUE(puerto.criticos[0]);
            EXPECT_NE(puerto.mensajes[0].find(fichero), std::string::npos) << puerto.mensajes[0];
            EXPECT_EQ(puerto.procesos.back(), "Proceso interrumpido");
            EXPECT_EQ(Lee(o.ficheroBin), kPrevio);
            return;
        }
        EXPECT_EQ(LeeBin(o.ficheroBin).size(), 1 + size_t(r.elementos));
        if (!erroneos) return;
        EXPECT_EQ(r.registrosErroneos, *erroneos);
        EXPECT_EQ(r.elementos, 4 - int64_t(erroneos->size()));
        const std::string ultimo = puerto.mensajes.empty() ? "" : puerto.mensajes.back();
        EXPECT_TRUE(erroneos->empty() ||
                    ultimo.rfind("Se han encontrado " + std::to_string(erroneos->size()), 0) == 0)
            << ultimo;
    }
    // The field listing: at most the one field, or 53 naming the table.
    void CamposOError(bool debeFallar) {
        try {
            EXPECT_LE(CamposDbf(carpeta.Ruta(), "capa").size(), 1u);
            EXPECT_FALSE(debeFallar);
        } catch (const ShpBinError& e) {
            EXPECT_EQ(e.numero(), kFicheroNoEncontrado);
            EXPECT_NE(std::string(e.what()).find("capa.dbf"), std::string::npos) << e.what();
        }
    }

    Carpeta carpeta;
    std::string shp = carpeta / "capa.shp", base = carpeta / "capa", shx = base + ".shx",
                dbf = base + ".dbf";
    OpcionesShpBin o;
    PuertoAnotador puerto;
};

// Missing .shx, .dbf or .shp: the component and the run stop before reading, name the file,
// and the BIN file keeps what it held.
TEST_F(RobustezShp, SinIndiceOSinTabla) {
    for (const char* falta : {".shx", ".dbf", ".shp"}) {
        Comprueba(
            falta, [&] { fs::remove(base + falta); }, std::nullopt, 2);
        try {
            Shapefile().Open(shp, 0, 0);
            ADD_FAILURE() << "opened";
        } catch (const ShapefileError& e) {
            EXPECT_TRUE(e.numero() == kLlamadaNoValida || e.numero() == kFicheroNoEncontrado)
                << e.numero();
            EXPECT_NE(std::string(e.what()).find("capa."), std::string::npos) << e.what();
        }
    }
    fs::remove(dbf);
    CamposOError(true);  // with the .dbf gone the field listing says which table is missing
}

// Record lengths that lie, in the index and in the main file: those records are listed as
// erroneous, the others are converted.
TEST_F(RobustezShp, LongitudesDeRegistroQueMienten) {
    const std::string idx = Lee(shx);
    auto registro = [&](int i) {  // 0-based, its offset in bytes
        const auto* p = reinterpret_cast<const unsigned char*>(idx.data()) + 100 + 8 * i;
        return 2 * ((p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]);
    };
    // shapelib checks every index entry when it opens the file and may refuse it whole.
    Comprueba(
        "index length far past the end", [&] { Parchea(shx, 100 + 8 + 4, Bytes(0x3FFFFFFF, -4)); },
        E{1}, 1, "capa.shp");
    Comprueba(
        "index offset inside the file header", [&] { Parchea(shx, 100, Bytes(10, -4)); }, E{0});
    Comprueba(
        "index length of zero", [&] { Parchea(shx, 100 + 8 * 2 + 4, Bytes(0, -4)); }, E{2});
    Comprueba(
        "index offset past the end", [&] { Parchea(shx, 100 + 8 * 3, Bytes(0x7FFFFFF0, -4)); },
        E{3});
    Comprueba(
        "part count beyond the record",
        [&] { Parchea(shp, registro(1) + 8 + 36, Bytes(0x7FFFFFFF, 4)); }, E{1});
    Comprueba(
        "vertex count beyond the record",
        [&] { Parchea(shp, registro(2) + 8 + 40, Bytes(1000000, 4)); }, E{2});
    Comprueba(
        "negative part start", [&] { Parchea(shp, registro(0) + 8 + 44, Bytes(0xFFFFFFF0, 4)); },
        E{0});
    Comprueba(
        "main file cut inside record 3", [&] { fs::resize_file(shp, registro(2) + 20); }, E{2, 3});
}

// A dBase header that lies about its records, its header length or its fields.
TEST_F(RobustezShp, TablaConCabeceraQueMiente) {
    Comprueba(
        "fewer records than shapes", [&] { Parchea(dbf, 4, Bytes(2, 4)); }, E{2, 3});
    Comprueba(
        "more records than the file holds", [&] { Parchea(dbf, 4, Bytes(1000000, 4)); }, E{});
    for (uint16_t cabecera : {60000, 33, 0})  // header length past the end, shorter than a field
        Comprueba(
            "header length", [&] { Parchea(dbf, 8, Bytes(cabecera, 2)); }, std::nullopt, 1, "capa.",
            0);
    Comprueba(
        "field wider than the record", [&] { Parchea(dbf, 32 + 16, "\xFA"); }, std::nullopt, 1,
        "capa.", 0);
    Comprueba(
        "record length of zero", [&] { Parchea(dbf, 10, Bytes(0, 2)); }, std::nullopt, 1, "capa.",
        0);
    Comprueba(
        "cut inside the field descriptors", [&] { fs::resize_file(dbf, 40); }, std::nullopt, 1,
        "capa.", 1);
}

}  // namespace
}  // namespace parvenza
