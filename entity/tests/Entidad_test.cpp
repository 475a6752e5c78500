// Entities: kind transitions, the text extent table, code filters, extent rounding and
// collection ids.

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
std::array<int32_t, 6> Rango(const MaxMin& m) {
    return {m.xmin(), m.xmax(), m.ymin(), m.ymax(), m.zmin(), m.zmax()};
}
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

TEST(Entidad, KindFollowsPointsAndText) {
    std::vector<std::string> vistos;  // the texts the library would show in message boxes
    EstableceMensajero([&](const std::string& t) { vistos.push_back(t); });
    Entidad e;
    e.BorraPunto(1);
    auto p1 = P(10, 20);
    e.AnadePunto(p1);
    EXPECT_EQ(e.tipo(), Entidad::kPuntual);
    e.BorraPunto(1);  // the only point stays
    e.AnadePunto(P(5, 30, -3));
    e.AnadePunto(P(3, 3));
    EXPECT_EQ(e.tipo(), Entidad::kLineal);
    EXPECT_EQ(Rango(e.MaxMin()), (std::array<int32_t, 6>{3, 10, 3, 30, -3, 0}));
    e.BorraPunto(4);
    EXPECT_EQ(e.Punto(1).get(), p1.get());  // the list holds the caller's object, not a copy
    EXPECT_THROW(e.Punto(4), EntidadError);
    EXPECT_THROW(e.BorraPunto(0), EntidadError);
    e.BorraPunto(2);
    e.BorraPunto(1);
    EXPECT_EQ(e.tipo(), Entidad::kPuntual);
    EXPECT_EQ(e.MaxMin().xmax(), 10);  // the extent is not recomputed
    EXPECT_EQ(vistos,
              (std::vector<std::string>{"No hay puntos que borrar", "Solo hay un punto que borrar",
                                        "Ese punto no existe"}));
    EstableceMensajero(nullptr);

    // A text on a line keeps only the first point; justification outside 0..8 is 0.
    Entidad l;
    l.AnadePunto(P(100, 100, 7));
    l.AnadePunto(P(0, 0));
    l.Texto().Altura(10), l.Texto().Justificacion(9);
    EXPECT_EQ(l.Texto().Justificacion(), 0);
    l.Texto().Justificacion(4), l.Texto().Texto("ABCD");
    EXPECT_EQ(std::make_pair(l.Puntos(), int(l.tipo())),
              std::make_pair(1, int(Entidad::kTexto)));  // one point left
    EXPECT_EQ(Rango(l.MaxMin()), (std::array<int32_t, 6>{60, 100, 90, 100, 7, 7}));
    // A text set with no point fails but is stored; the point added later makes a text.
    Entidad t;
    t.Texto().Altura(10);
    EXPECT_THROW(t.Texto().Texto("  AB  "), EntidadError);
    EXPECT_EQ(t.Texto().Texto(), "AB");
    t.AnadePunto(P(0, 0));
    EXPECT_EQ(t.tipo(), Entidad::kTexto);
    EXPECT_EQ(Rango(t.MaxMin()), (std::array<int32_t, 6>{0, 20, 0, 10, 0, 0}));
}

TEST(Entidad, TextExtentTableWithHalvesToEven) {
    // Three characters of height 5 at (100, 200): L = 15, L/2 = 7.5 -> 8, H/2 = 2.5 -> 2.
    const std::array<int32_t, 4> cajas[] = {
        // xmin, xmax, ymin, ymax per justification 0..8
        {100, 115, 200, 205}, {100, 115, 198, 202}, {100, 115, 195, 200},
        {92, 108, 195, 200},  {85, 100, 195, 200},  {85, 100, 198, 202},
        {85, 100, 200, 205},  {92, 108, 200, 205},  {92, 108, 198, 202}};
    for (int j = 0; j < 9; ++j) {
        Entidad e;
        e.AnadePunto(P(100, 200, 3));
        e.Texto().Altura(5), e.Texto().Justificacion(j), e.Texto().Texto("abc");
        const auto r = Rango(e.MaxMin());
        EXPECT_EQ((std::array<int32_t, 4>{r[0], r[1], r[2], r[3]}), cajas[j])
            << "Justificacion " << j;
    }
    Entidad grande;
    grande.AnadePunto(P(kMax - 5, 0));
    grande.Texto().Altura(10);
    EXPECT_THROW(grande.Texto().Texto("x"), EntidadError);
}

TEST(Entidad, CodeFilters) {
    const std::vector<std::string> prefijo{"10*", "-1002"}, todoMenos{"*", "-20*"};
    const struct {
        std::vector<std::string> filtro;
        std::string codigo;
        bool valido;
    } casos[] = {{prefijo, "1001", true},  {prefijo, "10", true},      {prefijo, "1002", false},
                 {prefijo, "2001", false}, {prefijo, "1", false},      {todoMenos, "1001", true},
                 {todoMenos, "", true},    {todoMenos, "2001", false}, {{"*", "-*"}, "1001", false},
                 {{"1001"}, "1001", true}, {{"1001"}, "10010", false}, {{"ab*"}, "AB1", false}};
    Entidad e;
    for (const auto& c : casos)
        EXPECT_EQ(e.EsCodigoValido(c.filtro, c.codigo), c.valido) << c.codigo;
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
    EXPECT_TRUE(hay && col.item(1)->Estado().Visible() && !col.item(2)->Estado().Visible());
    e.AplicoFiltroCodigosFeaturesValidos({"9*"}, col, hay);
    EXPECT_FALSE(hay || col.item(1)->Estado().Visible());
}

TEST(MaxMin, InflateAndDeflateRoundHalvesToEven) {
    MaxMin m;
    m.xmax(10);
    m.Inflar(3, 3, 0);  // 1.5 -> 2
    EXPECT_EQ(Rango(m), (std::array<int32_t, 6>{-2, 12, -2, 2, 0, 0}));
    m.DesInflar(3, 3, 0);
    EXPECT_EQ(Rango(m), (std::array<int32_t, 6>{0, 10, 0, 0, 0, 0}));
    m.Inflar(1, 1, 1);  // 0.5 -> 0
    EXPECT_EQ(Rango(m), (std::array<int32_t, 6>{0, 10, 0, 0, 0, 0}));
    m.xmax(kMax);
    EXPECT_THROW(m.Inflar(4, 0, 0), EntidadError);
    EXPECT_EQ(m.xmin(), 0);  // unchanged after the overflow
    m.xmin(-1);
    EXPECT_THROW(m.Ancho(), EntidadError);
    EXPECT_NO_THROW(MaxMin().DesInflar(std::numeric_limits<int32_t>::min(), 0, 0));
}

TEST(Entidades, IdsAreNeverReused) {
    Entidades col, otra;
    auto propia = std::make_shared<Entidad>();
    EXPECT_EQ(col.Anade()->Id(), 1);
    EXPECT_EQ(col.Anade(propia), propia);
    col.Borra(1);
    col.Anade();
    std::vector<int32_t> ids;
    for (const auto& e : col) ids.push_back(e->Id());
    EXPECT_EQ(ids, (std::vector<int32_t>{2, 3}));
    EXPECT_THROW(col.item(0), EntidadError);
    EXPECT_THROW(col.Borra(3), EntidadError);
    otra.Anade(propia);
    EXPECT_EQ(propia->Id(), 1);  // a second collection gives its own Id
}

}  // namespace
