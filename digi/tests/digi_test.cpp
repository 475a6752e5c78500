// The Digi file library: byte-exact encoding against hand-computed bytes, the extent rule,
// text blocks, all-or-nothing appends, compaction; decoding what the encoder writes and
// hand-written bytes, the walk's end-of-file rule, deleted and truncated elements, loading,
// file numbers, and the .tab/.pal readers. Byte strings are written by hand, never by the
// library's encoder. Damaged files, the high byte of 16-bit counts and the corrupt-kind exit
// are in tests/robustez; the Windows-1252 texts in the converter's tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

#include "converter/shapefile/tests/limite_prueba.h"
#include "digi/AnexoBin.h"
#include "digi/FicheroDigi.h"
#include "digi/Ficheros.h"
#include "digi/tests/elementos_prueba.h"
#include "tests/robustez/Robustez.h"

namespace brisquel::prueba {
namespace {

using parvenza::robustez::Cabecera, parvenza::robustez::Escribe, parvenza::robustez::Falla,
    parvenza::robustez::Lee, parvenza::robustez::LE32, parvenza::robustez::Restos,
    parvenza::robustez::SoloLectura;

std::string Bytes(std::initializer_list<int> b) { return std::string(b.begin(), b.end()); }
std::string Punto(int32_t x, int32_t y, int32_t z) { return LE32(x) + LE32(y) + LE32(z); }
std::string Rango(int32_t xmin, int32_t ymin, int32_t zmin, int32_t xmax, int32_t ymax,
                  int32_t zmax, int32_t xlib = 0, int32_t ylib = 0, int32_t zlib = 0) {
    return Punto(xmin, ymin, zmin) + Punto(xmax, ymax, zmax) + Punto(xlib, ylib, zlib);
}
/// A deleted element of natr attributes and npuntos points.
std::string Borrado(int natr, int npuntos) {
    return Cabecera("X ", "BORRADO", natr, npuntos) +
           std::string(36 + 12 * (natr + npuntos), '\xAB');
}
/// A one-point "C=" element at (x, x, x).
std::string Punto1(int32_t x) {
    return Cabecera("C=", "P", 0, 1) + Rango(x, x, x, x, x, x) + Punto(x, x, x);
}
std::array<int32_t, 6> Caja(const tipo_max& r) {
    return {r.xmin, r.ymin, r.zmin, r.xmax, r.ymax, r.zmax};
}

// A fresh temporary folder per test.
class Digi : public parvenza::robustez::Carpeta {
  protected:
    std::string Crea(std::vector<tipo_entidad> v, const std::string& nombre = "a.bin") {
        digi.CreaFicheroDigi(Ruta(nombre), v);
        return Lee(Ruta(nombre));
    }
    int Error(const std::string& nombre, std::vector<tipo_entidad> v,
              std::string* mensaje = nullptr) {
        return Falla([&] { digi.CreaFicheroDigi(Ruta(nombre), v); }, mensaje);
    }
    // Every record the walk returns, up to and including the one with nfich = 0.
    std::vector<tipo_entidad> Recorre(const std::string& bytes) {
        Escribe(Ruta("l.bin"), bytes);
        int32_t n = 0;
        digi.AbreFichero(Ruta("l.bin"), n);
        std::vector<tipo_entidad> v(1);
        for (digi.DameEntidad(n, v.back()); v.back().nfich != 0 && v.size() < 1000;)
            digi.DameEntidad(n, v.emplace_back());
        digi.CierraFichero(Ruta("l.bin"), n);
        return v;
    }
    static std::string LineaDe(std::vector<Fpunto3d> p) {
        std::string s = Cabecera("C=", "L", 0, int(p.size())) + Rango(0, 0, 0, 0, 0, 0);
        for (auto& q : p) s += Punto(q.x, q.y, q.z);
        return s;
    }
    FicheroDigi digi;
};
using Escritura = Digi;
using Lectura = Digi;

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
    EXPECT_EQ(Crea({l}, "linea.bin"), Cabecera("C=", "AB", 2, 3) +
                                          Rango(10, -40, 1, 50, 60, 3, 7, 8, 9) + Punto(10, 20, 1) +
                                          Punto(30, -40, 2) + Punto(50, 60, 3) + Bytes({5, 0}) +
                                          LE32(1000) + Bytes({'X', '1', 0, 0, 0, 0}) +
                                          Bytes({0x2C, 0x01, 0xFE, 0xFF, 0xFF, 0xFF}) + "ABCDEF");
    // A 7-character code has no padding; npuntos above 255 uses its high byte.
    const std::string largo =
        Crea({Linea("ABCDEFG", std::vector<Fpunto3d>(300, {1, 1, 1}))}, "largo.bin");
    EXPECT_EQ(largo.substr(0, 12), std::string("C=ABCDEFG") + Bytes({0, 300 % 256, 1}));
    EXPECT_EQ(largo.size(), 48u + 12 * 300);
    // A text of three characters in one NUL-padded block; the accent byte passes unchanged.
    // Rotation 0 runs along +x: the run adds (1030, 2000, 0) to the extent.
    EXPECT_EQ(Crea({Texto("T1", "A\xF1o", {1000, 2000, 5}, 10)}, "texto.bin"),
              Cabecera("T=", "T1", 0, 2) + Rango(1000, 2000, 0, 1030, 2000, 5, 10, 0, 0) +
                  Punto(1000, 2000, 5) + "A\xF1o" + std::string(9, '\0'));
}

TEST_F(Escritura, RangoConNegativosYRecorridoDelTexto) {
    // Each case: the element and its extent (xmin, ymin, zmin, xmax, ymax, zmax).
    std::vector<std::tuple<std::string, tipo_entidad, std::array<int32_t, 6>>> casos{
        {"all negative: maximums stay 0",
         Linea("L", {{-10, -20, -30}, {-5, -50, -1}}),
         {-10, -50, -30, 0, 0, 0}},
        {"beyond 999999999 the start value stays",
         Linea("L", {{1500000000, 5, 5}}),
         {999999999, 5, 5, 1500000000, 5, 5}},
        {"90 degrees centred: y -/+ 4 x 5 / 2",
         Texto("T", "ABCD", {-100, -200, 0}, 5, 9000, 3),
         {-100, -210, 0, 0, 0, 0}},
        {"45 degrees right-justified",
         Texto("T", "AB", {1000, 1000, 7}, 100, 4500, 4),
         {859, 859, 0, 1000, 1000, 7}},
        {"halves to even: -2.5 and 2.5", Texto("T", "A", {0, 0, 0}, 5, 0, 3), {-2, 0, 0, 2, 0, 0}},
        {"-27000 is 90 degrees", Texto("T", "A", {0, 0, 0}, 10, -27000, 0), {0, 0, 0, 0, 10, 0}},
        {"empty text: no run", Texto("T", "", {-5, -5, -5}, 10, 0, 0), {-5, -5, -5, 0, 0, 0}}};
    // "ABCD" of height 10 along +x from x = 1000: the run is 40 long. 0-2 start at the point,
    // 3, 7 and 8 are centred on it, 4-6 end at it, 9 has no run.
    const int32_t desde[] = {1000, 1000, 1000, 980, 960, 960, 960, 980, 980, 1000};
    for (int j = 0; j <= 9; ++j)
        casos.emplace_back(
            "justification " + std::to_string(j), Texto("T", "ABCD", {1000, 2000, 5}, 10, 0, j),
            std::array<int32_t, 6>{desde[j], 2000, 0, j == 9 ? 1000 : desde[j] + 40, 2000, 5});
    for (const auto& [caso, e, caja] : casos) {
        std::vector<tipo_entidad> v{e};
        digi.CreaFicheroDigi(Ruta("r.bin"), v);
        std::filesystem::remove(Ruta("r.bin"));
        EXPECT_EQ(Caja(v[0].elemento.rango), caja) << caso;
    }
}

TEST_F(Escritura, TextosEnBloquesDeDoce) {
    const std::string N(12, '\0'), X(12, 'x');
    const std::vector<std::pair<std::string, std::vector<std::string>>> casos = {
        {"ABCDEFGHIJK", {"ABCDEFGHIJK" + N.substr(11)}},
        {"ABCDEFGHIJKLM", {"ABCDEFGHIJKL", "M" + N.substr(1)}},
        {X + X, {X, X, N}},
        {"", {N}},
        {"ABCDEFGHIJKL  M ",
         {"ABCDEFGHIJKL", "M" + N.substr(1)}},  // the remainder loses its spaces
    };
    tipo_entidad e;
    for (auto [texto, bloques] : casos) {
        SCOPED_TRACE(texto);
        digi.ModificaTextoEntidad(texto, e);
        std::vector<std::string> v;
        for (auto& b : e.elemento.textos) v.push_back(b.texto12);
        EXPECT_EQ(v, bloques);
        EXPECT_EQ(e.elemento.cabecera.npuntos, int(bloques.size()) + 1);
    }
    // Short texts come back to the caller trimmed and NUL-padded; long ones untouched.
    std::string corto = " ABCDEFGHIJ", largo = " ABCDEFGHIJKL";
    digi.ModificaTextoEntidad(corto, e);
    EXPECT_EQ(corto, "ABCDEFGHIJ" + N.substr(10));
    digi.ModificaTextoEntidad(largo, e);
    EXPECT_EQ(largo, " ABCDEFGHIJKL");
    EXPECT_EQ(e.elemento.cabecera.tipo, "");  // nothing else changes
}

TEST_F(Escritura, TodoONadaAnteErrores) {
    const std::string previo = Punto1(0);
    Escribe(Ruta("a.bin"), previo);
    const tipo_entidad bueno = Linea("OK", {{1, 1, 1}});
    auto con = [](tipo_entidad e, const std::function<void(tipo_entidad_mem&)>& cambio) {
        return cambio(e.elemento), e;
    };
    for (const auto& [caso, malo, error] : std::vector<std::tuple<std::string, tipo_entidad, int>>{
             {"code of 8 would overwrite natr and npuntos", Linea("ABCDEFGH", {{1, 1, 1}}),
              kLlamadaNoValida},
             {"npuntos -3", con(Linea("N", {{1, 1, 1}}), [](auto& m) { m.cabecera.npuntos = -3; }),
              kDesbordamiento},
             {"idTabla -1", Linea("I", {{1, 1, 1}}, {{-1, 1, ""}}), kDesbordamiento},
             {"coordinate INT32_MIN", Linea("M", {{INT32_MIN, 1, 1}}), kDesbordamiento},
             {"no points", Linea("V", {}), kSubindice},
             {"text without its point",
              con(Texto("T", "abc", {0, 0, 0}), [](auto& m) { m.coordenadas.clear(); }),
              kSubindice},
             {"natr beyond the attributes",
              con(Linea("F", {{1, 1, 1}}), [](auto& m) { m.cabecera.natr = 2; }), kSubindice},
             // A line of 0 points fails in its properties, as on reading.
             {"npuntos 0", con(Linea("Z", {{1, 1, 1}}), [](auto& m) { m.cabecera.npuntos = 0; }),
              kSubindice}}) {
        EXPECT_EQ(Error("a.bin", {bueno, malo}), error) << caso;
        EXPECT_EQ(Lee(Ruta("a.bin")), previo) << caso;
    }
    std::string mensaje;  // the long code is named with its element and file
    Error("a.bin", {bueno, Linea("ABCDEFGH", {{1, 1, 1}})}, &mensaje);
    for (const char* parte : {"elemento 2", "ABCDEFGH", "a.bin"})
        EXPECT_NE(mensaje.find(parte), std::string::npos) << mensaje;
    // A file the call created is not left behind; a missing folder is a path error.
    EXPECT_EQ(Error("nuevo.bin", {bueno, Linea("V", {})}), kSubindice);
    EXPECT_FALSE(std::filesystem::exists(Ruta("nuevo.bin")));
    EXPECT_EQ(Error("no/existe.bin", {bueno}), kErrorDeRuta);
    // Appends to what is there, passing over elements of other kinds.
    const tipo_entidad borrado =
        con(Linea("X", {{1, 1, 1}}), [](auto& m) { m.cabecera.tipo = "C "; });
    EXPECT_EQ(Crea({Linea("A", {{1, 2, 3}}), borrado, Linea("B", {{4, 5, 6}})}),
              previo + Cabecera("C=", "A", 0, 1) + Rango(1, 2, 3, 1, 2, 3) + Punto(1, 2, 3) +
                  Cabecera("C=", "B", 0, 1) + Rango(4, 5, 6, 4, 5, 6) + Punto(4, 5, 6));
}

TEST_F(Escritura, AnexoSobreUnaCopiaQueSoloOcupaSuSitioEntera) {
    const std::string previo = Punto1(0) + Punto1(1);
    const std::string b = Cabecera("C=", "B", 0, 1) + Rango(4, 5, 6, 4, 5, 6) + Punto(4, 5, 6);
    const tipo_entidad lineaB = Linea("B", {{4, 5, 6}});
    Escribe(Ruta("a.bin"), previo);
    std::string mensaje;
    // 1,500 lines of 300 points, 5.5 MB: past the first 4 MiB written to the copy, a failing
    // element, then a failing write (a file-size limit in a child process).
    const std::vector<tipo_entidad> muchos(1500, Linea("L", std::vector<Fpunto3d>(300, {1, 2, 3})));
    auto conMalo = muchos;
    conMalo.push_back(Linea("ABCDEFGH", {{1, 1, 1}}));
    EXPECT_EQ(Error("a.bin", conMalo), kLlamadaNoValida);
    EXPECT_EQ(Lee(Ruta("a.bin")), previo);
    EXPECT_EQ(Restos(m_dir), std::vector<std::string>{});
    mensaje = parvenza::prueba::FallaConLimite(5 << 20, [&] {
        if (Error("a.bin", muchos, &mensaje) == kErrorEntradaSalida) throw DigiError(0, mensaje);
    });
    for (const char* parte : {"error: ", "a.bin", "supera el tamaño máximo"})
        EXPECT_NE(mensaje.find(parte), std::string::npos) << mensaje;
    EXPECT_EQ(Lee(Ruta("a.bin")), previo);
    EXPECT_EQ(Restos(m_dir), std::vector<std::string>{});

    {  // One by one: a failing element is said and passed over; nothing shows before Confirma.
        AnexoBin anexo(Ruta("a.bin"));
        tipo_entidad e = lineaB, vacia = Linea("V", {});
        anexo.Anade(e);
        EXPECT_EQ(Falla([&] { anexo.Anade(vacia); }, &mensaje), kSubindice);
        EXPECT_NE(mensaje.find("elemento 2"), std::string::npos) << mensaje;
        // Another append meanwhile finds the file locked and says so.
        EXPECT_EQ(Falla([&] { AnexoBin otro(Ruta("a.bin"), 0); }, &mensaje), kErrorAccesoRuta);
        EXPECT_NE(mensaje.find("a.bin"), std::string::npos) << mensaje;
        // Elements taken back leave no trace, whether already in the copy (5.5 MB) or pending.
        for (const bool enLaCopia : {true, false}) {
            const AnexoBin::Marca marca = anexo.Estado();
            for (tipo_entidad l : enLaCopia ? muchos : std::vector<tipo_entidad>{e}) anexo.Anade(l);
            anexo.Vuelve(marca);
            EXPECT_EQ(anexo.Estado().bytes, marca.bytes);
        }
        // Another append's whole file goes in where the taken-back elements were.
        Escribe(Ruta("otro.bin"), Punto1(3) + Punto1(4));
        anexo.AnadeBin(Ruta("otro.bin"), 2);
        EXPECT_EQ(anexo.Estado().elementos, 4);
        anexo.Anade(e);
        EXPECT_EQ(Lee(Ruta("a.bin")), previo);
        anexo.Confirma();
    }
    const std::string x = Punto1(3) + Punto1(4);
    EXPECT_EQ(Lee(Ruta("a.bin")), previo + b + x + b);

    // What is not a BIN file is refused and left alone; an empty file takes elements.
    for (const auto& [nombre, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"basura.bin", "junk\n"},
             {"cortado.bin", previo + Punto1(2).substr(0, 30)},
             {"corrupto.bin", "K=" + std::string(58, '\0')},
             {"sobra.bin", previo + "z"}}) {
        Escribe(Ruta(nombre), bytes);
        EXPECT_EQ(Error(nombre, {lineaB}, &mensaje), kTipoNoCoincide) << nombre;
        EXPECT_NE(mensaje.find(nombre + ": no es un fichero BIN"), std::string::npos) << mensaje;
        EXPECT_EQ(Lee(Ruta(nombre)), bytes);
    }
    Escribe(Ruta("vacio.bin"), "");
    EXPECT_EQ(Crea({lineaB}, "vacio.bin"), b);

    // Behind a symbolic link the file is replaced, the link stays; permissions are kept.
    std::filesystem::permissions(Ruta("a.bin"), std::filesystem::perms(0640));
    std::filesystem::create_symlink("a.bin", Ruta("enlace.bin"));
    Crea({lineaB}, "enlace.bin");
    EXPECT_TRUE(std::filesystem::is_symlink(Ruta("enlace.bin")));
    EXPECT_EQ(Lee(Ruta("a.bin")), previo + b + x + b + b);
    EXPECT_EQ(std::filesystem::status(Ruta("a.bin")).permissions(), std::filesystem::perms(0640));

    // The copy a killed run left is removed by the next append in the folder.
    Escribe(Ruta(".a.bin.parvenza-" + std::to_string(parvenza::robustez::PidMuerto()) + "-1"),
            previo);
    Crea({lineaB}, "vacio.bin");
    EXPECT_EQ(Restos(m_dir), std::vector<std::string>{});
}

TEST_F(Escritura, ComprimirFicherosMezclados) {
    const std::string A = Punto1(1);
    const std::string B = Cabecera("C=", "B", 1, 2) + Rango(0, 0, 0, 5, 5, 0) + Punto(0, 0, 0) +
                          Punto(5, 5, 0) + Bytes({2, 0}) + LE32(77) + "r" + std::string(5, '\0');
    const std::string C = Cabecera("T=", "C", 0, 3) + Rango(0, 0, 0, 9, 9, 9, 1, 2, 3) +
                          Punto(9, 9, 9) + "ABCDEFGHIJKL" + std::string(12, '\0');
    const std::vector<std::pair<std::string, std::string>> casos = {
        {Borrado(0, 1) + B + C, B + C},
        {A + Borrado(1, 0) + B + Borrado(0, 3) + Borrado(2, 2) + C + A, A + B + C + A},
        {Borrado(0, 0) + B + Borrado(0, 1), B},
        {A + B, A + B},                          // nothing to move
        {A + Borrado(0, 1), A + Borrado(0, 1)},  // a trailing deleted element stays
    };
    for (size_t i = 0; i < casos.size(); ++i) {
        Escribe(Ruta("c.bin"), casos[i].first);
        digi.comprimir(Ruta("c.bin"));
        EXPECT_EQ(Lee(Ruta("c.bin")), casos[i].second) << "case " << i;
    }
}

TEST_F(Escritura, ComprimirAtraviesaElBuffer) {
    // Enough elements of varied sizes, every other one deleted, to cross the buffers many times.
    std::string todo, vivos;
    for (int i = 0; i < 40000; ++i) {
        const int natr = i % 3;
        std::string el = Cabecera(i % 2 ? "C=" : "C#", std::to_string(i % 1000), natr, 1 + i % 23) +
                         Rango(i, i, i, i, i, i);
        for (int k = 0; k <= i % 23; ++k) el += Punto(i, i, i);
        for (int k = 0; k < natr; ++k) el += Bytes({k, 0}) + LE32(i) + "resto6";
        todo += el;
        if (i % 2) vivos += el;
    }
    Escribe(Ruta("m.bin"), todo);
    digi.comprimir(Ruta("m.bin"));
    const std::string despues = Lee(Ruta("m.bin"));
    EXPECT_EQ(despues.size(), vivos.size());
    EXPECT_TRUE(despues == vivos);
}

TEST_F(Lectura, DecodificaLoQueEscribeElCodificador) {
    std::vector<tipo_entidad> v = {Linea("1802", {{0, 0, 1}, {100, 0, 2}, {100, 100, 3}, {0, 0, 4}},
                                         {{1, 42, "ABC"}, {32767, -7, "123456"}}),
                                   Texto("TX",
                                         "Cami\xF3n de ca\xF1"
                                         "a larga",
                                         {5, 6, 7}, 20, 1234, 4),
                                   Linea("PT", {{-1, -2, -3}})};
    digi.CreaFicheroDigi(Ruta("e.bin"), v);
    const auto r = Recorre(Lee(Ruta("e.bin")));
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(std::vector<int32_t>({r[0].puntero, r[0].tamano, r[1].puntero, r[2].nfich}),
              std::vector<int32_t>({1, 48 + 12 * 4 + 12 * 2, 121, 0}));
    EXPECT_EQ(r[0].elemento.cabecera.codigo, std::string("1802\0\0\0", 7));
    EXPECT_EQ(r[0].elemento.coordenadas, v[0].elemento.coordenadas);
    std::vector<std::string> atr;
    for (auto& a : r[0].elemento.atributos)
        atr.push_back(std::to_string(a.idTabla) + "/" + std::to_string(a.nregistro) + "/" +
                      a.resto);
    EXPECT_EQ(atr,
              std::vector<std::string>({std::string("1/42/ABC\0\0\0", 11), "32767/-7/123456"}));
    EXPECT_EQ(Caja(r[0].elemento.rango), (std::array<int32_t, 6>{0, 0, 1, 100, 100, 4}));
    // First and last agree in x and y (z differs): closed, with area, since it is not last.
    EXPECT_TRUE(r[0].Propiedad.EsCerrado && r[0].Propiedad.EsVisible);
    EXPECT_DOUBLE_EQ(r[0].Propiedad.area, 5000.0);
    EXPECT_TRUE(r[1].Propiedad.EsTexto);
    EXPECT_EQ(r[1].Propiedad.texto,
              "Cami\xF3n de ca\xF1"
              "a larga");
    const tipo_entidad_mem& t = r[1].elemento;
    EXPECT_EQ(std::vector<int32_t>({t.cabecera.npuntos, int32_t(t.textos.size()), t.rango.xlib,
                                    t.rango.ylib, t.rango.zlib}),
              std::vector<int32_t>({3, 2, 20, 4, 1234}));
    EXPECT_EQ(t.coordenadas, std::vector<Fpunto3d>({{5, 6, 7}}));
    EXPECT_TRUE(r[2].Propiedad.EsPunto);
    EXPECT_EQ(Caja(r[2].elemento.rango), (std::array<int32_t, 6>{-1, -2, -3, 0, 0, 0}));
}

TEST_F(Lectura, FinDeFicheroYElementosBorrados) {
    // Each record as kind@puntero:tamano#points, then "," when more follow or "." for nfich 0.
    const std::vector<std::pair<std::string, std::string>> casos = {
        {Punto1(3), "C=@1:60#1."},
        // Deleted last element: the live one before it with nfich set, then the deleted header.
        {Punto1(1) + Borrado(0, 2), "C=@1:60#1,X @61:72#0."},
        // Consecutive deleted elements go by within one call, by their header counts alone.
        {Borrado(0, 0) + Borrado(0, 3) + Punto1(7) + Borrado(0, 1) + Borrado(0, 0) + Punto1(8),
         "C=@133:60#1,C=@301:60#1."},
        // An element ending one byte short of the end already counts as the last one.
        {Punto1(1) + Punto1(2) + "z", "C=@1:60#1,C=@61:60#1."},
        // Counts running past the end: the element is the last one.
        {Punto1(1) + LineaDe({{9, 9, 9}, {8, 8, 8}}).substr(0, 60 + 6), "C=@1:60#1,C=@61:72#2."},
    };
    for (const auto& [bytes, esperado] : casos) {
        const auto v = Recorre(bytes);
        std::string s;
        for (auto& e : v)
            s += e.elemento.cabecera.tipo + "@" + std::to_string(e.puntero) + ":" +
                 std::to_string(e.tamano) + "#" + std::to_string(e.elemento.coordenadas.size()) +
                 (e.nfich ? "," : ".");
        EXPECT_EQ(s, esperado);
    }
    auto v = Recorre(Punto1(1) + Borrado(0, 2));
    EXPECT_TRUE(v[1].elemento.cabecera.codigo == "BORRADO" && !v[1].Propiedad.EsVisible);
    // The missing bytes of a cut element read as zeros.
    v = Recorre(Punto1(1) + LineaDe({{9, 9, 9}, {8, 8, 8}}).substr(0, 60 + 6));
    EXPECT_EQ(v[1].elemento.coordenadas, std::vector<Fpunto3d>({{9, 9, 9}, {8, 8, 0}}));
}

TEST_F(Lectura, TextoConBytesTrasElNul) {
    // Other writers leave, after the NUL that ends a text, what the block held before.
    const std::string bloques =
        std::string("AB\0xyzxyzxyz", 12) + std::string("CD\0\1\2garbage", 12);
    const std::string t = Cabecera("T=", "T", 0, 3) + Rango(0, 0, 0, 0, 0, 0, 10, 0, 0) +
                          Punto(100, 100, 0) + bloques;
    const auto r = Recorre(Borrado(0, 1) + t + Punto1(5));
    EXPECT_EQ(r[0].Propiedad.texto, "AB");
    EXPECT_EQ(Recorre(t).back().Propiedad.texto, "AB");  // the last element too
    // comprimir moves it byte for byte; written again it keeps its blocks, measured as "AB".
    Escribe(Ruta("c.bin"), Borrado(0, 1) + t + Punto1(5));
    digi.comprimir(Ruta("c.bin"));
    EXPECT_EQ(Lee(Ruta("c.bin")), t + Punto1(5));
    std::vector<tipo_entidad> v{r[0]};
    digi.CreaFicheroDigi(Ruta("n.bin"), v);
    EXPECT_EQ(Lee(Ruta("n.bin")), Cabecera("T=", "T", 0, 3) +
                                      Rango(100, 100, 0, 120, 100, 0, 10, 0, 0) +
                                      Punto(100, 100, 0) + bloques);
}

TEST_F(Lectura, FicheroQueEncogeMientrasSeLeeYFicheroDeSoloLectura) {
    std::string bytes;
    for (int i = 0; i < 20000; ++i) bytes += Punto1(i);
    for (const bool soloLectura : {true, false}) {
        SCOPED_TRACE(soloLectura);
        Escribe(Ruta("e.bin"), bytes);
        int32_t n = 0;
        if (soloLectura) {
            digi.AbreFicheroLectura(Ruta("e.bin"), n);
        } else {
            digi.AbreFichero(Ruta("e.bin"), n);
        }
        tipo_entidad e;
        digi.DameEntidad(n, e);
        // Another program cuts the file inside element 10,001: what is there is read, that
        // element comes back cut, and nothing kills the process.
        ASSERT_EQ(::truncate(Ruta("e.bin").c_str(), 600030), 0);
        int vivos = 1;
        for (; e.nfich != 0; ++vivos) digi.DameEntidad(n, e);
        EXPECT_EQ(vivos, 10001);
        EXPECT_EQ(e.puntero, 600001);
        EXPECT_TRUE(digi.ElementoCortado(n, e));
        EXPECT_EQ(digi.LongitudFichero(n), 600030);
        digi.CierraFichero("", n);
    }
    // A whole last element is not cut.
    auto v = Recorre(Punto1(1) + Punto1(2));
    int32_t n = 0;
    digi.AbreFicheroLectura(Ruta("l.bin"), n);
    tipo_entidad e;
    for (digi.DameEntidad(n, e); e.nfich != 0;) digi.DameEntidad(n, e);
    EXPECT_FALSE(digi.ElementoCortado(n, e));
    digi.CierraFichero("", n);

    // A file that cannot be written is read all the same; a missing one is not created.
    Escribe(Ruta("ro.bin"), Punto1(7));
    if (!SoloLectura(Ruta("ro.bin"), true)) GTEST_SKIP() << "no read-only files here";
    EXPECT_NE(Falla([&] { digi.AbreFichero(Ruta("ro.bin"), n); }), 0);
    const int leido = Falla([&] {
        digi.AbreFicheroLectura(Ruta("ro.bin"), n);
        digi.DameEntidad(n, e);
        digi.CierraFichero("", n);
    });
    SoloLectura(Ruta("ro.bin"), false);
    EXPECT_EQ(leido, 0);
    EXPECT_EQ(e.elemento.coordenadas, std::vector<Fpunto3d>({{7, 7, 7}}));
    EXPECT_EQ(Falla([&] { digi.AbreFicheroLectura(Ruta("falta.bin"), n); }), kFicheroNoEncontrado);
    EXPECT_FALSE(std::filesystem::exists(Ruta("falta.bin")));
}

TEST_F(Lectura, PropiedadesDelUltimoElementoSinAdaptar) {
    // Two identical points: open in the middle of the file, closed (area 0) at its end.
    // Same x and y, different z: closed with its area in the middle, open at the end.
    const std::vector<Fpunto3d> dos = {{5, 5, 5}, {5, 5, 5}},
                                zDistinta = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 9}};
    for (auto [puntos, medio, area, final] :
         {std::tuple{dos, false, 0.0, true}, {zDistinta, true, 50.0, false}}) {
        const auto enMedio = Recorre(LineaDe(puntos) + Punto1(0))[0],
                   alFinal = Recorre(Punto1(0) + LineaDe(puntos))[1];
        EXPECT_EQ(enMedio.Propiedad.EsCerrado, medio);
        EXPECT_DOUBLE_EQ(enMedio.Propiedad.area, area);
        EXPECT_EQ(alFinal.Propiedad.EsCerrado, final);
        EXPECT_EQ(alFinal.Propiedad.area, 0.0);
    }
    // A text element with npuntos 1: no blocks, empty text.
    auto v =
        Recorre(Cabecera("T=", "T", 0, 1) + Rango(0, 0, 0, 0, 0, 0) + Punto(1, 2, 3) + Punto1(0));
    EXPECT_TRUE(v[0].elemento.textos.empty() && v[0].Propiedad.EsTexto);
    EXPECT_EQ(v[0].Propiedad.texto, "");
    // A line of 0 points, which fails in the middle of a file, is read at its end.
    EXPECT_EQ(Recorre(Punto1(0) + Cabecera("C=", "Z", 0, 0) + Rango(0, 0, 0, 0, 0, 0))[1].nfich, 0);
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
    std::string t("  \tabc \0def", 11);
    digi.limpia_texto(t);
    EXPECT_EQ(t, "\tabc");  // cut at the first NUL; only spaces are trimmed
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
        for (auto& x : v)
            xs.push_back(x.elemento.coordenadas.empty() ? -999 : x.elemento.coordenadas[0].x);
        return xs;
    };
    const std::string cero = Cabecera("C=", "Z", 0, 0) + Rango(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(carga(Punto1(1) + Borrado(0, 1) + Punto1(3)), std::vector<int32_t>({1, 3}));
    EXPECT_EQ(carga(Punto1(5), {Linea("A", {{9, 9, 9}})}), std::vector<int32_t>({9, 5}));
    EXPECT_EQ(carga(Punto1(1) + cero + Punto1(3)),
              std::vector<int32_t>({1, -999, 3}));  // the failing one passed over
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
    EXPECT_EQ(Falla([&] {
                  for (;;) tomados.push_back(TomaNumeroFichero());
              }),
              kDemasiadosFicheros);
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
    Escribe(Ruta("abierto.bin"), Borrado(0, 2000) + Punto1(1) + Punto1(2));
    int32_t n = 0;
    digi.AbreFichero(Ruta("abierto.bin"), n);
    tipo_entidad e;
    digi.DameEntidad(n, e);  // the first live element, after a deleted one of 24,048 bytes
    digi.comprimir(Ruta("abierto.bin"));
    EXPECT_EQ(std::filesystem::file_size(Ruta("abierto.bin")), 120u);
    digi.DameEntidad(n, e);
    EXPECT_EQ(e.nfich, 0);
    EXPECT_EQ(e.elemento.cabecera.tipo, std::string(2, '\0'));
    digi.CierraFichero(Ruta("abierto.bin"), n);
}

TEST_F(Lectura, TablaDeCodigosYPaleta) {
    std::vector<int32_t> abiertos(10);  // BIN files hold the low numbers, 1 and 8 among them
    for (size_t i = 0; i < abiertos.size(); ++i)
        digi.AbreFichero(Ruta("b" + std::to_string(i) + ".bin"), abiertos[i]);
    TablaDigi t;
    int32_t fondo = 0, nuevo = 0;
    auto lee = [&](const std::string& contenido, TablaDigi inicial = {}) {
        Escribe(Ruta("t.tab"), contenido);
        t = inicial;
        return Falla([&] { digi.leo_digi_tab(Ruta("t.tab"), t, fondo, nuevo); });
    };
    ASSERT_EQ(lee("//@ 7 15\r\n// a comment\r\n1802 -1 3 0 2 \"Edificio en ruinas\" x\r\n\r\n1805 "
                  "1  4\n"),
              0);
    EXPECT_EQ(std::vector<int32_t>({fondo, nuevo}), std::vector<int32_t>({7, 15}));
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(
        std::vector<std::string>(t[0].begin(), t[0].begin() + 7),
        std::vector<std::string>({"1802", "-1", "3", "0", "2", "\"Edificio en ruinas\" x", ""}));
    EXPECT_EQ(t[0][26], "1");
    EXPECT_EQ(t[1][0], "");  // an empty line is a row too
    EXPECT_EQ(std::vector<std::string>(t[2].begin(), t[2].begin() + 3),
              std::vector<std::string>({"1805", "1", " 4"}));
    // Without a header line both values are 25000; the header's second value is the rest of the
    // line.
    lee("1 2 3\n");
    EXPECT_EQ(std::vector<int32_t>({fondo, nuevo}), std::vector<int32_t>({25000, 25000}));
    lee("//@ 12   40  \n1\n");
    EXPECT_EQ(std::vector<int32_t>({fondo, nuevo}), std::vector<int32_t>({12, 40}));
    // A table longer than the file is an index error.
    EXPECT_EQ(lee("1\n2\n", TablaDigi(5)), kSubindice);
    EXPECT_EQ(lee("1\n2\n", TablaDigi(2)), 0);
    std::string mensaje;
    EXPECT_EQ(Falla([&] { digi.leo_digi_tab(Ruta("no.tab"), t, fondo, nuevo); }, &mensaje),
              kFicheroNoEncontrado);
    EXPECT_NE(mensaje.find("no.tab"), std::string::npos);

    Paleta pal;
    auto leePal = [&](const std::string& contenido) {
        Escribe(Ruta("p.pal"), contenido);
        return Falla([&] { digi.leo_PAL(Ruta("p.pal"), pal); });
    };
    ASSERT_EQ(leePal("255,0,0\n  \n0;0;255\n1\t2 \t 3 extra\n"), 0);
    EXPECT_EQ(pal, Paleta({{255, 0, 0, 255}, {0, 0, 255, 16711680}, {1, 2, 3, 1 + 512 + 196608}}));
    leePal("\n   \n");  // blank lines only: the palette stays as it was
    EXPECT_EQ(pal.size(), 3u);
    leePal("9 9 9\n");  // a shorter file replaces it
    EXPECT_EQ(pal, Paleta({{9, 9, 9, 9 + 9 * 256 + 9 * 65536}}));
    EXPECT_EQ(leePal("1 2 3,\n"), 0);              // a separator at the end adds an empty 4th token
    EXPECT_EQ(leePal("1 2,\n"), kTipoNoCoincide);  // ... which here is the 3rd
    EXPECT_EQ(leePal("32767 32767 32767\n"), kDesbordamiento);
    for (int32_t n : abiertos) digi.CierraFichero("", n);
}

}  // namespace
}  // namespace brisquel::prueba
