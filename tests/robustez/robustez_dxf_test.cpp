// DXF drawings and layer tables that no CAD program should write: every load ends, with the
// entities it could read or with the reader's error naming the file.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "dxf/Mensajes.h"
#include "dxf/clsFicheroDxf.h"
#include "tests/robustez/Robustez.h"

namespace {

using namespace dornavel;
using namespace parvenza::robustez;

class DxfMalo : public Carpeta {
  protected:
    // Loads `contenido` into `el` (emptied first); returns the error number (0 when the load ended
    // at EOF).
    int Carga(const std::string& contenido) {
        const std::string ruta = Ruta("d.dxf");
        Escribe(ruta, contenido);
        clsFicheroDxf dxf;
        int32_t n = 0, numero = 0;
        dxf.AbreFicheroDxf(ruta, n);
        el.clear();
        try {
            dxf.CargaFicheroDxf(ruta, el, n);
        } catch (const DxfError& e) {
            numero = e.numero();
            EXPECT_NE(std::string(e.what()).find(ruta), std::string::npos) << e.what();
        }
        omitidos = dxf.Resumen().TiposOmitidos;
        dxf.CierraFicheroDxf(ruta, n);
        return numero;
    }
    std::vector<tipo_ElementoDxf> el;
    std::map<std::string, int64_t> omitidos;
};

std::string Entidades(const std::string& cuerpo) {
    return "  0\nSECTION\n  2\nENTITIES\n" + cuerpo + "  0\nENDSEC\n  0\nEOF\n";
}
const std::string kLinea = "  0\nLINE\n  8\nC\n 10\n1\n 20\n2\n 11\n3\n 21\n4\n";

TEST_F(DxfMalo, EntidadesDesconocidasYSueltasSeSaltan) {
    // Unknown entities before, between and as the last one of the section.
    EXPECT_EQ(Carga(Entidades("  0\nSPLINE\n 10\n0\n 40\n1\n" + kLinea + "  0\nINSERT\n  2\nB\n" +
                              kLinea + "  0\nHATCH\n")),
              0);
    EXPECT_EQ(el.size(), 2u);
    EXPECT_EQ(omitidos,
              (std::map<std::string, int64_t>{{"HATCH", 1}, {"INSERT", 1}, {"SPLINE", 1}}));
    // VERTEX and SEQEND with no POLYLINE around them are entities the reader does not convert.
    EXPECT_EQ(Carga(Entidades("  0\nVERTEX\n 10\n1\n  0\nSEQEND\n" + kLinea)), 0);
    ASSERT_EQ(el.size(), 1u);
    EXPECT_EQ(el[0].Tipo, "LINE");
    // A POLYLINE that the file ends inside, with no SEQEND: the end-of-file error.
    EXPECT_EQ(Carga("  0\nSECTION\n  2\nENTITIES\n  0\nPOLYLINE\n 70\n1\n  0\nVERTEX\n 10\n1\n"),
              62);
    // Without EOF after a complete section: the entities read so far stay.
    EXPECT_EQ(Carga("  0\nSECTION\n  2\nENTITIES\n" + kLinea + "  0\nENDSEC\n"), 62);
    EXPECT_EQ(el.size(), 1u);
}

TEST_F(DxfMalo, ValoresQueNoSonNumeros) {
    for (const char* malo : {"abc", "", "1e400", "nan", "inf", "0x10", "1,5", "--1"})
        EXPECT_EQ(Carga(Entidades("  0\nLINE\n 10\n" + std::string(malo) + "\n")), 13) << malo;
    for (const char* fuera : {"300", "-1"})  // a justification that does not fit a byte
        EXPECT_EQ(Carga(Entidades("  0\nTEXT\n 72\n" + std::string(fuera) + "\n")), 6) << fuera;
    EXPECT_EQ(Carga(Entidades("  0\nPOLYLINE\n 70\nuno\n  0\nSEQEND\n")), 13);
    EXPECT_EQ(Carga(Entidades("  0\nLWPOLYLINE\n 20\n1\n 10\n1\n")), 13);  // y before its x
    // Angles and bulges far out of range still give a bounded arc.
    EXPECT_EQ(
        Carga(Entidades("  0\nARC\n 40\n1\n 50\n1e300\n 51\n-1e300\n  0\nLWPOLYLINE\n"
                        " 70\n1\n 10\n0\n 20\n0\n 42\n1e300\n 10\n1\n 20\n0\n 42\n-1e-300\n")),
        0);
    ASSERT_EQ(el.size(), 2u);
    EXPECT_LE(el[0].Polyline.Gvertices.size(), 91u);
    EXPECT_LE(el[1].Polyline.Gvertices.size(), 92u);
}

TEST_F(DxfMalo, FicherosQueNoSonDxf) {
    // Empty, half a pair, binary bytes, one long line; lone CR line ends.
    for (const std::string& malo :
         {std::string(), std::string("  0\n"), std::string("\0\0\0\n\x80\xff\n", 8),
          std::string(1 << 20, 'x')})
        EXPECT_EQ(Carga(malo), 62) << malo.size();
    EXPECT_EQ(Carga("999\rnota\r  0\rEOF\r"), 0);
    // Group codes that are not numbers are passed over like unknown ones.
    EXPECT_EQ(Carga(Entidades("  0\nLINE\nxx\n1\n-5\n2\n 10\n7\n")), 0);
    ASSERT_EQ(el.size(), 1u);
    EXPECT_EQ(el[0].Line.G10_Coord.X, 7);
}

// Every fixture from another program cut after any of its lines: the load ends, with the
// entities or with the reader's own error, never with a crash, a hang or another exception.
TEST_F(DxfMalo, CadaCorteDeLosFicherosDeOtrosProgramasTermina) {
    for (const char* nombre :
         {"polyline_smooth.dxf", "polyline_smooth_crlf.dxf", "entities_only.dxf", "gdal_writer.dxf",
          "polylines_ocs_bulge.dxf", "usa_lwpolyline.dxf", "unicode_texts.dxf"}) {
        std::ifstream in(std::string(PARVENZA_TEST_DATA "/dxf/") + nombre, std::ios::binary);
        std::vector<std::string> lineas;
        for (std::string l; std::getline(in, l);) lineas.push_back(l + "\n");
        size_t desde = 0,
               hasta = lineas.size();  // in the long file, the cuts around its ENTITIES section
        for (size_t i = 0; i < lineas.size() && lineas.size() > 1000; ++i)
            if (lineas[i].rfind("ENTITIES", 0) == 0)
                desde = i > 10 ? i - 10 : 0, hasta = std::min(lineas.size(), i + 90);
        std::string prefijo;
        for (size_t i = 0; i < desde; ++i) prefijo += lineas[i];
        for (size_t corte = desde; corte <= hasta;
             prefijo += corte < hasta ? lineas[corte] : "", ++corte) {
            const int numero = Carga(prefijo);
            EXPECT_TRUE(numero == 0 || numero == parvenza::kLecturaTrasFin ||
                        numero == parvenza::kTipoNoCoincide)
                << nombre << " cut at line " << corte;
        }
    }
}

TEST_F(DxfMalo, TablaDeCapasMala) {
    std::vector<std::string> mensajes;
    EstableceMensajero([&](const std::string& t) { mensajes.push_back(t); });
    clsFicheroDxf dxf;
    std::vector<BinDxfTab> tabla;
    bool error = false;
    const std::string ruta = Ruta("bindxf.tab");
    Escribe(ruta, "");
    try {
        dxf.CargoFicheroBinDxfTab(ruta, tabla, error);
        ADD_FAILURE() << "an empty layer table loaded";
    } catch (const DxfError& e) {
        EXPECT_EQ(e.numero(), parvenza::kLecturaTrasFin);
    }
    // Binary bytes make words like any others; a line of separators only is a data line
    // without words: the format message at its line, and an empty last entry.
    Escribe(ruta, "1 2 3 4 5 6 7\n" + std::string("\x80\xff\0 a b c d e f\n", 16) +
                      " ;,\t\"\x14\n1 2 3 4 5 6 7\n");
    dxf.CargoFicheroBinDxfTab(ruta, tabla, error);
    EXPECT_TRUE(error);
    EXPECT_EQ(mensajes, std::vector<std::string>{"Error en formato de fichero : " + ruta +
                                                 " en la l\xC3\xADnea : 3"});
    ASSERT_EQ(tabla.size(), 3u);
    EXPECT_EQ(tabla[1].codigobin, std::string("\x80\xff\0", 3));
    EXPECT_EQ(tabla[2].codigobin, "");
    EstableceMensajero(nullptr);
}

}  // namespace
