// parvenza-cli run as a program: what each subcommand adds to the core (option names, stdout
// summaries, messages, exit codes). The conversions themselves are checked in the core tests.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "comun/Reemplazo.h"
#include "converter/cli/PuertoConsola.h"
#include "converter/core/tests/binshp_support.h"
#include "converter/core/tests/shpbin_ayuda.h"
#include "converter/shapefile/Shapefile.h"
#include "converter/shapefile/tests/limite_prueba.h"
#include "dxf/clsFicheroDxf.h"
#include "tests/robustez/Robustez.h"
#include "utilities/Utilidades.h"

namespace {

using namespace parvenza::prueba;
using parvenza::prueba_binshp::Linea, parvenza::prueba_binshp::Texto;
namespace prueba_binshp = parvenza::prueba_binshp;
using brisquel::tipo_entidad;

using parvenza::robustez::Lee;

std::string Dato(const std::string& ruta) {
    return "'" + std::string(PARVENZA_TEST_DATA) + "/" + ruta + "'";
}

std::vector<tipo_entidad> Hoja() {
    return {Linea("1802", {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 0, 0}}),
            Linea("0203", {{100, 200, 0}, {300, 400, 0}}), Linea("0501", {{700, 800, 0}}),
            Texto("0901", "A\xf1o", {1000, 2000, 0}, 200, 1050)};
}

struct Caso {
    std::string argumentos;
    int estado;            ///< -1: any failure
    std::string contiene;  ///< in stdout or stderr
    std::string tambien = "";
};

class Cli : public ::testing::Test {
  protected:
    /// Runs a command line in the test's folder with stdout and stderr captured to files.
    int Ejecuta(const std::string& argumentos) {
        const int r = std::system(("cd '" + carpeta.Ruta() + "' && " + PARVENZA_CLI + " " +
                                   argumentos + " >out.txt 2>err.txt")
                                      .c_str());
        out = Lee(carpeta / "out.txt");
        err = Lee(carpeta / "err.txt");
        return WIFEXITED(r) ? WEXITSTATUS(r) : -1;
    }
    void Comprueba(const std::vector<Caso>& casos) {
        for (const Caso& c : casos) {
            SCOPED_TRACE(c.argumentos);
            const int estado = Ejecuta(c.argumentos);
            if (c.estado < 0)
                EXPECT_NE(estado, 0) << out << err;
            else
                EXPECT_EQ(estado, c.estado) << out << err;
            for (const std::string& s : {c.contiene, c.tambien})
                EXPECT_NE((out + err).find(s), std::string::npos) << s << "\n" << out << err;
        }
    }
    void EscribeBin(const std::string& nombre, std::vector<tipo_entidad> elementos) {
        prueba_binshp::EscribeBin(carpeta / nombre, std::move(elementos));
    }
    Carpeta carpeta;
    std::string out, err;
};

TEST_F(Cli, Bin2ShpSummariesAllInFolderAndFailures) {
    EscribeBin("hoja.bin", Hoja());
    ASSERT_EQ(Ejecuta("bin2shp hoja.bin"), 0) << err;
    EXPECT_EQ(err, "");  // no progress when stderr is not a terminal
    EXPECT_EQ(out,
              "hoja_P.shp: 1 registro (polígonos)\nhoja_L.shp: 1 registro (líneas)\n"
              "hoja_X.shp: 1 registro (puntos)\nhoja_TL.shp: 1 registro (líneas)\n1 fichero BIN, "
              "4 capas, 4 registros\n");
    EscribeBin("A.BIN", {Linea("1", {{0, 0, 0}, {5, 5, 0}})});
    std::ofstream(carpeta / "notas.txt") << "no";
    std::ofstream(carpeta / "capa.shp") << "";
    Comprueba({{"bin2shp --3d --mm --texts-as-points --closed-as-lines hoja.bin", 0,
                "hoja_L.shp: 2 registros (líneas Z)", "hoja_TX.shp: 1 registro (puntos Z)"},
               {"bin2shp --all-in-folder hoja.bin", 0,
                "./A_L.shp: 1 registro (líneas)\n./hoja_P.shp",  // sorted, no case
                "2 ficheros BIN, 5 capas, 5 registros"},
               {"bin2shp .", 0, "./A_L.shp: 1 registro (líneas)\n./hoja_P.shp"}});
    // A corrupt kind ends the program with status 1, naming the file and those not reached.
    EscribeBin("b.bin", {Linea("1", {{0, 0, 0}, {5, 5, 0}})});
    std::ofstream(carpeta / "b.bin", std::ios::binary | std::ios::app)
        << "K=" + std::string(58, '\0');
    EXPECT_EQ(Ejecuta("bin2shp --jobs 1 --all-in-folder hoja.bin"), 1);
    EXPECT_EQ(err,
              "parvenza-cli: ./b.bin: fichero corrupto...\nNo se han convertido:\n./hoja.bin\n");
    fs::remove(carpeta / "b.bin");
    Comprueba({{"bin2shp falta.bin", 2, "falta.bin: no existe el fichero BIN"}});
    EXPECT_FALSE(fs::exists(carpeta / "falta.bin"));
    // Files and folders at once, into a folder made for them.
    fs::create_directory(carpeta / "sub");
    EscribeBin("sub/z.BIN", Hoja());
    ASSERT_EQ(Ejecuta("bin2shp --output-dir nueva/capas hoja.bin sub"), 0) << err;
    EXPECT_NE(out.find("nueva/capas/z_P.shp: 1 registro (polígonos)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("2 ficheros BIN, 8 capas, 8 registros\n"), std::string::npos) << out;
    EXPECT_TRUE(fs::exists(carpeta / "nueva/capas/hoja_TL.shp"));
    EXPECT_FALSE(fs::exists(carpeta / "sub/z_P.shp"));
    // A coordinate system: a .prj copied beside each layer, or else the sheet's own.
    std::ofstream(carpeta / "otro.prj") << "PROJCS[\"otro\"]";
    ASSERT_EQ(Ejecuta("bin2shp --prj otro.prj hoja.bin"), 0) << err;
    EXPECT_EQ(Lee(carpeta / "hoja_TL.prj"), "PROJCS[\"otro\"]");
    std::ofstream(carpeta / "hoja.prj") << "PROJCS[\"hoja\"]";
    ASSERT_EQ(Ejecuta("bin2shp hoja.bin"), 0) << err;
    EXPECT_EQ(Lee(carpeta / "hoja_P.prj"), "PROJCS[\"hoja\"]");
    // Appending to a set that lacks a layer stops at that layer, naming file and layer.
    fs::remove(carpeta / "hoja_L.shp");
    Comprueba({{"bin2shp --append hoja_P.shp hoja.bin", -1, "hoja.bin", "hoja_L.shp"}});
    EXPECT_EQ(out, "");
}

// The command line's own answers: version, help, unknown words, inputs that give nothing.
TEST_F(Cli, UsoYEstadosDeSalida) {
    EscribeBin("a.bin", Hoja());
    fs::create_directories(carpeta / "vacia");
    fs::create_directories(carpeta / "otra");
    EscribeBin("otra/a.bin", Hoja());
    Comprueba({{"--version", 0, "parvenza-cli " PARVENZA_VERSION_TEST},
               {"--help", 0, "Uso: parvenza-cli [OPCIONES] [SUBCOMANDO]"},
               {"", 2, "falta el subcomando"},
               {"foo", 2, "parvenza-cli: subcomando desconocido: foo\n"},
               {"bin2shp", 2, "falta FICHERO"},
               {"bin2shp --nada a.bin", 2, "argumento no esperado: --nada"},
               {"bin2shp --jobs 0 a.bin", 2, "--jobs: debe ser un número entero mayor que cero"},
               {"bin2shp vacia", 2, "vacia: la carpeta no tiene ficheros BIN"},
               {"bin2shp --append a_L.shp --output-dir d a.bin", 2, "no va con"},
               {"bin2shp --output-dir d a.bin otra", 2, "darían las mismas capas (a_*.shp)"},
               {"bin2shp --a-srs EPSG:999999 a.bin", 2, "EPSG:999999"},
               {"bin2shp --prj falta.prj a.bin", 2, "falta.prj"},
               {"shp2bin --output s.bin vacia", 2, "la carpeta no tiene ficheros shapefile"}});
    EXPECT_FALSE(fs::exists(carpeta / "d") || fs::exists(carpeta / "s.bin") ||
                 fs::exists(carpeta / "a_P.shp"));
}

// Progress on a terminal: the file read and its share, one line rewritten; nothing otherwise.
TEST(PuertoConsola, ProgresoConElNombreDelFichero) {
    for (bool terminal : {true, false}) {
        std::ostringstream err;
        {
            parvenza::cli::PuertoConsola p(err, terminal);
            p.Ficheros({"a.bin", "b.bin"});
            p.Proceso("Pasada 1");
            p.Avance(1, 2, 1, 0);
            p.Avance(2, 2, 1, 0);
            p.Fichero("c.shp");
            p.Proceso("Leyendo");
            p.Progreso(0.25);
        }
        EXPECT_EQ(err.str(), terminal ? "\r\033[KPasada 1\r\033[K[1/2] a.bin: 0 %"
                                        "\r\033[K[2/2] b.bin: 0 %\r\033[K[2/2] c.shp: Leyendo"
                                        "\r\033[K[2/2] c.shp: 25 %\r\033[K"
                                      : "");
    }
}

TEST_F(Cli, Bin2ShpSheetsAtOnceWriteWhatOneByOneWritesAndFailAlone) {
    for (const char* n : {"a.bin", "b.bin", "c.bin"}) EscribeBin(n, Hoja());
    ASSERT_EQ(Ejecuta("bin2shp --all-in-folder --jobs 1 a.bin"), 0) << err;
    const std::string resumen = out;
    const auto serie = Contenido(carpeta.ruta(), {".txt", ".bin"});  // temporaries among them
    for (const auto& [nombre, bytes] : serie) fs::remove(carpeta / nombre);
    ASSERT_EQ(Ejecuta("bin2shp --all-in-folder --jobs 3 a.bin"), 0) << err;
    EXPECT_EQ(out, resumen);
    EXPECT_TRUE(Contenido(carpeta.ruta(), {".txt", ".bin"}) == serie);
    EXPECT_EQ(serie.size(), 3u * 4 * 4);

    // A sheet whose second element has a corrupt kind ends its own conversion only: the others
    // are written again, its layers left byte for byte.
    std::string b = Lee(carpeta / "b.bin");
    const size_t segundo = b.find("C=", b.find("C=") + 2);
    ASSERT_NE(segundo, std::string::npos);
    b.replace(segundo, 2, "X=");
    std::ofstream(carpeta / "b.bin", std::ios::binary) << b;
    for (const auto& [nombre, bytes] : serie)
        if (nombre[0] != 'b') fs::remove(carpeta / nombre);
    EXPECT_EQ(Ejecuta("bin2shp --all-in-folder --jobs 2 a.bin"), 1);
    EXPECT_NE(err.find("b.bin"), std::string::npos) << err;
    EXPECT_TRUE(Contenido(carpeta.ruta(), {".txt", ".bin"}) == serie);
}

// Layers go beside the sheet, named after it without its extension whatever its length; a
// sheet that stops the program leaves the earlier layers byte for byte; two appends at once
// to one layer set both land, one after the other.
TEST_F(Cli, Bin2ShpLayersBesideTheSheetReplacedWholeAndLocked) {
    fs::create_directory(carpeta / "noext");
    for (const char* hoja : {"noext/zz", "h.digi", "x.y.bin"})
        EscribeBin(hoja, {Linea("1", {{0, 0, 0}, {5, 5, 0}})});
    Comprueba({{"bin2shp noext/zz", 0, "noext/zz_L.shp: 1 registro (líneas)"},
               {"bin2shp h.digi", 0, "h_L.shp"},
               {"bin2shp x.y.bin", 0, "x.y_L.shp"}});

    // A good closed line, then an element of kind "X=".
    EscribeBin("hoja.bin", Hoja());
    ASSERT_EQ(Ejecuta("bin2shp hoja.bin"), 0) << err;
    const auto antes = Contenido(carpeta.ruta(), {".txt", ".bin"});
    EscribeBin("hoja.bin", {Hoja()[0], Hoja()[1]});
    parvenza::robustez::Parchea(carpeta / "hoja.bin", 48 + 12 * 4, "X=");
    EXPECT_EQ(Ejecuta("bin2shp hoja.bin"), 1);
    EXPECT_NE(err.find("fichero corrupto"), std::string::npos) << err;
    EXPECT_TRUE(Contenido(carpeta.ruta(), {".txt", ".bin"}) == antes);

    // Two appends of 20,000 lines each, at once.
    std::vector<tipo_entidad> lineas(20000, Linea("7", {{0, 0, 0}, {5, 5, 0}}));
    EscribeBin("hoja.bin", Hoja());
    EscribeBin("a.bin", lineas);
    EscribeBin("b.bin", lineas);
    const std::string cli = PARVENZA_CLI;
    const std::string orden =
        "cd '" + carpeta.Ruta() + "' && (" + cli +
        " bin2shp --append hoja_L.shp a.bin >a.txt 2>&1; " + "echo $? >sa.txt) & (cd '" +
        carpeta.Ruta() + "' && " + cli +
        " bin2shp --append hoja_L.shp b.bin >b.txt 2>&1; echo $? >sb.txt) & wait";
    ASSERT_EQ(std::system(("bash -c \"" + orden + "\"").c_str()), 0);
    EXPECT_EQ(Lee(carpeta / "sa.txt") + Lee(carpeta / "sb.txt"), "0\n0\n")
        << Lee(carpeta / "a.txt") << Lee(carpeta / "b.txt");
    parvenza::Shapefile l;
    l.Open(carpeta / "hoja_L.shp", 0, 3);
    EXPECT_EQ(l.RecordCount(), 1 + 2 * 20000);
}

TEST_F(Cli, Bin2ShpReadOnlySheetsCutElementsAndFilesThatAreNotBin) {
    const std::string hoja = Lee(std::string(PARVENZA_SOURCE_DIR) + "/examples/hoja.bin");
    std::ofstream(carpeta / "hoja.bin", std::ios::binary) << hoja;
    std::ofstream(carpeta / "corta.bin", std::ios::binary) << hoja.substr(0, 500);
    std::ofstream(carpeta / "basura.bin") << "junk\n";
    // The element the cut falls in, by the walk of the whole sheet.
    int64_t cortado = 0;
    for (const auto& e : LeeBin(carpeta / "hoja.bin"))
        if (!cortado && e.puntero - 1 + e.tamano > 500) cortado = e.puntero;
    ASSERT_GT(cortado, 0);
    ASSERT_EQ(Ejecuta("bin2shp corta.bin"), 3) << out << err;
    EXPECT_EQ(err, "parvenza-cli: corta.bin: elemento cortado por el final del fichero: byte " +
                       std::to_string(cortado) + "\n");
    EXPECT_NE(out.find("1 fichero BIN, "), std::string::npos) << out;
    ASSERT_EQ(Ejecuta("bin2shp basura.bin"), 3) << out << err;
    EXPECT_EQ(out, "0 ficheros BIN, 0 capas, 0 registros\n");
    EXPECT_NE(err.find("basura.bin: no es un fichero BIN, no se ha convertido: byte 1: 5 bytes"),
              std::string::npos)
        << err;
    EXPECT_FALSE(fs::exists(carpeta / "basura_P.shp") || fs::exists(carpeta / "basura_L.shp"));
    // A sheet nobody may write converts, and lists.
    if (!parvenza::robustez::SoloLectura(carpeta / "hoja.bin", true))
        GTEST_SKIP() << "no read-only files here";
    EXPECT_EQ(Ejecuta("bin2shp hoja.bin"), 0) << err;
    EXPECT_EQ(Ejecuta("info hoja.bin"), 0) << err;
    parvenza::robustez::SoloLectura(carpeta / "hoja.bin", false);
}

TEST_F(Cli, Shp2BinAppendsUnderALockAndOnlyToBinFiles) {
    EscribeShape(carpeta / "a.shp", SHPT_POINT, {{"N", 'N'}},
                 {{{{{1, 1, 0}}}, {1.0}}, {{{{2, 2, 0}}}, {2.0}}});
    EscribeShape(carpeta / "b.shp", SHPT_POINT, {{"N", 'N'}}, {{{{{3, 3, 0}}}, {3.0}}});
    // What each run appends on its own.
    ASSERT_EQ(Ejecuta("shp2bin --output sa.bin --code 1 a.shp"), 0) << err;
    ASSERT_EQ(Ejecuta("shp2bin --output sb.bin --code 2 b.shp"), 0) << err;
    const std::string xa = Lee(carpeta / "sa.bin"), xb = Lee(carpeta / "sb.bin");
    EscribeBin("s.bin", Hoja());
    const std::string base = Lee(carpeta / "s.bin");
    {  // Two runs wait together for the lock this test holds, then both append, one after the
       // other.
        parvenza::comun::Cerrojo cerrojo(carpeta / "s.bin");
        std::system(("cd '" + carpeta.Ruta() + "' && (" + PARVENZA_CLI +
                     " shp2bin --output s.bin --code 1 a.shp >/dev/null 2>&1; echo $? >a.rc) & "
                     "(cd '" +
                     carpeta.Ruta() + "' && " + PARVENZA_CLI +
                     " shp2bin --output s.bin --code 2 b.shp >/dev/null 2>&1; echo $? >b.rc) &")
                        .c_str());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(Lee(carpeta / "s.bin"), base);
    }
    for (int i = 0; i < 200 && !(fs::exists(carpeta / "a.rc") && fs::exists(carpeta / "b.rc")); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Lee(carpeta / "a.rc") + Lee(carpeta / "b.rc"), "0\n0\n");
    const std::string juntos = Lee(carpeta / "s.bin");
    EXPECT_TRUE(juntos == base + xa + xb || juntos == base + xb + xa) << juntos.size();

    // Several real shapefiles (a folder gives its own), converted one by one or several at once:
    // the same file, summary, messages and losses, in input order. One append, or none: one
    // that fails in the middle leaves the file alone.
    std::string lista;
    for (const char* f : {"points", "polygons", "null", "number-null-property", "multipoints",
                          "codepage-1250", "polylines", "empty"})
        lista += " " + Dato("shapefiles/" + std::string(f) + ".shp");
    lista += " " + Dato("binshp-referencia/mixta");
    std::string serie, salidas;
    for (const char* jobs : {"1", "2"}) {
        EscribeBin("r.bin", Hoja());
        EXPECT_EQ(Ejecuta("shp2bin --force --restore-shx --jobs " + std::string(jobs) +
                          " --output r.bin" + lista),
                  3)
            << err;
        if (serie.empty()) serie = Lee(carpeta / "r.bin"), salidas = out + err;
        EXPECT_EQ(Lee(carpeta / "r.bin"), serie) << jobs;
        EXPECT_EQ(out + err, salidas) << jobs;
        EXPECT_EQ(
            Ejecuta("shp2bin --force --jobs " + std::string(jobs) + " --output r.bin" + lista), 1);
        EXPECT_EQ(Lee(carpeta / "r.bin"), serie) << jobs;
        EXPECT_NE(err.find("number-null-property.shx"), std::string::npos) << err;
        EXPECT_NE(err.find("r.bin: se deja como estaba"), std::string::npos) << err;
    }
    EXPECT_EQ(serie.size(), 74532u);
    for (const char* parte : {"r.bin: 5 elementos añadidos de 9 registros (", "null.shp)\n",
                              "null.shp: registros sin geometría, no convertidos (4)",
                              "polygons.shp: polígonos con agujeros"})
        EXPECT_NE(salidas.find(parte), std::string::npos) << salidas;
    EXPECT_EQ(parvenza::robustez::Restos(carpeta.ruta()), std::vector<std::string>{});

    // An input as output, or a file that is not a BIN file: refused, untouched.
    std::ofstream(carpeta / "basura.bin") << "junk\n";
    const std::string shp = Lee(carpeta / "a.shp"), dbf = Lee(carpeta / "a.dbf");
    Comprueba({{"shp2bin --output a.shp a.shp", 1, "es el fichero de entrada"},
               {"shp2bin --output a.dbf a.shp", 1, "es el fichero de entrada"},
               {"shp2bin --output basura.bin a.shp", 1, "basura.bin: no es un fichero BIN"},
               {"shp2bin --output b.shx a.shp", 1, "b.shx: no es un fichero BIN"}});
    EXPECT_TRUE(Lee(carpeta / "a.shp") == shp && Lee(carpeta / "a.dbf") == dbf);
    EXPECT_EQ(Lee(carpeta / "basura.bin"), "junk\n");
}

TEST_F(Cli, Bin2ShpCadastreLayersAndTopologyErrors) {
    EscribeBin("hoja.bin", {prueba_binshp::Cuadrado("1805", {{151, 24, ""}}),
                            prueba_binshp::Cuadrado("1802", {{150, 10, ""}}),
                            Linea("1241", {{0, 0, 0}, {5, 0, 0}})});
    fs::create_directory(carpeta / "capas");
    ASSERT_EQ(Ejecuta("bin2shp --cadastre " + Dato("topology/basic.mdb") +
                      " --output-dir capas --a-srs EPSG:25830 hoja.bin"),
              0)
        << err;
    // Every layer goes to the folder, and the summary lists the cadastre set's too.
    EXPECT_EQ(Lee(carpeta / "capas/parcela.prj"), Lee(carpeta / "capas/hoja_P.prj"));
    EXPECT_NE(out.find("capas/hoja_P.shp: 2 registros (polígonos)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("capas/parcela.shp: 1 registro (polígonos)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("capas/ejes.shp: 1 registro (líneas)\n"), std::string::npos) << out;
    EXPECT_NE(Lee(carpeta / "capas/ejes.prj").find("ETRS_1989_UTM_Zone_30N"), std::string::npos);
    EXPECT_FALSE(fs::exists(carpeta / "hoja_P.shp"));
    EXPECT_FALSE(fs::exists(carpeta / "masa.shp"));
    ASSERT_EQ(Ejecuta("bin2shp --cadastre " + Dato("topology/basic.mdb") + " hoja.bin"), 0) << err;
    EXPECT_TRUE(fs::exists(carpeta / "masa.shp"));  // beside the BIN file without --output-dir
    fs::remove(carpeta / "hoja_P.shp");
    // The topology's own messages are the core's; here, that they end the run.
    Comprueba({{"bin2shp --cadastre " + Dato("topology/spaced-first.mdb") + " hoja.bin", 1,
                "Nombre de tabla con espacios :\nTabla con espacios"}});
    EXPECT_FALSE(fs::exists(carpeta / "hoja_P.shp")) << "nothing converted";
}

TEST_F(Cli, Shp2BinOptionsByNameUtf8ArgumentsAndErrors) {
    EscribeShape(
        carpeta / "vias.shp", SHPT_ARC,
        {{"Codigo", 'C', 6},
         {"TAB", 'N', 4},
         {"REG", 'N', 8},
         {"RESTO", 'C', 6},
         {"COTA", 'N', 8, 2},
         {"FECHA", 'D', 8}},
        {{{{{1, 2, 0}, {3, 4, 0}}},
          {std::string("0501"), 4.0, 10.0, std::string("X1"), 12.5, std::string("20200101")}},
         {{{{5, 6, 0}, {7, 8.125, 0}}},
          {std::string("0502"), 5.0, 11.0, std::string("X2"), 0.0, std::string("20200101")}}});
    ASSERT_EQ(Ejecuta("shp2bin --output sal.bin --mm --code-field codigo --z-field COTA "
                      "--rest-field RESTO --link tab:reg vias.shp"),
              0)
        << err;
    EXPECT_EQ(
        out, "sal.bin: 2 elementos añadidos de 2 registros\n");  // attribute 1 the rest, 2 the link
    const std::vector<std::string> mm = {
        "C= 0501: (1000 2000 12500) (3000 4000 12500) [1:0:X1] [4:10:]",
        "C= 0502: (5000 6000 0) (7000 8125 0) [1:0:X2] [5:11:]"};
    EXPECT_EQ(Resumenes(carpeta / "sal.bin"), mm);
    ASSERT_EQ(Ejecuta("shp2bin --output sal.bin vias.shp"), 0);  // defaults; a second run appends
    EXPECT_EQ(Resumenes(carpeta / "sal.bin"),
              (std::vector<std::string>{mm[0], mm[1], "C= 140100: (100 200 0) (300 400 0)",
                                        "C= 140100: (500 600 0) (700 812 0)"}));
    // Texts, and names typed in UTF-8 meeting a table in UTF-8 (by its .cpg).
    EscribeShape(carpeta / "anio.shp", SHPT_POINT, {{"A\xC3\x91O", 'N', 6}, {"GIRO", 'N', 6, 1}},
                 {{{{{1, 2, 0}}}, {2024.0, 90.0}}});
    std::ofstream(carpeta / "anio.cpg") << "UTF-8";
    ASSERT_EQ(
        Ejecuta(
            "shp2bin --output a.bin --texts --text Peñón --code-field AÑO --rotation-field GIRO "
            "--height 3 --justification 4 anio.shp"),
        0)
        << err;
    EXPECT_EQ(Resumenes(carpeta / "a.bin"),
              std::vector<std::string>{"T= 2024: (100 200 0) 'Pe\xF1\xF3n' 300/4/9000 n2"});

    EscribeShape(carpeta / "lejos.shp", SHPT_POINT, {{"N", 'N'}},
                 {{{{{1, 1, 0}}}, {1.0}}, {{{{3e7, 1, 0}}}, {1.0}}});
    // A record left out: the run finishes with status 3 and lists it.
    EXPECT_EQ(Ejecuta("shp2bin --output l.bin lejos.shp"), 3);
    EXPECT_EQ(out, "l.bin: 1 elemento añadido de 2 registros, 1 registro omitido\n");
    EXPECT_EQ(err,
              "parvenza-cli: Se han encontrado 1 errores en la conversión\nEntidades erróneas : \n "
              "/ 1\nparvenza-cli: ./lejos.shp: registros omitidos: registro 1: Desbordamiento: "
              "3000000000 no cabe en un entero de 32 bits\n");

    const std::string antes = "contenido previo";
    std::ofstream(carpeta / "sal.bin") << antes;
    EscribeShape(carpeta / "prim.shp", SHPT_POINT, {{"TAB", 'N', 4}, {"REG", 'N', 4}},
                 {{{{{1, 1, 0}}}, {1.0, 1.0}}});
    Comprueba({{"shp2bin --output sal.bin --code-field NOHAY vias.shp", 2, "no tiene ese campo"},
               {"shp2bin --output sal.bin --link FECHA:REG vias.shp", 2, "no es numérico"},
               {"shp2bin --output sal.bin --link TAB vias.shp", 2, "CAMPOTABLA:CAMPOREGISTRO"},
               {"shp2bin --output sal.bin --height 2 vias.shp", 2, "--texts"},
               {"shp2bin --output sal.bin --texts --height alto vias.shp", 2, "no es un número"},
               {"shp2bin --output sal.bin --link TAB:REG prim.shp", 2,
                "primer campo"},  // index 0 means "none"
               {"shp2bin --output sal.bin --encoding KLINGON vias.shp", 2, "KLINGON"},
               {"shp2bin --output sal.bin --texts --text 日本 vias.shp", 2, "Windows-1252"}});
    EXPECT_EQ(Lee(carpeta / "sal.bin"), antes);
}

// What a run cuts or replaces on the way is said by kind, with its first places, and the run
// ends with status 3.
TEST_F(Cli, LossesListedByKindWithTheirFirstPlaces) {
    std::vector<tipo_entidad> codigos(7, Linea("1234567", {{0, 0, 0}, {5, 5, 0}}));
    codigos.push_back(Texto("0901", std::string(60, 'x'), {1000, 2000, 0}, 200, 1050));
    codigos.push_back(Texto("0901", "a\x81", {1000, 2000, 0}, 200, 1050));
    EscribeBin("largos.bin", codigos);
    EscribeShape(carpeta / "nihon.shp", SHPT_POINT, {{"NOMBRE", 'C', 20}},
                 {{{{{1, 2, 0}}},
                   {std::string("\xC5\x81\xC3\xB3"
                                "d\xC5\xBA \xE6\x97\xA5\xE6\x9C\xAC")}}});
    std::ofstream(carpeta / "nihon.cpg") << "UTF-8";
    const std::vector<Vertice> fuera = {
        {0, 0, 0}, {0, 100, 0}, {100, 100, 0}, {100, 0, 0}, {0, 0, 0}};  // clockwise
    const std::vector<Vertice> agujero = {
        {10, 10, 0}, {20, 10, 0}, {20, 20, 0}, {10, 20, 0}, {10, 10, 0}};  // counter-clockwise
    EscribeShape(carpeta / "hueco.shp", SHPT_POLYGON, {{"N", 'N'}},
                 {{{fuera}, {1.0}}, {{fuera, agujero}, {2.0}}, {{}, {3.0}}});
    const std::string sustituidos =
        "caracteres sin equivalente en Windows-1252, escritos como \"?\"";
    const Caso casos[] = {
        {"bin2shp largos.bin", 3,
         " largos.bin: CODIGO cortado a 6 caracteres (7): elemento 1 (1234567); elemento 2 "
         "(1234567); elemento 3 (1234567); elemento 4 (1234567); elemento 5 (1234567); y 2 más\n",
         " largos.bin: TEXT cortado a 50 caracteres: elemento 8\n"},
        {"bin2shp largos.bin", 3,
         " largos.bin: caracteres que Windows-1252 no define, escritos tal cual: elemento 9\n"},
        {"shp2bin --output n.bin --texts --text-field NOMBRE nihon.shp", 3,
         "./nihon.shp: " + sustituidos + ": registro 0\n"},
        {"shp2bin --output h.bin hueco.shp", 3,
         "./hueco.shp: polígonos con agujeros: cada agujero, un polígono relleno aparte: "
         "registro 1\n",
         "./hueco.shp: registros sin geometría, no convertidos: registro 2\n"},
        // Sheets converted at once report their losses as a serial run does.
        {"bin2shp --all-in-folder --jobs 2 largos.bin", 3,
         "./largos.bin: CODIGO cortado a 6 caracteres (7): elemento 1 (1234567); elemento 2 "
         "(1234567); elemento 3 (1234567); elemento 4 (1234567); elemento 5 (1234567); y 2 más\n"},
    };
    Comprueba(std::vector<Caso>(std::begin(casos), std::end(casos)));
}

// A shapefile without its .shx: refused with a message saying how to ask for the index; asked
// for, it is rebuilt away from the user's folder, which is left as it was.
TEST_F(Cli, Shp2BinRestoresAMissingIndexWithoutTouchingItsFolder) {
    fs::create_directories(carpeta / "datos");
    EscribeShape(carpeta / "datos/vias.shp", SHPT_ARC, {{"Codigo", 'C', 6}},
                 {{{{{1, 2, 0}, {3, 4, 0}}}, {std::string("0501")}},
                  {{{{5, 6, 0}, {7, 8, 0}}}, {std::string("0502")}}});
    fs::remove(carpeta / "datos/vias.shx");
    const auto antes = Contenido(carpeta.ruta() / "datos");
    // The index is rebuilt in a private temporary folder: one left by a killed run goes too.
    const fs::path temporales = carpeta / "tmp";
    fs::create_directories(
        temporales /
        (".shx.parvenza-" + std::to_string(parvenza::robustez::PidMuerto()) + "-abcdef"));
    ::setenv("TMPDIR", temporales.c_str(), 1);
    Comprueba({{"shp2bin --output a.bin datos/vias.shp", 1, "--restore-shx"},
               {"shp2bin --output a.bin --restore-shx --texts datos/vias.shp", 0,
                "a.bin: 2 elementos añadidos de 2 registros"}});
    ::setenv("SHAPE_RESTORE_SHX", "YES", 1);
    Comprueba({{"shp2bin --output b.bin --code-field Codigo datos/vias.shp", 0,
                "b.bin: 2 elementos añadidos de 2 registros"}});
    ::unsetenv("SHAPE_RESTORE_SHX");
    ::unsetenv("TMPDIR");
    EXPECT_TRUE(fs::is_empty(temporales));
    EXPECT_EQ(Contenido(carpeta.ruta() / "datos"), antes);
}

TEST_F(Cli, InfoListsElementsAndSaysWhatIsWrong) {
    std::vector<tipo_entidad> v = {
        Linea("P1", {{-5, -6, 7}}),
        Linea("BORRAR", {{1, 1, 1}}),
        Linea("L1", {{0, 0, 0}, {10, 0, 0}}, {{3, 12, "N-II"}}),
        Linea("C1", {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 0}}),
        Texto("40", "A\xF1o", {10, 20, 0}, 0, 0),  // no height: an extent from the point alone
        Linea("FIN", {{2, 2, 2}})};
    EscribeBin("h.bin", v);
    prueba_binshp::BorraElemento(carpeta / "h.bin", 2);
    prueba_binshp::BorraElemento(carpeta / "h.bin", 6);
    ASSERT_EQ(Ejecuta("info h.bin"), 0) << err;
    EXPECT_EQ(out,
              "1 punto código=P1 puntos=1 atributos=[] extensión=(-0.05,-0.06,0.07)-(0,0,0.07)\n"
              "2 línea-abierta código=L1 puntos=2 atributos=[3:12:N-II] "
              "extensión=(0,0,0)-(0.1,0,0)\n"
              "3 línea-cerrada código=C1 puntos=4 atributos=[] extensión=(0,0,0)-(0.1,0.1,0)\n"
              "4 texto código=40 puntos=2 atributos=[] texto=\"A\xC3\xB1o\" "
              "extensión=(0.1,0.2,0)-(0.1,0.2,0)\n"
              "elementos: 4 (puntos 1, líneas abiertas 1, líneas cerradas 1, textos 1), "
              "borrados 2\n"
              "extensión: (-0.05,-0.06,0)-(0.1,0.2,0.07)\n"
              "coordenadas en metros (el BIN en centímetros; --mm si está en milímetros)\n");
    EXPECT_EQ(err, "");
    // The same as JSON, read by Python's parser; millimetres divide by 1000.
    const std::string lector =
        "python3 -c 'import json,sys; d=json.load(open(\"out.txt\")); "
        "print([(e[\"kind\"], e[\"code\"], e[\"points\"], e.get(\"text\"), "
        "[(a[\"table\"], a[\"record\"], a[\"rest\"]) for a in e[\"attributes\"]]) "
        "for e in d[\"elements\"]], d[\"counts\"], d[\"extent\"], d[\"units\"])' >py.txt";
    auto json = [&](const std::string& argumentos) {
        EXPECT_EQ(Ejecuta("info --json " + argumentos), 0) << err;
        EXPECT_EQ(std::system(("cd '" + carpeta.Ruta() + "' && " + lector).c_str()), 0) << out;
        return Lee(carpeta / "py.txt");
    };
    EXPECT_EQ(json("h.bin"),
              "[('point', 'P1', [[-0.05, -0.06, 0.07]], None, []), ('open-line', 'L1', [[0, 0, 0], "
              "[0.1, 0, 0]], None, [(3, 12, 'N-II')]), ('closed-line', 'C1', [[0, 0, 0], [0.1, 0, "
              "0], [0.1, 0.1, 0], [0, 0, 0]], None, []), ('text', '40', [[0.1, 0.2, 0]], 'Año', "
              "[])] {'elements': 4, 'points': 1, 'open_lines': 1, 'closed_lines': 1, 'texts': 1, "
              "'deleted': 2} [[-0.05, -0.06, 0], [0.1, 0.2, 0.07]] m\n");
    EXPECT_NE(json("--mm h.bin").find("[[-0.005, -0.006, 0.007]]"), std::string::npos);
    std::ofstream(carpeta / "vacio.bin") << "";
    std::ofstream(carpeta / "malo.bin", std::ios::binary)
        << std::string("C=X") + std::string(6, '\0') + std::string("\x00\x00\x80", 3) +
               std::string(60, '\0');
    std::ofstream(carpeta / "corrupto.bin", std::ios::binary)
        << std::string("K=") + std::string(58, '\0');
    Comprueba({{"info vacio.bin", 0,
                "elementos: 0 (puntos 0, líneas abiertas 0, líneas cerradas 0, textos 0), "
                "borrados 0\nextensión: ninguna\n"},
               {"info --json vacio.bin", 0, "\"elements\": [],\n"},
               {"info falta.bin", 1, "falta.bin"},
               {"info malo.bin", 1, "malo.bin", "byte 1"},
               {"info corrupto.bin", 1, "corrupto.bin: fichero corrupto..."}});
    EXPECT_FALSE(fs::exists(carpeta / "falta.bin"));
}

TEST_F(Cli, DxfInfoFixturesLayerTableAndBadFiles) {
    std::ofstream(carpeta / "bindxf.tab") << "// codigos\n5001 1001 L 1 CONT 0 Eje\n";
    std::ofstream(carpeta / "mala.tab") << "5001 1001 L\n";
    std::ofstream(carpeta / "cortado.dxf")
        << "  0\nSECTION\n  2\nENTITIES\n  0\nTEXT\n  8\nT\n 10\n1.5\n"
           "  1\nCalle\n  0\nLINE\n  8\nV\n";
    const std::string gdal = "dxfinfo " + Dato("dxf/gdal_writer.dxf");
    Comprueba(
        {{gdal, 0, "1 POLYLINE capa=1001 puntos=3 primero=(100.5,200.25,10) cerrada=no\n",
          "tipos de entidad omitidos: ninguno\n"},
         {gdal, 0, "3 POINT capa=TEXTOS puntos=1 primero=(50,60,0)\n", "100=16"},
         {"dxfinfo " + Dato("dxf/polyline_smooth_crlf.dxf"), 0, "cerrada=sí"},
         {"dxfinfo " + Dato("dxf/entities_only.dxf"), 0,
          "entidades: 2 (líneas 0, polilíneas 0, puntos 2, textos 0)"},
         {"dxfinfo --json " + Dato("dxf/entities_only.dxf"), 0,
          "{\"entities\": [\n  {\"type\": \"POINT\", \"layer\": \"POINTS\", \"closed\": false, "
          "\"points\": [[672500, 242000, 539.986]]},"},
         {"dxfinfo --json " + Dato("dxf/unicode_texts.dxf"), 0,
          "\"layer\": \"Tsch\xC3\xBCss mit \xC3\xBC\", \"closed\": false, \"points\": [[1.5, 2.25, "
          "0]], \"text\": \"Tsch\xC3\xBCss ?mega \xE2\x82\xAC ??\", \"height\": 2.5, "
          "\"rotation\": 0, \"justification\": 8}",
          "\"text\": \"A\xC3\xB1o ? dos\", \"height\": 0.5, \"rotation\": 0, "
          "\"justification\": 8}\n],\n \"skipped\": {\"entities\": {}, \"groups\": "
          "{\"5\": 3, \"100\": 8}},\n \"replaced_characters\": 4}\n"},
         {"dxfinfo --json " + Dato("dxf/binary_r12.dxf"), 1, "DXF binario"},
         {gdal + " --layers bindxf.tab", 0, "capa=1001 código=5001 "},
         {"dxfinfo " + Dato("dxf/polyline_smooth.dxf") + " --layers bindxf.tab", 0,
          "capa=1 código=- "},
         {"dxfinfo cortado.dxf", 1,
          "1 TEXT capa=T puntos=1 primero=(1.5,0,0) texto=\"Calle\" altura=0 anchura=0",
          "cortado.dxf: fin de fichero"},
         {"dxfinfo no.dxf", 1, "No se encuentra el fichero"},
         {gdal + " --layers mala.tab", 1, "Error en formato de fichero"}});
}

// Every entity the reader loads becomes one element: its code from the layer table (or --code,
// counted per layer), its points in centimetres rounded halves to even, a closed outline ending
// on its first point, a text with its height, justification and rotation.
TEST_F(Cli, Dxf2BinMatchesTheDrawingEntityForEntity) {
    std::ofstream(carpeta / "bindxf.tab") << "// capas\n5001 0 T 1 CONT 0 Textos\n"
                                             "5002 BORDERS L 1 CONT 0 Bordes\n"
                                             "5003 INSERT_POINTS L 1 CONT 0 Marcas\n";
    const std::map<std::string, std::string> codigos = {
        {"0", "5001"}, {"BORDERS", "5002"}, {"INSERT_POINTS", "5003"}};
    const char* dibujos[] = {"text_alignments.dxf", "usa_lwpolyline.dxf"};
    std::vector<dornavel::tipo_ElementoDxf> entidades;
    for (const char* d : dibujos) {
        dornavel::clsFicheroDxf dxf;
        const std::string ruta = PARVENZA_TEST_DATA "/dxf/" + std::string(d);
        int32_t n = 0;
        std::vector<dornavel::tipo_ElementoDxf> v;
        dxf.AbreFicheroDxf(ruta, n);
        dxf.CargaFicheroDxf(ruta, v, n);
        dxf.CierraFicheroDxf(ruta, n);
        entidades.insert(entidades.end(), v.begin(), v.end());
    }
    const std::string entrada =
        Dato("dxf/text_alignments.dxf") + " " + Dato("dxf/usa_lwpolyline.dxf");
    ASSERT_EQ(Ejecuta("dxf2bin --layers bindxf.tab --output hoja.bin " + entrada), 0) << err;
    EXPECT_EQ(out, "hoja.bin: 117 elementos de 117 entidades DXF\n");
    const auto elementos = LeeBin(carpeta / "hoja.bin");
    ASSERT_EQ(elementos.size(), entidades.size());
    auto cm = [](const dornavel::GCoord& c) {
        return brisquel::Fpunto3d{int32_t(std::nearbyint(c.X * 100)),
                                  int32_t(std::nearbyint(c.Y * 100)),
                                  int32_t(std::nearbyint(c.Z * 100))};
    };
    for (std::size_t i = 0; i < entidades.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& d = entidades[i];
        const auto& e = elementos[i];
        std::vector<brisquel::Fpunto3d> puntos;
        if (d.Tipo == "LINE") puntos = {cm(d.Line.G10_Coord), cm(d.Line.G11_Coord)};
        if (d.Tipo == "TEXT") puntos = {cm(d.Text.G11_Coord)};
        for (const auto& v :
             d.Tipo == "POLYLINE" ? d.Polyline.Gvertices : std::vector<dornavel::VERTEX_dxf>{})
            puntos.push_back(cm(v.G10_Coord));
        if (d.Polyline.G70_Cerrada == "1") puntos.push_back(puntos.front());
        const std::string& capa = d.Tipo == "LINE"       ? d.Line.G8_capa
                                  : d.Tipo == "POLYLINE" ? d.Polyline.G8_capa
                                                         : d.Text.G8_capa;
        EXPECT_EQ(Codigo(e), codigos.at(capa));
        EXPECT_EQ(e.elemento.cabecera.tipo, d.Tipo == "TEXT" ? "T=" : "C=");
        EXPECT_EQ(e.elemento.coordenadas, puntos);
        if (d.Tipo != "TEXT") continue;
        const auto& c = d.Text.G40_caract;
        EXPECT_EQ(e.Propiedad.texto, d.Text.G1_texto);
        EXPECT_EQ(e.elemento.rango.xlib, std::nearbyint(c.G40_ancho * 100));  // group 40
        EXPECT_EQ(e.elemento.rango.ylib, fenoquia::JustificacionDxf(c.G72_justH, c.G73_justV));
        EXPECT_EQ(e.elemento.rango.zlib, std::nearbyint(c.G50_rotac * 100));
    }

    // Layers the table lacks take --code and are counted; millimetres; a binary file fails and
    // leaves the BIN file as it was.
    std::ofstream(carpeta / "corta.tab") << "5001 0 T 1 CONT 0 Textos\n";
    const auto antes = Lee(carpeta / "hoja.bin");
    Comprueba({{"dxf2bin --layers corta.tab --output hoja.bin " + entrada + " " +
                    Dato("dxf/binary_r12.dxf"),
                1, "DXF binario"}});
    EXPECT_EQ(Lee(carpeta / "hoja.bin"), antes);
    Comprueba({{"dxf2bin --layers corta.tab --code 77 --mm --output mm.bin " + entrada, 0,
                "capas que no estan en la tabla (codigo 77): BORDERS=59 INSERT_POINTS=32\n"},
               {"dxf2bin --layers corta.tab --output hoja.bin " + Dato("dxf/polyface_3d.dxf"), 3,
                "polyface_3d.dxf: entidades INSERT, de una clase que no se convierte (2)\n"},
               {"dxf2bin --layers corta.tab --code 12345678 --output x.bin a.dxf", 2, "--code"},
               {"dxf2bin --layers falta.tab --output x.bin a.dxf", 1, "falta.tab"}});
    EXPECT_EQ(LeeBin(carpeta / "mm.bin")[58].elemento.coordenadas[0].x, -20820);
    EXPECT_EQ(Codigo(LeeBin(carpeta / "mm.bin")[58]), "77");
}

}  // namespace
