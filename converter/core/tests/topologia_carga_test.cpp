// Loading the cadastral topology from the real Access fixtures.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "converter/core/Topologia.h"
#include "converter/core/tests/topologia_prueba.h"

namespace parvenza {
namespace {

using namespace prueba_topologia;

std::vector<tipo_manzana> Carga(const std::string& fixture, bool& hayError, int32_t& codigo) {
    PuertoGrabador puerto;
    std::vector<tipo_manzana> manzanas;
    hayError = false;
    codigo = 0;
    CargaTopologia(Fixture(fixture), manzanas, hayError, codigo, puerto);
    return manzanas;
}

const std::string kBasico =
    "1 '45301' 150 10 '' 2 1500.5\n"
    "  101 '01' 151 20 '' 1 500 15 700 0 '45301'\n"
    "    1001 'A' 152 30 '' 350 '01' '45301'\n"
    "  102 '02' 151 21 '' 2 600 9 800.5 1 '45301'\n"
    "    1002 'A' 152 31 '' 400.5 '02' '45301'\n"
    "    1003 'B' 152 32 '' 400 '02' '45301'\n"
    "2 '45302' 150 11 '' 1 800.25\n"
    "  103 '01' 151 22 '' 1 502 3 800.25 0 '45302'\n"
    "    1004 'A' 152 33 '' 800.25 '01' '45302'\n"
    "3 '45303' 150 12 'R1' 2 2000\n"
    "  104 '01' 151 23 '' 1 503 22 800 1 '45303'\n"
    "    1005 'A' 152 34 '' 800 '01' '45303'\n"
    "  105 '02' 151 24 '' 1 610 11 1200 0 '45303'\n"
    "    1006 'A' 152 35 '' 1200 '02' '45303'\n";

/// The loaded tree, one node a line, every field:
/// block: MsLink Manzana idTabla Registro Resto numParcelas Superficie
/// parcel: MsLink Parcela idTabla Registro Resto numSubparcelas Tvia Tpol Superficie Solar Manzana
/// subparcel: MsLink SubParcela idTabla Registro Resto Superficie Parcela Manzana
std::string Arbol(const std::vector<tipo_manzana>& m) {
    std::ostringstream s;
    auto t = [](const std::string& x) { return "'" + x + "'"; };
    for (const auto& b : m) {
        s << b.MsLink << " " << t(b.Manzana) << " " << b.idTabla << " " << b.Registro << " " << t(b.Resto) << " "
          << b.numParcelas << " " << b.Superficie << "\n";
        for (const auto& p : b.Parcelas) {
            s << "  " << p.MsLink << " " << t(p.Parcela) << " " << p.idTabla << " " << p.Registro << " " << t(p.Resto)
              << " " << p.numSubparcelas << " " << p.Tvia << " " << p.Tpol << " " << p.Superficie << " " << p.Solar
              << " " << t(p.Manzana) << "\n";
            for (const auto& u : p.Subparcelas)
                s << "    " << u.MsLink << " " << t(u.SubParcela) << " " << u.idTabla << " " << u.Registro << " "
                  << t(u.Resto) << " " << u.Superficie << " " << t(u.Parcela) << " " << t(u.Manzana) << "\n";
        }
    }
    return s.str();
}

TEST(CargaTopologia, BasicNullsAndOrphansFieldByField) {
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m;
    bool hayError = false;
    int32_t codigo = 0;
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    EXPECT_FALSE(hayError);
    EXPECT_EQ(codigo, 0);
    EXPECT_EQ(puerto.ocupado, (std::vector<bool>{true, false}));
    EXPECT_TRUE(puerto.mensajes.empty());
    // Blocks in table order; parcels and subparcels by MsLink (the rows list 102 first);
    // parcel 101 takes the first police-number row (15, not the later 17) and keeps its
    // NumTvia (500) with no via row; 102 keeps NumTpol (9) with no police-number row.
    EXPECT_EQ(Arbol(m), kBasico);
    CargaTopologia(Fixture("basic.mdb"), m, hayError, codigo, puerto);
    EXPECT_EQ(Arbol(m), kBasico) << "a second load into the same array rebuilds it";

    m = Carga("nulls.mdb", hayError, codigo);  // nulls read as 0 and ""
    EXPECT_FALSE(hayError);
    std::string nulos = kBasico;  // block 2's code and area are null
    for (size_t i; (i = nulos.find("'45302'")) != std::string::npos;) nulos.replace(i, 7, "''");
    EXPECT_EQ(Arbol(m), nulos.replace(nulos.find("1 800.25\n"), 8, "1 0"));
}

TEST(CargaTopologia, ErrorCodesAndTheirMessages) {
    bool hayError;
    int32_t codigo;
    std::vector<tipo_manzana> m = Carga("missing-table.mdb", hayError, codigo);
    EXPECT_TRUE(hayError && m.empty());
    EXPECT_EQ(codigo, kFaltanTablas);
    Carga("no-blocks.mdb", hayError, codigo);
    EXPECT_TRUE(hayError);
    EXPECT_EQ(codigo, kSinManzanas);
    // Parcel 106 (block 2) lacks subparcels, block 4 parcels: the whole file is still read
    // and the last code met is kept.
    m = Carga("orphan.mdb", hayError, codigo);
    EXPECT_TRUE(hayError);
    EXPECT_EQ(codigo, kManzanaSinParcelas);
    std::string huerfanos = kBasico + "4 '45304' 150 13 '' 0 99.5\n";
    huerfanos.insert(huerfanos.find("3 '45303'"), "  106 '03' 151 25 '' 0 505 1 300 0 '45302'\n");
    EXPECT_EQ(Arbol(m), huerfanos);
    EXPECT_EQ(MensajeErrorTopologia(1),
              "Deben existir las tablas :\nManzana_bin\nParcela_bin\nSubparcela_bin\nunimanpar_bin\nuniparsub_bin");
    EXPECT_EQ(MensajeErrorTopologia(2), "No existen registros en Manzana");
    EXPECT_EQ(MensajeErrorTopologia(3), "No existen registros en Parcela de una Manzana");
    EXPECT_EQ(MensajeErrorTopologia(4), "No existen registros en SubParcela de una Parcela");
}

std::string ErrorDe(const std::function<void()>& f) {
    try {
        f();
    } catch (const TopologiaError& e) {
        return std::to_string(e.numero()) + " " + e.what();
    }
    return "no error";
}

TEST(CargaTopologia, ASpacedTableNameAfterTheWantedOnesIsNotSeen) {
    bool hayError;
    int32_t codigo;
    EXPECT_EQ(Carga("spaced-last.mdb", hayError, codigo).size(), 3u);
    EXPECT_FALSE(hayError);
    BaseDatos bd(Fixture("spaced-first.mdb"));  // catalogue order: the spaced one comes first
    auto primera = std::find_if(bd.Tablas().begin(), bd.Tablas().end(),
                                [](const std::string& t) { return t.rfind("MSys", 0) != 0; });
    ASSERT_NE(primera, bd.Tablas().end());
    EXPECT_EQ(*primera, "Tabla con espacios");
}

TEST(CargaTopologia, FilesThatAreNotADatabaseAndMissingTablesOrColumns) {
    // Damaged pages are the robustness tests' (robustez_topologia_test).
    CarpetaTemporal tmp;
    PuertoGrabador puerto;
    std::vector<tipo_manzana> m(1);
    m[0].Manzana = "anterior";
    bool hayError = false;
    int32_t codigo = 0;
    EXPECT_EQ(ErrorDe([&] { CargaTopologia(tmp / "no-existe.mdb", m, hayError, codigo, puerto); }).substr(0, 3), "53 ");
    EXPECT_EQ(puerto.ocupado, (std::vector<bool>{true, false}));
    std::ofstream(tmp / "texto.mdb") << "esto no es una base de datos\n";
    EXPECT_NE(ErrorDe([&] { CargaTopologia(tmp / "texto.mdb", m, hayError, codigo, puerto); }).find("texto.mdb"),
              std::string::npos);
    EXPECT_EQ(m.at(0).Manzana, "anterior") << "a failed load keeps the topology it had";
    EXPECT_FALSE(hayError);

    BaseDatos basica(Fixture("basic.mdb"));
    EXPECT_TRUE(ExisteTabla(basica, "UNIPARTVIA_BIN", puerto));
    EXPECT_FALSE(ExisteTabla(basica, "Otra_bin", puerto));
    const std::string columna =
        ErrorDe([&] { basica.AbreRecordset("SELECT Parcela_bin.NoHay FROM Parcela_bin", "Parcela_bin"); });
    for (const char* s : {"Parcela_bin", "NoHay", "basic.mdb"}) EXPECT_NE(columna.find(s), std::string::npos) << columna;
    BaseDatos sinEnlace(Fixture("missing-table.mdb"));
    EXPECT_NE(ErrorDe([&] { sinEnlace.AbreRecordset("SELECT UniManPar_bin.MsLinkParcela FROM UniManPar_bin", "UniManPar_bin"); })
                  .find("no tiene la tabla UniManPar_bin"),
              std::string::npos);
    // A snapshot: HayRegistros leaves the cursor on the last row with the whole count.
    Recordset rs = basica.AbreRecordset("Parcela_bin", "Parcela_bin");
    ASSERT_TRUE(HayRegistros(rs));
    EXPECT_EQ(rs.RecordCount() * 1000 + rs.Entero("MSLINK"), 5104);
    rs.MoveFirst();
    EXPECT_EQ(rs.Entero("mslink"), 102) << "table order";
    Recordset vacio = basica.AbreRecordset("SELECT * FROM Parcela_bin WHERE MsLink = 0", "Parcela_bin");
    EXPECT_FALSE(HayRegistros(vacio));
    EXPECT_THROW(vacio.Entero("MsLink"), TopologiaError) << "no current row";
}

TEST(Recordset, ValueConversions) {
    auto v = [](Valor::Tipo t, int64_t e, double d, std::string s) {
        Valor x;
        x.tipo = t, x.entero = e, x.real = d, x.texto = std::move(s);
        return x;
    };
    Recordset rs("T", "T", "x.mdb", {"a", "b", "c", "d", "e"},
                 {{v(Valor::Real, 0, 2.5, ""), v(Valor::Real, 0, 3.5, ""), v(Valor::Entero, 3000000000LL, 0, ""),
                   v(Valor::Texto, 0, 0, "Año"), v(Valor::Texto, 0, 0, " 12 ")},
                  {v(Valor::Nulo, 0, 0, ""), v(Valor::Real, 0, -2.5, ""), v(Valor::Real, 0, 1234.5678, ""),
                   v(Valor::Texto, 0, 0, "€"), v(Valor::Texto, 0, 0, "doce")}});
    EXPECT_EQ(rs.Entero("a") * 10 + rs.Entero("B"), 24);  // halves to even
    const std::string grande = ErrorDe([&] { rs.Entero("c"); });
    EXPECT_EQ(grande.substr(0, 2), "6 ");
    for (const char* s : {"columna c de la tabla T", "x.mdb"}) EXPECT_NE(grande.find(s), std::string::npos) << grande;
    EXPECT_EQ(rs.Texto("d"), "A\xF1o") << "Windows-1252 bytes";
    EXPECT_EQ(rs.Entero("e"), 12);
    EXPECT_EQ(rs.Texto("c"), "3000000000");
    EXPECT_TRUE(rs.Booleano("e"));
    EXPECT_EQ(ErrorDe([&] { rs.Entero("f"); }), "9 La tabla T de la base de datos x.mdb no tiene la columna f");
    rs.MoveNext();
    EXPECT_EQ(rs.Entero("a") + rs.Doble("a") + rs.Booleano("a"), 0);
    EXPECT_EQ(rs.Texto("a"), "");
    EXPECT_EQ(rs.Entero("b"), -2);
    EXPECT_EQ(rs.Texto("c") + rs.Texto("d"), "1234.5678\x80");
    EXPECT_EQ(ErrorDe([&] { rs.Entero("e"); }).substr(0, 3), "13 ");
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
    const std::pair<std::string, const char*> casos[] = {
        {Fixture("missing-table.mdb"), "MENSAJE\\[Deben existir las tablas :\nManzana_bin\nParcela_bin"},
        {Fixture("no-blocks.mdb"), "MENSAJE\\[No existen registros en Manzana\\]"},
        {Fixture("orphan.mdb"), "MENSAJE\\[No existen registros en Parcela de una Manzana\\]"},
        {Fixture("spaced-first.mdb"), "MENSAJE\\[Nombre de tabla con espacios :\nTabla con espacios\\]"},  // before the wanted ones
        {"/no/existe/topo.mdb", "MENSAJE\\[No se encuentra la base de datos /no/existe/topo.mdb\\]"}};
    for (const auto& [ruta, mensaje] : casos) EXPECT_EXIT(elige(ruta), testing::ExitedWithCode(1), mensaje) << ruta;
}

}  // namespace
}  // namespace parvenza
