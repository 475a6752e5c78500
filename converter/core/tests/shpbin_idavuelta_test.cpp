// BIN -> shapefile layers -> BIN: what the two conversions give back.
//
// Survives: every point (x, y, z in 3D layers), codes of up to 6 characters, texts and their
// insertion point and rotation. Lost on the way, by the layers' schema: attribute links, text
// height and justification (not in the layers; the default boxes give them back), codes of
// 7 characters (the CODIGO field holds 6). Polygon rings come back clockwise, so a ring drawn
// the other way returns with its points reversed.

#include <gtest/gtest.h>

#include "converter/core/BinShp.h"
#include "converter/core/ShpBin.h"
#include "converter/core/tests/shpbin_ayuda.h"

namespace parvenza {
namespace {

using namespace prueba;
using brisquel::Fpunto3d;
using brisquel::tipo_entidad;

tipo_entidad Linea(const std::string& codigo, std::vector<Fpunto3d> puntos) {
    tipo_entidad e;
    e.elemento.cabecera.tipo = "C=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.cabecera.npuntos = static_cast<int16_t>(puntos.size());
    e.elemento.coordenadas = std::move(puntos);
    return e;
}

class IdaYVuelta : public ::testing::Test {
protected:
    // Converts one layer back into its own BIN file.
    std::vector<tipo_entidad> Vuelta(const std::string& sufijo, bool textos = false) {
        OpcionesShpBin o;
        o.ficheroShp = carpeta / ("hoja" + sufijo + ".shp");
        o.ficheroBin = carpeta / ("vuelta" + sufijo + ".bin");
        ShpElegido(o.seleccion, o.ficheroShp, carpeta.Ruta());
        EligeTablaDbf1(o.seleccion, 9, "1 CODIGO");
        if (textos) {
            o.chkTextos = true;
            EligeTablaDbfTexto(o.seleccion, 0, "2 TEXT");
            EligeTablaDbfTexto(o.seleccion, 3, "3 ROTATION");
            o.txtTextoAltura = "2";
        }
        PuertoAnotador puerto;
        const ResultadoShpBin r = ReadShape(o, puerto);
        EXPECT_TRUE(r.escrito) << r.error;
        EXPECT_TRUE(r.registrosErroneos.empty());
        return LeeBin(o.ficheroBin);
    }
    Carpeta carpeta;
};

TEST_F(IdaYVuelta, PuntosCodigosYTextosVuelvenIguales) {
    std::vector<tipo_entidad> ida;
    ida.push_back(Linea("1001", {{-150, 4000, 12}, {250, 4100, 15}, {300, -4200, -7}}));
    ida.back().elemento.atributos = {{3, 77, ""}};
    ida.back().elemento.cabecera.natr = 1;
    ida.push_back(Linea("1002", {{0, 0, 5}, {0, 1000, 5}, {1000, 1000, 5}, {1000, 0, 5}, {0, 0, 5}}));
    ida.push_back(Linea("1003", {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 1000, 0}, {0, 0, 0}}));
    ida.push_back(Linea("1004", {{123456789, 418234567, 9}}));
    tipo_entidad texto;
    texto.elemento.cabecera.tipo = "T=";
    texto.elemento.cabecera.codigo = "1005";
    texto.elemento.coordenadas = {{5000, 6000, 0}};
    texto.elemento.rango.xlib = 200;
    texto.elemento.rango.zlib = 4550;
    brisquel::FicheroDigi digi;
    std::string cadena = "Plaza Mayor de Mérida";
    digi.ModificaTextoEntidad(cadena, texto);
    ida.push_back(texto);
    const std::string bin = carpeta / "hoja.bin";
    digi.CreaFicheroDigi(bin, ida);
    ida = LeeBin(bin);

    OpcionesBinShp o;
    o.ficheros = {bin};
    o.binElegido = true;
    o.dosD = false;
    PuertoAnotador puerto;
    ASSERT_TRUE(ProcesarBinShp(o, puerto).ejecutado);

    const auto lineas = Vuelta("_L");
    ASSERT_EQ(lineas.size(), 1u);
    EXPECT_EQ(Codigo(lineas[0]), "1001");
    EXPECT_EQ(lineas[0].elemento.coordenadas, ida[0].elemento.coordenadas);
    EXPECT_EQ(lineas[0].elemento.cabecera.natr, 0);  // links are not in the layers

    const auto poligonos = Vuelta("_P");
    ASSERT_EQ(poligonos.size(), 2u);
    EXPECT_EQ(Codigo(poligonos[0]), "1002");
    EXPECT_EQ(poligonos[0].elemento.coordenadas, ida[1].elemento.coordenadas);  // drawn clockwise
    auto alReves = ida[2].elemento.coordenadas;
    std::reverse(alReves.begin(), alReves.end());
    EXPECT_EQ(poligonos[1].elemento.coordenadas, alReves);

    const auto puntos = Vuelta("_X");
    ASSERT_EQ(puntos.size(), 1u);
    EXPECT_EQ(puntos[0].elemento.coordenadas, ida[3].elemento.coordenadas);

    const auto textos = Vuelta("_TL", true);
    ASSERT_EQ(textos.size(), 1u);
    const tipo_entidad& t = textos[0];
    EXPECT_EQ(t.elemento.cabecera.tipo, "T=");
    EXPECT_EQ(Codigo(t), "1005");
    EXPECT_EQ(t.Propiedad.texto, "Plaza Mayor de Mérida");
    EXPECT_EQ(t.elemento.textos.size(), ida[4].elemento.textos.size());
    EXPECT_EQ(t.elemento.coordenadas[0], ida[4].elemento.coordenadas[0]);
    EXPECT_EQ(t.elemento.rango.zlib, 4550);
    EXPECT_EQ(t.elemento.rango.xlib, 200);  // from the height box, not from the layer
}

}  // namespace
}  // namespace parvenza
