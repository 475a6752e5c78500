// Writing: byte-exact encoding against hand-computed bytes, the extent rule, text blocks,
// all-or-nothing appends and compaction.

#include "digi/tests/Apoyo.h"

namespace brisquel::prueba {
namespace {

class Escritura : public CarpetaTemporal {
protected:
    std::string Crea(std::vector<tipo_entidad> v, const std::string& nombre = "a.bin") {
        const std::string r = Ruta(nombre);
        digi.CreaFicheroDigi(r, v);
        return Lee(r);
    }
    int Error(const std::string& nombre, std::vector<tipo_entidad> v, std::string* mensaje = nullptr) {
        try {
            digi.CreaFicheroDigi(Ruta(nombre), v);
        } catch (const DigiError& e) {
            if (mensaje) *mensaje = e.what();
            return e.numero();
        }
        return 0;
    }
};

TEST_F(Escritura, CadaClaseDeElementoByteAByte) {
    // A point at negative coordinates: maximums stay at 0, -1 is FF FF FF FF.
    EXPECT_EQ(Crea({Linea("123", {{-5, -1, 3}})}, "punto.bin"),
              Cabecera("C=", "123", 0, 1) + Rango(-5, -1, 3, 0, 0, 3) +
                  Bytes({0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 3, 0, 0, 0}));

    // A line of 3 points and 2 attributes: 48 + 36 + 24 = 108 bytes. The code is trimmed;
    // free values pass through; resto is trimmed, NUL-padded and cut to 6.
    tipo_entidad l = Linea(" AB ", {{10, 20, 1}, {30, -40, 2}, {50, 60, 3}},
                           {{5, 1000, " X1 "}, {300, -2, "ABCDEFGH"}});
    l.elemento.rango.xlib = 7, l.elemento.rango.ylib = 8, l.elemento.rango.zlib = 9;
    const std::string linea = Crea({l}, "linea.bin");
    EXPECT_EQ(linea.size(), 108u);
    EXPECT_EQ(linea, Cabecera("C=", "AB", 2, 3) + Rango(10, -40, 1, 50, 60, 3, 7, 8, 9) +
                         Punto(10, 20, 1) + Punto(30, -40, 2) + Punto(50, 60, 3) +
                         Bytes({5, 0}) + LE32(1000) + Bytes({'X', '1', 0, 0, 0, 0}) +
                         Bytes({0x2C, 0x01, 0xFE, 0xFF, 0xFF, 0xFF}) + "ABCDEF");

    // A 7-character code has no padding; npuntos above 255 uses its high byte.
    std::vector<Fpunto3d> muchos(300, Fpunto3d{1, 1, 1});
    const std::string largo = Crea({Linea("ABCDEFG", muchos)}, "largo.bin");
    EXPECT_EQ(largo.substr(0, 12), std::string("C=ABCDEFG") + Bytes({0, 300 % 256, 1}));
    EXPECT_EQ(largo.size(), 48u + 12 * 300);

    // A text of three characters in one NUL-padded block; the accent byte passes unchanged.
    // Rotation 0 runs along +x: the run adds (1030, 2000, 0) to the extent.
    const std::string texto = Crea({Texto("T1", {1000, 2000, 5}, "A\xF1o", 10)}, "texto.bin");
    EXPECT_EQ(texto, Cabecera("T=", "T1", 0, 2) + Rango(1000, 2000, 0, 1030, 2000, 5, 10, 0, 0) +
                         Punto(1000, 2000, 5) + "A\xF1o" + std::string(9, '\0'));

    // A text of exactly 12 characters: one full block and one block of twelve NULs.
    const std::string doce = Crea({Texto("T", {0, 0, 0}, "ABCDEFGHIJKL")}, "doce.bin");
    EXPECT_EQ(doce.substr(10, 2), Bytes({3, 0}));
    EXPECT_EQ(doce.substr(60), "ABCDEFGHIJKL" + std::string(12, '\0'));
}

TEST_F(Escritura, RangoConNegativosYRecorridoDelTexto) {
    auto rango = [&](tipo_entidad e) {
        std::vector<tipo_entidad> v{e};
        digi.CreaFicheroDigi(Ruta("r.bin"), v);
        std::filesystem::remove(Ruta("r.bin"));
        return v[0].elemento.rango;
    };
    // All negative: maximums stay 0.
    tipo_max r = rango(Linea("L", {{-10, -20, -30}, {-5, -50, -1}}));
    EXPECT_EQ(std::vector<int32_t>({r.xmin, r.ymin, r.zmin, r.xmax, r.ymax, r.zmax}),
              std::vector<int32_t>({-10, -50, -30, 0, 0, 0}));
    // Beyond 999999999 the minimum start value stays.
    r = rango(Linea("L", {{1500000000, 5, 5}}));
    EXPECT_EQ(r.xmin, 999999999);
    EXPECT_EQ(r.xmax, 1500000000);

    // Rotation 90 degrees, centred (3): run from y - L/2 to y + L/2 with L = 4 x 5.
    r = rango(Texto("T", {-100, -200, 0}, "ABCD", 5, 3, 9000));
    EXPECT_EQ(std::vector<int32_t>({r.xmin, r.ymin, r.xmax, r.ymax}),
              std::vector<int32_t>({-100, -210, 0, 0}));
    EXPECT_EQ(r.zlib, 9000);  // free values kept
    // 45 degrees, right-justified (4): the run ends at the insertion point.
    r = rango(Texto("T", {1000, 1000, 7}, "AB", 100, 4, 4500));
    EXPECT_EQ(std::vector<int32_t>({r.xmin, r.ymin, r.zmin, r.xmax, r.ymax, r.zmax}),
              std::vector<int32_t>({859, 859, 0, 1000, 1000, 7}));
    // Halves round to even: ends at -2.5 and 2.5 become -2 and 2.
    r = rango(Texto("T", {0, 0, 0}, "A", 5, 3, 0));
    EXPECT_EQ(r.xmin, -2);
    EXPECT_EQ(r.xmax, 2);
    // Rotation -27000 is the same as 90 after bringing the angle into 0..2 pi.
    r = rango(Texto("T", {0, 0, 0}, "A", 10, 0, -27000));
    EXPECT_EQ(r.ymax, 10);
    // Justification outside 0..8: both ends of the run fall on the insertion point, at z 0.
    r = rango(Texto("T", {50, 60, -3}, "ABC", 10, 9, 0));
    EXPECT_EQ(std::vector<int32_t>({r.xmin, r.xmax, r.zmin, r.zmax}),
              std::vector<int32_t>({50, 50, -3, 0}));
    // An empty text has no run: only the insertion point counts.
    r = rango(Texto("T", {-5, -5, -5}, "", 10, 0, 0));
    EXPECT_EQ(std::vector<int32_t>({r.xmin, r.ymin, r.zmin, r.xmax, r.ymax, r.zmax}),
              std::vector<int32_t>({-5, -5, -5, 0, 0, 0}));
}

TEST_F(Escritura, TextosEnBloquesDeDoce) {
    tipo_entidad e;
    auto bloques = [&](std::string t) {
        digi.ModificaTextoEntidad(t, e);
        std::vector<std::string> v;
        for (auto& b : e.elemento.textos) v.push_back(b.texto12);
        return v;
    };
    const std::string N(12, '\0');
    EXPECT_EQ(bloques("ABCDEFGHIJK"), std::vector<std::string>({"ABCDEFGHIJK" + N.substr(0, 1)}));
    EXPECT_EQ(e.elemento.cabecera.npuntos, 2);
    EXPECT_EQ(bloques("ABCDEFGHIJKLM"),
              std::vector<std::string>({"ABCDEFGHIJKL", "M" + N.substr(0, 11)}));
    EXPECT_EQ(e.elemento.cabecera.npuntos, 3);
    EXPECT_EQ(bloques(std::string(24, 'x')),
              std::vector<std::string>({std::string(12, 'x'), std::string(12, 'x'), N}));
    EXPECT_EQ(e.elemento.cabecera.npuntos, 4);
    EXPECT_EQ(bloques(""), std::vector<std::string>({N}));
    EXPECT_EQ(e.elemento.cabecera.npuntos, 2);
    // The remainder of a long text loses its spaces.
    EXPECT_EQ(bloques("ABCDEFGHIJKL  M "), std::vector<std::string>({"ABCDEFGHIJKL", "M" + N.substr(1)}));

    // Short texts come back to the caller trimmed and NUL-padded; long ones untouched.
    std::string corto = " ABCDEFGHIJ";
    digi.ModificaTextoEntidad(corto, e);
    EXPECT_EQ(corto, "ABCDEFGHIJ" + N.substr(0, 2));
    std::string largo = " ABCDEFGHIJKL";
    digi.ModificaTextoEntidad(largo, e);
    EXPECT_EQ(largo, " ABCDEFGHIJKL");
    EXPECT_EQ(e.elemento.cabecera.npuntos, 3);
    EXPECT_EQ(e.elemento.cabecera.tipo, "");  // nothing else changes
}

TEST_F(Escritura, AnadeAlFinalYPasaPorAltoOtrasClases) {
    const std::string previo = Cabecera("C=", "P", 0, 6) + std::string(36 + 72, '\x11');
    ASSERT_EQ(previo.size(), 120u);
    Escribe(Ruta("a.bin"), previo);
    tipo_entidad borrado = Linea("X", {{1, 1, 1}});
    borrado.elemento.cabecera.tipo = "C ";
    const std::string todo = Crea({Linea("A", {{1, 2, 3}}), borrado, Linea("B", {{4, 5, 6}})});
    EXPECT_EQ(todo.substr(0, 120), previo);
    EXPECT_EQ(todo.substr(120), Cabecera("C=", "A", 0, 1) + Rango(1, 2, 3, 1, 2, 3) + Punto(1, 2, 3) +
                                    Cabecera("C=", "B", 0, 1) + Rango(4, 5, 6, 4, 5, 6) + Punto(4, 5, 6));
}

TEST_F(Escritura, TodoONadaAnteErrores) {
    const std::string previo = Cabecera("C=", "P", 0, 1) + Rango(0, 0, 0, 0, 0, 0) + Punto(0, 0, 0);
    Escribe(Ruta("a.bin"), previo);
    const tipo_entidad bueno = Linea("OK", {{1, 1, 1}});
    std::string mensaje;

    // A code of 8 characters would overwrite natr and npuntos: refused, naming the element.
    EXPECT_EQ(Error("a.bin", {bueno, Linea("ABCDEFGH", {{1, 1, 1}})}, &mensaje), kLlamadaNoValida);
    EXPECT_NE(mensaje.find("element 2"), std::string::npos) << mensaje;
    EXPECT_NE(mensaje.find("ABCDEFGH"), std::string::npos) << mensaje;
    EXPECT_NE(mensaje.find("a.bin"), std::string::npos) << mensaje;
    EXPECT_EQ(Lee(Ruta("a.bin")), previo);

    tipo_entidad negativo = Linea("N", {{1, 1, 1}});
    negativo.elemento.cabecera.npuntos = -3;
    EXPECT_EQ(Error("a.bin", {bueno, negativo}), kDesbordamiento);
    EXPECT_EQ(Error("a.bin", {bueno, Linea("I", {{1, 1, 1}}, {{-1, 1, ""}})}), kDesbordamiento);
    EXPECT_EQ(Error("a.bin", {bueno, Linea("M", {{INT32_MIN, 1, 1}})}), kDesbordamiento);
    EXPECT_EQ(Error("a.bin", {bueno, Linea("V", {})}), kSubindice);
    tipo_entidad sinPunto = Texto("T", {0, 0, 0}, "abc");
    sinPunto.elemento.coordenadas.clear();
    EXPECT_EQ(Error("a.bin", {bueno, sinPunto}), kSubindice);
    tipo_entidad faltanAtributos = Linea("F", {{1, 1, 1}});
    faltanAtributos.elemento.cabecera.natr = 2;
    EXPECT_EQ(Error("a.bin", {bueno, faltanAtributos}), kSubindice);
    // A line of 0 points fails in its properties, as on reading.
    tipo_entidad cero = Linea("Z", {{1, 1, 1}});
    cero.elemento.cabecera.npuntos = 0;
    EXPECT_EQ(Error("a.bin", {bueno, cero}), kSubindice);
    EXPECT_EQ(Lee(Ruta("a.bin")), previo);

    // A file the call created is not left behind.
    EXPECT_EQ(Error("nuevo.bin", {bueno, Linea("V", {})}), kSubindice);
    EXPECT_FALSE(std::filesystem::exists(Ruta("nuevo.bin")));
    // A folder that does not exist: path error, nothing created.
    EXPECT_EQ(Error("no/existe.bin", {bueno}), kErrorDeRuta);
}

TEST_F(Escritura, ComprimirFicherosMezclados) {
    const std::string A = Cabecera("C=", "A", 0, 1) + Rango(1, 1, 1, 1, 1, 1) + Punto(1, 1, 1);
    const std::string B = Cabecera("C=", "B", 1, 2) + Rango(0, 0, 0, 5, 5, 0) + Punto(0, 0, 0) +
                          Punto(5, 5, 0) + Bytes({2, 0}) + LE32(77) + "r" + std::string(5, '\0');
    const std::string C = Cabecera("T=", "C", 0, 3) + Rango(0, 0, 0, 9, 9, 9, 1, 2, 3) +
                          Punto(9, 9, 9) + "ABCDEFGHIJKL" + std::string(12, '\0');
    auto borrado = [](int natr, int npuntos) {
        return Cabecera("C*", "DEL", natr, npuntos) + std::string(36 + 12 * (natr + npuntos), '\xEE');
    };
    const std::string r = Ruta("c.bin");

    Escribe(r, borrado(0, 1) + B + C);
    digi.comprimir(r);
    EXPECT_EQ(Lee(r), B + C);

    Escribe(r, A + borrado(1, 0) + B + borrado(0, 3) + borrado(2, 2) + C + A);
    digi.comprimir(r);
    EXPECT_EQ(Lee(r), A + B + C + A);

    Escribe(r, borrado(0, 0) + B + borrado(0, 1));
    digi.comprimir(r);
    EXPECT_EQ(Lee(r), B);

    // Nothing to move: the file stays as it is, a trailing deleted element included.
    Escribe(r, A + B);
    digi.comprimir(r);
    EXPECT_EQ(Lee(r), A + B);
    Escribe(r, A + borrado(0, 1));
    digi.comprimir(r);
    EXPECT_EQ(Lee(r), A + borrado(0, 1));

    // An unreadable header after a gap fails before anything moves.
    const std::string roto = borrado(0, 1) + A + Cabecera("C=", "R", 0, 0x8001) + std::string(60, 0);
    Escribe(r, roto);
    EXPECT_THROW(digi.comprimir(r), DigiError);
    EXPECT_EQ(Lee(r), roto);
}

TEST_F(Escritura, MuchosElementosAtraviesanElBuffer) {
    // Enough elements of varied sizes to cross the read buffer many times.
    std::vector<tipo_entidad> v;
    std::string esperado;
    for (int i = 0; i < 40000; ++i) {
        std::vector<Fpunto3d> p(1 + i % 23, Fpunto3d{i, -i, i % 7});
        tipo_entidad e = i % 5 == 0 ? Texto("T" + std::to_string(i % 100), {i, i, 0}, "texto " + std::to_string(i))
                                    : Linea(std::to_string(i % 1000), p, {{int16_t(i % 300), i, "r"}});
        if (i % 3 == 0) e.elemento.cabecera.tipo = "C-";  // passed over
        v.push_back(e);
    }
    const std::string r = Ruta("m.bin");
    digi.CreaFicheroDigi(r, v);
    // Mark every other written element deleted by hand, then compact and read back.
    std::string bytes = Lee(r);
    std::vector<int> vivos;
    size_t pos = 0;
    int k = 0;
    for (int i = 0; i < 40000; ++i) {
        if (i % 3 == 0) continue;
        const size_t t = 48 + 12 * (size_t(uint8_t(bytes[pos + 11])) * 256 + uint8_t(bytes[pos + 10]) +
                                    uint8_t(bytes[pos + 9]));
        if (k++ % 2 == 1) {
            bytes[pos + 1] = '#';
        } else {
            vivos.push_back(i);
        }
        pos += t;
    }
    ASSERT_EQ(pos, bytes.size());
    Escribe(r, bytes);
    digi.comprimir(r);

    int32_t n = 0;
    digi.AbreFichero(r, n);
    tipo_entidad e;
    size_t leidos = 0;
    do {
        digi.DameEntidad(n, e);
        ASSERT_LT(leidos, vivos.size());
        const tipo_entidad& o = v[vivos[leidos]];
        EXPECT_EQ(e.elemento.coordenadas, o.elemento.coordenadas) << leidos;
        EXPECT_EQ(e.Propiedad.texto, o.Propiedad.texto) << leidos;
        ++leidos;
    } while (e.nfich != 0);
    digi.CierraFichero(r, n);
    EXPECT_EQ(leidos, vivos.size());
}

}  // namespace
}  // namespace brisquel::prueba
