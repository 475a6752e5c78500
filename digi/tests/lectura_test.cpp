// Reading: decoding files written by the encoder and by hand, the walk's end-of-file rule,
// deleted and truncated elements, properties, loading and the corrupt-kind exit.

#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "digi/Ficheros.h"
#include "digi/Mensajes.h"
#include "digi/tests/Apoyo.h"

namespace brisquel::prueba {
namespace {

class Lectura : public CarpetaTemporal {
protected:
    // Every record the walk returns, up to and including the one with nfich = 0.
    std::vector<tipo_entidad> Recorre(const std::string& bytes) {
        const std::string r = Ruta("l.bin");
        Escribe(r, bytes);
        int32_t n = 0;
        digi.AbreFichero(r, n);
        std::vector<tipo_entidad> v;
        tipo_entidad e;
        do {
            digi.DameEntidad(n, e);
            v.push_back(e);
        } while (e.nfich != 0 && v.size() < 1000);
        digi.CierraFichero(r, n);
        return v;
    }
    static std::string Borrado(int npuntos) {
        return Cabecera("X ", "BORRADO", 0, npuntos) + std::string(36 + 12 * npuntos, '\xAB');
    }
    static std::string Punto1(int32_t x) {
        return Cabecera("C=", "P", 0, 1) + Rango(x, x, x, x, x, x) + Punto(x, x, x);
    }
    static std::string LineaDe(std::vector<Fpunto3d> p) {
        std::string s = Cabecera("C=", "L", 0, int(p.size())) + Rango(0, 0, 0, 0, 0, 0);
        for (auto& q : p) s += Punto(q.x, q.y, q.z);
        return s;
    }
};

TEST_F(Lectura, DecodificaLoQueEscribeElCodificador) {
    std::vector<tipo_entidad> v = {
        Linea("1802", {{0, 0, 1}, {100, 0, 2}, {100, 100, 3}, {0, 0, 4}},
              {{1, 42, "ABC"}, {32767, -7, "123456"}}),
        Texto("TX", {5, 6, 7}, "Cami\xF3n de ca\xF1" "a larga", 20, 4, 1234),
        Linea("PT", {{-1, -2, -3}}),
    };
    const std::string r = Ruta("e.bin");
    digi.CreaFicheroDigi(r, v);
    int32_t n = 0;
    digi.AbreFichero(r, n);
    tipo_entidad e;

    digi.DameEntidad(n, e);
    EXPECT_EQ(e.nfich, n);
    EXPECT_EQ(e.puntero, 1);
    EXPECT_EQ(e.tamano, 48 + 12 * 4 + 12 * 2);
    EXPECT_EQ(e.elemento.cabecera.tipo, "C=");
    EXPECT_EQ(e.elemento.cabecera.codigo, std::string("1802\0\0\0", 7));
    EXPECT_EQ(e.elemento.coordenadas, v[0].elemento.coordenadas);
    ASSERT_EQ(e.elemento.atributos.size(), 2u);
    EXPECT_EQ(e.elemento.atributos[0].nregistro, 42);
    EXPECT_EQ(e.elemento.atributos[0].resto, std::string("ABC\0\0\0", 6));
    EXPECT_EQ(e.elemento.atributos[1].idTabla, 32767);
    EXPECT_EQ(e.elemento.atributos[1].nregistro, -7);
    EXPECT_EQ(e.elemento.atributos[1].resto, "123456");
    EXPECT_EQ(e.elemento.rango.xmax, 100);
    EXPECT_EQ(e.elemento.rango.zmin, 1);
    // First and last agree in x and y (z differs): closed, with area, since it is not last.
    EXPECT_TRUE(e.Propiedad.EsCerrado);
    EXPECT_DOUBLE_EQ(e.Propiedad.area, 5000.0);
    EXPECT_TRUE(e.Propiedad.EsVisible);

    digi.DameEntidad(n, e);
    EXPECT_EQ(e.puntero, 1 + 120);
    EXPECT_TRUE(e.Propiedad.EsTexto);
    EXPECT_EQ(e.Propiedad.texto, "Cami\xF3n de ca\xF1" "a larga");
    EXPECT_EQ(e.elemento.cabecera.npuntos, 3);
    EXPECT_EQ(e.elemento.textos.size(), 2u);
    EXPECT_EQ(e.elemento.rango.xlib, 20);
    EXPECT_EQ(e.elemento.rango.ylib, 4);
    EXPECT_EQ(e.elemento.rango.zlib, 1234);
    EXPECT_EQ(e.elemento.coordenadas, std::vector<Fpunto3d>({{5, 6, 7}}));

    digi.DameEntidad(n, e);
    EXPECT_EQ(e.nfich, 0);
    EXPECT_TRUE(e.Propiedad.EsPunto);
    EXPECT_EQ(e.elemento.rango.xmax, 0);
    EXPECT_EQ(e.elemento.rango.xmin, -1);
    digi.CierraFichero(r, n);
}

TEST_F(Lectura, FinDeFicheroYElementosBorrados) {
    // Empty file: one record, not "C=" nor "T=", nfich 0.
    auto v = Recorre("");
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].nfich, 0);
    EXPECT_NE(v[0].elemento.cabecera.tipo, "C=");
    EXPECT_NE(v[0].elemento.cabecera.tipo, "T=");

    // One live element: it comes back at once with nfich 0.
    v = Recorre(Punto1(3));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].elemento.coordenadas[0].x, 3);
    EXPECT_EQ(v[0].nfich, 0);

    // Deleted last element: the live one before it with nfich set, then the deleted header.
    v = Recorre(Punto1(1) + Borrado(2));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NE(v[0].nfich, 0);
    EXPECT_EQ(v[1].nfich, 0);
    EXPECT_EQ(v[1].elemento.cabecera.tipo, "X ");
    EXPECT_EQ(v[1].elemento.cabecera.codigo, "BORRADO");
    EXPECT_EQ(v[1].puntero, 61);
    EXPECT_EQ(v[1].tamano, 72);
    EXPECT_TRUE(v[1].elemento.coordenadas.empty());
    EXPECT_FALSE(v[1].Propiedad.EsVisible);

    // Consecutive deleted elements go by within one call, by their header counts alone.
    v = Recorre(Borrado(0) + Borrado(3) + Punto1(7) + Borrado(1) + Borrado(0) + Punto1(8));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].elemento.coordenadas[0].x, 7);
    EXPECT_EQ(v[0].puntero, 48 + 84 + 1);
    EXPECT_EQ(v[1].elemento.coordenadas[0].x, 8);
    EXPECT_EQ(v[1].nfich, 0);

    // An element ending one byte short of the end already counts as the last one.
    v = Recorre(Punto1(1) + Punto1(2) + "z");
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1].nfich, 0);

    // Counts running past the end: the element is the last one, missing bytes read as zeros.
    v = Recorre(Punto1(1) + LineaDe({{9, 9, 9}, {8, 8, 8}}).substr(0, 60 + 6));
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1].nfich, 0);
    EXPECT_EQ(v[1].elemento.coordenadas, std::vector<Fpunto3d>({{9, 9, 9}, {8, 8, 0}}));
    v = Recorre(Cabecera("T=", "T", 200, 30000));
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].elemento.textos.size(), 29999u);
    EXPECT_EQ(v[0].elemento.atributos.size(), 200u);
    EXPECT_EQ(v[0].tamano, 48 + 12 * (30000 + 200));
}

TEST_F(Lectura, PropiedadesDelUltimoElementoSinAdaptar) {
    const std::vector<Fpunto3d> dos = {{5, 5, 5}, {5, 5, 5}};
    const std::vector<Fpunto3d> zDistinta = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 0, 9}};
    // Two identical points: open in the middle of the file, closed (area 0) at its end.
    auto v = Recorre(LineaDe(dos) + Punto1(0));
    EXPECT_FALSE(v[0].Propiedad.EsCerrado);
    EXPECT_EQ(v[0].Propiedad.area, 0.0);
    v = Recorre(Punto1(0) + LineaDe(dos));
    EXPECT_TRUE(v[1].Propiedad.EsCerrado);
    EXPECT_EQ(v[1].Propiedad.area, 0.0);
    // Same x and y, different z: closed with its area in the middle, open at the end.
    v = Recorre(LineaDe(zDistinta) + Punto1(0));
    EXPECT_TRUE(v[0].Propiedad.EsCerrado);
    EXPECT_DOUBLE_EQ(v[0].Propiedad.area, 50.0);
    v = Recorre(Punto1(0) + LineaDe(zDistinta));
    EXPECT_FALSE(v[1].Propiedad.EsCerrado);
    // The size of a middle element is the header's; AdaptaPropiedad also empties texto
    // of a line and sets tamano.
    EXPECT_EQ(v[0].tamano, 60);

    // A text element with npuntos 1: no blocks, empty text.
    v = Recorre(Cabecera("T=", "T", 0, 1) + Rango(0, 0, 0, 0, 0, 0) + Punto(1, 2, 3) + Punto1(0));
    EXPECT_TRUE(v[0].elemento.textos.empty());
    EXPECT_EQ(v[0].Propiedad.texto, "");
    EXPECT_TRUE(v[0].Propiedad.EsTexto);

    // A line of 0 points fails in the middle of a file, not at its end.
    const std::string cero = Cabecera("C=", "Z", 0, 0) + Rango(0, 0, 0, 0, 0, 0);
    try {
        Recorre(cero + Punto1(0));
        FAIL();
    } catch (const DigiError& e) {
        EXPECT_EQ(e.numero(), kSubindice);
        EXPECT_NE(std::string(e.what()).find("l.bin"), std::string::npos) << e.what();
    }
    v = Recorre(Punto1(0) + cero);
    EXPECT_EQ(v[1].nfich, 0);

    // A 16-bit count with its high byte at 0x80: overflow, naming file and byte.
    try {
        Recorre(Punto1(0) + Cabecera("C=", "O", 0, 0x8000) + std::string(100, '\0'));
        FAIL();
    } catch (const DigiError& e) {
        EXPECT_EQ(e.numero(), kDesbordamiento);
        EXPECT_NE(std::string(e.what()).find("byte 61"), std::string::npos) << e.what();
    }
}

TEST_F(Lectura, AdaptaPropiedadYLimpiaTexto) {
    tipo_entidad e = Linea("L", {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {0, 0, 7}});
    e.Propiedad.Modificado = true;
    e.Propiedad.texto = "x";
    digi.AdaptaPropiedad(e);
    EXPECT_TRUE(e.Propiedad.EsCerrado);
    EXPECT_DOUBLE_EQ(e.Propiedad.area, 16.0);
    EXPECT_FALSE(e.Propiedad.Modificado);
    EXPECT_EQ(e.Propiedad.texto, "");
    EXPECT_EQ(e.tamano, 48 + 60);
    EXPECT_FALSE(e.Propiedad.EsVisible);  // never set here

    // Differences beyond 32 bits overflow, as the area sums are 32-bit.
    e = Linea("L", {{-2000000000, 0, 0}, {2000000000, 5, 0}, {0, 9, 0}, {-2000000000, 0, 0}});
    EXPECT_THROW(digi.AdaptaPropiedad(e), DigiError);

    std::string t = std::string("  abc") + '\0' + "def";
    digi.limpia_texto(t);
    EXPECT_EQ(t, "abc");
    t = "  sin nul  ";
    digi.limpia_texto(t);
    EXPECT_EQ(t, "sin nul");
    t = "\ttab ";
    digi.limpia_texto(t);
    EXPECT_EQ(t, "\ttab");  // only spaces are trimmed
}

TEST_F(Lectura, CargaFicheroDigi) {
    const std::string r = Ruta("c.bin");
    auto carga = [&](const std::string& bytes, std::vector<tipo_entidad> v = {}) {
        Escribe(r, bytes);
        int32_t n = 0;
        digi.AbreFichero(r, n);
        tipo_entidad e;
        digi.DameEntidad(n, e);  // the load starts from the beginning wherever the walk is
        digi.CargaFicheroDigi(r, v, n);
        digi.CierraFichero(r, n);
        std::vector<int32_t> xs;
        for (auto& x : v) xs.push_back(x.elemento.coordenadas.empty() ? -999 : x.elemento.coordenadas[0].x);
        return xs;
    };
    EXPECT_EQ(carga(Punto1(1) + Punto1(2) + Punto1(3)), std::vector<int32_t>({1, 2, 3}));
    EXPECT_EQ(carga(Punto1(1) + Borrado(1) + Punto1(3)), std::vector<int32_t>({1, 3}));
    EXPECT_EQ(carga(Punto1(1) + Punto1(3) + Borrado(0)), std::vector<int32_t>({1, 3}));
    EXPECT_EQ(carga(Punto1(5), {Linea("A", {{9, 9, 9}})}), std::vector<int32_t>({9, 5}));
    EXPECT_EQ(carga(""), std::vector<int32_t>({}));
    // A failing element is passed over; an unreadable header ends the load without hanging.
    const std::string cero = Cabecera("C=", "Z", 0, 0) + Rango(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(carga(Punto1(1) + cero + Punto1(3)), std::vector<int32_t>({1, -999, 3}));
    EXPECT_EQ(carga(Punto1(1) + Cabecera("C=", "O", 0, 0x9000) + Punto1(3)), std::vector<int32_t>({1}));
}

TEST_F(Lectura, NumerosDeFicheroYErroresAlAbrir) {
    const std::string a = Ruta("a.bin"), b = Ruta("b.bin");
    int32_t na = 0, nb = 0, nc = 0;
    digi.AbreFichero(a, na);  // created empty
    EXPECT_TRUE(std::filesystem::exists(a));
    digi.AbreFichero(b, nb);
    EXPECT_TRUE(NumeroFicheroEnUso(na));
    EXPECT_GT(nb, na);
    digi.CierraFichero(a, na);
    EXPECT_FALSE(NumeroFicheroEnUso(na));
    digi.AbreFichero(b, nc);
    EXPECT_EQ(nc, na);  // lowest free number again
    // A number taken by another library is not a BIN file: reading it is a bad file number.
    const int32_t otro = TomaNumeroFichero();
    tipo_entidad e;
    try {
        digi.DameEntidad(otro, e);
        FAIL();
    } catch (const DigiError& err) {
        EXPECT_EQ(err.numero(), kNumeroFicheroIncorrecto);
    }
    digi.CierraFichero("", otro);  // not ours: left alone
    EXPECT_TRUE(NumeroFicheroEnUso(otro));
    LiberaNumeroFichero(otro);
    digi.CierraFichero(b, nb);
    digi.CierraFichero(b, nc);

    int32_t n = 0;
    try {
        digi.AbreFichero(Ruta("falta/x.bin"), n);
        FAIL();
    } catch (const DigiError& err) {
        EXPECT_EQ(err.numero(), kErrorDeRuta);
        EXPECT_NE(std::string(err.what()).find("falta/x.bin"), std::string::npos);
    }
    try {
        digi.AbreFichero(m_dir.string(), n);
        FAIL();
    } catch (const DigiError& err) {
        EXPECT_EQ(err.numero(), kErrorAccesoRuta);
    }
}

TEST_F(Lectura, FicheroCompactadoMientrasEstaAbierto) {
    // The file is cut well below what was open; reads past the new end give zeros, never a
    // fault on the part of the file that is gone.
    const std::string r = Ruta("abierto.bin");
    Escribe(r, Borrado(2000) + Punto1(1) + Punto1(2));
    int32_t n = 0;
    digi.AbreFichero(r, n);
    tipo_entidad e;
    digi.DameEntidad(n, e);
    EXPECT_EQ(e.elemento.coordenadas[0].x, 1);
    digi.comprimir(r);
    EXPECT_EQ(std::filesystem::file_size(r), 120u);
    digi.DameEntidad(n, e);
    EXPECT_EQ(e.nfich, 0);
    EXPECT_EQ(e.elemento.cabecera.tipo, std::string(2, '\0'));
    digi.CierraFichero(r, n);
}

TEST_F(Lectura, BytesCualesquieraNoRompenNada) {
    // Random files, biased towards live kinds and small counts so that the walk goes deep:
    // reading, loading and compacting end normally, with an error, or through the
    // corrupt-kind exit; never with a signal.
    std::mt19937 rng(7);
    const std::string r = Ruta("azar.bin");
    for (int caso = 0; caso < 200; ++caso) {
        std::string bytes;
        const int elementos = 1 + int(rng() % 8);
        for (int k = 0; k < elementos; ++k) {
            const char* tipos[] = {"C=", "T=", "C=", "X ", "C*"};
            std::string cab = Cabecera(tipos[rng() % 5], "R", int(rng() % 4), int(rng() % 6));
            if (rng() % 10 == 0) cab[11] = char(rng() % 256);  // any high byte
            bytes += cab;
            const int cuerpo = int(rng() % 200);
            for (int i = 0; i < cuerpo; ++i) bytes += char(rng() % 256);
        }
        bytes.resize(rng() % (bytes.size() + 1));
        Escribe(r, bytes);
        const pid_t hijo = fork();
        ASSERT_GE(hijo, 0);
        if (hijo == 0) {
            EstableceMensajero([](const std::string&) {});
            FicheroDigi d;
            try {
                int32_t n = 0;
                d.AbreFichero(r, n);
                tipo_entidad e;
                int vueltas = 0;
                do {
                    d.DameEntidad(n, e);
                } while (e.nfich != 0 && ++vueltas < 10000);
                std::vector<tipo_entidad> v;
                d.CargaFicheroDigi(r, v, n);
                d.CierraFichero(r, n);
                d.comprimir(r);
            } catch (const DigiError&) {
            }
            std::_Exit(0);
        }
        int estado = 0;
        waitpid(hijo, &estado, 0);
        ASSERT_TRUE(WIFEXITED(estado)) << "case " << caso << " died from signal " << WTERMSIG(estado);
    }
}

TEST_F(Lectura, ClaseCorruptaTerminaElPrograma) {
    const std::string r = Ruta("corrupto.bin");
    Escribe(r, Cabecera("C=", "A", 0, 1) + Rango(0, 0, 0, 0, 0, 0) + Punto(0, 0, 0) +
                   Cabecera("Q=", "A", 0, 1) + std::string(48, '\0'));
    EXPECT_EXIT(
        {
            FicheroDigi d;
            int32_t n = 0;
            d.AbreFichero(r, n);
            tipo_entidad e;
            d.DameEntidad(n, e);
            d.DameEntidad(n, e);
        },
        ::testing::ExitedWithCode(EXIT_FAILURE), "fichero corrupto\\.\\.\\.");
}

}  // namespace
}  // namespace brisquel::prueba
