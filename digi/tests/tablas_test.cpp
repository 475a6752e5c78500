// Code table (.tab) and palette (.pal) readers.

#include "digi/Mensajes.h"
#include "digi/tests/Apoyo.h"

namespace brisquel::prueba {
namespace {

class Tablas : public CarpetaTemporal {
protected:
    void SetUp() override {
        CarpetaTemporal::SetUp();
        EstableceMensajero([this](const std::string& t) { m_mensajes.push_back(t); });
    }
    void TearDown() override {
        EstableceMensajero({});
        CarpetaTemporal::TearDown();
    }
    int ErrorTab(const std::string& contenido, TablaDigi tabla = {}) {
        Escribe(Ruta("t.tab"), contenido);
        int32_t f = 0, c = 0;
        try {
            digi.leo_digi_tab(Ruta("t.tab"), tabla, f, c);
        } catch (const DigiError& e) {
            return e.numero();
        }
        return 0;
    }
    int ErrorPal(const std::string& contenido) {
        Escribe(Ruta("p.pal"), contenido);
        Paleta p;
        try {
            digi.leo_PAL(Ruta("p.pal"), p);
        } catch (const DigiError& e) {
            return e.numero();
        }
        return 0;
    }
    std::vector<std::string> m_mensajes;
};

TEST_F(Tablas, TablaDeCodigos) {
    Escribe(Ruta("digi.tab"),
            "//@ 7 15\r\n"
            "// a comment\r\n"
            "1802 -1 3 0 2 \"Edificio en ruinas\" x\r\n"
            "\r\n"
            "1805 1  4\n");
    TablaDigi tabla;
    int32_t fondo = 0, nuevo = 0;
    digi.leo_digi_tab(Ruta("digi.tab"), tabla, fondo, nuevo);
    EXPECT_EQ(fondo, 7);
    EXPECT_EQ(nuevo, 15);
    ASSERT_EQ(tabla.size(), 3u);
    const auto& f = tabla[0];
    EXPECT_EQ(std::vector<std::string>(f.begin(), f.begin() + 7),
              std::vector<std::string>({"1802", "-1", "3", "0", "2", "\"Edificio en ruinas\" x", ""}));
    EXPECT_EQ(f[25], "");
    EXPECT_EQ(f[26], "1");
    EXPECT_EQ(tabla[1][0], "");  // an empty line is a row too
    EXPECT_EQ(tabla[1][26], "1");
    // A second space in a run belongs to the next token.
    EXPECT_EQ(tabla[2][1], "1");
    EXPECT_EQ(tabla[2][2], " 4");

    // Without a header line both values stay at 25000.
    Escribe(Ruta("digi.tab"), "1 2 3\n");
    tabla.clear();
    digi.leo_digi_tab(Ruta("digi.tab"), tabla, fondo, nuevo);
    EXPECT_EQ(fondo, 25000);
    EXPECT_EQ(nuevo, 25000);
    EXPECT_EQ(tabla.size(), 1u);

    // The header's second value is the rest of the line.
    Escribe(Ruta("digi.tab"), "//@ 12   40  \n1\n");
    tabla.clear();
    digi.leo_digi_tab(Ruta("digi.tab"), tabla, fondo, nuevo);
    EXPECT_EQ(fondo, 12);
    EXPECT_EQ(nuevo, 40);

    std::string veintiseis;
    for (int i = 0; i < 26; ++i) veintiseis += std::to_string(i) + (i < 25 ? " " : "");
    EXPECT_EQ(ErrorTab(veintiseis + "\n"), 0);
    EXPECT_EQ(ErrorTab(veintiseis + " \n"), kSubindice);
    EXPECT_EQ(ErrorTab(veintiseis + " 26\n"), kSubindice);
    EXPECT_EQ(ErrorTab("//@ siete 15\n1\n"), kTipoNoCoincide);
    EXPECT_EQ(ErrorTab("1\n2\n", TablaDigi(5)), kSubindice);
    EXPECT_EQ(ErrorTab("1\n2\n", TablaDigi(2)), 0);
    EXPECT_EQ(ErrorTab(""), 0);
    try {
        digi.leo_digi_tab(Ruta("no.tab"), tabla, fondo, nuevo);
        FAIL();
    } catch (const DigiError& e) {
        EXPECT_EQ(e.numero(), kFicheroNoEncontrado);
        EXPECT_NE(std::string(e.what()).find("no.tab"), std::string::npos);
    }
}

TEST_F(Tablas, Paleta) {
    Escribe(Ruta("digi.pal"), "255,0,0\n  \n0;0;255\n1\t2 \t 3 extra\n");
    Paleta pal;
    digi.leo_PAL(Ruta("digi.pal"), pal);
    ASSERT_EQ(pal.size(), 3u);
    EXPECT_EQ(pal[0], (std::array<int32_t, 4>{255, 0, 0, 255}));
    EXPECT_EQ(pal[1], (std::array<int32_t, 4>{0, 0, 255, 16711680}));
    EXPECT_EQ(pal[2], (std::array<int32_t, 4>{1, 2, 3, 1 + 512 + 196608}));

    // Blank lines only: the palette stays as it was.
    Escribe(Ruta("blanco.pal"), "\n   \n");
    digi.leo_PAL(Ruta("blanco.pal"), pal);
    EXPECT_EQ(pal.size(), 3u);
    // A shorter file replaces the palette with its own entries.
    Escribe(Ruta("uno.pal"), "9 9 9\n");
    digi.leo_PAL(Ruta("uno.pal"), pal);
    EXPECT_EQ(pal.size(), 1u);

    // A line of fewer than three tokens: the format message, and an empty palette.
    Escribe(Ruta("mal.pal"), "1 2 3\n4,5\n6 7 8\n");
    digi.leo_PAL(Ruta("mal.pal"), pal);
    EXPECT_TRUE(pal.empty());
    EXPECT_EQ(m_mensajes, std::vector<std::string>({"Error en formato de fichero : " + Ruta("mal.pal")}));

    EXPECT_EQ(ErrorPal("1 2 x\n"), kTipoNoCoincide);
    EXPECT_EQ(ErrorPal("1 2 3,\n"), 0);      // a separator at the end adds an empty 4th token
    EXPECT_EQ(ErrorPal("1 2,\n"), kTipoNoCoincide);  // ... which here is the 3rd
    EXPECT_EQ(ErrorPal("40000 0 0\n"), kDesbordamiento);
    EXPECT_EQ(ErrorPal("32767 32767 32767\n"), kDesbordamiento);
    EXPECT_EQ(ErrorPal("// comment\n1 2 3\n"), 0);
}

TEST_F(Tablas, NoChocanConFicherosBinAbiertos) {
    // BIN files hold the low file numbers; the readers still work.
    std::vector<int32_t> abiertos(10);
    for (size_t i = 0; i < abiertos.size(); ++i) digi.AbreFichero(Ruta("b" + std::to_string(i) + ".bin"), abiertos[i]);
    Escribe(Ruta("digi.pal"), "1 2 3\n");
    Escribe(Ruta("digi.tab"), "1802\n");
    Paleta pal;
    TablaDigi tabla;
    int32_t f = 0, c = 0;
    EXPECT_NO_THROW(digi.leo_PAL(Ruta("digi.pal"), pal));
    EXPECT_NO_THROW(digi.leo_digi_tab(Ruta("digi.tab"), tabla, f, c));
    EXPECT_EQ(pal.size(), 1u);
    EXPECT_EQ(tabla.size(), 1u);
    for (int32_t n : abiertos) digi.CierraFichero("", n);
}

}  // namespace
}  // namespace brisquel::prueba
