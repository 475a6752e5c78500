// The shapefile component, checked on real files: what it writes is read back with
// shapelib directly, and files written by shapelib are read through the component.

#include <gtest/gtest.h>
#include <shapefil.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "converter/shapefile/Shapefile.h"

namespace fs = std::filesystem;
using parvenza::Shapefile;
using parvenza::ShapefileError;
using parvenza::ValorCampo;

namespace {

class ShapefileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string plantilla = (fs::temp_directory_path() / "shp_testXXXXXX").string();
        ASSERT_NE(mkdtemp(plantilla.data()), nullptr);
        dir = plantilla;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Ruta(const std::string& nombre) const { return (dir / nombre).string(); }
    fs::path dir;
};

int NumeroDe(const std::function<void()>& f) {
    try {
        f();
    } catch (const ShapefileError& e) {
        return e.numero();
    }
    return 0;
}

/// The four fields every converted layer starts with.
void CamposComunes(Shapefile& s) {
    s.Fields().Add("POLY_ID", 4, 6, 0);
    s.Fields().Add("CODIGO", 10, 6);
    s.Fields().Add("TEXT", 10, 50);
    s.Fields().Add("ROTATION", 7, 6, 2);
    s.CommitFieldDefinitions();
}

double AreaConSigno(const SHPObject* o) {
    double a = 0;
    for (int i = 1; i < o->nVertices; ++i)
        a += (o->padfX[i] - o->padfX[i - 1]) * (o->padfY[i] + o->padfY[i - 1]);
    return a / 2;  // positive for clockwise rings
}

TEST_F(ShapefileTest, WritesFieldsValuesAndVerticesThatShapelibReadsBack) {
    {
        Shapefile s;
        s.Open(Ruta("capa_L.shp"), 1, 3);
        CamposComunes(s);
        s.Fields().Item("poly_id").Value(int32_t{7});
        s.Fields().Item("Codigo").Value("0203");
        s.Fields().Item(3).Value(std::string("A\xf1o"));  // "Año" in Windows-1252
        s.Fields().Item("Rotation").Value(12.345);
        s.Vertices().Add(1.5, 2.5);
        s.Vertices().Add(3.25, -4.0);
        EXPECT_EQ(s.Vertices().Count(), 2);
        s.WriteRecord();
        EXPECT_EQ(s.Vertices().Count(), 0);  // the pending record is emptied
        s.Fields().Item("POLY_ID").Value(int64_t{999999});
        s.Vertices().Add(0, 0);
        s.Vertices().Add(1, 1);
        s.WriteRecord();
        EXPECT_EQ(s.RecordCount(), 2);
    }  // release completes the file

    SHPHandle shp = SHPOpen(Ruta("capa_L.shp").c_str(), "rb");
    ASSERT_NE(shp, nullptr);
    int n = 0, tipo = 0;
    SHPGetInfo(shp, &n, &tipo, nullptr, nullptr);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(tipo, SHPT_ARC);
    SHPObject* o = SHPReadObject(shp, 0);
    ASSERT_EQ(o->nVertices, 2);
    EXPECT_EQ(o->nParts, 1);
    EXPECT_DOUBLE_EQ(o->padfX[1], 3.25);
    EXPECT_DOUBLE_EQ(o->padfY[1], -4.0);
    SHPDestroyObject(o);
    SHPClose(shp);

    DBFHandle dbf = DBFOpen(Ruta("capa_L.dbf").c_str(), "rb");
    ASSERT_NE(dbf, nullptr);
    ASSERT_EQ(DBFGetFieldCount(dbf), 4);
    struct Def {
        const char* nombre;
        char tipo;
        int ancho, dec;
    } esperados[] = {{"POLY_ID", 'N', 6, 0}, {"CODIGO", 'C', 6, 0}, {"TEXT", 'C', 50, 0},
                     {"ROTATION", 'N', 6, 2}};
    for (int i = 0; i < 4; ++i) {
        char nombre[12] = {};
        int ancho = 0, dec = 0;
        DBFGetFieldInfo(dbf, i, nombre, &ancho, &dec);
        EXPECT_STREQ(nombre, esperados[i].nombre);
        EXPECT_EQ(DBFGetNativeFieldType(dbf, i), esperados[i].tipo);
        EXPECT_EQ(ancho, esperados[i].ancho);
        EXPECT_EQ(dec, esperados[i].dec);
    }
    EXPECT_EQ(DBFReadIntegerAttribute(dbf, 0, 0), 7);
    EXPECT_STREQ(DBFReadStringAttribute(dbf, 0, 1), "0203");
    EXPECT_EQ(std::string(DBFReadStringAttribute(dbf, 0, 2)).substr(0, 3), "A\xf1o");
    EXPECT_STREQ(DBFReadStringAttribute(dbf, 0, 3), "12.35");  // 2 decimals, rounded
    EXPECT_EQ(DBFReadIntegerAttribute(dbf, 1, 0), 999999);
    EXPECT_TRUE(DBFIsAttributeNULL(dbf, 1, 3));  // unset number stays null
    DBFClose(dbf);

    std::ifstream cpg(Ruta("capa_L.cpg"));
    std::string pagina((std::istreambuf_iterator<char>(cpg)), {});
    EXPECT_EQ(pagina.substr(0, 4), "1252");
    std::ifstream cabecera(Ruta("capa_L.dbf"), std::ios::binary);
    cabecera.seekg(29);
    EXPECT_EQ(cabecera.get(), 0x57);  // dBase language byte for Windows-1252
}

TEST_F(ShapefileTest, PolygonRingsAreClosedAndClockwiseAndZOnlyForZTypes) {
    {
        Shapefile s;
        s.Open(Ruta("p.shp"), 1, 15);
        s.Fields().Add("POLY_ID", 4, 6);
        s.CommitFieldDefinitions();
        // counter-clockwise and not closed
        s.Vertices().Add(0, 0, 1);
        s.Vertices().Add(10, 0, 2);
        s.Vertices().Add(10, 10, 3);
        s.Vertices().Add(0, 10, 4);
        s.WriteRecord();
        s.Open(Ruta("l.shp"), 1, 3);  // the polygon file is completed first
        s.Fields().Add("A", 4, 3);
        s.CommitFieldDefinitions();
        EXPECT_EQ(NumeroDe([&] { s.Vertices().Add(1, 2, 3); }), 5);
    }
    SHPHandle shp = SHPOpen(Ruta("p.shp").c_str(), "rb");
    ASSERT_NE(shp, nullptr);
    SHPObject* o = SHPReadObject(shp, 0);
    ASSERT_EQ(o->nVertices, 5);
    EXPECT_EQ(o->padfX[0], o->padfX[4]);
    EXPECT_EQ(o->padfY[0], o->padfY[4]);
    EXPECT_GT(AreaConSigno(o), 0);
    // Z travels with its vertex when the ring is turned
    for (int i = 0; i < 4; ++i) {
        double esperada = o->padfX[i] == 0 ? (o->padfY[i] == 0 ? 1 : 4) : (o->padfY[i] == 0 ? 2 : 3);
        EXPECT_EQ(o->padfZ[i], esperada);
    }
    SHPDestroyObject(o);
    SHPClose(shp);
}

TEST_F(ShapefileTest, ErrorsCarryTheirNumbers) {
    Shapefile s;
    EXPECT_EQ(NumeroDe([&] { s.WriteRecord(); }), 5);
    EXPECT_EQ(NumeroDe([&] { s.Open(Ruta("falta.shp"), 0, 0); }), 53);
    EXPECT_EQ(NumeroDe([&] { s.Open(Ruta("no/existe/x.shp"), 1, 3); }), 76);
    EXPECT_EQ(NumeroDe([&] { s.Open(Ruta("x.shp"), 1, 2); }), 5);
    EXPECT_EQ(NumeroDe([&] { s.Open(Ruta("x.shp"), 2, 3); }), 5);

    s.Open(Ruta("x.shp"), 1, 1);
    EXPECT_EQ(NumeroDe([&] { s.Fields().Add("NOMBREMUYLARGO", 10, 5); }), 5);
    EXPECT_EQ(NumeroDe([&] { s.Fields().Add("T", 99, 5); }), 5);
    s.Vertices().Add(1, 1);
    EXPECT_EQ(NumeroDe([&] { s.WriteRecord(); }), 5);  // fields not committed yet
    CamposComunes(s);
    EXPECT_EQ(NumeroDe([&] { s.CommitFieldDefinitions(); }), 5);
    EXPECT_EQ(NumeroDe([&] { s.Fields().Add("OTRO", 4, 2); }), 5);
    EXPECT_EQ(NumeroDe([&] { s.Fields().Item("NOESTA"); }), 9);
    EXPECT_EQ(NumeroDe([&] { s.Fields().Item(5); }), 9);
    // values the field cannot hold: never cut silently
    EXPECT_EQ(NumeroDe([&] { s.Fields().Item("POLY_ID").Value(int32_t{1000000}); }), 458);
    EXPECT_EQ(NumeroDe([&] { s.Fields().Item("ROTATION").Value(-1000.5); }), 458);
    EXPECT_EQ(NumeroDe([&] { s.Fields().Item("POLY_ID").Value("doce"); }), 13);
    s.Fields().Item("POLY_ID").Value(" 12 ");
    EXPECT_EQ(std::get<int32_t>(s.Fields().Item("POLY_ID").Value()), 12);
    s.Vertices().Add(2, 2);
    EXPECT_EQ(NumeroDe([&] { s.WriteRecord(); }), 5);  // a point takes one vertex
    s.CloseShapefile();

    // a 2D layer is not reopened as a Z layer
    EXPECT_EQ(NumeroDe([&] { s.Open(Ruta("x.shp"), 0, 11); }), 13);

    // a table that cannot be made leaves no half layer behind
    fs::create_directory(Ruta("d.dbf"));
    EXPECT_EQ(NumeroDe([&] { s.Open(Ruta("d.shp"), 1, 3); }), 75);
    EXPECT_FALSE(fs::exists(Ruta("d.shp")));
    EXPECT_FALSE(fs::exists(Ruta("d.shx")));
}

TEST_F(ShapefileTest, ReadsFilesWrittenByShapelibWithCursorPartsAndNulls) {
    {
        SHPHandle shp = SHPCreate(Ruta("m.shp").c_str(), SHPT_ARCZ);
        DBFHandle dbf = DBFCreate(Ruta("m.dbf").c_str());
        DBFAddField(dbf, "Nombre", FTString, 10, 0);
        DBFAddField(dbf, "Valor", FTDouble, 10, 3);
        DBFAddField(dbf, "Cuenta", FTInteger, 5, 0);
        double x[] = {0, 1, 2, 10, 11}, y[] = {0, 1, 2, 10, 11}, z[] = {5, 6, 7, 8, 9};
        int partes[] = {0, 3};
        SHPObject* o = SHPCreateObject(SHPT_ARCZ, -1, 2, partes, nullptr, 5, x, y, z, nullptr);
        SHPWriteObject(shp, -1, o);
        SHPWriteObject(shp, -1, o);
        SHPDestroyObject(o);
        DBFWriteStringAttribute(dbf, 0, 0, "uno");
        DBFWriteDoubleAttribute(dbf, 0, 1, 2.5);
        DBFWriteIntegerAttribute(dbf, 0, 2, -42);
        DBFWriteNULLAttribute(dbf, 1, 0);
        DBFWriteNULLAttribute(dbf, 1, 1);
        DBFWriteAttributeDirectly(dbf, 1, 2, const_cast<char*>("ab"));  // not a number
        SHPClose(shp);
        DBFClose(dbf);
    }
    Shapefile s;
    s.Open(Ruta("m.shp"), 0, 0);
    EXPECT_EQ(s.ShapeType(), 13);
    EXPECT_EQ(s.RecordCount(), 2);
    EXPECT_FALSE(s.Eof());
    EXPECT_EQ(s.Fields().Count(), 3);
    EXPECT_EQ(s.Fields().Item(1).Name(), "Nombre");
    EXPECT_EQ(std::get<std::string>(s.Fields().Item("NOMBRE").Value()), "uno");
    EXPECT_EQ(std::get<double>(s.Fields().Item("valor").Value()), 2.5);
    EXPECT_EQ(std::get<int32_t>(s.Fields().Item(3).Value()), -42);
    ASSERT_EQ(s.Parts().Count(), 2);
    EXPECT_EQ(s.Parts().Item(1).FirstVertex, 1);
    EXPECT_EQ(s.Parts().Item(1).LastVertex, 3);
    EXPECT_EQ(s.Parts().Item(2).FirstVertex, 4);
    EXPECT_EQ(s.Parts().Item(2).LastVertex, 5);
    EXPECT_EQ(s.Vertices().Item(5).Z, 9);
    EXPECT_EQ(NumeroDe([&] { s.Vertices().Item(6); }), 9);

    s.MoveNext();
    EXPECT_TRUE(parvenza::EsNulo(s.Fields().Item("Valor").Value()));
    EXPECT_EQ(std::get<std::string>(s.Fields().Item("Nombre").Value()), "");
    EXPECT_EQ(NumeroDe([&] { s.Fields().Item("Cuenta").Value(); }), 458);
    s.MoveNext();
    EXPECT_TRUE(s.Eof());
    s.MoveNext();
    EXPECT_TRUE(s.Eof());
    s.MoveTo(1);
    EXPECT_FALSE(s.Eof());
    EXPECT_EQ(parvenza::TextoDe(s.Fields().Item("Valor").Value()), "2.5");
    EXPECT_EQ(NumeroDe([&] { s.MoveTo(0); }), 9);
}

TEST_F(ShapefileTest, ARecordThatCannotBeReadRaisesFiveAndTheNextOneStillReads) {
    {
        Shapefile s;
        s.Open(Ruta("r.shp"), 1, 1);
        s.Fields().Add("N", 4, 3);
        s.CommitFieldDefinitions();
        for (int i = 1; i <= 3; ++i) {
            s.Fields().Item(1).Value(int32_t{i});
            s.Vertices().Add(i, i);
            s.WriteRecord();
        }
    }
    // the index entry of record 2 points far beyond the end of the .shp
    {
        std::fstream shx(Ruta("r.shx"), std::ios::in | std::ios::out | std::ios::binary);
        shx.seekp(100 + 8);
        const char lejos[4] = {0x00, 0x10, 0x00, 0x00};
        shx.write(lejos, 4);
        // and the length of record 1 beyond what shapelib would open the file with
        shx.seekp(100 + 4);
        const char largo[4] = {0x40, 0x00, 0x00, 0x00};
        shx.write(largo, 4);
    }
    Shapefile s;
    s.Open(Ruta("r.shp"), 0, 0);
    EXPECT_EQ(NumeroDe([&] { s.Vertices().Item(1); }), 5);
    s.MoveNext();
    EXPECT_EQ(NumeroDe([&] { s.Vertices().Count(); }), 5);
    EXPECT_EQ(std::get<int32_t>(s.Fields().Item(1).Value()), 2);  // its attributes still read
    s.MoveNext();
    EXPECT_EQ(s.Parts().Count(), 1);  // a point is one part of one vertex
    EXPECT_EQ(s.Vertices().Item(1).Y, 3);
}

TEST_F(ShapefileTest, AppendingKeepsTheFieldsAndAddsRecordsAfterTheOldOnes) {
    {
        Shapefile s;
        s.Open(Ruta("a.shp"), 1, 3);
        CamposComunes(s);
        s.Fields().Item("POLY_ID").Value(int32_t{1});
        s.Vertices().Add(0, 0);
        s.Vertices().Add(1, 0);
        s.WriteRecord();
    }
    {
        Shapefile s;
        s.Open(Ruta("a.shp"), 0, 3);
        EXPECT_EQ(s.Fields().Count(), 4);
        s.Fields().Item("POLY_ID").Value(int32_t{2});
        s.Vertices().Add(5, 5);
        s.Vertices().Add(6, 6);
        s.WriteRecord();
    }
    Shapefile s;
    s.Open(Ruta("a.shp"), 0, 0);
    EXPECT_EQ(s.RecordCount(), 2);
    s.MoveTo(2);
    EXPECT_EQ(std::get<int32_t>(s.Fields().Item("POLY_ID").Value()), 2);
    EXPECT_EQ(s.Vertices().Item(2).X, 6);
}

TEST_F(ShapefileTest, CopyRecordToCreatesTheTargetAndFieldDeletionsKeepTheValues) {
    {
        Shapefile s;
        s.Open(Ruta("origen.shp"), 1, 5);
        CamposComunes(s);
        for (int i = 1; i <= 3; ++i) {
            s.Fields().Item("POLY_ID").Value(int32_t{i});
            s.Fields().Item("CODIGO").Value("C" + std::to_string(i));
            s.Vertices().Add(0, 0);
            s.Vertices().Add(0, i);
            s.Vertices().Add(i, i);
            s.Vertices().Add(0, 0);
            s.WriteRecord();
        }
    }
    Shapefile lector;
    lector.EditMode(true);
    lector.Open(Ruta("origen.shp"), 0, 5);
    lector.MoveNext();
    lector.CopyRecordTo(Ruta("destino.shp"), 3);
    lector.CopyRecordTo(Ruta("destino.shp"), 1);
    EXPECT_FALSE(lector.Eof());  // the cursor stays where it was
    EXPECT_EQ(std::get<int32_t>(lector.Fields().Item("POLY_ID").Value()), 2);
    EXPECT_EQ(NumeroDe([&] { lector.CopyRecordTo(Ruta("destino.shp"), 4); }), 9);

    // opening the target from another object completes it first
    Shapefile otro;
    otro.EditMode(true);
    otro.Open(Ruta("destino.shp"), 0, 0);
    EXPECT_EQ(otro.ShapeType(), 5);
    ASSERT_EQ(otro.RecordCount(), 2);
    ASSERT_EQ(otro.Fields().Count(), 4);
    EXPECT_EQ(otro.Fields().Item(4).Decimals(), 2);
    EXPECT_EQ(std::get<std::string>(otro.Fields().Item("CODIGO").Value()), "C3");
    EXPECT_EQ(otro.Vertices().Count(), 4);

    otro.Fields().Item("POLY_ID").Delete();
    otro.Fields().Item("text").Delete();
    otro.ApplyFieldDeletions();
    otro.CloseShapefile();
    EXPECT_FALSE(fs::exists(Ruta("destino.borrado.dbf")));

    Shapefile fin;
    fin.Open(Ruta("destino.shp"), 0, 0);
    ASSERT_EQ(fin.Fields().Count(), 2);
    EXPECT_EQ(fin.Fields().Item(1).Name(), "CODIGO");
    EXPECT_EQ(fin.Fields().Item(2).Name(), "ROTATION");
    fin.MoveTo(2);
    EXPECT_EQ(std::get<std::string>(fin.Fields().Item("CODIGO").Value()), "C1");
    EXPECT_EQ(fin.Vertices().Item(3).X, 1);
}

}  // namespace
