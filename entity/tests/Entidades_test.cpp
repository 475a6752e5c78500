#include "entity/Entidades.h"

#include <gtest/gtest.h>

#include <limits>

using namespace lumeral;

namespace {

MaxMin Caja(int32_t xmin, int32_t xmax) {
    MaxMin m;
    m.xmin(xmin);
    m.xmax(xmax);
    return m;
}

TEST(MaxMin, InflateAndDeflateRoundHalvesToEven) {
    MaxMin m = Caja(0, 10);
    m.Inflar(3, 3, 0);
    EXPECT_EQ(m.xmin(), -2);
    EXPECT_EQ(m.xmax(), 12);
    EXPECT_EQ(m.ymin(), -2);
    EXPECT_EQ(m.ymax(), 2);
    m.DesInflar(3, 3, 0);
    EXPECT_EQ(m.xmin(), 0);
    EXPECT_EQ(m.xmax(), 10);
    EXPECT_EQ(m.Ancho(), 10);

    m.Inflar(1, 1, 1);
    EXPECT_EQ(m.xmin(), 0);
    EXPECT_EQ(m.xmax(), 10);

    MaxMin limite = Caja(0, std::numeric_limits<int32_t>::max());
    EXPECT_THROW(limite.Inflar(4, 0, 0), EntidadError);
    EXPECT_EQ(limite.xmin(), 0);  // unchanged after the overflow
    limite.xmin(-1);
    EXPECT_THROW(limite.Ancho(), EntidadError);
    MaxMin extremo;
    EXPECT_NO_THROW(extremo.DesInflar(std::numeric_limits<int32_t>::min(), 0, 0));
}

TEST(Entidades, IdsAreNeverReused) {
    Entidades col;
    auto a = col.Anade();
    auto propia = std::make_shared<Entidad>();
    auto b = col.Anade(propia);
    col.Anade();
    EXPECT_EQ(a->Id(), 1);
    EXPECT_EQ(b, propia);
    EXPECT_EQ(b->Id(), 2);
    EXPECT_EQ(col.Clave(3), "3");
    col.Borra(1);
    EXPECT_EQ(col.Contador(), 2);
    EXPECT_EQ(col.item(1)->Id(), 2);
    EXPECT_EQ(col.Anade()->Id(), 4);
    std::vector<int32_t> ids;
    for (const auto& e : col) ids.push_back(e->Id());
    EXPECT_EQ(ids, (std::vector<int32_t>{2, 3, 4}));
    EXPECT_THROW(col.item(0), EntidadError);
    EXPECT_THROW(col.Borra(4), EntidadError);
    EXPECT_EQ(col.Contador(), 3);

    Entidades otra;
    otra.Anade(propia);
    EXPECT_EQ(propia->Id(), 1);  // a second collection gives its own Id
}

}  // namespace
