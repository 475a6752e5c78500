// The cadastre lookup of each element in the topology. The fields it fills are checked on
// whole runs (catastro_genera_test).

#include <gtest/gtest.h>

#include "converter/core/Catastro.h"
#include "converter/core/tests/topologia_prueba.h"

namespace parvenza {
namespace {

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

}  // namespace
}  // namespace parvenza
