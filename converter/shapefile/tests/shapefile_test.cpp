// The shapefile component on real files: what it writes is read back with shapelib directly,
// and files written by shapelib are read through the component. Appending, copying records
// and deleting fields are checked end to end by the converter's layer and cadastre tests.

#include "converter/shapefile/Shapefile.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <array>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>

#include "converter/shapefile/PaginaCodigos.h"
#include "converter/shapefile/tests/limite_prueba.h"
#include "converter/shapefile/tests/shapelib_prueba.h"
#include "tests/robustez/Robustez.h"

namespace fs = std::filesystem;
using parvenza::Shapefile;
using parvenza::ShapefileError;

namespace {

using ShapefileTest = parvenza::robustez::Carpeta;

using parvenza::prueba_binshp::LeeCapa, parvenza::prueba_binshp::Resumen;
using parvenza::robustez::Bytes, parvenza::robustez::Falla, parvenza::robustez::Parchea;
namespace prueba = parvenza::prueba;

/// The date in a dBase header (bytes 1-3: years since 1900, month, day), as "Y/M/D".
std::string FechaCabecera(const std::string& dbf) {
    std::ifstream f(dbf, std::ios::binary);
    unsigned char b[4] = {};
    f.read(reinterpret_cast<char*>(b), 4);
    return std::to_string(b[1]) + "/" + std::to_string(b[2]) + "/" + std::to_string(b[3]);
}

std::string Hoy() {
    const std::time_t t = std::time(nullptr);
    std::tm hoy{};
    localtime_r(&t, &hoy);
    return std::to_string(hoy.tm_year) + "/" + std::to_string(hoy.tm_mon + 1) + "/" +
           std::to_string(hoy.tm_mday);
}

void CamposComunes(Shapefile& s) {
    s.Fields().Add("POLY_ID", 4, 6, 0);
    s.Fields().Add("CODIGO", 10, 6);
    s.Fields().Add("TEXT", 10, 50);
    s.Fields().Add("ROTATION", 7, 6, 2);
    s.CommitFieldDefinitions();
}

TEST_F(ShapefileTest, WritesWhatShapelibReadsBackWithClockwiseRingsAndWindows1252Declared) {
    {
        Shapefile s;
        s.Open(Ruta("capa_L.shp"), 1, 3);
        CamposComunes(s);
        s.Fields().Item("poly_id").Value(int32_t{7});
        s.Fields().Item("Codigo").Value("0203");
        s.Fields().Item(3).Value(std::string("A\xf1o"));
        s.Fields().Item("Rotation").Value(12.345);
        s.Vertices().Add(1.5, 2.5);
        s.Vertices().Add(3.25, -4.0);
        s.WriteRecord();
        EXPECT_EQ(s.Vertices().Count(), 0);  // the pending record is emptied
        s.Fields().Item("POLY_ID").Value(int64_t{999999});
        s.Vertices().Add(0, 0);
        s.Vertices().Add(1, 1);
        s.WriteRecord();
        s.Open(Ruta("p.shp"), 1, 15);  // the line file is completed first
        s.Fields().Add("POLY_ID", 4, 6);
        s.CommitFieldDefinitions();
        for (double v : {0, 1, 2, 3})
            s.Vertices().Add(v == 1 || v == 2 ? 10 : 0, v >= 2 ? 10 : 0, v + 1);  // ccw, open
        s.WriteRecord();
    }  // release completes the file
    // The unset number stays null; 2 decimals, rounded.
    EXPECT_EQ(Resumen(LeeCapa(Ruta("capa_L.shp"))),
              "type 3\nPOLY_ID N6.0 CODIGO C6.0 TEXT C50.0 ROTATION N6.2\n"
              "7|0203|A\xf1o|12.35|(1.5 2.5)(3.25 -4)\n999999||||(0 0)(1 1)\n");
    EXPECT_EQ(parvenza::robustez::Lee(Ruta("capa_L.cpg")).substr(0, 4), "1252");
    std::ifstream cabecera(Ruta("capa_L.dbf"), std::ios::binary);
    cabecera.seekg(29);
    EXPECT_EQ(cabecera.get(), 0x57);  // dBase language byte for Windows-1252
    EXPECT_EQ(FechaCabecera(Ruta("capa_L.dbf")), Hoy());

    // The ring is closed and turned clockwise; Z travels with its vertex.
    EXPECT_EQ(Resumen(LeeCapa(Ruta("p.shp"))),
              "type 15\nPOLY_ID N6.0\n|(0 0 1)(0 10 4)(10 10 3)(10 0 2)(0 0 1)\n");
}

// A new file's records go straight into large buffers, with no shapelib object per record:
// the files must hold what shapelib itself writes, byte for byte, for every shape type the
// component makes and shapes that test shapelib's rules (a first shape at the origin, which
// restarts its bounds; null shapes; open, turned and flat rings; NaN), also when the file is
// handed to shapelib half way because it is read while being written.
TEST_F(ShapefileTest, NewFilesHoldTheBytesShapelibWrites) {
    using Forma = std::vector<std::array<double, 3>>;
    const double nan = std::nan("");
    // Two runs: the bounds of the first are all within shapelib's rules, NaN spoils the second's.
    const std::vector<std::vector<Forma>> corridas = {
        {{{0, 0, 0}},
         {},
         {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}},
         {{2, 2, 1}, {2, 9, 2}, {9, 9, 3}, {9, 2, 4}, {2, 2, 1}},
         {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}},
         {{5, 1e300, 2}, {1e-300, 7, 1e9}}},
        {{},
         {{-1, 2, -3}, {4, -5, 6}},
         {{nan, 1, 2}, {3, nan, 4}, {5, 6, nan}, {8, 8, 8}},
         {{-1e300, 5, -2}, {1e-300, 7, 1e9}, {-1e300, 5, nan}}},
    };
    const std::time_t t = std::time(nullptr);
    std::tm hoy{};
    localtime_r(&t, &hoy);
    for (int tipo : {1, 3, 5, 8, 11, 13, 15, 18, 21, 23, 25, 28})
        for (const auto& formas : corridas) {
            SCOPED_TRACE(tipo);
            const bool z = tipo == 11 || tipo == 13 || tipo == 15 || tipo == 18;
            const bool punto = tipo % 10 == 1, poligono = tipo % 10 == 5;
            Shapefile s;
            s.Open(Ruta("nuestro.shp"), 1, tipo);
            s.Fields().Add("POLY_ID", 4, 6);
            s.Fields().Add("TEXT", 10, 10);
            s.CommitFieldDefinitions();
            SHPHandle shp = SHPCreate(Ruta("shapelib.shp").c_str(), tipo);
            DBFHandle dbf = DBFCreateEx(Ruta("shapelib.dbf").c_str(), "1252");
            dbf->iLanguageDriver = 0x57;
            DBFSetLastModifiedDate(dbf, hoy.tm_year, hoy.tm_mon + 1, hoy.tm_mday);
            DBFAddField(dbf, "POLY_ID", FTInteger, 6, 0);
            DBFAddField(dbf, "TEXT", FTString, 10, 0);
            for (size_t i = 0; i < formas.size(); ++i) {
                Forma f = formas[i];
                if (punto && f.size() > 1) f.resize(1);
                s.Fields().Item("POLY_ID").Value(int32_t(i));
                s.Fields().Item("TEXT").Value("forma " + std::to_string(i));
                if (i % 2) {  // the bulk add, every other record
                    std::vector<double> x, y, zs;
                    for (const auto& v : f)
                        x.push_back(v[0]), y.push_back(v[1]), zs.push_back(v[2]);
                    s.Vertices().Add(x.data(), y.data(), z ? zs.data() : nullptr, x.size());
                } else {
                    for (const auto& v : f)
                        z ? s.Vertices().Add(v[0], v[1], v[2]) : s.Vertices().Add(v[0], v[1]);
                }
                s.WriteRecord();
                if (i == 3) s.MoveFirst();

                if (poligono && !f.empty() && (f[0][0] != f.back()[0] || f[0][1] != f.back()[1]))
                    f.push_back(f[0]);
                std::vector<double> x, y, zs;
                for (const auto& v : f) x.push_back(v[0]), y.push_back(v[1]), zs.push_back(v[2]);
                int inicio = 0;
                const int n = static_cast<int>(f.size());
                SHPObject* o =
                    SHPCreateObject(n ? tipo : SHPT_NULL, -1, n ? 1 : 0, &inicio, nullptr, n,
                                    x.data(), y.data(), z ? zs.data() : nullptr, nullptr);
                if (poligono && n) SHPRewindObject(shp, o);
                SHPWriteObject(shp, -1, o);
                SHPDestroyObject(o);
                DBFWriteIntegerAttribute(dbf, int(i), 0, int(i));
                DBFWriteStringAttribute(dbf, int(i), 1, ("forma " + std::to_string(i)).c_str());
            }
            s.CloseShapefile();
            SHPClose(shp);
            DBFClose(dbf);
            for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"})
                EXPECT_TRUE(parvenza::robustez::Lee(Ruta(std::string("nuestro") + ext)) ==
                            parvenza::robustez::Lee(Ruta(std::string("shapelib") + ext)))
                    << ext;
        }
}

TEST_F(ShapefileTest, ErrorsCarryTheirNumbers) {
    Shapefile s;
    EXPECT_EQ(Falla([&] { s.WriteRecord(); }), 5);
    EXPECT_EQ(Falla([&] { s.Open(Ruta("falta.shp"), 0, 0); }), 53);
    EXPECT_EQ(Falla([&] { s.Open(Ruta("no/existe/x.shp"), 1, 3); }), 76);
    EXPECT_EQ(Falla([&] { s.Open(Ruta("x.shp"), 1, 2); }), 5);
    EXPECT_EQ(Falla([&] { s.Open(Ruta("x.shp"), 2, 3); }), 5);
    s.Open(Ruta("x.shp"), 1, 1);
    EXPECT_EQ(Falla([&] { s.Fields().Add("NOMBREMUYLARGO", 10, 5); }), 5);
    EXPECT_EQ(Falla([&] { s.Fields().Add("T", 99, 5); }), 5);
    s.Vertices().Add(1, 1);
    EXPECT_EQ(Falla([&] { s.WriteRecord(); }), 5);  // fields not committed yet
    CamposComunes(s);
    EXPECT_EQ(Falla([&] { s.CommitFieldDefinitions(); }), 5);
    EXPECT_EQ(Falla([&] { s.Fields().Add("OTRO", 4, 2); }), 5);
    EXPECT_EQ(Falla([&] { s.Fields().Item("NOESTA"); }), 9);
    EXPECT_EQ(Falla([&] { s.Fields().Item(5); }), 9);
    EXPECT_EQ(Falla([&] { s.Vertices().Add(1, 2, 3); }), 5);  // Z on a 2D type
    const double uno = 1;
    EXPECT_EQ(Falla([&] { s.Vertices().Add(&uno, &uno, &uno, 1); }), 5);
    // values the field cannot hold: never cut silently
    EXPECT_EQ(Falla([&] { s.Fields().Item("POLY_ID").Value(int32_t{1000000}); }), 458);
    EXPECT_EQ(Falla([&] { s.Fields().Item("ROTATION").Value(-1000.5); }), 458);
    EXPECT_EQ(Falla([&] { s.Fields().Item("POLY_ID").Value("doce"); }), 13);
    s.Fields().Item("POLY_ID").Value(" 12 ");
    EXPECT_EQ(std::get<int32_t>(s.Fields().Item("POLY_ID").Value()), 12);
    s.Vertices().Add(2, 2);
    EXPECT_EQ(Falla([&] { s.WriteRecord(); }), 5);  // a point takes one vertex
    s.CloseShapefile();
    EXPECT_EQ(Falla([&] { s.Open(Ruta("x.shp"), 0, 11); }), 13);  // 2D not reopened as Z
    fs::create_directory(Ruta("d.dbf"));  // a table that cannot be made leaves no half layer
    EXPECT_EQ(Falla([&] { s.Open(Ruta("d.shp"), 1, 3); }), 75);
    EXPECT_FALSE(fs::exists(Ruta("d.shp")) || fs::exists(Ruta("d.shx")));
    // Without its index: refused unless asked for; a record length that would wrap the
    // rebuild's offset round is refused before it (shapelib would walk on for ever).
    s.Open(Ruta("y.shp"), 1, 1);
    CamposComunes(s);
    s.Vertices().Add(1, 1);
    s.WriteRecord();
    s.CloseShapefile();
    fs::remove(Ruta("y.shx"));
    EXPECT_EQ(Falla([&] { s.Open(Ruta("y.shp"), 0, 0); }), 53);
    s.RestoreIndex(true);
    s.Open(Ruta("y.shp"), 0, 0);
    EXPECT_EQ(s.RecordCount(), 1);
    s.CloseShapefile();
    Parchea(Ruta("y.shp"), 104, Bytes(0x7ffffffc, -4));
    EXPECT_EQ(Falla([&] { s.Open(Ruta("y.shp"), 0, 0); }), 5);
    EXPECT_FALSE(fs::exists(Ruta("y.shx")));
}

// Reading parts, nulls, dates and damaged records through the component is checked on real
// files by the shapefile-to-BIN tests; here what they do not reach: the cursor and its limits.
TEST_F(ShapefileTest, ReadsShapelibFilesWithTheCursorAndItsLimits) {
    const std::vector<std::vector<prueba::Vertice>> partes = {{{0, 0, 5}, {1, 1, 6}, {2, 2, 7}},
                                                              {{10, 10, 8}, {11, 11, 9}}};
    prueba::EscribeShape(Ruta("m.shp"), SHPT_ARCZ, {{"Nombre", 'C', 10}, {"Valor", 'N', 10, 3}},
                         {{partes, {std::string("uno"), 2.5}},
                          {partes, {std::monostate{}, std::string("ab")}}});  // not a number
    Shapefile s;
    s.Open(Ruta("m.shp"), 0, 0);
    EXPECT_EQ(s.ShapeType() * 10 + s.RecordCount(), 132);
    EXPECT_EQ(s.Fields().Item(1).Name(), "Nombre");
    EXPECT_EQ(std::get<std::string>(s.Fields().Item("NOMBRE").Value()), "uno");
    EXPECT_EQ(s.Parts().Item(2).FirstVertex * 10 + s.Parts().Item(2).LastVertex, 45);
    EXPECT_EQ(s.Vertices().Item(5).Z, 9);
    EXPECT_EQ(Falla([&] { s.Vertices().Item(6); }), 9);
    s.MoveNext();
    EXPECT_EQ(std::get<std::string>(s.Fields().Item("Nombre").Value()), "");
    EXPECT_EQ(Falla([&] { s.Fields().Item("Valor").Value(); }), 458);
    s.MoveNext();
    s.MoveNext();
    EXPECT_TRUE(s.Eof());
    s.MoveTo(1);
    EXPECT_FALSE(s.Eof());
    EXPECT_EQ(parvenza::TextoDe(s.Fields().Item("valor").Value()), "2.5");
    EXPECT_EQ(Falla([&] { s.MoveTo(0); }), 9);
    // Reading leaves shapelib's date in the header; a table changed takes the day's.
    s.CloseShapefile();
    EXPECT_EQ(FechaCabecera(Ruta("m.dbf")), "95/7/26");
    s.EditMode(true);
    s.Open(Ruta("m.shp"), 0, 0);
    s.Fields().Item("Valor").Delete();
    s.ApplyFieldDeletions();
    s.CloseShapefile();
    EXPECT_EQ(FechaCabecera(Ruta("m.dbf")), Hoy());
}

// A file of more records than shapelib is shown of its index at once: read in order and by
// jumps back and forth, every record equals what shapelib reads from the whole index; a
// damaged entry far into the index costs only its record; a short index is refused whole.
TEST_F(ShapefileTest, LargeIndexesReadAWindowAtATimeAsShapelibReadsThemWhole) {
    constexpr int kN = 40000;  // beyond two windows of the index
    SHPHandle shp = SHPCreate(Ruta("g.shp").c_str(), SHPT_ARC);
    DBFHandle dbf = DBFCreate(Ruta("g.dbf").c_str());
    DBFAddField(dbf, "N", FTInteger, 9, 0);
    for (int i = 0; i < kN; ++i) {
        const double x[] = {double(i), i + 0.5, i + 1.0}, y[] = {-double(i), 1, 2};
        SHPObject* o = i % 5000 == 7 ? SHPCreateSimpleObject(SHPT_NULL, 0, x, y, nullptr)
                                     : SHPCreateSimpleObject(SHPT_ARC, i % 3 + 1, x, y, nullptr);
        SHPWriteObject(shp, -1, o);
        SHPDestroyObject(o);
        DBFWriteIntegerAttribute(dbf, i, 0, i);
    }
    SHPClose(shp);
    DBFClose(dbf);
    Parchea(Ruta("g.shx"), 100 + 8 * 30000, Bytes(10, -4));  // record 30001: into the header
    shp = SHPOpen(Ruta("g.shp").c_str(), "rb");
    Parchea(Ruta("g.shp"), shp->panRecOffset[20000] + 8 + 36, Bytes(0x7FFFFFFF, -4));  // parts
    auto igual = [&](Shapefile& s, int registro) {
        // Freed even when reading the damaged record through `s` throws.
        std::unique_ptr<SHPObject, decltype(&SHPDestroyObject)> propio(
            SHPReadObject(shp, registro - 1), &SHPDestroyObject);
        const SHPObject* o = propio.get();
        std::string leido, esperado;
        for (int v = 1; v <= s.Vertices().Count(); ++v)
            leido += std::to_string(s.Vertices().Item(v).X) + "," +
                     std::to_string(s.Vertices().Item(v).Y) + ";";
        for (int v = 0; o && o->nSHPType != SHPT_NULL && v < o->nVertices; ++v)
            esperado += std::to_string(o->padfX[v]) + "," + std::to_string(o->padfY[v]) + ";";
        EXPECT_EQ(leido, esperado) << registro;
        EXPECT_EQ(std::get<int32_t>(s.Fields().Item("N").Value()), registro - 1);
    };
    Shapefile s;
    s.Open(Ruta("g.shp"), 0, 0);
    EXPECT_EQ(s.RecordCount(), kN);
    int leidos = 0;
    std::string mensaje;
    for (s.MoveFirst(); !s.Eof(); s.MoveNext()) {
        if (Falla([&] { igual(s, ++leidos); }, &mensaje) == 0) continue;
        const bool cuentas = leidos == 20001;  // shapelib numbers shapes from 0
        EXPECT_NE(mensaje.find(cuentas ? "registro 20001 (Corrupted .shp file : shape 20000,"
                                       : "registro 30001 es de tipo"),
                  std::string::npos)
            << mensaje;
        EXPECT_TRUE(cuentas || leidos == 30001) << leidos;
    }
    EXPECT_EQ(leidos, kN);
    for (int registro : {kN, 1, 16385, 16384, 32769, 2, kN - 1}) {
        s.MoveTo(registro);
        igual(s, registro);
    }
    s.MoveTo(kN + 1);
    EXPECT_TRUE(s.Eof());
    SHPClose(shp);

    // Opened to be modified, shapelib holds the whole index it will rewrite.
    s.EditMode(true);
    s.Open(Ruta("g.shp"), 0, 0);
    s.MoveTo(kN);
    EXPECT_EQ(s.RecordCount() * 10 + s.Vertices().Count(), kN * 10 + (kN - 1) % 3 + 1);
    s.CloseShapefile();
    s.EditMode(false);

    fs::resize_file(Ruta("g.shx"), 100 + 8 * (kN - 1));
    EXPECT_EQ(Falla([&] { s.Open(Ruta("g.shp"), 0, 0); }, &mensaje), 5);
    EXPECT_NE(mensaje.find("no es un shapefile válido"), std::string::npos) << mensaje;
}

// A full disk while a table is rebuilt without some fields: the closing of the new table
// fails, the old one stays byte for byte and nothing temporary is left; the same while a layer
// is written, and the reason is said.
TEST_F(ShapefileTest, AFullDiskLeavesTheTableAsItWasAndSaysWhy) {
    {
        Shapefile s;
        s.Open(Ruta("masa.shp"), 1, 1);
        CamposComunes(s);
        for (int i = 0; i < 300; ++i) {
            s.Fields().Item("TEXT").Value("texto del registro " + std::to_string(i));
            s.Vertices().Add(i, i);
            s.WriteRecord();
        }
    }
    const auto antes = parvenza::prueba::Contenido(m_dir);
    auto borra = [&] {
        Shapefile s;
        s.EditMode(true);
        s.Open(Ruta("masa.shp"), 0, 0);
        s.Fields().Item("ROTATION").Delete();
        s.ApplyFieldDeletions();
    };
    const std::string m = parvenza::prueba::FallaConLimite(8192, borra);
    EXPECT_NE(m.find("no se puede escribir " + Ruta("masa.dbf") +
                     ": el fichero supera el tamaño máximo permitido"),
              std::string::npos)
        << m;
    EXPECT_EQ(parvenza::prueba::Contenido(m_dir), antes);

    // A few records fail when the file is closed; many, when a full buffer is written on the
    // writer's own thread, before the run goes on or at the close.
    for (int registros : {300, 60000}) {
        auto escribe = [&] {
            Shapefile s;
            s.Open(Ruta("otra.shp"), 1, 1);
            CamposComunes(s);
            for (int i = 0; i < registros; ++i) {
                s.Vertices().Add(i, i);
                s.WriteRecord();
            }
            s.CloseShapefile();
        };
        const std::string m = parvenza::prueba::FallaConLimite(4096, escribe);
        EXPECT_NE(m.find(Ruta("otra.shp") + ": "), std::string::npos) << m;
        EXPECT_NE(m.find(": el fichero supera el tamaño máximo permitido"), std::string::npos) << m;
    }
    EXPECT_EQ(parvenza::prueba::FallaConLimite(1 << 30, borra), "");
}

TEST(PaginaCodigos, NamesThatGisProgramsDeclareAndTheLanguageByte) {
    const std::pair<const char*, const char*> casos[] = {
        {"UTF-8", "UTF-8"},
        {"utf8\r\n", "UTF-8"},
        {"65001", "UTF-8"},
        {"1252", "WINDOWS-1252"},
        {"ANSI 1252", "WINDOWS-1252"},
        {"CP1252", "WINDOWS-1252"},
        {"ANSI 1250", "CP1250"},
        {"CP850", "CP850"},
        {"OEM 850", "CP850"},
        {"ISO-8859-1", "ISO-8859-1"},
        {"88591", "ISO-8859-1"},
        {"8859-15", "ISO-8859-15"},
        {"LATIN1", "LATIN1"},
        {"LDID/87", "WINDOWS-1252"},
        {"LDID/2", "CP850"},
        {"LDID/200", "WINDOWS-1250"},
        {"LDID/0", ""},
        {"", ""},
    };
    for (const auto& [declarada, iconv] : casos) {
        EXPECT_EQ(parvenza::NombrePagina(declarada), iconv) << declarada;
        EXPECT_TRUE(parvenza::PaginaConocida(iconv)) << iconv;
    }
    EXPECT_FALSE(parvenza::PaginaConocida(parvenza::NombrePagina("KLINGON")));
    EXPECT_THROW(parvenza::ConversorPagina("KLINGON"), ShapefileError);
    // What Windows-1252 lacks, and bytes that are no character of the page, become "?".
    bool exacto = true;
    EXPECT_EQ(parvenza::ConversorPagina("UTF-8").A1252("\xC5\x81\xC3\xB3"
                                                       "d\xC5\xBA \xE6\x97\xA5",
                                                       &exacto),
              "?\xF3"
              "d? ?");
    EXPECT_FALSE(exacto);
    EXPECT_EQ(parvenza::ConversorPagina("CP850").A1252("a\xA4o", &exacto), "a\xF1o");
    EXPECT_TRUE(exacto);
    EXPECT_EQ(parvenza::ConversorPagina("CP932").A1252("\x82", &exacto), "?");
    EXPECT_FALSE(exacto);
}

// A table of another program in Windows-1250: its text and field names read in Windows-1252,
// what that page lacks counted; the page can be forced.
TEST_F(ShapefileTest, TablesAreReadInTheirCodePage) {
    const std::string datos = std::string(PARVENZA_TEST_DATA) + "/shapefiles/";
    Shapefile s;
    s.Open(datos + "codepage-1250.shp", 0, 0);
    EXPECT_EQ(s.CodePage(), "CP1250");
    s.MoveTo(2);
    EXPECT_EQ(std::get<std::string>(s.Fields().Item("field").Value()),
              "Hn?vo\x9A"
              "ick\xFD h\xE1j");
    EXPECT_EQ(s.LossyTexts(), 1);
    s.CloseShapefile();
    s.CodePage("1252");
    s.Open(datos + "codepage-1250.shp", 0, 0);
    s.MoveTo(2);
    EXPECT_EQ(std::get<std::string>(s.Fields().Item(1).Value()),
              "Hn\xECvo\x9A"
              "ick\xFD h\xE1j");
    s.CloseShapefile();
    s.CodePage("");
    for (const char* ext : {".shp", ".shx", ".dbf"})
        fs::copy_file(datos + "utf8-property" + ext, Ruta(std::string("u") + ext));
    s.Open(Ruta("u.shp"), 0, 0);  // without its .cpg: Windows-1252
    EXPECT_EQ(s.CodePage() + " " + s.Fields().Item(1).Name(), "WINDOWS-1252 \xE2\x98\x83");
    std::ofstream(Ruta("u.cpg")) << "UTF-8\n";
    s.Open(Ruta("u.shp"), 0, 0);
    EXPECT_EQ(s.Fields().Item(1).Name(), "?");
    std::ofstream(Ruta("u.cpg")) << "KLINGON";
    s.Open(Ruta("u.shp"), 0, 0);
    EXPECT_EQ(s.UnknownCodePage() + "/" + s.CodePage(), "KLINGON/WINDOWS-1252");
    s.CodePage("KLINGON");
    EXPECT_EQ(Falla([&] { s.Open(Ruta("u.shp"), 0, 0); }), 5);
}

}  // namespace
