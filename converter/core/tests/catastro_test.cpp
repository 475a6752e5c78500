// The cadastre: the lookup of each element in the topology, one element after another on the
// same hook as a run makes them; whole runs, a BIN file written by the Digi library converted
// by the driver with the cadastre hook over a real topology, the layers read back with shapelib.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "converter/core/BinShp.h"
#include "converter/core/Catastro.h"
#include "converter/core/CatastroGenera.h"
#include "converter/core/tests/binshp_support.h"
#include "converter/core/tests/topologia_prueba.h"

namespace parvenza {
namespace {

namespace fs = std::filesystem;
using brisquel::Fatrib;
using brisquel::tipo_entidad;
using namespace prueba_binshp;
using namespace prueba_topologia;

tipo_entidad Cuadrado(const std::string& codigo, std::vector<Fatrib> atributos = {}) {
    return Linea(codigo, {{0, 0, 0}, {0, 100, 0}, {100, 100, 0}, {100, 0, 0}, {0, 0, 0}}, std::move(atributos));
}
tipo_entidad Tramo(const std::string& codigo, std::vector<Fatrib> atributos = {}) {
    return Linea(codigo, {{0, 0, 0}, {300, 400, 0}}, std::move(atributos));
}
tipo_entidad Punto(const std::string& codigo) { return Linea(codigo, {{500, 600, 700}}); }

std::vector<tipo_entidad> Hoja() {
    return {
        Cuadrado("1802", {{150, 12, ""}}),            // masa: block 3
        Cuadrado("1805", {{151, 24, ""}}),            // parcela: block 3, second parcel
        Cuadrado("1808", {{152, 31, ""}}),            // constru: parcel 102's first
        Cuadrado("1999", {{1, 0, "1805"}}),           // parcela, no lookup
        Cuadrado("1241"),                             // a street code in polygons: dropped
        Tramo("1241"),                                // ejes
        Tramo("1001"),                                // limites
        Tramo("1403"),                                // elemlin: altipun only from points
        Tramo("1805", {{151, 24, ""}}),               // elemlin, no parcel values
        Punto("1403"),                                // altipun
        Punto("0500"),                                // elempun
        Texto("0700", "Calle", {10, 20, 0}, 250, 0),  // elemtex
    };
}

std::string Nombres(const CapaLeida& capa) {
    std::string n;
    for (const auto& c : capa.campos) n += (n.empty() ? "" : " ") + c.nombre;
    return n;
}

struct Corrida {
    std::vector<tipo_manzana> manzanas;
    PuertoGrabador puerto;

    Corrida() {
        bool hayError = false;
        int32_t codigo = 0;
        CargaTopologia(Fixture("basic.mdb"), manzanas, hayError, codigo, puerto);
    }
    // One cadastre run of `bins` whose set goes to `carpeta`.
    void Ejecuta(const std::vector<std::string>& bins, const std::string& carpeta) {
        OpcionesBinShp o;
        o.ficheros = bins;
        o.binElegido = o.mdbElegido = o.catastro = true;
        o.dosD = false;  // hidden 3D choice: cadastre layers are 2D all the same
        Catastro gancho(manzanas, carpeta);
        ResultadoBinShp r = ProcesarBinShp(o, puerto, &gancho);
        ASSERT_TRUE(r.ejecutado);
    }
};

TEST(GeneraShpCatastro, CorridaCompleta) {
    CarpetaTemporal tmp;
    fs::create_directory(tmp / "bin");
    fs::create_directory(tmp / "capas");
    const std::string bin = tmp / "bin/hoja.bin";
    EscribeBin(bin, Hoja());
    Corrida corrida;
    corrida.Ejecuta({bin}, tmp / "capas/");

    // Intermediate layers stay beside the BIN file; the set goes to the chosen folder.
    EXPECT_TRUE(fs::exists(tmp / "bin/hoja_P.shp"));
    EXPECT_FALSE(fs::exists(tmp / "bin/masa.shp"));
    const std::string capas = tmp / "capas/";
    EXPECT_FALSE(fs::exists(capas + "subparce.shp"));
    for (const auto& f : fs::directory_iterator(capas))
        EXPECT_NE(f.path().filename().string()[0], '.') << "scratch folder left behind";

    // Each layer: its type, final field list, record count and the values that matter.
    const std::string comunes = "MAPA DELEGACIO MUNICIPIO ", areas = "MASA HOJA TIPO COORX COORY NUMSYMBOL AREA FECHAALTA FECHABAJA";
    const std::string lineas = comunes + "TTGGSS VIA NUMSYMBOL FECHAALTA FECHABAJA";
    struct Capa {
        const char* nombre;
        int tipo;
        std::string campos;
        std::vector<std::pair<const char*, std::vector<std::string>>> valores;
    };
    const Capa capas_[] = {
        {"masa", 5, comunes + areas, {{"MASA", {"45303"}}, {"AREA", {"2000.00"}}}},
        {"parcela", 5, comunes + areas + " PARCELA VIA NUMERO NUMERODUP",  // the 1999 polygon: no values
         {{"MASA", {"45303", ""}}, {"PARCELA", {"02", ""}}, {"AREA", {"1200.00", "0.00"}}, {"VIA", {"610", "0"}}, {"NUMERO", {"11", "0"}}}},
        {"constru", 5, comunes + areas + " PARCELA CONSTRU",
         {{"CONSTRU", {"A"}}, {"PARCELA", {"02"}}, {"MASA", {"45301"}}, {"AREA", {"400.50"}}}},
        {"ejes", 3, lineas, {{"TTGGSS", {""}}}},
        {"limites", 3, lineas, {{"TTGGSS", {""}}}},
        {"elemlin", 3, lineas, {{"VIA", {"", ""}}}},  // a line gets no parcel values
        {"altipun", 1, comunes + "TTGGSS NUMSYMBOL FECHAALTA FECHABAJA COTA", {{"TTGGSS", {""}}}},
        {"elempun", 1, comunes + "TTGGSS ATRIBUTO NUMSYMBOL FECHAALTA FECHABAJA", {{"TTGGSS", {""}}}},
        {"elemtex", 3, "POLY_ID CODIGO TEXT ROTATION " + comunes + "TTGGSS VIA NUMSYMBOL FECHAALTA FECHABAJA ROTULO",
         {{"TEXT", {"Calle"}}, {"POLY_ID", {"12"}}}},
    };
    for (const Capa& c : capas_) {
        SCOPED_TRACE(c.nombre);
        CapaLeida capa = LeeCapa(capas + c.nombre + ".shp");
        EXPECT_EQ(capa.tipo, c.tipo);
        EXPECT_EQ(Nombres(capa), c.campos);
        ASSERT_EQ(capa.registros.size(), c.valores[0].second.size());
        for (const auto& [campo, valores] : c.valores)
            for (size_t i = 0; i < valores.size(); ++i) EXPECT_EQ(capa.Valor(i, campo), valores[i]) << campo << i;
    }
    EXPECT_EQ(LeeCapa(capas + "parcela.shp").registros[0].x.size(), 5u) << "geometry copied";
    EXPECT_EQ(LeeCapa(capas + "altipun.shp").registros[0].x[0], 5);

    const auto& p = corrida.puerto.procesos;  // four polygon layers split
    auto desde = std::find(p.begin(), p.end(), "Generando shp Catastro");
    ASSERT_NE(desde, p.end());
    EXPECT_EQ(std::count(desde, p.end(), "Procesando fichero Shape..."), 4);
    EXPECT_EQ(p.back(), "Proceso TERMINADO");
}

TEST(GeneraShpCatastro, CadaCorridaRehaceElConjunto) {
    CarpetaTemporal tmp;
    const std::string a = tmp / "a.bin", b = tmp / "b.bin";
    EscribeBin(a, {Cuadrado("1802", {{150, 10, ""}}), Tramo("1241")});
    EscribeBin(b, {Cuadrado("1805", {{151, 20, ""}})});
    // Left by earlier runs: a subparce layer, and a masa whose companions are gone.
    for (const char* f : {"subparce.shp", "subparce.dbf", "subparce.shx", "masa.shp"})
        std::ofstream(tmp / f) << "x";

    Corrida corrida;
    corrida.Ejecuta({a}, tmp.ruta().string());
    EXPECT_FALSE(fs::exists(tmp / "subparce.shp") || fs::exists(tmp / "subparce.dbf"));
    EXPECT_EQ(LeeCapa(tmp / "masa.shp").Valor(0, "MASA"), "45301");
    EXPECT_TRUE(fs::exists(tmp / "ejes.shp"));

    // Two files in one run: only the last one's layers are split. Layers it does not
    // produce are gone, though the run before made them.
    corrida.Ejecuta({a, b}, tmp.ruta().string());
    EXPECT_FALSE(fs::exists(tmp / "masa.shp") || fs::exists(tmp / "masa.dbf") || fs::exists(tmp / "ejes.shp"));
    CapaLeida parcela = LeeCapa(tmp / "parcela.shp");
    ASSERT_EQ(parcela.registros.size(), 1u);
    EXPECT_EQ(parcela.Valor(0, "PARCELA") + " " + parcela.Valor(0, "NUMERO"), "01 15");
}

// An intermediate polygon layer made by hand, with `campos` after POLY_ID.
void CapaIntermedia(const std::string& ruta, int tipo, const std::vector<std::string>& campos,
                    const std::vector<std::string>& codigos) {
    Shapefile shp;
    shp.Open(ruta, 1, tipo);
    shp.Fields().Add("POLY_ID", 4, 6, 0);
    for (const auto& c : campos) shp.Fields().Add(c, 10, 6);
    shp.CommitFieldDefinitions();
    for (const auto& codigo : codigos) {
        if (codigo != "<nulo>") shp.Fields().Item(2).Value(codigo);
        shp.Vertices().Add(1, 1);
        if (tipo != 1) shp.Vertices().Add(2, 3);
        if (tipo == 5) shp.Vertices().Add(3, 1);
        shp.WriteRecord();
    }
}

std::string Bytes(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(GeneraShpCatastro, CapaIntermediaSinCodigoNoTocaElConjuntoAnterior) {
    CarpetaTemporal tmp;
    const std::string bin = tmp / "hoja.bin";
    EscribeBin(bin, {Cuadrado("1802", {{150, 10, ""}}), Tramo("1001")});
    Corrida corrida;
    corrida.Ejecuta({bin}, tmp.ruta().string());
    const std::string masa = Bytes(tmp / "masa.dbf"), limites = Bytes(tmp / "limites.shp");

    // The line layer is fine; the polygon layer's second field is not CODIGO.
    CapaIntermedia(tmp / "hoja_L.shp", 3, {"CODIGO"}, {"1241"});
    CapaIntermedia(tmp / "hoja_P.shp", 5, {"NOMBRE", "CODIGO"}, {"1802", "1805"});
    PuertoGrabador puerto;
    try {
        GeneraShpCatastro(bin, tmp.ruta().string(), puerto);
        FAIL() << "a layer without CODIGO second was split";
    } catch (const ShapefileError& e) {
        EXPECT_NE(std::string(e.what()).find(tmp / "hoja_P.shp"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("CODIGO"), std::string::npos);
    }
    EXPECT_EQ(Bytes(tmp / "masa.dbf") + Bytes(tmp / "limites.shp"), masa + limites);
    EXPECT_FALSE(fs::exists(tmp / "ejes.shp"));
    for (const auto& f : fs::directory_iterator(tmp.ruta()))
        EXPECT_NE(f.path().filename().string()[0], '.') << "scratch folder left behind";
}

TEST(GeneraShpCatastro, CodigoNuloYCarpetaQueNoExiste) {
    CarpetaTemporal tmp;
    const std::string bin = tmp / "hoja.bin";
    CapaIntermedia(tmp / "hoja_P.shp", 5, {"CODIGO"}, {"<nulo>", " 1802 "});
    CapaIntermedia(tmp / "hoja_L.shp", 3, {"CODIGO"}, {"<nulo>"});
    CapaIntermedia(tmp / "hoja_X.shp", 1, {"codigo"}, {"<nulo>", "1403"});
    CapaIntermedia(tmp / "hoja_TX.shp", 1, {"CODIGO"}, {"0700"});
    PuertoGrabador puerto;
    GeneraShpCatastro(bin, tmp.ruta().string(), puerto);
    CapaLeida masa = LeeCapa(tmp / "masa.shp");
    EXPECT_EQ(masa.registros.size(), 1u) << "the null code is not copied";
    // Made without the cadastre fields: every field would go, the code stays.
    EXPECT_EQ(Nombres(masa) + " " + masa.Valor(0, "CODIGO"), "CODIGO 1802");
    for (const char* capa : {"elemlin.shp", "elempun.shp", "altipun.shp"})
        EXPECT_EQ(LeeCapa(tmp / capa).registros.size(), 1u) << capa;
    EXPECT_FALSE(fs::exists(tmp / "elemtex.shp")) << "texts as points are not carried";
    EXPECT_EQ(
        std::count(puerto.procesos.begin(), puerto.procesos.end(), "Procesando fichero Shape..."),
        3);

    EXPECT_THROW(GeneraShpCatastro(bin, tmp / "no-existe", puerto), ShapefileError);
    EXPECT_TRUE(ExisteFichero(tmp / "masa.shp"));
    EXPECT_FALSE(ExisteFichero(tmp.ruta().string()));
    EXPECT_FALSE(ExisteFichero(tmp / "nada.shp"));
}



struct Caso {
    const char* que;
    std::string codigo;
    std::vector<brisquel::Fatrib> atributos;
    std::string codigoFinal;
    std::string valores;  ///< "masa parcela constru area numero via", "-" for empty
};

std::string Valores(const ValoresCatastro& v) {
    std::ostringstream s;
    auto t = [](const std::string& x) { return x.empty() ? "-" : x; };
    s << t(v.masa) << " " << t(v.parcela) << " " << t(v.constru) << " " << v.area << " " << v.numero << " " << v.via;
    return s.str();
}

void Recorre(const std::vector<tipo_manzana>& m, const std::vector<Caso>& casos) {
    Catastro c(m, "/tmp");
    for (const Caso& k : casos) {
        SCOPED_TRACE(k.que);
        std::string codigo = k.codigo;
        brisquel::tipo_entidad e;
        e.elemento.cabecera.tipo = "C=";
        e.elemento.cabecera.codigo = k.codigo;
        e.elemento.atributos = k.atributos;
        c.Busca(e, codigo);
        EXPECT_EQ(codigo, k.codigoFinal);
        EXPECT_EQ(Valores(c.Valores()), k.valores);
    }
}

TEST(CatastroBusca, EachLevelGivesItsNodeAndNothingIsHeldFromTheElementBefore) {
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m;
    bool hayError = false;
    int32_t codigo = 0;
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    Recorre(m, {
        {"parcel: block 3's second", "1805", {{7, 1, ""}, {151, 24, ""}}, "1805", "45303 02 - 1200 11 610"},
        {"block: no parcel held", "1802", {{150, 11, ""}}, "1802", "45302 - - 800.25 0 0"},
        {"subparcel", "1808", {{152, 32, ""}}, "1808", "45301 02 B 400 0 0"},
        {"the table's last attribute", "1805", {{151, 20, ""}, {151, 23, ""}}, "1805", "45303 01 - 800 22 503"},
        {"record not in the topology", "1805", {{151, 999, ""}}, "1805", "- - - 0 0 0"},
        {"found again", "1805", {{151, 24, ""}}, "1805", "45303 02 - 1200 11 610"},
        {"no attribute of table 151", "1805", {{150, 24, ""}}, "1805", "- - - 0 0 0"},
        {"a block code looks in the blocks only", "1802", {{150, 20, ""}}, "1802", "- - - 0 0 0"},
        {"found again", "1805", {{151, 24, ""}}, "1805", "45303 02 - 1200 11 610"},
        {"generic: table 1's code, no lookup", "1999", {{1, 5, "1805 "}, {151, 24, ""}}, "1805", "- - - 0 0 0"},
        {"generic: the first of table 1", "1999", {{1, 5, "1241"}, {2, 1, "x"}, {1, 6, std::string("1001\0\0", 6)}},
         "1001", "- - - 0 0 0"},
        {"generic without table 1", "1999", {{2, 1, "1805"}}, "1999", "- - - 0 0 0"},
        {"only 1999 is generic", "1403", {{1, 1, "1805"}}, "1403", "- - - 0 0 0"},
    });
}

TEST(CatastroBusca, PrecedenceBetweenNodesOfTheSameRecord) {
    // Record 5: two blocks; record 77: parcels in block 1 (twice) and 2; record 9: subparcels
    // in two parcels of block 1.
    std::vector<tipo_manzana> m(2);
    m[0].Manzana = "M1", m[0].Registro = 5, m[0].Superficie = 1;
    m[1].Manzana = "M2", m[1].Registro = 5, m[1].Superficie = 2;
    m[0].Parcelas.resize(2);
    m[0].Parcelas[0].Parcela = "P1a", m[0].Parcelas[0].Registro = 77;
    m[0].Parcelas[1].Parcela = "P1b", m[0].Parcelas[1].Registro = 77;
    m[1].Parcelas.resize(1);
    m[1].Parcelas[0].Parcela = "P2", m[1].Parcelas[0].Registro = 77;
    m[0].Parcelas[0].Subparcelas.resize(2);
    m[0].Parcelas[0].Subparcelas[0].SubParcela = "S1", m[0].Parcelas[0].Subparcelas[0].Registro = 9;
    m[0].Parcelas[0].Subparcelas[1].SubParcela = "S2", m[0].Parcelas[0].Subparcelas[1].Registro = 9;
    m[0].Parcelas[1].Subparcelas.resize(1);
    m[0].Parcelas[1].Subparcelas[0].SubParcela = "S3", m[0].Parcelas[1].Subparcelas[0].Registro = 9;
    Recorre(m, {{"the first block", "1802", {{150, 5, ""}}, "1802", "M1 - - 1 0 0"},
                {"the last block with a match", "1805", {{151, 77, ""}}, "1805", "M2 P2 - 0 0 0"},
                {"the last parcel with a match, its first subparcel", "1808", {{152, 9, ""}}, "1808",
                 "M1 P1b S3 0 0 0"}});
}

}  // namespace
}  // namespace parvenza
