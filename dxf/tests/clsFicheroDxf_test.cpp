#include "dxf/clsFicheroDxf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "dxf/NumerosFichero.h"

namespace fs = std::filesystem;
using namespace dornavel;

namespace {

class Dxf : public ::testing::Test {
  protected:
    void SetUp() override {
        carpeta =
            fs::temp_directory_path() / ("dornavel_" + std::to_string(std::random_device{}()));
        fs::create_directories(carpeta);
    }
    void TearDown() override { fs::remove_all(carpeta); }

    // Writes the pairs as a DXF file, group codes right-aligned in three characters unless
    // `alineado` is false, with the given line end.
    std::string Escribe(const std::string& nombre,
                        const std::vector<std::pair<int, std::string>>& pares,
                        const std::string& fin = "\n", bool alineado = true) {
        std::ofstream f(carpeta / nombre, std::ios::binary);
        for (const auto& [g, v] : pares) {
            std::string c = std::to_string(g);
            if (alineado) c = std::string(c.size() < 3 ? 3 - c.size() : 0, ' ') + c;
            f << c << fin << v << fin;
        }
        return (carpeta / nombre).string();
    }

    std::vector<tipo_ElementoDxf> Carga(const std::string& ruta, clsFicheroDxf& dxf) {
        std::vector<tipo_ElementoDxf> elementos;
        int32_t n = 0;
        dxf.AbreFicheroDxf(ruta, n);
        try {
            dxf.CargaFicheroDxf(ruta, elementos, n);
        } catch (...) {
            dxf.CierraFicheroDxf(ruta, n);
            throw;
        }
        dxf.CierraFicheroDxf(ruta, n);
        return elementos;
    }

    fs::path carpeta;
};

using Pares = std::vector<std::pair<int, std::string>>;

const Pares kCompleto = {{0, "SECTION"}, {2, "HEADER"},  {9, "$ACADVER"},
                         {1, "AC1009"},  {0, "ENDSEC"},  {0, "SECTION"},
                         {2, "TABLES"},  {0, "TABLE"},   {2, "LAYER"},
                         {0, "LAYER"},   {2, "EOF"},     {0, "ENDTAB"},
                         {0, "ENDSEC"},  {0, "SECTION"}, {2, "ENTITIES"},
                         {0, "LINE"},    {5, "2A"},      {8, "VIAS"},
                         {62, "3"},      {10, "10.5"},   {20, "20.25"},
                         {30, "0"},      {11, "11"},     {21, "21"},
                         {31, "0.0"},    {0, "CIRCLE"},  {8, "X"},
                         {10, "1"},      {40, "2"},      {0, "POLYLINE"},
                         {8, "EDIF"},    {66, "1"},      {10, "0"},
                         {20, "0"},      {30, "0"},      {70, "1"},
                         {0, "VERTEX"},  {8, "EDIF"},    {10, "1"},
                         {20, "2"},      {30, "3"},      {42, "0.5"},
                         {0, "VERTEX"},  {8, "EDIF"},    {10, "4"},
                         {20, "5"},      {30, "6"},      {0, "VERTEX"},
                         {8, "EDIF"},    {10, "7"},      {20, "8"},
                         {30, "9"},      {0, "SEQEND"},  {5, "30"},
                         {8, "EDIF"},    {0, "TEXT"},    {8, "TEXTOS"},
                         {10, "1"},      {20, "2"},      {30, "0"},
                         {40, "2.5"},    {41, "1.5"},    {1, " Calle Mayor "},
                         {50, "90"},     {72, "1"},      {73, "2"},
                         {11, "3"},      {21, "4"},      {31, "0"},
                         {0, "TEXT"},    {8, "TEXTOS"},  {10, "7"},
                         {20, "8"},      {30, "1"},      {1, "izquierda"},
                         {0, "ENDSEC"},  {0, "SECTION"}, {2, "ENTITIES"},
                         {0, "LINE"},    {8, "B"},       {0, "ENDSEC"},
                         {0, "EOF"}};

TEST(Pares, LineEndsAndGroupCodes) {
    std::istringstream in("  0\r\nSECTION\n0\rEOF\n 10\n");
    LectorPares lector(in, "x.dxf");
    EXPECT_EQ(lector.Siguiente(), (ParDxf{"  0", "SECTION"}));
    EXPECT_EQ(lector.Siguiente(), (ParDxf{"0", "EOF"}));
    EXPECT_EQ(lector.Linea(), 3);
    EXPECT_THROW(lector.Siguiente(), DxfError);  // a code without its value
    EXPECT_EQ(GrupoDxf("  0"), 0);
    EXPECT_EQ(GrupoDxf("0"), 0);
    EXPECT_EQ(GrupoDxf("\t 70 "), 70);
    EXPECT_EQ(GrupoDxf("SECTION"), -1);
    EXPECT_EQ(GrupoDxf(""), -1);
}

TEST_F(Dxf, LoadsLinePolylineAndTextsOfEverySection) {
    clsFicheroDxf dxf;
    // Loading on top of a longer array keeps nothing of it.
    auto el = Carga(Escribe("a.dxf", kCompleto), dxf);
    ASSERT_EQ(el.size(), 5u);
    EXPECT_EQ(el[0].Tipo, "LINE");
    EXPECT_EQ(el[0].Line.G8_capa, "VIAS");
    EXPECT_DOUBLE_EQ(el[0].Line.G10_Coord.X, 10.5);
    EXPECT_DOUBLE_EQ(el[0].Line.G10_Coord.Y, 20.25);
    EXPECT_DOUBLE_EQ(el[0].Line.G11_Coord.Y, 21);

    const auto& p = el[1].Polyline;
    EXPECT_EQ(el[1].Tipo, "POLYLINE");
    EXPECT_EQ(p.G8_capa, "EDIF");
    EXPECT_EQ(p.G70_Cerrada, "1");
    ASSERT_EQ(p.Gvertices.size(), 3u);
    EXPECT_DOUBLE_EQ(p.Gvertices[2].G10_Coord.Z, 9);
    EXPECT_EQ(p.Gvertices[0].G8_capa, "EDIF");

    const auto& t = el[2].Text;
    EXPECT_EQ(el[2].Tipo, "TEXT");
    EXPECT_EQ(t.G1_texto, " Calle Mayor ");
    EXPECT_DOUBLE_EQ(t.G40_caract.G40_ancho, 2.5);
    EXPECT_DOUBLE_EQ(t.G40_caract.G41_alto, 1.5);
    EXPECT_EQ(t.G40_caract.G72_justH, 1);
    EXPECT_EQ(t.G40_caract.G73_justV, 2);
    EXPECT_DOUBLE_EQ(t.G40_caract.G50_rotac, 90);
    EXPECT_DOUBLE_EQ(t.G11_Coord.X, 3);
    EXPECT_DOUBLE_EQ(t.G10_Coord.X, 1);
    // No group 11: the text stands at its insertion point, not at the origin.
    EXPECT_DOUBLE_EQ(el[3].Text.G11_Coord.X, 7);
    EXPECT_DOUBLE_EQ(el[3].Text.G11_Coord.Z, 1);
    EXPECT_EQ(el[4].Line.G8_capa, "B");  // second ENTITIES section

    const auto& r = dxf.Resumen();
    EXPECT_EQ(r.TiposOmitidos, (std::map<std::string, int64_t>{{"CIRCLE", 1}}));
    EXPECT_EQ(r.GruposOmitidos, (std::map<int, int64_t>{{5, 2}, {8, 1}, {42, 1}, {62, 1}}));
}

TEST_F(Dxf, CadLayoutsReadTheSame) {
    clsFicheroDxf dxf;
    const auto crlf = Carga(Escribe("crlf.dxf", kCompleto, "\r\n"), dxf);
    const auto sueltos = Carga(Escribe("sin.dxf", kCompleto, "\n", false), dxf);
    ASSERT_EQ(crlf.size(), 5u);
    ASSERT_EQ(sueltos.size(), 5u);
    EXPECT_EQ(crlf[2].Text.G1_texto, " Calle Mayor ");
    EXPECT_EQ(sueltos[1].Polyline.Gvertices.size(), 3u);

    // Closure is the lowest bit of group 70, however it is aligned.
    for (const auto& [valor, cerrada] : std::vector<std::pair<std::string, std::string>>{
             {"     1", "1"}, {"9", "1"}, {"8", "0"}, {"0", "0"}}) {
        auto el = Carga(Escribe("p.dxf", {{0, "SECTION"},
                                          {2, "ENTITIES"},
                                          {0, "POLYLINE"},
                                          {70, valor},
                                          {0, "SEQEND"},
                                          {0, "ENDSEC"},
                                          {0, "EOF"}}),
                        dxf);
        ASSERT_EQ(el.size(), 1u);
        EXPECT_EQ(el[0].Polyline.G70_Cerrada, cerrada) << valor;
        // No VERTEX: the one reset vertex at the origin.
        ASSERT_EQ(el[0].Polyline.Gvertices.size(), 1u);
        EXPECT_EQ(el[0].Polyline.Gvertices[0].G10_Coord.X, 0);
    }
}

TEST_F(Dxf, BadFilesEndWithAnError) {
    clsFicheroDxf dxf;
    int32_t n = 0;
    try {
        dxf.AbreFicheroDxf((carpeta / "no.dxf").string(), n);
        FAIL();
    } catch (const DxfError& e) {
        EXPECT_EQ(e.numero(), 53);
    }

    // No EOF: the entities completed before the end are kept.
    Pares truncado(kCompleto.begin(), kCompleto.begin() + 40);
    const auto ruta = Escribe("t.dxf", truncado);
    std::vector<tipo_ElementoDxf> el;
    dxf.AbreFicheroDxf(ruta, n);
    try {
        dxf.CargaFicheroDxf(ruta, el, n);
        FAIL();
    } catch (const DxfError& e) {
        EXPECT_EQ(e.numero(), 62);
        EXPECT_NE(std::string(e.what()).find("t.dxf"), std::string::npos);
    }
    ASSERT_EQ(el.size(), 1u);
    EXPECT_EQ(el[0].Tipo, "LINE");
    int32_t otro = 0;
    EXPECT_THROW(dxf.AbreFicheroDxf(ruta, otro), DxfError);  // one file per reader
    dxf.CierraFicheroDxf(ruta, n);

    try {
        Carga(Escribe("n.dxf", {{0, "SECTION"},
                                {2, "ENTITIES"},
                                {0, "LINE"},
                                {10, "1,5"},
                                {0, "ENDSEC"},
                                {0, "EOF"}}),
              dxf);
        FAIL();
    } catch (const DxfError& e) {
        EXPECT_EQ(e.numero(), 13);
        EXPECT_NE(std::string(e.what()).find("linea 8"), std::string::npos) << e.what();
    }
    EXPECT_THROW(dxf.ReadCodes(), DxfError);  // closed
    std::ofstream(carpeta / "vacio.dxf").close();
    EXPECT_THROW(Carga((carpeta / "vacio.dxf").string(), dxf), DxfError);
}

TEST_F(Dxf, FileNumbersAreTheLowestFree) {
    const auto ruta = Escribe("a.dxf", kCompleto);
    clsFicheroDxf a, b;
    int32_t na = 0, nb = 0;
    a.AbreFicheroDxf(ruta, na);
    b.AbreFicheroDxf(ruta, nb);
    EXPECT_NE(na, nb);
    const int32_t menor = std::min(na, nb);
    if (menor == na)
        a.CierraFicheroDxf(ruta, na);
    else
        b.CierraFicheroDxf(ruta, nb);
    clsFicheroDxf c;
    int32_t nc = 0;
    c.AbreFicheroDxf(ruta, nc);
    EXPECT_EQ(nc, menor);
    EXPECT_EQ(c.ReadCodes(), (ParDxf{"  0", "SECTION"}));
}

// The DXF files written by other programs that the project keeps as test data.
TEST_F(Dxf, FixturesFromOtherPrograms) {
    const std::string datos = PARVENZA_TEST_DATA "/dxf/";
    clsFicheroDxf dxf;
    auto lf = Carga(datos + "polyline_smooth.dxf", dxf);
    EXPECT_EQ(dxf.Resumen().GruposOmitidos.at(5), 6);  // five vertex handles and the SEQEND's
    auto crlf = Carga(datos + "polyline_smooth_crlf.dxf", dxf);
    for (const auto* el : {&lf, &crlf}) {
        ASSERT_EQ(el->size(), 1u);
        const auto& p = (*el)[0].Polyline;
        EXPECT_EQ((*el)[0].Tipo, "POLYLINE");
        EXPECT_EQ(p.G8_capa, "1");
        EXPECT_EQ(p.G70_Cerrada, "1");
        ASSERT_EQ(p.Gvertices.size(), 5u);
        EXPECT_DOUBLE_EQ(p.Gvertices[0].G10_Coord.X, 251297.8179190048);
        EXPECT_DOUBLE_EQ(p.Gvertices[4].G10_Coord.Y, 412231.72690827277);
    }

    auto puntos = Carga(datos + "entities_only.dxf", dxf);
    EXPECT_TRUE(puntos.empty());
    EXPECT_EQ(dxf.Resumen().TiposOmitidos.at("POINT"), 2);

    auto gdal = Carga(datos + "gdal_writer.dxf", dxf);
    ASSERT_EQ(gdal.size(), 1u);
    const auto& p = gdal[0].Polyline;
    EXPECT_EQ(p.G8_capa, "1001");
    EXPECT_EQ(p.G70_Cerrada, "0");  // flags 8: a 3D polyline, open
    ASSERT_EQ(p.Gvertices.size(), 3u);
    EXPECT_DOUBLE_EQ(p.Gvertices[0].G10_Coord.X, 100.5);
    EXPECT_DOUBLE_EQ(p.Gvertices[0].G10_Coord.Y, 200.25);
    EXPECT_DOUBLE_EQ(p.Gvertices[2].G10_Coord.Z, 11);
    EXPECT_EQ(dxf.Resumen().TiposOmitidos,
              (std::map<std::string, int64_t>{{"LWPOLYLINE", 1}, {"POINT", 1}}));
    EXPECT_GT(dxf.Resumen().GruposOmitidos.at(100), 0);
}

// Every prefix of every fixture, cut at any line: the load ends, with the entities or with
// the reader's own error, never with a crash, a hang or another exception.
TEST_F(Dxf, EveryCutOfTheFixturesEnds) {
    for (const char* nombre : {"polyline_smooth.dxf", "gdal_writer.dxf", "entities_only.dxf"}) {
        std::ifstream in(std::string(PARVENZA_TEST_DATA "/dxf/") + nombre, std::ios::binary);
        std::vector<std::string> lineas;
        for (std::string l; std::getline(in, l);) lineas.push_back(l);
        const auto ruta = (carpeta / "corte.dxf").string();
        // In the long file only the cuts around its ENTITIES section.
        const std::size_t desde = lineas.size() > 1000 ? 1180 : 0;
        const std::size_t hasta = lineas.size() > 1000 ? 1270 : lineas.size();
        for (std::size_t corte = desde; corte < hasta; ++corte) {
            {
                std::ofstream f(ruta, std::ios::binary | std::ios::trunc);
                for (std::size_t i = 0; i < corte; ++i) f << lineas[i] << "\n";
            }
            clsFicheroDxf dxf;
            try {
                Carga(ruta, dxf);
            } catch (const DxfError& e) {
                EXPECT_TRUE(e.numero() == 62 || e.numero() == 13) << nombre << " " << corte;
            }
        }
    }
}

}  // namespace
