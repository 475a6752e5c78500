// The cadastre lookup of each element in the topology, one element after another on the same
// hook, as a run makes them. The fields it fills are checked on whole runs (catastro_genera_test).

#include <gtest/gtest.h>

#include <sstream>

#include "converter/core/Catastro.h"
#include "converter/core/tests/topologia_prueba.h"

namespace parvenza {
namespace {

using namespace prueba_topologia;

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
