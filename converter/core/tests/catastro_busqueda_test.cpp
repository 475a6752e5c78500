// Stage 1 and 2 of the cadastre mode: the lookup of each element and its six fields.

#include <gtest/gtest.h>

#include "converter/core/Catastro.h"
#include "converter/core/tests/topologia_prueba.h"

namespace parvenza {
namespace {

using prueba_topologia::CarpetaTemporal;
using prueba_topologia::Fixture;
using prueba_topologia::PuertoGrabador;

std::vector<tipo_manzana> Basica() {
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m;
    bool hayError = false;
    int32_t codigo = 0;
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    return m;
}

brisquel::tipo_entidad Elemento(const std::string& codigo,
                                std::vector<brisquel::Fatrib> atributos = {}) {
    brisquel::tipo_entidad e;
    e.elemento.cabecera.tipo = "C=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.atributos = std::move(atributos);
    return e;
}

// Looks `codigo` up as the driver does: the cleaned code, possibly replaced.
std::string Busca(Catastro& c, const std::string& codigo, std::vector<brisquel::Fatrib> atr = {}) {
    std::string cod = codigo;
    c.Busca(Elemento(codigo, std::move(atr)), cod);
    return cod;
}

TEST(CatastroBusca, CadaNivelDaLosValoresDeSuNodo) {
    auto m = Basica();
    Catastro c(m, "/tmp");

    // The second parcel of the third block.
    EXPECT_EQ(Busca(c, "1805", {{7, 1, ""}, {151, 24, ""}}), "1805");
    EXPECT_EQ(c.Valores().parcela, "02");
    EXPECT_EQ(c.Valores().masa, "45303");
    EXPECT_DOUBLE_EQ(c.Valores().area, 1200);
    EXPECT_EQ(c.Valores().numero, 11);
    EXPECT_EQ(c.Valores().via, 610);
    EXPECT_EQ(c.Valores().constru, "");

    Busca(c, "1802", {{150, 11, ""}});
    EXPECT_EQ(c.Valores().masa, "45302");
    EXPECT_DOUBLE_EQ(c.Valores().area, 800.25);
    EXPECT_EQ(c.Valores().parcela, "") << "nothing held from the parcel before";
    EXPECT_EQ(c.Valores().via, 0);

    Busca(c, "1808", {{152, 32, ""}});
    EXPECT_EQ(c.Valores().constru, "B");
    EXPECT_DOUBLE_EQ(c.Valores().area, 400);
    EXPECT_EQ(c.Valores().parcela, "02");
    EXPECT_EQ(c.Valores().masa, "45301");

    // The last attribute of the table gives the record number.
    Busca(c, "1805", {{151, 20, ""}, {151, 23, ""}});
    EXPECT_EQ(c.Valores().parcela, "01");
    EXPECT_EQ(c.Valores().numero, 22);
    EXPECT_EQ(c.Valores().masa, "45303");
}

TEST(CatastroBusca, SinRegistroPropioLosValoresQuedanVacios) {
    auto m = Basica();
    Catastro c(m, "/tmp");
    Busca(c, "1805", {{151, 24, ""}});
    ASSERT_EQ(c.Valores().parcela, "02");

    // Record number not in the topology.
    Busca(c, "1805", {{151, 999, ""}});
    EXPECT_EQ(c.Valores().parcela, "");
    EXPECT_EQ(c.Valores().masa, "");
    EXPECT_EQ(c.Valores().area, 0.0);
    EXPECT_EQ(c.Valores().numero, 0);

    // No attribute of table 151: not searched with the previous element's number.
    Busca(c, "1805", {{151, 24, ""}});
    Busca(c, "1805", {{150, 24, ""}});
    EXPECT_EQ(c.Valores().parcela, "");
    EXPECT_EQ(c.Valores().via, 0);

    // A block code looks in the blocks only.
    Busca(c, "1802", {{150, 20, ""}});
    EXPECT_EQ(c.Valores().masa, "");
}

TEST(CatastroBusca, CodigoGenericoTomaElDeLaTablaUno) {
    auto m = Basica();
    Catastro c(m, "/tmp");
    Busca(c, "1805", {{151, 24, ""}});
    // Its code from the attribute, cleaned; no lookup, so no values.
    EXPECT_EQ(Busca(c, "1999", {{1, 5, "1805 "}, {151, 24, ""}}), "1805");
    EXPECT_EQ(c.Codigo(), "1805");
    EXPECT_EQ(c.Valores().parcela, "");
    EXPECT_EQ(c.Valores().masa, "");

    EXPECT_EQ(Busca(c, "1999", {{1, 5, "1241"}, {2, 1, "x"}, {1, 6, std::string("1001\0\0", 6)}}),
              "1001");
    EXPECT_EQ(Busca(c, "1999", {{2, 1, "1805"}}), "1999") << "no attribute of table 1";
    EXPECT_EQ(Busca(c, "1403", {{1, 1, "1805"}}), "1403") << "only 1999 is generic";
}

TEST(CatastroBusca, PrecedenciaEntreNodosDelMismoRegistro) {
    // Record 77: parcels in blocks 1 (twice) and 2; subparcels in two parcels; record 5: two
    // blocks.
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

    Catastro c(m, "/tmp");
    Busca(c, "1802", {{150, 5, ""}});
    EXPECT_EQ(c.Valores().masa, "M1") << "the first block";
    Busca(c, "1805", {{151, 77, ""}});
    EXPECT_EQ(c.Valores().parcela, "P2") << "the last block with a match";
    EXPECT_EQ(c.Valores().masa, "M2");
    Busca(c, "1808", {{152, 9, ""}});
    EXPECT_EQ(c.Valores().constru, "S3") << "the last parcel with a match, its first subparcel";
    EXPECT_EQ(c.Valores().parcela, "P1b");
}

TEST(CatastroPonCampos, SoloEnCapasQueTienenLosCampos) {
    CarpetaTemporal tmp;
    auto m = Basica();
    Catastro c(m, tmp.ruta().string());

    Shapefile poligonos;
    poligonos.Open(tmp / "h_P.shp", 1, 5);
    auto campos = poligonos.Fields();
    campos.Add("POLY_ID", 4, 6, 0);
    campos.Add("CODIGO", 10, 6);
    campos.Add("MASA", 10, 5);
    campos.Add("AREA", 7, 11, 2);
    campos.Add("PARCELA", 10, 5);
    campos.Add("VIA", 4, 5);
    campos.Add("NUMERO", 4, 4);
    campos.Add("CONSTRU", 10, 16);
    poligonos.CommitFieldDefinitions();
    auto escribe = [&](Shapefile& shp, const std::string& codigo, std::vector<brisquel::Fatrib> a) {
        std::string cod = codigo;
        c.Busca(Elemento(codigo, std::move(a)), cod);
        shp.Fields().Item("Codigo").Value(cod);
        c.PonCampos(shp, static_cast<int16_t>(shp.ShapeType()));
        shp.Vertices().Add(0, 0);
        shp.Vertices().Add(0, 1);
        shp.Vertices().Add(1, 1);
        shp.WriteRecord();
    };
    escribe(poligonos, "1805", {{151, 24, ""}});
    escribe(poligonos, "1808", {{152, 30, ""}});
    escribe(poligonos, "1999", {{1, 0, "1802"}});
    escribe(poligonos, "0101", {});

    // A line layer takes the element without the parcel's values.
    Shapefile lineas;
    lineas.Open(tmp / "h_L.shp", 1, 3);
    lineas.Fields().Add("POLY_ID", 4, 6, 0);
    lineas.Fields().Add("CODIGO", 10, 6);
    lineas.Fields().Add("VIA", 4, 5);
    lineas.CommitFieldDefinitions();
    escribe(lineas, "1805", {{151, 24, ""}});
    lineas.CloseShapefile();
    poligonos.CloseShapefile();

    Shapefile lee;
    lee.Open(tmp / "h_P.shp", 0, 5);
    auto valor = [&](const char* campo) { return TextoDe(lee.Fields().Item(campo).Value()); };
    lee.MoveFirst();
    EXPECT_EQ(valor("MASA"), "45303");
    EXPECT_EQ(valor("PARCELA"), "02");
    EXPECT_EQ(valor("AREA"), "1200");
    EXPECT_EQ(valor("VIA"), "610");
    EXPECT_EQ(valor("NUMERO"), "11");
    EXPECT_EQ(valor("CONSTRU"), "");
    lee.MoveNext();
    EXPECT_EQ(valor("CONSTRU"), "A");
    EXPECT_EQ(valor("PARCELA"), "01");
    EXPECT_EQ(valor("MASA"), "45301");
    EXPECT_EQ(valor("AREA"), "350");
    EXPECT_EQ(valor("VIA"), "0");
    lee.MoveNext();  // 1999 made 1802: written, empty
    EXPECT_EQ(valor("CODIGO"), "1802");
    EXPECT_EQ(valor("MASA"), "");
    EXPECT_EQ(valor("AREA"), "0");
    lee.MoveNext();  // other codes: nothing set
    EXPECT_TRUE(EsNulo(lee.Fields().Item("MASA").Value()) || valor("MASA").empty());

    Shapefile leeLineas;
    leeLineas.Open(tmp / "h_L.shp", 0, 3);
    leeLineas.MoveFirst();
    EXPECT_EQ(leeLineas.RecordCount(), 1);
    EXPECT_EQ(TextoDe(leeLineas.Fields().Item("VIA").Value()), "")
        << "a line layer's VIA is not the parcel's";
}

}  // namespace
}  // namespace parvenza
