// Loading the cadastral topology from the real Access fixtures.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "converter/core/Topologia.h"
#include "converter/core/tests/topologia_prueba.h"

namespace parvenza {
namespace {

using prueba_topologia::CarpetaTemporal;
using prueba_topologia::Fixture;
using prueba_topologia::PuertoGrabador;

std::vector<tipo_manzana> Carga(const std::string& fixture, bool& hayError, int32_t& codigo) {
    PuertoGrabador puerto;
    std::vector<tipo_manzana> manzanas;
    hayError = false;
    codigo = 0;
    CargaTopologia(Fixture(fixture), manzanas, hayError, codigo, puerto);
    return manzanas;
}

TEST(CargaTopologia, BasicoCampoACampo) {
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m;
    bool hayError = false;
    int32_t codigo = 0;
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    EXPECT_FALSE(hayError);
    EXPECT_EQ(codigo, 0);
    EXPECT_EQ(puerto.ocupado, (std::vector<bool>{true, false}));
    EXPECT_TRUE(puerto.mensajes.empty());

    // Blocks in table order.
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].MsLink, 1);
    EXPECT_EQ(m[0].Manzana, "45301");
    EXPECT_EQ(m[0].idTabla, 150);
    EXPECT_EQ(m[0].Registro, 10);
    EXPECT_EQ(m[0].Resto, "");
    EXPECT_EQ(m[0].numParcelas, 2);
    EXPECT_DOUBLE_EQ(m[0].Superficie, 1500.5);
    EXPECT_EQ(m[2].Resto, "R1");
    EXPECT_DOUBLE_EQ(m[1].Superficie, 800.25);

    // Block 1: parcels by MsLink although table and link rows list 102 first.
    ASSERT_EQ(m[0].Parcelas.size(), 2u);
    const tipo_parcela& p101 = m[0].Parcelas[0];
    EXPECT_EQ(p101.MsLink, 101);
    EXPECT_EQ(p101.Parcela, "01");
    EXPECT_EQ(p101.idTabla, 151);
    EXPECT_EQ(p101.Registro, 20);
    EXPECT_EQ(p101.numSubparcelas, 1);
    EXPECT_EQ(p101.Tpol, 15) << "first police-number row, not the later 17";
    EXPECT_EQ(p101.Tvia, 500) << "no via row: NumTvia kept";
    EXPECT_DOUBLE_EQ(p101.Superficie, 700);
    EXPECT_FALSE(p101.Solar);
    EXPECT_EQ(p101.Manzana, "45301");
    const tipo_parcela& p102 = m[0].Parcelas[1];
    EXPECT_EQ(p102.MsLink, 102);
    EXPECT_EQ(p102.Tvia, 600);
    EXPECT_EQ(p102.Tpol, 9) << "no police-number row: NumTpol kept";
    EXPECT_TRUE(p102.Solar);

    // Subparcels by MsLink, with their owners' codes.
    ASSERT_EQ(p102.Subparcelas.size(), 2u);
    EXPECT_EQ(p102.Subparcelas[0].MsLink, 1002);
    EXPECT_EQ(p102.Subparcelas[0].SubParcela, "A");
    EXPECT_EQ(p102.Subparcelas[0].Registro, 31);
    EXPECT_EQ(p102.Subparcelas[0].idTabla, 152);
    EXPECT_DOUBLE_EQ(p102.Subparcelas[0].Superficie, 400.5);
    EXPECT_EQ(p102.Subparcelas[0].Parcela, "02");
    EXPECT_EQ(p102.Subparcelas[0].Manzana, "45301");
    EXPECT_EQ(p102.Subparcelas[1].MsLink, 1003);
    EXPECT_EQ(p102.Subparcelas[1].SubParcela, "B");

    // Block 3: parcel 104 with its one police number, 105 with its via.
    ASSERT_EQ(m[2].Parcelas.size(), 2u);
    EXPECT_EQ(m[2].Parcelas[0].MsLink, 104);
    EXPECT_EQ(m[2].Parcelas[0].Tpol, 22);
    EXPECT_EQ(m[2].Parcelas[0].Tvia, 503);
    EXPECT_EQ(m[2].Parcelas[1].MsLink, 105);
    EXPECT_EQ(m[2].Parcelas[1].Tvia, 610);
    EXPECT_EQ(m[2].Parcelas[1].Tpol, 11);
    EXPECT_EQ(m[2].Parcelas[1].Subparcelas.at(0).Registro, 35);
    EXPECT_EQ(m[2].Parcelas[1].Subparcelas.at(0).Manzana, "45303");

    // A second load into the same array rebuilds it.
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    EXPECT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].Parcelas.size(), 2u);
}

TEST(CargaTopologia, NulosLeidosComoCeroYVacio) {
    bool hayError;
    int32_t codigo;
    auto m = Carga("nulls.mdb", hayError, codigo);
    EXPECT_FALSE(hayError);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[1].Manzana, "");
    EXPECT_EQ(m[1].Resto, "");
    EXPECT_EQ(m[1].Superficie, 0.0);
    EXPECT_EQ(m[1].Registro, 11);
    ASSERT_EQ(m[1].Parcelas.size(), 1u);
    EXPECT_EQ(m[1].Parcelas[0].Manzana, "");
    EXPECT_EQ(m[2].Manzana, "45303");
}

TEST(CargaTopologia, CodigosDeError) {
    bool hayError;
    int32_t codigo;
    std::vector<tipo_manzana> m = Carga("missing-table.mdb", hayError, codigo);
    EXPECT_TRUE(hayError);
    EXPECT_EQ(codigo, kFaltanTablas);
    EXPECT_TRUE(m.empty());

    Carga("no-blocks.mdb", hayError, codigo);
    EXPECT_TRUE(hayError);
    EXPECT_EQ(codigo, kSinManzanas);

    // Parcel 106 (block 2) lacks subparcels, block 4 parcels: the whole file is still read
    // and the last code met is kept.
    m = Carga("orphan.mdb", hayError, codigo);
    EXPECT_TRUE(hayError);
    EXPECT_EQ(codigo, kManzanaSinParcelas);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[3].Manzana, "45304");
    EXPECT_TRUE(m[3].Parcelas.empty());
    ASSERT_EQ(m[1].Parcelas.size(), 2u);
    EXPECT_EQ(m[1].Parcelas[1].MsLink, 106);
    EXPECT_TRUE(m[1].Parcelas[1].Subparcelas.empty());
    EXPECT_EQ(m[2].Parcelas.size(), 2u);

    EXPECT_EQ(MensajeErrorTopologia(1),
              "Deben existir las tablas :\nManzana_bin\nParcela_bin\nSubparcela_bin\n"
              "unimanpar_bin\nuniparsub_bin");
    EXPECT_EQ(MensajeErrorTopologia(2), "No existen registros en Manzana");
    EXPECT_EQ(MensajeErrorTopologia(3), "No existen registros en Parcela de una Manzana");
    EXPECT_EQ(MensajeErrorTopologia(4), "No existen registros en SubParcela de una Parcela");
}

TEST(CargaTopologia, TablaConEspaciosTrasLasBuscadasNoSeVe) {
    bool hayError;
    int32_t codigo;
    auto m = Carga("spaced-last.mdb", hayError, codigo);
    EXPECT_FALSE(hayError);
    EXPECT_EQ(m.size(), 3u);
}

TEST(CargaTopologiaDeathTest, TablaConEspaciosAntesDeLasBuscadasTerminaElPrograma) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            bool hayError;
            int32_t codigo;
            Carga("spaced-first.mdb", hayError, codigo);
        },
        testing::ExitedWithCode(1),
        "MENSAJE\\[Nombre de tabla con espacios :\nTabla con espacios\\]");
}

TEST(CargaTopologia, FicherosQueNoSonUnaBaseDeDatos) {
    CarpetaTemporal tmp;
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m(1);
    m[0].Manzana = "anterior";
    bool hayError = false;
    int32_t codigo = 0;
    try {
        CargaTopologia(tmp / "no-existe.mdb", m, hayError, codigo, puerto);
        FAIL();
    } catch (const TopologiaError& e) {
        EXPECT_EQ(e.numero(), 53);
        EXPECT_NE(std::string(e.what()).find("no-existe.mdb"), std::string::npos);
    }
    EXPECT_EQ(puerto.ocupado, (std::vector<bool>{true, false}));

    std::ofstream(tmp / "texto.mdb") << "esto no es una base de datos\n";
    EXPECT_THROW(CargaTopologia(tmp / "texto.mdb", m, hayError, codigo, puerto), TopologiaError);

    // Cut short: the catalogue or the tables lie past its end.
    std::ifstream origen(Fixture("basic.mdb"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(origen)), {});
    for (size_t corte : {size_t(100), size_t(4096 * 3), bytes.size() / 2}) {
        std::ofstream(tmp / "corta.mdb", std::ios::binary).write(bytes.data(), corte);
        try {
            CargaTopologia(tmp / "corta.mdb", m, hayError, codigo, puerto);
        } catch (const TopologiaError& e) {
            EXPECT_NE(std::string(e.what()).find("corta.mdb"), std::string::npos);
        }
    }
    EXPECT_EQ(m.at(0).Manzana, "anterior") << "a failed load keeps the topology it had";
    EXPECT_FALSE(hayError);
}

TEST(BaseDatos, TablasYConsultasQueFaltan) {
    PuertoGrabador puerto;
    BaseDatos bd(Fixture("spaced-first.mdb"));
    auto primera = std::find_if(bd.Tablas().begin(), bd.Tablas().end(),
                                [](const std::string& t) { return t.rfind("MSys", 0) != 0; });
    ASSERT_NE(primera, bd.Tablas().end());
    EXPECT_EQ(*primera, "Tabla con espacios") << "catalogue order";

    BaseDatos basica(Fixture("basic.mdb"));
    EXPECT_TRUE(ExisteTabla(basica, "UNIPARTVIA_BIN", puerto));
    EXPECT_FALSE(ExisteTabla(basica, "Otra_bin", puerto));
    try {
        basica.AbreRecordset("SELECT Parcela_bin.NoHay FROM Parcela_bin", "Parcela_bin");
        FAIL();
    } catch (const TopologiaError& e) {
        EXPECT_NE(std::string(e.what()).find("Parcela_bin"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("NoHay"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("basic.mdb"), std::string::npos);
    }

    BaseDatos sinEnlace(Fixture("missing-table.mdb"));
    try {
        sinEnlace.AbreRecordset("SELECT UniManPar_bin.MsLinkParcela FROM UniManPar_bin",
                                "UniManPar_bin");
        FAIL();
    } catch (const TopologiaError& e) {
        EXPECT_NE(std::string(e.what()).find("no tiene la tabla UniManPar_bin"), std::string::npos);
    }

    // A snapshot: HayRegistros leaves the cursor on the last row with the whole count.
    Recordset rs = basica.AbreRecordset("Parcela_bin", "Parcela_bin");
    ASSERT_TRUE(HayRegistros(rs));
    EXPECT_EQ(rs.RecordCount(), 5);
    EXPECT_EQ(rs.Entero("MSLINK"), 104);
    rs.MoveFirst();
    EXPECT_EQ(rs.Entero("mslink"), 102) << "table order";
    Recordset vacio =
        basica.AbreRecordset("SELECT * FROM Parcela_bin WHERE MsLink = 0", "Parcela_bin");
    EXPECT_FALSE(HayRegistros(vacio));
    EXPECT_THROW(vacio.Entero("MsLink"), TopologiaError) << "no current row";
}

TEST(Recordset, ConversionesDeValores) {
    auto valor = [](Valor::Tipo t, int64_t e, double d, std::string s) {
        Valor v;
        v.tipo = t, v.entero = e, v.real = d, v.texto = std::move(s);
        return v;
    };
    Recordset rs("T", "T", "x.mdb", {"a", "b", "c", "d", "e"},
                 {{valor(Valor::Real, 0, 2.5, ""), valor(Valor::Real, 0, 3.5, ""),
                   valor(Valor::Entero, 3000000000LL, 0, ""), valor(Valor::Texto, 0, 0, "Año"),
                   valor(Valor::Texto, 0, 0, " 12 ")},
                  {valor(Valor::Nulo, 0, 0, ""), valor(Valor::Real, 0, -2.5, ""),
                   valor(Valor::Real, 0, 1234.5678, ""), valor(Valor::Texto, 0, 0, "€"),
                   valor(Valor::Texto, 0, 0, "doce")}});
    // Halves to even.
    EXPECT_EQ(rs.Entero("a"), 2);
    EXPECT_EQ(rs.Entero("B"), 4);
    try {
        rs.Entero("c");
        FAIL();
    } catch (const TopologiaError& e) {
        EXPECT_EQ(e.numero(), 6);
        EXPECT_NE(std::string(e.what()).find("columna c de la tabla T"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("x.mdb"), std::string::npos);
    }
    EXPECT_EQ(rs.Texto("d"), "A\xF1o") << "Windows-1252 bytes";
    EXPECT_EQ(rs.Entero("e"), 12);
    EXPECT_EQ(rs.Texto("c"), "3000000000");
    EXPECT_TRUE(rs.Booleano("e"));
    try {
        rs.Entero("f");
        FAIL();
    } catch (const TopologiaError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "La tabla T de la base de datos x.mdb no tiene la columna f");
    }
    rs.MoveNext();
    EXPECT_EQ(rs.Entero("a"), 0);
    EXPECT_EQ(rs.Doble("a"), 0.0);
    EXPECT_EQ(rs.Texto("a"), "");
    EXPECT_FALSE(rs.Booleano("a"));
    EXPECT_EQ(rs.Entero("b"), -2);
    EXPECT_EQ(rs.Texto("c"), "1234.5678");
    EXPECT_EQ(rs.Texto("d"), "\x80");
    try {
        rs.Entero("e");
        FAIL();
    } catch (const TopologiaError& e) {
        EXPECT_EQ(e.numero(), 13);
    }
}

TEST(ElegirMdb, CancelarDejaSinElegirIncluidaUnaCargaAnterior) {
    PuertoGrabador puerto;
    Topologia topologia;
    puerto.respuestas = {Fixture("basic.mdb"), ""};
    EXPECT_TRUE(ElegirMdb(topologia, puerto));
    EXPECT_TRUE(topologia.MdbElegido);
    EXPECT_EQ(topologia.Manzanas.size(), 3u);
    EXPECT_EQ(puerto.filtros.at(0), "Fichero MDB de 'rara-zizu' Digi (*.mdb)|*.mdb");
    EXPECT_EQ(puerto.titulos.at(0), "Elegir fichero MDB de topología catastral");

    EXPECT_FALSE(ElegirMdb(topologia, puerto));
    EXPECT_FALSE(topologia.MdbElegido);
    EXPECT_TRUE(puerto.mensajes.empty());
}

TEST(ElegirMdbDeathTest, UnErrorMuestraSuMensajeYTerminaElPrograma) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto elige = [](const std::string& ruta) {
        PuertoGrabador puerto;
        Topologia topologia;
        puerto.respuestas = {ruta};
        ElegirMdb(topologia, puerto);
    };
    EXPECT_EXIT(elige(Fixture("missing-table.mdb")), testing::ExitedWithCode(1),
                "MENSAJE\\[Deben existir las tablas :\nManzana_bin\nParcela_bin");
    EXPECT_EXIT(elige(Fixture("no-blocks.mdb")), testing::ExitedWithCode(1),
                "MENSAJE\\[No existen registros en Manzana\\]");
    EXPECT_EXIT(elige(Fixture("orphan.mdb")), testing::ExitedWithCode(1),
                "MENSAJE\\[No existen registros en Parcela de una Manzana\\]");
    EXPECT_EXIT(elige("/no/existe/topo.mdb"), testing::ExitedWithCode(1),
                "MENSAJE\\[No se encuentra la base de datos /no/existe/topo.mdb\\]");
}

}  // namespace
}  // namespace parvenza
