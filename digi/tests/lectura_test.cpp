// Reading: decoding files written by the encoder and by hand, the walk's end-of-file rule,
// deleted and truncated elements, properties, loading, file numbers, and the .tab/.pal readers.
// Damaged files, the high byte of 16-bit counts and the corrupt-kind exit are in tests/robustez.

#include "digi/Ficheros.h"
#include "digi/Texto1252.h"
#include "digi/tests/Apoyo.h"

namespace brisquel::prueba {
namespace {

class Lectura : public CarpetaTemporal {
protected:
    // Every record the walk returns, up to and including the one with nfich = 0.
    std::vector<tipo_entidad> Recorre(const std::string& bytes) {
        Escribe(Ruta("l.bin"), bytes);
        int32_t n = 0;
        digi.AbreFichero(Ruta("l.bin"), n);
        std::vector<tipo_entidad> v(1);
        for (digi.DameEntidad(n, v.back()); v.back().nfich != 0 && v.size() < 1000;) digi.DameEntidad(n, v.emplace_back());
        digi.CierraFichero(Ruta("l.bin"), n);
        return v;
    }
    static std::string Borrado(int npuntos) {
        return Cabecera("X ", "BORRADO", 0, npuntos) + std::string(36 + 12 * npuntos, '\xAB');
    }
    static std::string LineaDe(std::vector<Fpunto3d> p) {
        std::string s = Cabecera("C=", "L", 0, int(p.size())) + Rango(0, 0, 0, 0, 0, 0);
        for (auto& q : p) s += Punto(q.x, q.y, q.z);
        return s;
    }
};

TEST_F(Lectura, DecodificaLoQueEscribeElCodificador) {
    std::vector<tipo_entidad> v = {
        Linea("1802", {{0, 0, 1}, {100, 0, 2}, {100, 100, 3}, {0, 0, 4}}, {{1, 42, "ABC"}, {32767, -7, "123456"}}),
        Texto("TX", {5, 6, 7}, "Cami\xF3n de ca\xF1" "a larga", 20, 4, 1234), Linea("PT", {{-1, -2, -3}})};
    digi.CreaFicheroDigi(Ruta("e.bin"), v);
    const auto r = Recorre(Lee(Ruta("e.bin")));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(std::vector<int32_t>({r[0].puntero, r[0].tamano, r[1].puntero, r[2].nfich}),
              std::vector<int32_t>({1, 48 + 12 * 4 + 12 * 2, 121, 0}));
    EXPECT_NE(r[0].nfich, 0);
    EXPECT_EQ(r[0].elemento.cabecera.codigo, std::string("1802\0\0\0", 7));
    EXPECT_EQ(r[0].elemento.coordenadas, v[0].elemento.coordenadas);
    std::vector<std::string> atr;
    for (auto& a : r[0].elemento.atributos) atr.push_back(std::to_string(a.idTabla) + "/" + std::to_string(a.nregistro) + "/" + a.resto);
    EXPECT_EQ(atr, std::vector<std::string>({std::string("1/42/ABC\0\0\0", 11), "32767/-7/123456"}));
    EXPECT_EQ(Caja(r[0].elemento.rango), (std::array<int32_t, 6>{0, 0, 1, 100, 100, 4}));
    // First and last agree in x and y (z differs): closed, with area, since it is not last.
    EXPECT_TRUE(r[0].Propiedad.EsCerrado && r[0].Propiedad.EsVisible);
    EXPECT_DOUBLE_EQ(r[0].Propiedad.area, 5000.0);
    EXPECT_TRUE(r[1].Propiedad.EsTexto);
    EXPECT_EQ(r[1].Propiedad.texto, "Cami\xF3n de ca\xF1" "a larga");
    EXPECT_EQ(r[1].elemento.cabecera.npuntos, 3);
    EXPECT_EQ(r[1].elemento.textos.size(), 2u);
    EXPECT_EQ(r[1].elemento.coordenadas, std::vector<Fpunto3d>({{5, 6, 7}}));
    EXPECT_EQ((std::array<int32_t, 3>{r[1].elemento.rango.xlib, r[1].elemento.rango.ylib, r[1].elemento.rango.zlib}),
              (std::array<int32_t, 3>{20, 4, 1234}));
    EXPECT_TRUE(r[2].Propiedad.EsPunto);
    EXPECT_EQ(Caja(r[2].elemento.rango), (std::array<int32_t, 6>{-1, -2, -3, 0, 0, 0}));
}

TEST_F(Lectura, FinDeFicheroYElementosBorrados) {
    // Each record as kind@puntero, then "," when more follow or "." for nfich 0.
    const std::vector<std::pair<std::string, std::string>> casos = {
        {Punto1(3), "C=@1."},
        // Deleted last element: the live one before it with nfich set, then the deleted header.
        {Punto1(1) + Borrado(2), "C=@1,X @61."},
        // Consecutive deleted elements go by within one call, by their header counts alone.
        {Borrado(0) + Borrado(3) + Punto1(7) + Borrado(1) + Borrado(0) + Punto1(8), "C=@133,C=@301."},
        // An element ending one byte short of the end already counts as the last one.
        {Punto1(1) + Punto1(2) + "z", "C=@1,C=@61."},
        // Counts running past the end: the element is the last one.
        {Punto1(1) + LineaDe({{9, 9, 9}, {8, 8, 8}}).substr(0, 60 + 6), "C=@1,C=@61."},
    };
    for (const auto& [bytes, esperado] : casos) {
        const auto v = Recorre(bytes);
        std::string s;
        for (auto& e : v) s += e.elemento.cabecera.tipo + "@" + std::to_string(e.puntero) + (e.nfich ? "," : ".");
        EXPECT_EQ(s, esperado);
    }
    auto v = Recorre(Punto1(1) + Borrado(2));
    EXPECT_EQ(v[1].elemento.cabecera.codigo, "BORRADO");
    EXPECT_EQ(v[1].tamano, 72);
    EXPECT_TRUE(v[1].elemento.coordenadas.empty());
    EXPECT_FALSE(v[1].Propiedad.EsVisible);
    // The missing bytes of a cut element read as zeros.
    v = Recorre(Punto1(1) + LineaDe({{9, 9, 9}, {8, 8, 8}}).substr(0, 60 + 6));
    EXPECT_EQ(v[1].elemento.coordenadas, std::vector<Fpunto3d>({{9, 9, 9}, {8, 8, 0}}));
}

TEST_F(Lectura, PropiedadesDelUltimoElementoSinAdaptar) {
    // Two identical points: open in the middle of the file, closed (area 0) at its end.
    // Same x and y, different z: closed with its area in the middle, open at the end.
    const std::vector<Fpunto3d> dos = {{5, 5, 5}, {5, 5, 5}}, zDistinta = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 9}};
    for (auto [puntos, medio, area, final] : {std::tuple{dos, false, 0.0, true}, {zDistinta, true, 50.0, false}}) {
        const auto enMedio = Recorre(LineaDe(puntos) + Punto1(0))[0], alFinal = Recorre(Punto1(0) + LineaDe(puntos))[1];
        EXPECT_EQ(enMedio.Propiedad.EsCerrado, medio);
        EXPECT_DOUBLE_EQ(enMedio.Propiedad.area, area);
        EXPECT_EQ(alFinal.Propiedad.EsCerrado, final);
        EXPECT_EQ(alFinal.Propiedad.area, 0.0);
    }
    // A text element with npuntos 1: no blocks, empty text.
    auto v = Recorre(Cabecera("T=", "T", 0, 1) + Rango(0, 0, 0, 0, 0, 0) + Punto(1, 2, 3) + Punto1(0));
    EXPECT_TRUE(v[0].elemento.textos.empty() && v[0].Propiedad.EsTexto);
    EXPECT_EQ(v[0].Propiedad.texto, "");
    // A line of 0 points fails in the middle of a file, naming it, not at its end.
    const std::string cero = Cabecera("C=", "Z", 0, 0) + Rango(0, 0, 0, 0, 0, 0);
    std::string mensaje;
    EXPECT_EQ(Falla([&] { Recorre(cero + Punto1(0)); }, &mensaje), kSubindice);
    EXPECT_NE(mensaje.find("l.bin"), std::string::npos) << mensaje;
    EXPECT_EQ(Recorre(Punto1(0) + cero)[1].nfich, 0);
}

TEST_F(Lectura, AdaptaPropiedadYLimpiaTexto) {
    tipo_entidad e = Linea("L", {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {0, 0, 7}});
    e.Propiedad.Modificado = true;
    e.Propiedad.texto = "x";
    digi.AdaptaPropiedad(e);
    EXPECT_TRUE(e.Propiedad.EsCerrado);
    EXPECT_DOUBLE_EQ(e.Propiedad.area, 16.0);
    EXPECT_FALSE(e.Propiedad.Modificado || e.Propiedad.EsVisible);  // EsVisible is never set here
    EXPECT_EQ(e.Propiedad.texto, "");
    EXPECT_EQ(e.tamano, 48 + 60);
    // Differences beyond 32 bits overflow, as the area sums are 32-bit.
    e = Linea("L", {{-2000000000, 0, 0}, {2000000000, 5, 0}, {0, 9, 0}, {-2000000000, 0, 0}});
    EXPECT_THROW(digi.AdaptaPropiedad(e), DigiError);
    // Cut at the first NUL; only spaces are trimmed.
    for (auto [texto, limpio] : std::vector<std::pair<std::string, std::string>>{
             {std::string("  abc\0def", 9), "abc"}, {"  sin nul  ", "sin nul"}, {"\ttab ", "\ttab"}}) {
        digi.limpia_texto(texto);
        EXPECT_EQ(texto, limpio);
    }
}

TEST_F(Lectura, CargaFicheroDigi) {
    auto carga = [&](const std::string& bytes, std::vector<tipo_entidad> v = {}) {
        Escribe(Ruta("c.bin"), bytes);
        int32_t n = 0;
        digi.AbreFichero(Ruta("c.bin"), n);
        tipo_entidad e;
        digi.DameEntidad(n, e);  // the load starts from the beginning wherever the walk is
        digi.CargaFicheroDigi(Ruta("c.bin"), v, n);
        digi.CierraFichero(Ruta("c.bin"), n);
        std::vector<int32_t> xs;
        for (auto& x : v) xs.push_back(x.elemento.coordenadas.empty() ? -999 : x.elemento.coordenadas[0].x);
        return xs;
    };
    const std::string cero = Cabecera("C=", "Z", 0, 0) + Rango(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(carga(Punto1(1) + Punto1(2) + Punto1(3)), std::vector<int32_t>({1, 2, 3}));
    EXPECT_EQ(carga(Punto1(1) + Borrado(1) + Punto1(3)), std::vector<int32_t>({1, 3}));
    EXPECT_EQ(carga(Punto1(1) + Punto1(3) + Borrado(0)), std::vector<int32_t>({1, 3}));
    EXPECT_EQ(carga(Punto1(5), {Linea("A", {{9, 9, 9}})}), std::vector<int32_t>({9, 5}));
    EXPECT_EQ(carga(Punto1(1) + cero + Punto1(3)), std::vector<int32_t>({1, -999, 3}));  // the failing one passed over
}

TEST_F(Lectura, NumerosDeFicheroYErroresAlAbrir) {
    int32_t na = 0, nb = 0, nc = 0, n = 0;
    digi.AbreFichero(Ruta("a.bin"), na);  // created empty
    EXPECT_TRUE(std::filesystem::exists(Ruta("a.bin")));
    digi.AbreFichero(Ruta("b.bin"), nb);
    EXPECT_GT(nb, na);
    digi.CierraFichero(Ruta("a.bin"), na);
    EXPECT_FALSE(NumeroFicheroEnUso(na));
    digi.AbreFichero(Ruta("b.bin"), nc);
    EXPECT_EQ(nc, na);  // lowest free number again
    // 255 numbers in all, shared with the other libraries, then too many files.
    std::vector<int32_t> tomados;
    EXPECT_EQ(Falla([&] { for (;;) tomados.push_back(TomaNumeroFichero()); }), kDemasiadosFicheros);
    int enUso = 0;
    for (int i = 1; i <= 300; ++i) enUso += NumeroFicheroEnUso(i);
    EXPECT_EQ(enUso, 255);
    // A number taken by another library is not a BIN file: reading it is a bad file number,
    // closing it leaves it alone.
    tipo_entidad e;
    EXPECT_EQ(Falla([&] { digi.DameEntidad(tomados[0], e); }), kNumeroFicheroIncorrecto);
    digi.CierraFichero("", tomados[0]);
    EXPECT_TRUE(NumeroFicheroEnUso(tomados[0]));
    for (int32_t t : tomados) LiberaNumeroFichero(t);
    digi.CierraFichero(Ruta("b.bin"), nb);
    digi.CierraFichero(Ruta("b.bin"), nc);
    std::string mensaje;
    EXPECT_EQ(Falla([&] { digi.AbreFichero(Ruta("falta/x.bin"), n); }, &mensaje), kErrorDeRuta);
    EXPECT_NE(mensaje.find("falta/x.bin"), std::string::npos) << mensaje;
    EXPECT_EQ(Falla([&] { digi.AbreFichero(m_dir.string(), n); }), kErrorAccesoRuta);
}

TEST_F(Lectura, FicheroCompactadoMientrasEstaAbierto) {
    // The file is cut well below what was open; reads past the new end give zeros.
    Escribe(Ruta("abierto.bin"), Borrado(2000) + Punto1(1) + Punto1(2));
    int32_t n = 0;
    digi.AbreFichero(Ruta("abierto.bin"), n);
    tipo_entidad e;
    digi.DameEntidad(n, e);
    EXPECT_EQ(e.elemento.coordenadas[0].x, 1);
    digi.comprimir(Ruta("abierto.bin"));
    EXPECT_EQ(std::filesystem::file_size(Ruta("abierto.bin")), 120u);
    digi.DameEntidad(n, e);
    EXPECT_EQ(e.nfich, 0);
    EXPECT_EQ(e.elemento.cabecera.tipo, std::string(2, '\0'));
    digi.CierraFichero(Ruta("abierto.bin"), n);
}

TEST_F(Lectura, TablaDeCodigos) {
    auto lee = [&](const std::string& contenido, TablaDigi& tabla, int32_t& fondo, int32_t& nuevo) {
        Escribe(Ruta("t.tab"), contenido);
        return Falla([&] { digi.leo_digi_tab(Ruta("t.tab"), tabla, fondo, nuevo); });
    };
    TablaDigi t;
    int32_t fondo = 0, nuevo = 0;
    ASSERT_EQ(lee("//@ 7 15\r\n// a comment\r\n1802 -1 3 0 2 \"Edificio en ruinas\" x\r\n\r\n1805 1  4\n", t, fondo, nuevo), 0);
    EXPECT_EQ(std::vector<int32_t>({fondo, nuevo}), std::vector<int32_t>({7, 15}));
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(t[0].begin(), t[0].begin() + 7),
              std::vector<std::string>({"1802", "-1", "3", "0", "2", "\"Edificio en ruinas\" x", ""}));
    EXPECT_EQ(t[0][26], "1");
    EXPECT_EQ(t[1][0], "");  // an empty line is a row too
    EXPECT_EQ(std::vector<std::string>(t[2].begin(), t[2].begin() + 3), std::vector<std::string>({"1805", "1", " 4"}));
    // Without a header line both values are 25000; the header's second value is the rest of the line.
    t.clear();
    lee("1 2 3\n", t, fondo, nuevo);
    EXPECT_EQ(std::vector<int32_t>({fondo, nuevo}), std::vector<int32_t>({25000, 25000}));
    t.clear();
    lee("//@ 12   40  \n1\n", t, fondo, nuevo);
    EXPECT_EQ(std::vector<int32_t>({fondo, nuevo}), std::vector<int32_t>({12, 40}));
    // 26 tokens fit; a trailing space makes a 27th. A table longer than the file is an index error.
    std::string veintiseis;
    for (int i = 0; i < 26; ++i) veintiseis += std::to_string(i) + (i < 25 ? " " : "\n");
    EXPECT_EQ(lee(veintiseis, t = {}, fondo, nuevo), 0);
    EXPECT_EQ(lee(veintiseis.substr(0, veintiseis.size() - 1) + " \n", t = {}, fondo, nuevo), kSubindice);
    EXPECT_EQ(lee("1\n2\n", t = TablaDigi(5), fondo, nuevo), kSubindice);
    EXPECT_EQ(lee("1\n2\n", t = TablaDigi(2), fondo, nuevo), 0);
    std::string mensaje;
    EXPECT_EQ(Falla([&] { digi.leo_digi_tab(Ruta("no.tab"), t, fondo, nuevo); }, &mensaje), kFicheroNoEncontrado);
    EXPECT_NE(mensaje.find("no.tab"), std::string::npos);
}

TEST_F(Lectura, Paleta) {
    Paleta pal;
    auto lee = [&](const std::string& contenido) {
        Escribe(Ruta("p.pal"), contenido);
        return Falla([&] { digi.leo_PAL(Ruta("p.pal"), pal); });
    };
    ASSERT_EQ(lee("255,0,0\n  \n0;0;255\n1\t2 \t 3 extra\n"), 0);
    EXPECT_EQ(pal, Paleta({{255, 0, 0, 255}, {0, 0, 255, 16711680}, {1, 2, 3, 1 + 512 + 196608}}));
    lee("\n   \n");  // blank lines only: the palette stays as it was
    EXPECT_EQ(pal.size(), 3u);
    lee("9 9 9\n");  // a shorter file replaces it
    EXPECT_EQ(pal, Paleta({{9, 9, 9, 9 + 9 * 256 + 9 * 65536}}));
    EXPECT_EQ(lee("1 2 3,\n"), 0);                // a separator at the end adds an empty 4th token
    EXPECT_EQ(lee("1 2,\n"), kTipoNoCoincide);    // ... which here is the 3rd
    EXPECT_EQ(lee("32767 32767 32767\n"), kDesbordamiento);
    EXPECT_EQ(lee("// comment\n1 2 3\n"), 0);
}

TEST_F(Lectura, TablasNoChocanConFicherosBinAbiertos) {
    // BIN files hold the low file numbers, 1 and 8 among them; the readers still work.
    std::vector<int32_t> abiertos(10);
    for (size_t i = 0; i < abiertos.size(); ++i) digi.AbreFichero(Ruta("b" + std::to_string(i) + ".bin"), abiertos[i]);
    Escribe(Ruta("digi.pal"), "1 2 3\n");
    Escribe(Ruta("digi.tab"), "1802\n");
    Paleta pal;
    TablaDigi tabla;
    int32_t f = 0, c = 0;
    EXPECT_NO_THROW(digi.leo_PAL(Ruta("digi.pal"), pal));
    EXPECT_NO_THROW(digi.leo_digi_tab(Ruta("digi.tab"), tabla, f, c));
    EXPECT_EQ(pal.size() + tabla.size(), 2u);
    for (int32_t n : abiertos) digi.CierraFichero("", n);
}

TEST(Texto1252, IdaYVuelta) {
    std::string todos;
    for (int b = 1; b < 256; ++b) todos += char(b);
    bool exacto = false;
    EXPECT_EQ(Windows1252DesdeUtf8(Utf8DesdeWindows1252(todos), '?', &exacto), todos);
    EXPECT_TRUE(exacto);
    EXPECT_EQ(Utf8DesdeWindows1252("A\xF1o \x80"), "A\xC3\xB1o \xE2\x82\xAC");
    // Characters the code page lacks, and broken UTF-8, become the substitute.
    EXPECT_EQ(Windows1252DesdeUtf8("\xE2\x88\x9E x \xC3", '?', &exacto), "? x ?");
    EXPECT_FALSE(exacto);
}

}  // namespace
}  // namespace brisquel::prueba
