#include "entity/Entidad.h"

#include <gtest/gtest.h>

#include <limits>

#include "entity/Entidades.h"
#include "entity/Mensajes.h"

using namespace lumeral;

namespace {

std::shared_ptr<Punto3D> P(int32_t x, int32_t y, int32_t z = 0) {
    return std::make_shared<Punto3D>(x, y, z);
}

// Records the texts the library would show in message boxes.
class Mensajes : public ::testing::Test {
  protected:
    void SetUp() override {
        EstableceMensajero([this](const std::string& t) { vistos.push_back(t); });
    }
    void TearDown() override { EstableceMensajero(nullptr); }
    std::vector<std::string> vistos;
};

std::array<int32_t, 6> Rango(Entidad& e) {
    auto& m = e.MaxMin();
    return {m.xmin(), m.xmax(), m.ymin(), m.ymax(), m.zmin(), m.zmax()};
}

TEST(Entidad, KindFollowsPointsAndExtentGrows) {
    Entidad e;
    EXPECT_EQ(e.tipo(), 0);
    auto p1 = P(10, 20);
    e.AnadePunto(p1);
    EXPECT_EQ(e.tipo(), Entidad::kPuntual);
    EXPECT_EQ(Rango(e), (std::array<int32_t, 6>{10, 10, 20, 20, 0, 0}));
    e.AnadePunto(P(5, 30, -3));
    EXPECT_EQ(e.tipo(), Entidad::kLineal);
    EXPECT_EQ(Rango(e), (std::array<int32_t, 6>{5, 10, 20, 30, -3, 0}));
    // The list holds the caller's object, not a copy.
    p1->x(99);
    EXPECT_EQ(e.Punto(1)->x(), 99);
    EXPECT_EQ(e.Punto(1).get(), p1.get());
    EXPECT_THROW(e.Punto(0), EntidadError);
    EXPECT_THROW(e.Punto(3), EntidadError);
    EXPECT_THROW(e.AnadePunto(nullptr), EntidadError);
}

TEST_F(Mensajes, RemovingPointsShowsTheMessagesAndKeepsTheKindRight) {
    Entidad e;
    e.BorraPunto(1);
    e.AnadePunto(P(1, 1));
    e.BorraPunto(1);
    EXPECT_EQ(e.Puntos(), 1);
    e.AnadePunto(P(2, 2));
    e.AnadePunto(P(3, 3));
    e.BorraPunto(4);
    EXPECT_EQ(e.Puntos(), 3);
    EXPECT_EQ(vistos,
              (std::vector<std::string>{"No hay puntos que borrar", "Solo hay un punto que borrar",
                                        "Ese punto no existe"}));
    EXPECT_THROW(e.BorraPunto(0), EntidadError);
    e.BorraPunto(2);
    EXPECT_EQ(e.tipo(), Entidad::kLineal);
    EXPECT_EQ(e.Punto(2)->x(), 3);
    e.BorraPunto(1);
    EXPECT_EQ(e.tipo(), Entidad::kPuntual);
    EXPECT_EQ(e.MaxMin().xmax(), 3);  // the extent is not recomputed

    vistos.clear();
    e.BorraAtributo(1);
    auto a = std::make_shared<Atr>();
    e.AnadeAtributo(a);
    e.AnadeAtributo(std::make_shared<Atr>());
    e.BorraAtributo(3);
    EXPECT_EQ(vistos,
              (std::vector<std::string>{"No hay atributos que borrar", "Este atributo no existe"}));
    e.BorraAtributo(2);
    EXPECT_EQ(e.Atributo(1), a);
    e.BorraAtributo(1);
    EXPECT_EQ(e.atributos(), 0);
    EXPECT_THROW(e.Atributo(1), EntidadError);
}

TEST(Entidad, TextPropertiesAndTextChange) {
    Entidad e;
    auto& t = e.Texto();
    t.Justificacion(9);
    EXPECT_EQ(t.Justificacion(), 0);
    t.Justificacion(-1);
    EXPECT_EQ(t.Justificacion(), 0);
    t.Justificacion(8);
    EXPECT_EQ(t.Justificacion(), 8);
    // A text set with no point to hang it on fails, but the string is stored.
    EXPECT_THROW(t.Texto("  A  "), EntidadError);
    EXPECT_EQ(t.Texto(), "A");

    Entidad l;
    l.AnadePunto(P(100, 100, 7));
    l.AnadePunto(P(0, 0));
    l.AnadePunto(P(50, 500));
    l.Texto().Altura(10);
    l.Texto().Justificacion(4);
    l.Texto().Texto("ABCD");
    EXPECT_EQ(l.Puntos(), 1);
    EXPECT_EQ(l.tipo(), Entidad::kTexto);
    EXPECT_EQ(Rango(l), (std::array<int32_t, 6>{60, 100, 90, 100, 7, 7}));

    // A point added to an entity whose text is already set makes a text.
    Entidad t2;
    t2.Texto().Altura(10);
    t2.codigo("  1001 ");
    EXPECT_EQ(t2.codigo(), "1001");
    EXPECT_THROW(t2.Texto().Texto("AB"), EntidadError);
    t2.AnadePunto(P(0, 0));
    EXPECT_EQ(t2.tipo(), Entidad::kTexto);
    EXPECT_EQ(Rango(t2), (std::array<int32_t, 6>{0, 20, 0, 10, 0, 0}));
}

struct CasoCaja {
    int32_t justificacion;
    std::array<int32_t, 4> caja;  // xmin, xmax, ymin, ymax
};

TEST(Entidad, TextExtentTableWithHalvesToEven) {
    // Three characters of height 5 at (100, 200): L = 15, L/2 = 7.5 -> 8, H/2 = 2.5 -> 2.
    const CasoCaja casos[] = {
        {0, {100, 115, 200, 205}}, {1, {100, 115, 198, 202}}, {2, {100, 115, 195, 200}},
        {3, {92, 108, 195, 200}},  {4, {85, 100, 195, 200}},  {5, {85, 100, 198, 202}},
        {6, {85, 100, 200, 205}},  {7, {92, 108, 200, 205}},  {8, {92, 108, 198, 202}},
    };
    for (const auto& c : casos) {
        Entidad e;
        e.AnadePunto(P(100, 200, 3));
        e.Texto().Altura(5);
        e.Texto().Justificacion(c.justificacion);
        e.Texto().Texto("abc");
        auto& m = e.MaxMin();
        EXPECT_EQ((std::array<int32_t, 4>{m.xmin(), m.xmax(), m.ymin(), m.ymax()}), c.caja)
            << "Justificacion " << c.justificacion;
    }
    Entidad grande;
    grande.AnadePunto(P(std::numeric_limits<int32_t>::max() - 5, 0));
    grande.Texto().Altura(10);
    EXPECT_THROW(grande.Texto().Texto("x"), EntidadError);
}

TEST(Entidad, CodeFilters) {
    Entidad e;
    const std::vector<std::string> prefijo{"10*", "-1002"};
    EXPECT_TRUE(e.EsCodigoValido(prefijo, "1001"));
    EXPECT_TRUE(e.EsCodigoValido(prefijo, "10"));
    EXPECT_FALSE(e.EsCodigoValido(prefijo, "1002"));
    EXPECT_FALSE(e.EsCodigoValido(prefijo, "2001"));
    EXPECT_FALSE(e.EsCodigoValido(prefijo, "1"));
    const std::vector<std::string> todoMenos{"*", "-20*"};
    EXPECT_TRUE(e.EsCodigoValido(todoMenos, "1001"));
    EXPECT_TRUE(e.EsCodigoValido(todoMenos, ""));
    EXPECT_FALSE(e.EsCodigoValido(todoMenos, "2001"));
    EXPECT_FALSE(e.EsCodigoValido({"*", "-*"}, "1001"));
    EXPECT_TRUE(e.EsCodigoValido({"1001"}, "1001"));
    EXPECT_FALSE(e.EsCodigoValido({"1001"}, "10010"));
    EXPECT_FALSE(e.EsCodigoValido({"ab*"}, "AB1"));  // case-sensitive
    EXPECT_THROW(e.EsCodigoValido({}, "1001"), EntidadError);

    Entidad otra;
    otra.codigo("3000");
    auto a = std::make_shared<Atr>();
    a->Tabla(2);
    a->resto("1001");
    otra.AnadeAtributo(a);
    EXPECT_FALSE(e.EsCodigoFeatureValido(otra, prefijo));  // only table 1 carries features
    a->Tabla(1);
    EXPECT_TRUE(e.EsCodigoFeatureValido(otra, prefijo));

    Entidades col;
    col.Anade()->codigo("1001");
    col.Anade()->codigo("2001");
    bool hay = false;
    e.AplicoFiltroCodigosFeaturesValidos(prefijo, col, hay);
    EXPECT_TRUE(hay);
    EXPECT_TRUE(col.item(1)->Estado().Visible());
    EXPECT_FALSE(col.item(2)->Estado().Visible());
    e.AplicoFiltroCodigosFeaturesValidos({"9*"}, col, hay);
    EXPECT_FALSE(hay);
    EXPECT_FALSE(col.item(1)->Estado().Visible());
}

}  // namespace
