// ReadShape on shapefiles written by other programs, on damaged ones, and the failures that
// must leave the BIN file as it was.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <iostream>
#include <iterator>

#include "converter/core/ShpBin.h"
#include "converter/core/tests/shpbin_ayuda.h"

namespace parvenza {
namespace {

using namespace prueba;

const std::string kDatos = std::string(PARVENZA_TEST_DATA) + "/shapefiles/";

std::string Contenido(const std::string& ruta) {
    std::ifstream f(ruta, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

class ShpBinFicheros : public ::testing::Test {
protected:
    // Copies a fixture (whichever of its files exist) into the test's folder.
    std::string Copia(const std::string& nombre) {
        for (const char* ext : {".shp", ".shx", ".dbf", ".cpg", ".prj"})
            if (fs::exists(kDatos + nombre + ext)) fs::copy_file(kDatos + nombre + ext, carpeta / (nombre + ext));
        return carpeta / (nombre + ".shp");
    }
    ResultadoShpBin Convierte(const std::string& shp) {
        o.ficheroShp = shp;
        o.ficheroBin = carpeta / "salida.bin";
        ShpElegido(o.seleccion, shp, carpeta.Ruta());
        return ReadShape(o, puerto);
    }
    Carpeta carpeta;
    OpcionesShpBin o;
    PuertoAnotador puerto;
};

TEST_F(ShpBinFicheros, PoligonosConAgujerosYVariasPartesDanUnElementoPorAnillo) {
    const auto r = Convierte(Copia("polygons"));
    ASSERT_TRUE(r.escrito) << r.error;
    const auto e = LeeBin(o.ficheroBin);
    ASSERT_EQ(e.size(), 5u);  // 1 ring, outer ring and hole, two rings
    for (const auto& el : e) {
        EXPECT_EQ(el.elemento.cabecera.npuntos, 5);
        EXPECT_TRUE(el.Propiedad.EsCerrado);
    }
    // The hole, in file order after its outer ring.
    EXPECT_EQ(e[2].elemento.coordenadas[0], (brisquel::Fpunto3d{100, 100, 0}));
    EXPECT_EQ(e[4].elemento.coordenadas[0], (brisquel::Fpunto3d{400, 400, 0}));
}

TEST_F(ShpBinFicheros, CadaPuntoDeUnMultipuntoEsUnElementoPunto) {
    const auto r = Convierte(Copia("multipoints"));
    ASSERT_TRUE(r.escrito);
    const auto e = LeeBin(o.ficheroBin);
    ASSERT_EQ(e.size(), 10u);
    for (const auto& el : e) EXPECT_TRUE(el.Propiedad.EsPunto);
    EXPECT_EQ(e[9].elemento.coordenadas[0], (brisquel::Fpunto3d{1900, 2000, 0}));
}

TEST_F(ShpBinFicheros, TiposMSinIndiceNiTablaSeRechazanYConEllosSeLeenConZCero) {
    for (const char* nombre : {"pointm", "polylinem", "polygonm", "multipointm"}) {
        SCOPED_TRACE(nombre);
        const std::string shp = Copia(nombre);
        puerto = {};
        const auto r = Convierte(shp);
        EXPECT_FALSE(r.escrito);
        ASSERT_EQ(puerto.mensajes.size(), 1u);
        EXPECT_TRUE(puerto.criticos[0]);
        EXPECT_NE(puerto.mensajes[0].find(nombre), std::string::npos) << puerto.mensajes[0];
        EXPECT_FALSE(fs::exists(o.ficheroBin));
        EXPECT_NE(puerto.procesos.back(), "Proceso Terminado");

        // With the index rebuilt and a table beside it the file converts.
        SAHooks hooks;
        SASetupDefaultHooks(&hooks);
        ASSERT_TRUE(SHPRestoreSHX(shp.c_str(), "rb", &hooks));
        SHPHandle h = SHPOpen(shp.c_str(), "rb");
        ASSERT_NE(h, nullptr);
        const int n = h->nRecords;
        SHPClose(h);
        DBFHandle dbf = DBFCreate((shp.substr(0, shp.size() - 4) + ".dbf").c_str());
        DBFAddField(dbf, "ID", FTInteger, 5, 0);
        for (int i = 0; i < n; ++i) DBFWriteIntegerAttribute(dbf, i, 0, i);
        DBFClose(dbf);
        puerto = {};
        const auto bien = Convierte(shp);
        ASSERT_TRUE(bien.escrito) << bien.error;
        const auto e = LeeBin(o.ficheroBin);
        ASSERT_FALSE(e.empty());
        for (const auto& el : e)
            for (const auto& p : el.elemento.coordenadas) EXPECT_EQ(p.z, 0);
        fs::remove(o.ficheroBin);
    }
}

TEST_F(ShpBinFicheros, FormasNulasFechasLogicosYTextoLatin1) {
    auto r = Convierte(Copia("null"));
    ASSERT_TRUE(r.escrito);
    EXPECT_EQ(LeeBin(o.ficheroBin).size(), 5u);  // 9 records, 4 of them null shapes
    EXPECT_TRUE(r.registrosErroneos.empty());
    fs::remove(o.ficheroBin);

    // A date as the first field is not a Z value: the vertices keep theirs.
    o.chkCotas = true;
    r = Convierte(Copia("date-property"));
    ASSERT_TRUE(r.escrito);
    for (const auto& el : LeeBin(o.ficheroBin)) EXPECT_EQ(el.elemento.coordenadas[0].z, 0);
    fs::remove(o.ficheroBin);
    r = Convierte(Copia("boolean-property"));
    ASSERT_TRUE(r.escrito);
    EXPECT_EQ(LeeBin(o.ficheroBin).size(), 9u);
    fs::remove(o.ficheroBin);

    // The text's bytes go to the BIN file as they are (Windows-1252 there too).
    o.chkCotas = false;
    o.chkTextos = true;
    o.seleccion = {};
    EligeTablaDbfTexto(o.seleccion, 0, "0 name");
    r = Convierte(Copia("latin1-property"));
    ASSERT_TRUE(r.escrito);
    const auto e = LeeBin(o.ficheroBin);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].Propiedad.texto, "M\xE9xico");

    // A table that declares UTF-8 has its texts brought to Windows-1252; characters the code
    // page lacks become "?".
    fs::remove(o.ficheroBin);
    r = Convierte(Copia("utf8-property"));
    ASSERT_TRUE(r.escrito);
    EXPECT_EQ(LeeBin(o.ficheroBin)[0].Propiedad.texto, "????? ?????");
    fs::remove(o.ficheroBin);
    EscribeShape(carpeta / "anio.shp", SHPT_POINT, {{"T", 'C', 10}}, {{{{{1, 1, 0}}}, {std::string("A\xC3\xB1o")}}});
    std::ofstream(carpeta / "anio.cpg") << "UTF-8";
    r = Convierte(carpeta / "anio.shp");
    ASSERT_TRUE(r.escrito);
    EXPECT_EQ(LeeBin(o.ficheroBin)[0].Propiedad.texto, "A\xF1o");
}

TEST_F(ShpBinFicheros, UnShapeVacioNoAnadeNadaYLoQueHabiaSeConserva) {
    o.ficheroBin = carpeta / "salida.bin";
    EscribeShape(carpeta / "uno.shp", SHPT_POINT, {{"N", 'N'}}, {{{{{1, 1, 0}}}, {1.0}}});
    o.ficheroShp = carpeta / "uno.shp";
    ASSERT_TRUE(ReadShape(o, puerto).escrito);
    const std::string antes = Contenido(o.ficheroBin);
    EXPECT_EQ(antes.size(), 60u);

    const auto r = Convierte(Copia("empty"));
    ASSERT_TRUE(r.escrito) << r.error;
    EXPECT_EQ(r.elementos, 0);
    EXPECT_EQ(Contenido(o.ficheroBin), antes);
    EXPECT_TRUE(puerto.mensajes.empty());

    // Running twice appends twice.
    o.ficheroShp = carpeta / "uno.shp";
    ASSERT_TRUE(ReadShape(o, puerto).escrito);
    EXPECT_EQ(Contenido(o.ficheroBin), antes + antes);
}

TEST_F(ShpBinFicheros, UnRegistroIlegibleSeCuentaYLosDemasSeConvierten) {
    const std::string shp = carpeta / "rotos.shp";
    std::vector<Registro> registros;
    for (int i = 0; i < 4; ++i) registros.push_back({{{{double(i), 0, 0}, {double(i), 1, 0}}}, {double(i)}});
    EscribeShape(shp, SHPT_ARC, {{"N", 'N'}}, registros);
    // Give the third record an impossible part count.
    {
        std::fstream shx(carpeta / "rotos.shx", std::ios::in | std::ios::out | std::ios::binary);
        unsigned char b[4];
        shx.seekg(100 + 8 * 2);
        shx.read(reinterpret_cast<char*>(b), 4);
        const long desplazamiento = 2L * ((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]);
        std::fstream f(shp, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(desplazamiento + 8 + 4 + 32);
        const unsigned char partes[4] = {0xFF, 0xFF, 0xFF, 0x7F};
        f.write(reinterpret_cast<const char*>(partes), 4);
    }
    const auto r = Convierte(shp);
    ASSERT_TRUE(r.escrito);
    EXPECT_EQ(LeeBin(o.ficheroBin).size(), 3u);
    EXPECT_EQ(r.registrosErroneos, std::vector<int32_t>{2});
    ASSERT_EQ(puerto.mensajes.size(), 1u);
    EXPECT_EQ(puerto.mensajes[0], "Se han encontrado 1 errores en la conversión\rEntidades erróneas : \r / 2");
}

TEST_F(ShpBinFicheros, SiNoSePuedeGrabarSeDiceYNoHayProcesoTerminado) {
    EscribeShape(carpeta / "uno.shp", SHPT_POINT, {{"N", 'N'}}, {{{{{1, 1, 0}}}, {1.0}}});
    o.ficheroShp = carpeta / "uno.shp";
    for (const std::string& salida : {carpeta / "no/existe.bin", carpeta.Ruta()}) {
        SCOPED_TRACE(salida);
        puerto = {};
        o.ficheroBin = salida;
        const auto r = ReadShape(o, puerto);
        EXPECT_FALSE(r.escrito);
        EXPECT_FALSE(r.error.empty());
        ASSERT_EQ(puerto.mensajes.size(), 1u);
        EXPECT_TRUE(puerto.criticos[0]);
        EXPECT_NE(puerto.mensajes[0].find("No se ha podido grabar el fichero BIN"), std::string::npos);
        EXPECT_EQ(puerto.procesos.back(), "Proceso interrumpido");
        EXPECT_EQ(puerto.ocupado, 0);
    }
    EXPECT_FALSE(fs::exists(carpeta / "no"));

    // A chosen field the table does not have: said before anything is read.
    puerto = {};
    o.ficheroBin = carpeta / "salida.bin";
    EligeTablaDbf1(o.seleccion, 9, "3 OTRO");
    EXPECT_FALSE(ReadShape(o, puerto).escrito);
    ASSERT_EQ(puerto.mensajes.size(), 1u);
    EXPECT_NE(puerto.mensajes[0].find("no tiene el campo 3"), std::string::npos);
    EXPECT_FALSE(fs::exists(o.ficheroBin));
}

TEST_F(ShpBinFicheros, MuchosElementosSeGrabanPorTandasYUnFalloTardioDejaElFicheroComoEstaba) {
    std::vector<Registro> registros;
    for (int i = 0; i < 5000; ++i) registros.push_back({{{{double(i), double(i % 7), 0}}}, {double(i)}});
    EscribeShape(carpeta / "muchos.shp", SHPT_POINT, {{"N", 'N'}}, registros);
    o.ficheroShp = carpeta / "muchos.shp";
    o.ficheroBin = carpeta / "muchos.bin";
    ASSERT_TRUE(ReadShape(o, puerto).escrito);
    const auto e = LeeBin(o.ficheroBin);
    ASSERT_EQ(e.size(), 5000u);
    EXPECT_EQ(e[4999].elemento.coordenadas[0], (brisquel::Fpunto3d{499900, 100, 0}));

    // A file size limit that lets the first batch in and stops the second one.
    const std::string antes(120, 'x');
    std::ofstream(carpeta / "limitado.bin", std::ios::binary) << antes;
    o.ficheroBin = carpeta / "limitado.bin";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto limitado = [this] {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limite;
        limite.rlim_cur = limite.rlim_max = 300000;
        setrlimit(RLIMIT_FSIZE, &limite);
        PuertoAnotador p;
        const auto r = ReadShape(o, p);
        std::exit(!r.escrito && p.criticos.size() == 1 && p.procesos.back() == "Proceso interrumpido" ? 7 : 1);
    };
    EXPECT_EXIT(limitado(), ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(Contenido(o.ficheroBin), antes);
}

// Shows messages on stderr, where a death test can see them.
class PuertoError : public PuertoAnotador {
public:
    void Mensaje(const std::string& t, bool, const std::string&) override { std::cerr << t << std::endl; }
};

TEST_F(ShpBinFicheros, UnaParteDeMasDe32767VerticesTerminaElProgramaSinGrabar) {
    std::vector<Vertice> linea(32767);
    for (size_t i = 0; i < linea.size(); ++i) linea[i] = {double(i), 0, 0};
    EscribeShape(carpeta / "limite.shp", SHPT_ARC, {{"N", 'N'}}, {{{linea}, {1.0}}});
    o.ficheroShp = carpeta / "limite.shp";
    o.ficheroBin = carpeta / "limite.bin";
    ASSERT_TRUE(ReadShape(o, puerto).escrito);
    EXPECT_EQ(LeeBin(o.ficheroBin)[0].elemento.cabecera.npuntos, 32767);

    linea.push_back({1, 1, 0});
    EscribeShape(carpeta / "grande.shp", SHPT_ARC, {{"N", 'N'}},
                 {{{{{0, 0, 0}, {1, 1, 0}}, linea}, {1.0}}});
    o.ficheroShp = carpeta / "grande.shp";
    o.ficheroBin = carpeta / "grande.bin";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            PuertoError p;
            ReadShape(o, p);
        },
        ::testing::ExitedWithCode(1),
        "Numero máximo de puntos \\(32767\\) en una entidad superado en la entidad 2");
    EXPECT_FALSE(fs::exists(o.ficheroBin));
}

}  // namespace
}  // namespace parvenza

namespace parvenza {
namespace {

TEST_F(ShpBinFicheros, ElegirUnShapeLlenaLosDiezSelectoresConSusFiltros) {
    EscribeShape(carpeta / "hoja.shp", SHPT_ARCZ, {{"COD", 'C', 6}, {"TAB", 'N', 4}, {"F", 'D', 8}, {"REG", 'N', 8}}, {});
    SeleccionShp s;
    const VistaShpElegido v = EligeShp(s, carpeta / "hoja.shp", carpeta.Ruta(), puerto);
    EXPECT_EQ(v.lblFicheroShp, carpeta / "hoja.shp");
    EXPECT_EQ(v.tipoShp, 13);
    EXPECT_TRUE(v.chkTextosVisible);
    EXPECT_EQ(v.cmbLabel17, "Atributo 3");
    const std::vector<std::string> doble = {"1 TAB", "3 REG"}, todos = {"0 COD", "1 TAB", "3 REG"};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(v.cmbTablaDbf1[i]);
        EXPECT_EQ(*v.cmbTablaDbf1[i], (i % 3 == 2 || i == 9) ? todos : doble);
    }

    // A name the table listing refuses: one message per selector, and none is filled.
    EscribeShape(carpeta / "hoja-larga.shp", SHPT_POLYGON, {{"N", 'N'}}, {});
    const VistaShpElegido larga = EligeShp(s, carpeta / "hoja-larga.shp", carpeta.Ruta(), puerto);
    EXPECT_EQ(puerto.mensajes.size(), 10u);
    for (const auto& c : larga.cmbTablaDbf1) EXPECT_FALSE(c);
    EXPECT_FALSE(larga.chkTextosVisible);
}

}  // namespace
}  // namespace parvenza
