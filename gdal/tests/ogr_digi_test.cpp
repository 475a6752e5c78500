// The Digi driver through the real GDAL, loaded as a plugin from the build folder: sheets read
// as bin2shp writes them, spatial filters, writing with ogr2ogr and appending all-or-nothing,
// damaged files through ogrinfo.

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/robustez/Robustez.h"

namespace fs = std::filesystem;
using namespace parvenza::robustez;

namespace {

struct Cierra {
    void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Hoja = std::unique_ptr<GDALDataset, Cierra>;

Hoja Abre(const std::string& ruta, std::vector<const char*> opciones = {}, bool escribir = false) {
    opciones.push_back(nullptr);
    return Hoja(GDALDataset::Open(ruta.c_str(), GDAL_OF_VECTOR | (escribir ? GDAL_OF_UPDATE : 0),
                                  nullptr, opciones.data()));
}

/// Runs `orden` with the plugin's folder in GDAL_DRIVER_PATH: its output and exit status
/// (-1 when a signal ended it).
std::pair<std::string, int> Ejecuta(const std::string& orden) {
#ifdef PARVENZA_PRECARGA
    const std::string entorno = "export LD_PRELOAD=" PARVENZA_PRECARGA "; ";
#else
    const std::string entorno;
#endif
    FILE* p = ::popen((entorno + orden + " 2>&1").c_str(), "r");
    std::string salida;
    char b[4096];
    for (size_t n; (n = std::fread(b, 1, sizeof b, p)) > 0;) salida.append(b, n);
    const int estado = ::pclose(p);
    return {salida, WIFSIGNALED(estado) ? -1 : WEXITSTATUS(estado)};
}

/// A geometry as ISO WKT (with its Z) to nine decimals, "" for none.
std::string Wkt(const OGRGeometry* g) {
    OGRWktOptions o;
    o.variant = wkbVariantIso;
    o.format = OGRWktFormat::F;
    o.precision = 9;
    return g ? g->exportToWkt(o) : "";
}

class Digi : public Carpeta {
  protected:
    static void SetUpTestSuite() {
        ::setenv("GDAL_DRIVER_PATH", PARVENZA_PLUGIN_DIR, 1);
        GDALAllRegister();
    }
    std::string CopiaHoja() const {
        const std::string ruta = Ruta("hoja.bin");
        fs::copy_file(PARVENZA_SOURCE_DIR "/examples/hoja.bin", ruta,
                      fs::copy_options::overwrite_existing);
        return ruta;
    }
};

// The sheet through the driver is, layer by layer, what bin2shp writes for it: features,
// fields and vertices (to 1e-9 m), accents in UTF-8; random reads give the same features.
TEST_F(Digi, LeeLaHojaComoLaEscribeBin2shp) {
    const std::string bin = CopiaHoja();
    const auto [salida, estado] =
        Ejecuta(std::string(PARVENZA_CLI) + " bin2shp --3d --a-srs EPSG:25830 " + bin);
    ASSERT_EQ(estado, 0) << salida;
    fs::copy_file(Ruta("hoja_P.prj"), Ruta("hoja.prj"));  // the sheet's own, read by the driver
    Hoja hoja = Abre(bin);
    ASSERT_TRUE(hoja);
    ASSERT_EQ(hoja->GetDriver()->GetDescription(), std::string("Digi"));
    int capas = 0;
    for (const char* nombre : {"hoja_P", "hoja_L", "hoja_X", "hoja_TL"}) {
        SCOPED_TRACE(nombre);
        Hoja shp = Abre(Ruta(std::string(nombre) + ".shp"));
        ASSERT_TRUE(shp);
        OGRLayer* esperada = shp->GetLayer(0);
        OGRLayer* capa = hoja->GetLayerByName(nombre);
        ASSERT_NE(capa, nullptr);
        ++capas;
        EXPECT_EQ(capa->GetFeatureCount(), esperada->GetFeatureCount());
        EXPECT_EQ(capa->GetGeomType(), esperada->GetGeomType());
        ASSERT_NE(capa->GetSpatialRef(), nullptr);
        EXPECT_TRUE(capa->GetSpatialRef()->IsSame(esperada->GetSpatialRef()));
        for (auto& e : *esperada) {
            std::unique_ptr<OGRFeature> r(capa->GetNextFeature());
            ASSERT_TRUE(r);
            EXPECT_EQ(r->GetFID(), e->GetFieldAsInteger64("POLY_ID"));
            EXPECT_EQ(r->GetFieldAsInteger64("POLY_ID"), e->GetFieldAsInteger64("POLY_ID"));
            for (const char* campo : {"CODIGO", "TEXT"}) {
                EXPECT_STREQ(r->GetFieldAsString(campo), e->GetFieldAsString(campo));
                EXPECT_EQ(r->IsFieldSetAndNotNull(r->GetFieldIndex(campo)),
                          e->IsFieldSetAndNotNull(e->GetFieldIndex(campo)));
            }
            EXPECT_NEAR(r->GetFieldAsDouble("ROTATION"), e->GetFieldAsDouble("ROTATION"), 0.005);
            EXPECT_EQ(Wkt(r->GetGeometryRef()), Wkt(e->GetGeometryRef()));
            std::unique_ptr<OGRFeature> otra(capa->GetFeature(r->GetFID()));
            ASSERT_TRUE(otra);
            EXPECT_TRUE(otra->Equal(r.get()));
        }
        EXPECT_EQ(capa->GetNextFeature(), nullptr);
    }
    EXPECT_EQ(hoja->GetLayerCount(), capas);
    std::unique_ptr<OGRFeature> texto(hoja->GetLayerByName("hoja_TL")->GetFeature(8));
    ASSERT_TRUE(texto);
    EXPECT_STREQ(texto->GetFieldAsString("TEXT"), "Peñón del Águila");
    std::unique_ptr<OGRFeature> recinto(hoja->GetLayerByName("hoja_P")->GetFeature(2));
    ASSERT_TRUE(recinto);
    EXPECT_STREQ(
        recinto->GetFieldAsString("ENLACES"),
        R"([{"tabla":1,"registro":1002,"resto":"B"},{"tabla":7,"registro":31,"resto":"CONS"}])");
    // Millimetres: the same sheet ten times smaller; texts as points.
    Hoja mm = Abre(bin, {"UNITS=mm", "TEXTS=POINTS"});
    ASSERT_TRUE(mm);
    OGREnvelope cm, milimetros;
    ASSERT_EQ(hoja->GetLayer(0)->GetExtent(&cm), OGRERR_NONE);
    ASSERT_EQ(mm->GetLayer(0)->GetExtent(&milimetros), OGRERR_NONE);
    EXPECT_NEAR(milimetros.MaxX * 10, cm.MaxX, 1e-6);
    ASSERT_NE(mm->GetLayerByName("hoja_TX"), nullptr);
    EXPECT_EQ(mm->GetLayerByName("hoja_TL"), nullptr);
}

// A spatial filter gives what a full scan filtered by hand gives, layer by layer.
TEST_F(Digi, FiltroEspacialComoElRecorridoEntero) {
    Hoja hoja = Abre(CopiaHoja(), {"TEXTS=BOTH"});
    ASSERT_TRUE(hoja);
    ASSERT_EQ(hoja->GetLayerCount(), 5);
    for (auto* capa : hoja->GetLayers()) {
        SCOPED_TRACE(capa->GetName());
        OGREnvelope e;
        ASSERT_EQ(capa->GetExtent(&e), OGRERR_NONE);
        for (const double fraccion : {0.1, 0.5, 0.9}) {
            const double x = e.MinX + (e.MaxX - e.MinX) * fraccion;
            OGRPolygon ventana;
            OGRLinearRing anillo;
            for (const auto& [px, py] : std::vector<std::pair<double, double>>{
                     {x - 10, e.MinY}, {x + 10, e.MinY}, {x + 10, e.MaxY}, {x - 10, e.MinY}})
                anillo.addPoint(px, py);
            ventana.addRing(&anillo);
            std::vector<GIntBig> aMano, filtrados;
            capa->SetSpatialFilter(nullptr);
            for (auto& r : *capa)
                if (r->GetGeometryRef() && r->GetGeometryRef()->Intersects(&ventana))
                    aMano.push_back(r->GetFID());
            capa->SetSpatialFilter(&ventana);
            for (auto& r : *capa) filtrados.push_back(r->GetFID());
            EXPECT_EQ(filtrados, aMano);
            EXPECT_EQ(capa->GetFeatureCount(), GIntBig(aMano.size()));
        }
        capa->SetSpatialFilter(nullptr);
    }
}

// ogr2ogr to a GeoPackage and back gives the elements of the sheet again; the write options
// and the BIN file's rounding rules; an append is all or nothing.
TEST_F(Digi, EscribeConOgr2ogr) {
    const std::string bin = CopiaHoja(), gpkg = Ruta("h.gpkg"), vuelta = Ruta("vuelta.bin");
    const std::string cli = std::string(PARVENZA_CLI) + " info ";
    ASSERT_EQ(Ejecuta("ogr2ogr -f GPKG " + gpkg + " " + bin).second, 0);
    const auto [salida, estado] = Ejecuta("ogr2ogr -f Digi " + vuelta + " " + gpkg);
    ASSERT_EQ(estado, 0) << salida;
    // The element lines; the summary counts the original's deleted element.
    auto elementos = [](std::string s) { return s.substr(0, s.find("elementos:")); };
    EXPECT_EQ(elementos(Ejecuta(cli + vuelta).first), elementos(Ejecuta(cli + bin).first));

    // Options and rounding: halves to even, the 4,000,000 m northing, accents to Windows-1252.
    const std::string geojson = Ruta("f.geojson"), nuevo = Ruta("nuevo.bin");
    Escribe(geojson, R"({"type":"FeatureCollection","features":[
      {"type":"Feature","properties":{"c":"77","t":"Cañada","r":12.5,"tb":3,"rg":45,"x":"Ñ1"},
       "geometry":{"type":"Point","coordinates":[0.125,24000000.125]}},
      {"type":"Feature","properties":{"c":"1234567"},
       "geometry":{"type":"Polygon","coordinates":[[[0,0],[1,0],[1,1],[0,0]]]}}]})");
    ASSERT_EQ(Ejecuta("ogr2ogr -f Digi " + nuevo + " " + geojson +
                      " -lco CODE_FIELD=c -lco TEXT_FIELD=t -lco ROTATION_FIELD=r -lco HEIGHT=2"
                      " -lco LINK_FIELDS=tb:rg,x")
                  .second,
              0);
    EXPECT_EQ(Ejecuta(cli + nuevo).first,
              "1 texto código=77 puntos=2 atributos=[3:45: 1:0:\xC3\x91"
              "1] texto=\"Cañada\" "
              "extensión=(0.12,9999999.99,0)-(11.84,20000002.72,0)\n"
              "2 línea-cerrada código=1234567 puntos=4 atributos=[] extensión=(0,0,0)-(1,1,0)\n"
              "elementos: 2 (puntos 0, líneas abiertas 0, líneas cerradas 1, textos 1), "
              "borrados 0\n"
              "extensión: (0,0,0)-(11.84,20000002.72,0)\n"
              "coordenadas en metros (el BIN en centímetros; --mm si está en milímetros)\n");
    // The source's coordinate system goes beside the sheet, where bin2shp takes it from.
    EXPECT_NE(Lee(Ruta("nuevo.prj")).find("GEOGCS[\"GCS_WGS_1984\""), std::string::npos);
    EXPECT_FALSE(fs::exists(Ruta("vuelta.prj")));  // the sheet had none

    // A part of more than 32767 vertices fails the append: the file stays as it was.
    std::string largo = R"({"type":"LineString","coordinates":[)";
    for (int i = 0; i <= 32767; ++i) largo += (i ? ",[" : "[") + std::to_string(i) + ",0]";
    Escribe(geojson, R"({"type":"FeatureCollection","features":[
      {"type":"Feature","properties":{},"geometry":{"type":"Point","coordinates":[1,1]}},
      {"type":"Feature","properties":{},"geometry":)" +
                         largo + "]}}]}");
    const std::string antes = Lee(nuevo);
    const auto [fallo, estadoFallo] = Ejecuta("ogr2ogr -append " + nuevo + " " + geojson);
    EXPECT_NE(estadoFallo, 0);
    EXPECT_NE(fallo.find("32767"), std::string::npos) << fallo;
    EXPECT_EQ(Lee(nuevo), antes);
    ASSERT_EQ(Ejecuta("ogr2ogr -append " + nuevo + " " + geojson + " -where \"1=0\" -nln x").second,
              0);
    EXPECT_EQ(Lee(nuevo), antes);
    Escribe(geojson, R"({"type":"FeatureCollection","features":[
      {"type":"Feature","properties":{},"geometry":{"type":"Point","coordinates":[1,1]}}]})");
    ASSERT_EQ(Ejecuta("ogr2ogr -append " + nuevo + " " + geojson).second, 0);
    EXPECT_NE(Ejecuta(cli + nuevo).first.find("3 punto código=9995 puntos=1"), std::string::npos);
}

// Damaged files open or fail with a GDAL error, never a crash: the robustness tests' files
// and the fuzzers' seeds through ogrinfo -al, a small sheet cut at every byte read whole.
TEST_F(Digi, FicherosDanadosSinCaida) {
    const std::string bueno = Linea("A", 2), borrado = Borrado(Linea("A", 1));
    std::string atributo = Linea("C", 1, 1);
    atributo[48 + 12 + 1] = char(0x80);
    const std::vector<std::string> danados = {
        Cabecera("C=", "1", 255, 32767) + std::string(48, '\x01'),
        bueno + Cabecera("**", "", 255, 32767),
        Borrado(Linea("A", 3)) + Linea("B", 5).substr(0, 70),
        borrado + Linea("B", 0) + Linea("C", 1),
        borrado + Cabecera("T=", "T", 0, 0) + Texto("T", "").substr(12, 48) + Linea("C", 1),
        borrado + bueno + Cabecera("C=", "B", 0, 0x8001) + std::string(48, '\0'),
        bueno + atributo + bueno,
        borrado + Linea("B", 2) + Cabecera("X=", "C", 0, 1) + std::string(48, '\0'),
    };
    std::string ficheros;
    for (size_t i = 0; i < danados.size(); ++i) {
        Escribe(Ruta("d" + std::to_string(i) + ".bin"), danados[i]);
        ficheros += " " + Ruta("d" + std::to_string(i) + ".bin");
    }
    for (const char* corpus : {"bin_recorrido", "bin_comprimir"})
        for (const auto& f :
             fs::directory_iterator(PARVENZA_SOURCE_DIR "/fuzz/corpus/" + std::string(corpus)))
            ficheros += " " + f.path().string();
    const auto [salida, estado] = Ejecuta("for f in" + ficheros +
                                          "; do ogrinfo -ro -al -q \"$f\" >/dev/null 2>&1; "
                                          "[ $? -lt 128 ] || echo \"caida: $f\"; done");
    EXPECT_EQ(salida, "");
    EXPECT_EQ(estado, 0);

    const std::string entero = Linea("140100", 4, 2) + Texto("301", "Calle de la Villa") +
                               Borrado(Linea("1", 1)) + Linea("9995", 1);
    const std::string ruta = Ruta("c.bin");
    CPLPushErrorHandler(CPLQuietErrorHandler);
    for (size_t corte = 0; corte <= entero.size(); ++corte) {
        Escribe(ruta, entero.substr(0, corte));
        Hoja hoja = Abre(ruta);
        if (!hoja) continue;
        for (auto* capa : hoja->GetLayers())
            for (auto& r : *capa) EXPECT_GT(r->GetFID(), 0);
    }
    CPLPopErrorHandler();
}

}  // namespace
