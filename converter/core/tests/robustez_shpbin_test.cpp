// Damaged shapefile triples through the shapefile component, the field listing and the
// shapefile-to-BIN run: a clear error naming the file, the readable records converted, and
// neither the input files nor the BIN file changed by a failed run.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>

#include "converter/core/DbfCampos.h"
#include "converter/core/ShpBin.h"
#include "converter/core/ShpBinError.h"
#include "converter/core/tests/shpbin_ayuda.h"
#include "converter/shapefile/Shapefile.h"

namespace parvenza {
namespace {

using namespace prueba;

std::string Contenido(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

// Overwrites `bytes` at `desde` in an existing file.
void Parchea(const std::string& ruta, std::streamoff desde, const std::string& bytes) {
    std::fstream f(ruta, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(desde);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string BE32(uint32_t v) { return {char(v >> 24), char(v >> 16 & 0xFF), char(v >> 8 & 0xFF), char(v & 0xFF)}; }
std::string LE32(uint32_t v) { return {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24)}; }
std::string LE16(uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }

class RobustezShp : public ::testing::Test {
protected:
    void SetUp() override {
        shp = carpeta / "capa.shp";
        std::vector<Registro> registros;
        for (int i = 0; i < 4; ++i)
            registros.push_back({{{{double(i), 0, 0}, {double(i), 1, 0}, {double(i) + 1, 1, 0}}}, {double(i + 1)}});
        EscribeShape(shp, SHPT_ARC, {{"COD", 'N', 6}}, registros);
        o.ficheroShp = shp;
        o.ficheroBin = carpeta / "salida.bin";
        ShpElegido(o.seleccion, shp, carpeta.Ruta());
        o.seleccion.indexCampoCodigo = 0;
        // What the BIN file holds before the run: one point element.
        std::string previo = "C=PREVIO";
        previo.resize(9, '\0');
        previo += std::string("\0\x01\x00", 3);
        previo.resize(60, '\0');
        std::ofstream(o.ficheroBin, std::ios::binary) << previo;
    }
    std::string Base() const { return shp.substr(0, shp.size() - 4); }
    // Runs the conversion and checks that it did not touch its inputs.
    ResultadoShpBin Convierte() {
        std::map<std::string, std::string> antes;
        for (const char* ext : {".shp", ".shx", ".dbf"})
            if (fs::exists(Base() + ext)) antes[ext] = Contenido(Base() + ext);
        puerto = {};
        const ResultadoShpBin r = ReadShape(o, puerto);
        for (const auto& [ext, bytes] : antes) EXPECT_EQ(Contenido(Base() + ext), bytes) << ext << " changed";
        return r;
    }
    int NumeroAlAbrir() {
        Shapefile s;
        try {
            s.Open(shp, 0, 0);
            return 0;
        } catch (const ShapefileError& e) {
            mensaje = e.what();
            return e.numero();
        }
    }

    Carpeta carpeta;
    std::string shp;
    OpcionesShpBin o;
    PuertoAnotador puerto;
    std::string mensaje;
};

// Missing .shx or .dbf: the run stops before reading, names the file, and the BIN file keeps
// what it held.
TEST_F(RobustezShp, SinIndiceOSinTabla) {
    const std::string previo = Contenido(o.ficheroBin);
    for (const char* falta : {".shx", ".dbf", ".shp"}) {
        SCOPED_TRACE(falta);
        SetUp();
        fs::remove(Base() + falta);
        const int numero = NumeroAlAbrir();
        EXPECT_TRUE(numero == 5 || numero == 53) << numero;
        EXPECT_NE(mensaje.find("capa."), std::string::npos) << mensaje;
        const auto r = Convierte();
        EXPECT_FALSE(r.escrito);
        ASSERT_FALSE(puerto.mensajes.empty());
        EXPECT_TRUE(puerto.criticos[0]);
        EXPECT_NE(puerto.mensajes[0].find("capa."), std::string::npos) << puerto.mensajes[0];
        EXPECT_EQ(puerto.procesos.back(), "Proceso interrumpido");
        EXPECT_EQ(Contenido(o.ficheroBin), previo);
    }
    // With the .dbf gone the field listing says which table is missing.
    fs::remove(Base() + ".dbf");
    try {
        CamposDbf(carpeta.Ruta(), "capa");
        FAIL();
    } catch (const ShpBinError& e) {
        EXPECT_EQ(e.numero(), 53);
        EXPECT_NE(std::string(e.what()).find("capa.dbf"), std::string::npos);
    }
}

// Record lengths that lie, in the index and in the main file: those records are listed as
// erroneous, the others are converted.
TEST_F(RobustezShp, LongitudesDeRegistroQueMienten) {
    const std::string shx = Base() + ".shx";
    const std::string idx = Contenido(shx);
    auto desplazamiento = [&](int registro) {  // 0-based, in bytes
        const unsigned char* p = reinterpret_cast<const unsigned char*>(idx.data()) + 100 + 8 * registro;
        return 2 * ((p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3]);
    };
    struct Caso {
        const char* que;
        std::function<void()> dana;
        std::optional<std::vector<int32_t>> erroneos;  ///< none: the file is refused whole
    };
    const std::vector<Caso> casos = {
        // shapelib checks every index entry when it opens the file and may refuse it whole.
        {"index length far past the end", [&] { Parchea(shx, 100 + 8 * 1 + 4, BE32(0x3FFFFFFF)); }, std::nullopt},
        {"index offset inside the file header", [&] { Parchea(shx, 100, BE32(10)); }, std::vector<int32_t>{0}},
        {"index length of zero", [&] { Parchea(shx, 100 + 8 * 2 + 4, BE32(0)); }, std::vector<int32_t>{2}},
        {"index offset past the end", [&] { Parchea(shx, 100 + 8 * 3, BE32(0x7FFFFFF0)); }, std::vector<int32_t>{3}},
        {"part count beyond the record", [&] { Parchea(shp, desplazamiento(1) + 8 + 36, LE32(0x7FFFFFFF)); }, std::vector<int32_t>{1}},
        {"vertex count beyond the record", [&] { Parchea(shp, desplazamiento(2) + 8 + 40, LE32(1000000)); }, std::vector<int32_t>{2}},
        {"negative part start", [&] { Parchea(shp, desplazamiento(0) + 8 + 44, LE32(0xFFFFFFF0)); }, std::vector<int32_t>{0}},
        {"main file cut inside record 3", [&] { fs::resize_file(shp, desplazamiento(2) + 20); }, std::vector<int32_t>{2, 3}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        SetUp();
        c.dana();
        const auto r = Convierte();
        if (!c.erroneos) {
            // Refused whole with the file named, or only the record listed.
            if (r.escrito) {
                EXPECT_EQ(r.registrosErroneos, (std::vector<int32_t>{1}));
            } else {
                EXPECT_NE(r.error.find("capa.shp"), std::string::npos) << r.error;
                EXPECT_EQ(LeeBin(o.ficheroBin).size(), 1u);
            }
            continue;
        }
        ASSERT_TRUE(r.escrito) << r.error;
        EXPECT_EQ(r.registrosErroneos, *c.erroneos);
        EXPECT_EQ(r.elementos, 4 - int64_t(c.erroneos->size()));
        const auto e = LeeBin(o.ficheroBin);
        EXPECT_EQ(e.size(), 1 + size_t(r.elementos));
        ASSERT_FALSE(puerto.mensajes.empty());
        EXPECT_EQ(puerto.mensajes.back().rfind("Se han encontrado " + std::to_string(c.erroneos->size()), 0), 0u);
    }
}

// A dBase header that lies about its records, its header length or its fields.
TEST_F(RobustezShp, TablaConCabeceraQueMiente) {
    const std::string dbf = Base() + ".dbf";
    // Fewer records in the header than shapes: the records without a row are erroneous.
    Parchea(dbf, 4, LE32(2));
    auto r = Convierte();
    ASSERT_TRUE(r.escrito) << r.error;
    EXPECT_EQ(r.registrosErroneos, (std::vector<int32_t>{2, 3}));

    // More records in the header than the file holds: the shapes all have their row.
    SetUp();
    Parchea(dbf, 4, LE32(1000000));
    r = Convierte();
    ASSERT_TRUE(r.escrito) << r.error;
    EXPECT_TRUE(r.registrosErroneos.empty());

    // A header length past the end of the file, or shorter than one field: no table.
    for (uint16_t cabecera : {uint16_t(60000), uint16_t(33), uint16_t(0)}) {
        SCOPED_TRACE(cabecera);
        SetUp();
        Parchea(dbf, 8, LE16(cabecera));
        r = Convierte();
        if (!r.escrito) {
            EXPECT_EQ(puerto.procesos.back(), "Proceso interrumpido");
        }
        try {
            const auto campos = CamposDbf(carpeta.Ruta(), "capa");
            EXPECT_LE(campos.size(), 1u);
        } catch (const ShpBinError& e) {
            EXPECT_EQ(e.numero(), 53);
            EXPECT_NE(std::string(e.what()).find("capa.dbf"), std::string::npos);
        }
    }

    // A field wider than the record, and a record length of zero.
    for (auto dana : std::vector<std::function<void()>>{[&] { Parchea(dbf, 32 + 16, std::string(1, char(250))); },
                                                          [&] { Parchea(dbf, 10, LE16(0)); }}) {
        SetUp();
        dana();
        r = Convierte();
        try {
            CamposDbf(carpeta.Ruta(), "capa");
        } catch (const ShpBinError& e) {
            EXPECT_EQ(e.numero(), 53);
        }
        if (r.escrito) EXPECT_EQ(LeeBin(o.ficheroBin).size(), 1 + size_t(r.elementos));
    }

    // Cut inside the field descriptors.
    SetUp();
    fs::resize_file(dbf, 40);
    r = Convierte();
    EXPECT_THROW(CamposDbf(carpeta.Ruta(), "capa"), ShpBinError);
}

}  // namespace
}  // namespace parvenza
