// The DXF reader (entities, layouts, the fixtures of other programs) and the layer table.
// Damaged drawings and tables, lone CR line ends and half pairs are in tests/robustez.

#include "dxf/clsFicheroDxf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using namespace dornavel;

namespace {

class Dxf : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(carpeta); }
    void TearDown() override { fs::remove_all(carpeta); }
    // Writes "code|value|code|value|..." one item a line, codes right-aligned in three characters
    // unless `alineado` is false, with the given line end.
    std::string Escribe(const std::string& nombre, const std::string& pares,
                        const std::string& fin = "\n", bool alineado = true) {
        std::ofstream f(carpeta / nombre, std::ios::binary);
        std::istringstream in(pares);
        int i = 0;
        for (std::string x; std::getline(in, x, '|'); ++i)
            f << (alineado && i % 2 == 0 ? std::string(3 - std::min<size_t>(3, x.size()), ' ') : "")
              << x << fin;
        return (carpeta / nombre).string();
    }
    std::vector<tipo_ElementoDxf> Carga(const std::string& ruta) {
        std::vector<tipo_ElementoDxf> el;
        int32_t n = 0;
        dxf.AbreFicheroDxf(ruta, n);
        dxf.CargaFicheroDxf(ruta, el, n);
        dxf.CierraFicheroDxf(ruta, n);
        return el;
    }
    fs::path carpeta =
        fs::temp_directory_path() / ("dornavel_" + std::to_string(std::random_device{}()));
    clsFicheroDxf dxf;
};

// One entity on one line: type, layer, the fields it keeps and its points.
std::string Resume(const tipo_ElementoDxf& e) {
    std::ostringstream s;
    s.precision(10);
    auto p = [&](const GCoord& c) { s << " (" << c.X << "," << c.Y << "," << c.Z << ")"; };
    const auto& [capa, inicio, texto, c, fin] = e.Text;
    if (e.Tipo == "LINE") s << "LINE " << e.Line.G8_capa, p(e.Line.G10_Coord), p(e.Line.G11_Coord);
    if (e.Tipo == "POLYLINE")
        s << "POLYLINE " << e.Polyline.G8_capa << " closed " << e.Polyline.G70_Cerrada;
    for (const auto& v : e.Tipo == "POLYLINE" ? e.Polyline.Gvertices : std::vector<VERTEX_dxf>{})
        s << " " << v.G8_capa, p(v.G10_Coord);
    if (e.Tipo == "TEXT")
        s << "TEXT " << capa << " '" << texto << "' " << c.G40_ancho << " " << c.G41_alto << " "
          << int(c.G72_justH) << " " << int(c.G73_justV) << " " << c.G50_rotac,
            p(inicio), p(fin);
    return s.str();
}
std::string Error(const std::function<void()>& f) try {
    return f(), "none";
} catch (const DxfError& e) {
    return std::to_string(e.numero()) + " " + e.what();
}
std::vector<std::string> Resume(const std::vector<tipo_ElementoDxf>& v) {
    std::vector<std::string> r;
    for (const auto& e : v) r.push_back(Resume(e));
    return r;
}

// A handle, a colour, a bulge and pairs after SEQEND to skip; a CIRCLE; a TEXT without group
// 11; a second ENTITIES section.
const std::string kCompleto =
    "0|SECTION|2|HEADER|9|$ACADVER|1|AC1009|0|ENDSEC|0|SECTION|2|TABLES|0|TABLE|2|LAYER|0|LAYER|2|"
    "EOF|0|ENDTAB|"
    "0|ENDSEC|0|SECTION|2|ENTITIES|0|LINE|5|2A|8|VIAS|62|3|10|10.5|20|20.25|30|0|11|11|21|21|31|0."
    "0|0|CIRCLE|8|X|"
    "10|1|40|2|0|POLYLINE|8|EDIF|66|1|10|0|20|0|30|0|70|1|0|VERTEX|8|EDIF|10|1|20|2|30|3|42|0.5|0|"
    "VERTEX|8|EDIF|"
    "10|4|20|5|30|6|0|VERTEX|8|EDIF|10|7|20|8|30|9|0|SEQEND|5|30|8|EDIF|0|TEXT|8|TEXTOS|10|1|20|2|"
    "30|0|40|2.5|"
    "41|1.5|1| Calle Mayor "
    "|50|90|72|1|73|2|11|3|21|4|31|0|0|TEXT|8|TEXTOS|10|7|20|8|30|1|1|izquierda|0|ENDSEC|"
    "0|SECTION|2|ENTITIES|0|LINE|8|B|0|ENDSEC|0|EOF|";

TEST_F(Dxf, LoadsEveryEntitiesSectionInEveryLayout) {
    const std::vector<std::string> esperado = {
        "LINE VIAS (10.5,20.25,0) (11,21,0)",
        "POLYLINE EDIF closed 1 EDIF (1,2,3) EDIF (4,5,6) EDIF (7,8,9)",
        "TEXT TEXTOS ' Calle Mayor ' 2.5 1.5 1 2 90 (1,2,0) (3,4,0)",
        "TEXT TEXTOS 'izquierda' 0 0 0 0 0 (7,8,1) (7,8,1)",  // no group 11: the insertion point
        "LINE B (0,0,0) (0,0,0)"};
    EXPECT_EQ(Resume(Carga(Escribe("lf.dxf", kCompleto))), esperado);
    EXPECT_EQ(dxf.Resumen().TiposOmitidos, (std::map<std::string, int64_t>{{"CIRCLE", 1}}));
    EXPECT_EQ(dxf.Resumen().GruposOmitidos,
              (std::map<int, int64_t>{{5, 2}, {8, 1}, {42, 1}, {62, 1}}));
    EXPECT_EQ(Resume(Carga(Escribe("crlf.dxf", kCompleto, "\r\n"))), esperado);
    EXPECT_EQ(Resume(Carga(Escribe("sin.dxf", kCompleto, "\n", false))), esperado);

    // Closure is the lowest bit of group 70, however it is aligned. No VERTEX: one at the origin.
    for (auto [valor, cerrada] : std::vector<std::pair<std::string, std::string>>{
             {"     1", "1"}, {"9", "1"}, {"8", "0"}, {"0", "0"}})
        EXPECT_EQ(Resume(Carga(Escribe("p.dxf", "0|SECTION|2|ENTITIES|0|POLYLINE|70|" + valor +
                                                    "|0|SEQEND|0|ENDSEC|0|EOF|"))),
                  std::vector<std::string>{"POLYLINE  closed " + cerrada + "  (0,0,0)"})
            << valor;
}

TEST_F(Dxf, Errors) {
    int32_t n = 0, otro = 0;
    EXPECT_EQ(Error([&] { dxf.AbreFicheroDxf((carpeta / "no.dxf").string(), n); }).substr(0, 3),
              "53 ");
    EXPECT_EQ(Error([&] { dxf.ReadCodes(); }).substr(0, 2), "5 ");  // no file open
    // One file per reader.
    dxf.AbreFicheroDxf(Escribe("a.dxf", kCompleto), n);
    EXPECT_EQ(Error([&] { dxf.AbreFicheroDxf((carpeta / "a.dxf").string(), otro); }).substr(0, 3),
              "55 ");
    EXPECT_EQ(dxf.ReadCodes(), (ParDxf{"  0", "SECTION"}));
    dxf.CierraFicheroDxf("", n);
    const std::string mal = Error(
        [&] { Carga(Escribe("n.dxf", "0|SECTION|2|ENTITIES|0|LINE|10|1,5|0|ENDSEC|0|EOF|")); });
    EXPECT_EQ(mal.substr(0, 3), "13 ");
    EXPECT_NE(mal.find("linea 8"), std::string::npos) << mal;
    dxf.CierraFicheroDxf("", n);  // the failed load left it open, under the lowest free number
    // No EOF pair: the load ends with the end-of-file error (tests/robustez checks what it keeps).
    EXPECT_EQ(Error([&] {
                  Carga(Escribe("t.dxf", "0|SECTION|2|ENTITIES|0|LINE|8|A|0|ENDSEC|"));
              }).substr(0, 3),
              "62 ");
}

// The DXF files written by other programs that the project keeps as test data.
TEST_F(Dxf, FixturesFromOtherPrograms) {
    const std::string datos = PARVENZA_TEST_DATA "/dxf/";
    const std::string suave =
        "POLYLINE 1 closed 1 1 (251297.8179,412226.8286,0) 1 (251297.8179,412226.8286,0) "
        "1 (251308.8984,412208.9379,0) 1 (251316.5701,412213.1972,0) 1 (251303.5708,412231.7269,0)";
    EXPECT_EQ(Resume(Carga(datos + "polyline_smooth.dxf")), std::vector<std::string>{suave});
    EXPECT_EQ(dxf.Resumen().GruposOmitidos.at(5), 6);  // five vertex handles and the SEQEND's
    EXPECT_EQ(Resume(Carga(datos + "polyline_smooth_crlf.dxf")), std::vector<std::string>{suave});
    EXPECT_TRUE(Carga(datos + "entities_only.dxf").empty());
    EXPECT_EQ(dxf.Resumen().TiposOmitidos, (std::map<std::string, int64_t>{{"POINT", 2}}));
    // Flags 8: a 3D polyline, open.
    EXPECT_EQ(
        Resume(Carga(datos + "gdal_writer.dxf")),
        std::vector<std::string>{
            "POLYLINE 1001 closed 0 1001 (100.5,200.25,10) 1001 (110,210,12) 1001 (120,205,11)"});
    EXPECT_EQ(dxf.Resumen().TiposOmitidos,
              (std::map<std::string, int64_t>{{"LWPOLYLINE", 1}, {"POINT", 1}}));
    EXPECT_GT(dxf.Resumen().GruposOmitidos.at(100), 0);
}

TEST_F(Dxf, LayerTable) {
    std::vector<std::string> p;
    // Words split at tab, DC4, space, quote, comma and semicolon; a closing separator adds an empty
    // word.
    dxf.leeLinea(
        "  1001;, VIAS\t\"L\x14"
        "b\nc\"",
        p);
    EXPECT_EQ(p, (std::vector<std::string>{"1001", "VIAS", "L", "b\nc", ""}));
    std::vector<BinDxfTab> t(5);  // longer tables are cut to what the file holds
    bool error = true;
    dxf.CargoFicheroBinDxfTab(Escribe("t.tab",
                                      "// codigos||   |1001,VIAS,L,3,CONT,0,Eje de calle|  / otro|"
                                      "2001;EDIF;P;5;CONT;0 |3001 VIAS T 1 CONT 250 Rotulo|",
                                      "\r\n", false),
                              t, error);
    EXPECT_FALSE(error);
    ASSERT_EQ(t.size(), 3u);
    auto fila = [](const BinDxfTab& b) {
        return b.codigobin + "/" + b.capa + "/" + b.Tipo + "/" + b.color + "/" + b.estilo + "/" +
               b.tamTexto + "/" + b.descripcion;
    };
    EXPECT_EQ(fila(t[0]), "1001/VIAS/L/3/CONT/0/Eje");  // words 8 and 9 dropped
    EXPECT_EQ(fila(t[1]), "2001/EDIF/P/5/CONT/0/");     // six words and a trailing blank
    BinDxfTab info;
    info.color = "previo";
    EXPECT_TRUE(dxf.BuscaEnBinDxfTab("", "VIAS", t, info));
    EXPECT_EQ(fila(info), fila(t[0]));  // the first entry of the layer wins
    EXPECT_TRUE(dxf.BuscaEnBinDxfTab("3001", "", t, info));
    EXPECT_EQ(fila(info), fila(t[2]));
    info.color = "previo";
    EXPECT_FALSE(dxf.BuscaEnBinDxfTab("", "vias", t, info));
    EXPECT_EQ(fila(info), "3001///previo/CONT/250/Rotulo");  // capa and Tipo emptied, the rest kept
    // With no data line the table stays as passed; a missing file is error 53.
    dxf.CargoFicheroBinDxfTab(Escribe("c.tab", "// solo comentarios||"), t, error);
    EXPECT_EQ(t.size(), 3u);
    EXPECT_THROW(dxf.CargoFicheroBinDxfTab((carpeta / "falta.tab").string(), t, error), DxfError);
}

}  // namespace
