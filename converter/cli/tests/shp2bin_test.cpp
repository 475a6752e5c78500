// parvenza-cli shp2bin run as a program on shapefiles written here.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "converter/core/tests/shpbin_ayuda.h"

namespace {

using namespace parvenza::prueba;

struct Salida {
    int estado = -1;
    std::string out, err;
};

std::string Lee(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

class Shp2BinCli : public ::testing::Test {
protected:
    void SetUp() override {
        EscribeShape(carpeta / "vias.shp", SHPT_ARC,
                     {{"Codigo", 'C', 6}, {"TAB", 'N', 4}, {"REG", 'N', 8}, {"RESTO", 'C', 6}, {"COTA", 'N', 8, 2},
                      {"FECHA", 'D', 8}},
                     {{{{{1, 2, 0}, {3, 4, 0}}}, {std::string("0501"), 4.0, 10.0, std::string("X1"), 12.5, std::string("20200101")}},
                      {{{{5, 6, 0}, {7, 8.125, 0}}}, {std::string("0502"), 5.0, 11.0, std::string("X2"), 0.0, std::string("20200101")}}});
    }
    Salida Ejecuta(const std::string& argumentos) {
        const std::string orden = "cd '" + carpeta.Ruta() + "' && " + std::string(PARVENZA_CLI) + " shp2bin " +
                                  argumentos + " >out.txt 2>err.txt";
        Salida s;
        const int r = std::system(orden.c_str());
        s.estado = WIFEXITED(r) ? WEXITSTATUS(r) : -1;
        s.out = Lee(carpeta / "out.txt");
        s.err = Lee(carpeta / "err.txt");
        return s;
    }
    Carpeta carpeta;
};

TEST_F(Shp2BinCli, CamposPorNombreEnlacesEnElOrdenDadoYMilimetros) {
    const Salida s = Ejecuta("--output sal.bin --mm --code-field codigo --z-field COTA "
                             "--rest-field RESTO --link tab:reg vias.shp");
    ASSERT_EQ(s.estado, 0) << s.err;
    EXPECT_EQ(s.out, "sal.bin: 2 elements from 2 records\n");
    const auto e = LeeBin(carpeta / "sal.bin");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(Codigo(e[0]), "0501");
    EXPECT_EQ(e[0].elemento.coordenadas[1], (brisquel::Fpunto3d{3000, 4000, 12500}));
    EXPECT_EQ(e[1].elemento.coordenadas[1], (brisquel::Fpunto3d{7000, 8125, 0}));
    ASSERT_EQ(e[0].elemento.cabecera.natr, 2);
    EXPECT_EQ(e[0].elemento.atributos[0].resto.substr(0, 2), "X1");  // attribute 1: the rest
    EXPECT_EQ(e[0].elemento.atributos[1].idTabla, 4);                 // attribute 2: the link
    EXPECT_EQ(e[0].elemento.atributos[1].nregistro, 10);

    // Defaults: code 140100, centimetres; a second run appends.
    ASSERT_EQ(Ejecuta("--output sal.bin vias.shp").estado, 0);
    const auto dos = LeeBin(carpeta / "sal.bin");
    ASSERT_EQ(dos.size(), 4u);
    EXPECT_EQ(Codigo(dos[2]), "140100");
    EXPECT_EQ(dos[3].elemento.coordenadas[1], (brisquel::Fpunto3d{700, 812, 0}));
}

TEST_F(Shp2BinCli, TextosConCajasYCampos) {
    EscribeShape(carpeta / "rot.shp", SHPT_POINT, {{"NOMBRE", 'C', 20}, {"GIRO", 'N', 6, 1}},
                 {{{{{10, 20, 0}}}, {std::string("Rio Tajo"), 90.0}}});
    const Salida s = Ejecuta("--output t.bin --texts --text-field nombre --rotation-field GIRO "
                             "--height 3 --justification 4 --code 7001 rot.shp");
    ASSERT_EQ(s.estado, 0) << s.err;
    const auto e = LeeBin(carpeta / "t.bin");
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Propiedad.texto, "Rio Tajo");
    EXPECT_EQ(Codigo(e[0]), "7001");
    EXPECT_EQ(e[0].elemento.rango.xlib, 300);
    EXPECT_EQ(e[0].elemento.rango.ylib, 4);
    EXPECT_EQ(e[0].elemento.rango.zlib, 9000);

    // Texts and field names typed in UTF-8 meet the file's Windows-1252.
    EscribeShape(carpeta / "anio.shp", SHPT_POINT, {{"A\xD1O", 'N', 6}}, {{{{{1, 2, 0}}}, {2024.0}}});
    ASSERT_EQ(Ejecuta("--output a.bin --texts --text Peñón --code-field AÑO anio.shp").estado, 0);
    const auto a = LeeBin(carpeta / "a.bin");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].Propiedad.texto, "Pe\xF1\xF3n");
    EXPECT_EQ(Codigo(a[0]), "2024");
}

TEST_F(Shp2BinCli, ErroresDeLaLineaDeOrdenes) {
    const std::string antes = "contenido previo";
    std::ofstream(carpeta / "sal.bin") << antes;
    struct Caso {
        std::string argumentos;
        std::string mensaje;
    };
    const Caso casos[] = {
        {"--output sal.bin --code-field NOHAY vias.shp", "has no such field"},
        {"--output sal.bin --link FECHA:REG vias.shp", "not numeric"},
        {"--output sal.bin --link Codigo:REG vias.shp", "not numeric"},
        {"--output sal.bin --link TAB vias.shp", "TABLEFIELD:RECORDFIELD"},
        {"--output sal.bin --height 2 vias.shp", "--texts"},
        {"--output sal.bin --code 1 --code-field Codigo vias.shp", "excludes"},
        {"--output sal.bin --texts --height alto vias.shp", "not a number"},
        {"--output sal.bin nohay.shp", "nohay.shp"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.argumentos);
        const Salida s = Ejecuta(c.argumentos);
        EXPECT_NE(s.estado, 0);
        EXPECT_NE(s.err.find(c.mensaje), std::string::npos) << s.err;
        EXPECT_EQ(Lee(carpeta / "sal.bin"), antes);
    }
    // The table's first field cannot give the table number: its index 0 means "none".
    EscribeShape(carpeta / "prim.shp", SHPT_POINT, {{"TAB", 'N', 4}, {"REG", 'N', 4}}, {{{{{1, 1, 0}}}, {1.0, 1.0}}});
    Salida s = Ejecuta("--output sal.bin --link TAB:REG prim.shp");
    EXPECT_EQ(s.estado, 2);
    EXPECT_NE(s.err.find("first field"), std::string::npos) << s.err;

    // A shapefile without its table, and a BIN file that cannot be written.
    std::filesystem::remove(carpeta / "prim.dbf");
    s = Ejecuta("--output sal.bin prim.shp");
    EXPECT_EQ(s.estado, 1);
    EXPECT_NE(s.err.find("prim.dbf"), std::string::npos) << s.err;
    s = Ejecuta("--output no/hay/sal.bin vias.shp");
    EXPECT_EQ(s.estado, 1);
    EXPECT_NE(s.err.find("No se ha podido grabar el fichero BIN"), std::string::npos) << s.err;
    EXPECT_EQ(Lee(carpeta / "sal.bin"), antes);
}

TEST_F(Shp2BinCli, LosRegistrosErroneosSeListanEnLineasPropias) {
    EscribeShape(carpeta / "lejos.shp", SHPT_POINT, {{"N", 'N'}},
                 {{{{{1, 1, 0}}}, {1.0}}, {{{{3e7, 1, 0}}}, {1.0}}, {{{{2, 2, 0}}}, {1.0}}});
    const Salida s = Ejecuta("--output l.bin lejos.shp");
    EXPECT_EQ(s.estado, 0);
    EXPECT_EQ(s.out, "l.bin: 2 elements from 3 records, 1 records left out\n");
    EXPECT_NE(s.err.find("Se han encontrado 1 errores en la conversión\nEntidades erróneas : \n / 1"),
              std::string::npos)
        << s.err;
}

}  // namespace
