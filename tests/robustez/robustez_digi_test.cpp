// Damaged BIN files, code tables and palettes: what the Digi library does with each.

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "digi/FicheroDigi.h"
#include "digi/Mensajes.h"
#include "tests/robustez/Robustez.h"

namespace {

using namespace brisquel;
using namespace parvenza::robustez;

class BinMalo : public Carpeta {
protected:
    // Every record DameEntidad returns until the one with nfich 0; the error that stopped
    // the walk, if any, in `error`.
    std::vector<tipo_entidad> Recorre(const std::string& ruta, int* error = nullptr) {
        std::vector<tipo_entidad> v;
        int32_t n = 0;
        digi.AbreFichero(ruta, n);
        try {
            tipo_entidad e;
            do {
                digi.DameEntidad(n, e);
                v.push_back(e);
            } while (e.nfich != 0 && v.size() < 10000);
        } catch (const DigiError& e) {
            if (error) *error = e.numero();
            m_mensaje = e.what();
        }
        digi.CierraFichero(ruta, n);
        return v;
    }
    std::vector<tipo_entidad> Carga(const std::string& ruta) {
        std::vector<tipo_entidad> v;
        int32_t n = 0;
        digi.AbreFichero(ruta, n);
        digi.CargaFicheroDigi(ruta, v, n);
        digi.CierraFichero(ruta, n);
        return v;
    }
    int Comprime(const std::string& ruta) {
        try {
            digi.comprimir(ruta);
            return 0;
        } catch (const DigiError& e) {
            m_mensaje = e.what();
            return e.numero();
        }
    }

    FicheroDigi digi;
    std::string m_mensaje;
};

bool EsVivo(const tipo_entidad& e) {
    return e.elemento.cabecera.tipo == "C=" || e.elemento.cabecera.tipo == "T=";
}

// Cut at every byte, so at every block boundary and inside every block: the walk ends at the
// cut, the whole elements before it come back as they are, the cut one comes back last.
TEST_F(BinMalo, CortadoEnCadaByteTerminaDondeAcaba) {
    const std::vector<std::string> partes = {Linea("140100", 4, 2), Texto("301", "Calle de la Villa"),
                                             Borrado(Linea("1", 1)), Linea("9995", 1)};
    std::string entero;
    std::vector<size_t> inicios;
    for (const auto& p : partes) inicios.push_back(entero.size()), entero += p;
    const std::string ruta = Ruta("c.bin");
    Escribe(ruta, entero);
    const auto completo = Recorre(ruta);
    ASSERT_EQ(completo.size(), 3u);

    for (size_t corte = 0; corte <= entero.size(); ++corte) {
        SCOPED_TRACE("cut at " + std::to_string(corte));
        Escribe(ruta, entero.substr(0, corte));
        int error = 0;
        const auto v = Recorre(ruta, &error);
        EXPECT_EQ(error, 0) << m_mensaje;
        ASSERT_FALSE(v.empty());
        EXPECT_EQ(v.back().nfich, 0);
        // Elements that end before the cut are read in full.
        size_t enteros = 0, vivos = 0;
        for (size_t k = 0; k < partes.size(); ++k) {
            if (inicios[k] + partes[k].size() > corte) break;
            ++enteros;
            if (k != 2) ++vivos;
        }
        for (size_t i = 0; i + 1 < v.size() && i < vivos; ++i) {
            EXPECT_EQ(v[i].elemento.coordenadas, completo[i].elemento.coordenadas);
            EXPECT_EQ(v[i].puntero, completo[i].puntero);
        }
        EXPECT_LE(v.size(), vivos + 1);
        // The load keeps the whole live elements, and the cut one when its kind survived.
        const auto cargados = Carga(ruta);
        EXPECT_GE(cargados.size(), vivos);
        EXPECT_LE(cargados.size(), vivos + 1);
        // Compacting a cut file keeps its live elements.
        if (Comprime(ruta) == 0) {
            size_t despues = 0;
            for (const auto& e : Recorre(ruta)) despues += EsVivo(e);
            EXPECT_EQ(despues, cargados.size());
        }
        (void)enteros;
    }
}

TEST_F(BinMalo, CuentasMasAllaDelFinal) {
    // npuntos 32767 and 255 attributes in a file of 60 bytes: the element is the last one.
    const std::string ruta = Ruta("c.bin");
    Escribe(ruta, Cabecera("C=", "1", 255, 0xFF, 0x7F) + std::string(48, '\x01'));
    auto v = Recorre(ruta);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].nfich, 0);
    EXPECT_EQ(v[0].tamano, 48 + 12 * (32767 + 255));
    EXPECT_EQ(v[0].elemento.coordenadas.size(), 32767u);
    EXPECT_EQ(v[0].elemento.atributos.size(), 255u);
    EXPECT_EQ(Carga(ruta).size(), 1u);

    // A deleted header that claims more than the file holds ends the walk after the live one.
    Escribe(ruta, Linea("A", 2) + Cabecera("**", "", 255, 0xFF, 0x7F));
    v = Recorre(ruta);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NE(v[0].nfich, 0);
    EXPECT_EQ(v[1].nfich, 0);
    EXPECT_FALSE(EsVivo(v[1]));
    EXPECT_EQ(Carga(ruta).size(), 1u);
    const std::string antes = Lee(ruta);
    EXPECT_EQ(Comprime(ruta), 0);
    EXPECT_EQ(Lee(ruta), antes) << "nothing had to move";

    // [deleted][live whose counts run past the end]: the live one moves down whole.
    Escribe(ruta, Borrado(Linea("A", 3)) + Linea("B", 5).substr(0, 70));
    EXPECT_EQ(Comprime(ruta), 0);
    EXPECT_EQ(Lee(ruta).size(), 48u + 12 * 5);
    v = Recorre(ruta);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].elemento.cabecera.codigo.substr(0, 1), "B");
}

TEST_F(BinMalo, ByteAltoEnCamposDe16Bits) {
    const std::string ruta = Ruta("c.bin");
    const std::string bueno = Linea("A", 2);
    for (int alto : {0x80, 0xFF}) {
        SCOPED_TRACE(alto);
        // In npuntos of the second element.
        Escribe(ruta, bueno + Cabecera("C=", "B", 0, 1, alto) + std::string(48, '\0'));
        int error = 0;
        auto v = Recorre(ruta, &error);
        EXPECT_EQ(error, kDesbordamiento);
        EXPECT_NE(m_mensaje.find(ruta), std::string::npos) << m_mensaje;
        EXPECT_NE(m_mensaje.find("byte " + std::to_string(bueno.size() + 1)), std::string::npos) << m_mensaje;
        ASSERT_EQ(v.size(), 1u);
        EXPECT_NE(v[0].nfich, 0);
        EXPECT_EQ(Carga(ruta).size(), 1u) << "the load keeps what came before";

        // In idTabla of an attribute.
        std::string atributo = Linea("C", 1, 1);
        atributo[48 + 12 + 1] = char(alto);
        Escribe(ruta, bueno + atributo + bueno);
        error = 0;
        v = Recorre(ruta, &error);
        EXPECT_EQ(error, kDesbordamiento);
        EXPECT_EQ(v.size(), 1u);

        // comprimir fails before writing anything.
        Escribe(ruta, Borrado(bueno) + bueno + Cabecera("C=", "B", 0, 1, alto) + std::string(48, '\0'));
        const std::string antes = Lee(ruta);
        EXPECT_EQ(Comprime(ruta), kDesbordamiento);
        EXPECT_EQ(Lee(ruta), antes);
    }
}

TEST_F(BinMalo, FicheroVacio) {
    const std::string ruta = Ruta("v.bin");
    Escribe(ruta, "");
    const auto v = Recorre(ruta);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].nfich, 0);
    EXPECT_FALSE(EsVivo(v[0]));
    EXPECT_TRUE(Carga(ruta).empty());
    EXPECT_EQ(Comprime(ruta), 0);
    EXPECT_EQ(Lee(ruta), "");
}

TEST_F(BinMalo, LoQueNoSePuedeLeerNiMoverDejaElFicheroComoEstaba) {
    const std::string ruta = Ruta("c.bin");
    // A line of no points that is not the last element: index error.
    Escribe(ruta, Borrado(Linea("A", 1)) + Linea("B", 0) + Linea("C", 1));
    int error = 0;
    Recorre(ruta, &error);
    EXPECT_EQ(error, kSubindice);
    std::string antes = Lee(ruta);
    EXPECT_EQ(Comprime(ruta), kSubindice);
    EXPECT_EQ(Lee(ruta), antes);

    // A coordinate of -2147483648 reads, but cannot be written when the element moves.
    std::string minimo = Linea("D", 1);
    minimo.replace(48, 4, LE32(INT32_MIN));
    Escribe(ruta, Borrado(Linea("A", 1)) + minimo);
    const auto v = Recorre(ruta);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].elemento.coordenadas[0].x, INT32_MIN);
    antes = Lee(ruta);
    EXPECT_EQ(Comprime(ruta), kDesbordamiento);
    EXPECT_NE(m_mensaje.find(ruta), std::string::npos) << m_mensaje;
    EXPECT_EQ(Lee(ruta), antes);

    // A text element of npuntos 0 reads with its insertion point but cannot move.
    std::string texto = Texto("T", "");
    texto = Cabecera("T=", "T", 0, 0, 0) + texto.substr(12, 48);
    Escribe(ruta, Borrado(Linea("A", 1)) + texto + Linea("C", 1));
    antes = Lee(ruta);
    EXPECT_EQ(Comprime(ruta), kLlamadaNoValida);
    EXPECT_EQ(Lee(ruta), antes);
}

// A text of npuntos 0 still has its insertion point: 12 bytes more than its header counts.
// The load and comprimir step from element to element by puntero + tamano, so tamano must
// be that span, or they read from inside the element (found by fuzz_bin_recorrido).
TEST_F(BinMalo, TextoSinBloquesNoDesalineaLaCarga) {
    std::string texto = Cabecera("T=", "T", 1, 0, 0) + std::string(36, '\0') + LE32(5) + LE32(6) + LE32(0) +
                        std::string("\x01\x00", 2) + LE32(9) + std::string("X=ABC\0", 6);
    const std::string ruta = Ruta("t.bin");
    Escribe(ruta, texto + Linea("B", 2) + Borrado(Linea("C", 1)) + Linea("D", 1));
    const auto v = Recorre(ruta);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].tamano, 72);
    const auto cargados = Carga(ruta);
    ASSERT_EQ(cargados.size(), 3u);
    EXPECT_EQ(cargados[1].puntero, 73);
    EXPECT_EQ(cargados[2].elemento.cabecera.codigo.substr(0, 1), "D");
    // comprimir walks the same way: the text stays, "D" moves down over the deleted element.
    EXPECT_EQ(Comprime(ruta), 0);
    const auto despues = Recorre(ruta);
    ASSERT_EQ(despues.size(), 3u);
    EXPECT_EQ(despues[2].elemento.cabecera.codigo.substr(0, 1), "D");
    EXPECT_EQ(Lee(ruta).size(), 72u + 72 + 60);
}

using BinMaloDeathTest = BinMalo;

// A corrupt kind ends the program with its message, whatever reads the file; comprimir meets
// it while checking, before it has moved anything.
TEST_F(BinMaloDeathTest, ClaseCorruptaTerminaElProgramaConSuMensaje) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string ruta = Ruta("c.bin");
    const std::string contenido = Borrado(Linea("A", 1)) + Linea("B", 2) + Cabecera("X=", "C", 0, 1, 0) +
                                  std::string(48, '\0');
    Escribe(ruta, contenido);
    EXPECT_EXIT(Recorre(ruta), testing::ExitedWithCode(EXIT_FAILURE), "fichero corrupto\\.\\.\\.");
    EXPECT_EXIT(Carga(ruta), testing::ExitedWithCode(EXIT_FAILURE), "fichero corrupto\\.\\.\\.");
    EXPECT_EXIT(Comprime(ruta), testing::ExitedWithCode(EXIT_FAILURE), "fichero corrupto\\.\\.\\.");
    EXPECT_EQ(Lee(ruta), contenido);
}

class TablasMalas : public Carpeta {
protected:
    void SetUp() override {
        Carpeta::SetUp();
        EstableceMensajero([this](const std::string& t) { mensajes.push_back(t); });
    }
    void TearDown() override {
        EstableceMensajero(nullptr);
        Carpeta::TearDown();
    }
    int Paleta(const std::string& contenido, brisquel::Paleta& pal) {
        Escribe(Ruta("p.pal"), contenido);
        try {
            digi.leo_PAL(Ruta("p.pal"), pal);
            return 0;
        } catch (const DigiError& e) {
            EXPECT_NE(std::string(e.what()).find("p.pal: line "), std::string::npos) << e.what();
            return e.numero();
        }
    }
    int Tabla(const std::string& contenido) {
        Escribe(Ruta("t.tab"), contenido);
        TablaDigi t;
        int32_t fondo = 0, nuevo = 0;
        try {
            digi.leo_digi_tab(Ruta("t.tab"), t, fondo, nuevo);
            return 0;
        } catch (const DigiError& e) {
            EXPECT_NE(std::string(e.what()).find("t.tab"), std::string::npos) << e.what();
            return e.numero();
        }
    }
    FicheroDigi digi;
    std::vector<std::string> mensajes;
};

TEST_F(TablasMalas, NumerosMalosEnPaletaYTabla) {
    brisquel::Paleta pal;
    for (const char* malo : {"12,abc,3", "nan 0 0", "0x10 0 0", "- 0 0", "1,2,3e", "inf 1 1", "1.2.3 0 0"}) {
        EXPECT_EQ(Paleta(std::string("1 2 3\n") + malo + "\n", pal), kTipoNoCoincide) << malo;
    }
    for (const char* grande : {"40000 0 0", "0 -32769 0", "1e999 0 0", "0 0 99999999999999999999"}) {
        EXPECT_EQ(Paleta(grande, pal), kDesbordamiento) << grande;
    }
    // Fewer than three numbers: the format message, and the palette emptied.
    pal = {{1, 2, 3, 4}};
    EXPECT_EQ(Paleta("255 255\n", pal), 0);
    EXPECT_TRUE(pal.empty());
    ASSERT_EQ(mensajes.size(), 1u);
    EXPECT_EQ(mensajes[0], "Error en formato de fichero : " + Ruta("p.pal"));
    // Control bytes and a line of a megabyte without an end are only text.
    EXPECT_EQ(Paleta(std::string("1\0 2 3", 6), pal), kTipoNoCoincide);
    EXPECT_EQ(Paleta(std::string(1 << 20, '7'), pal), 0);

    EXPECT_EQ(Tabla("//@ 7 abc\n1 2 3\n"), kTipoNoCoincide);
    EXPECT_EQ(Tabla("//@ x 15\n"), kTipoNoCoincide);
    EXPECT_EQ(Tabla("//@ 99999999999 15\n"), kDesbordamiento);
    std::string larga;
    for (int i = 0; i < 27; ++i) larga += std::to_string(i) + " ";
    EXPECT_EQ(Tabla(larga.substr(0, larga.size() - 1)), kSubindice);
    EXPECT_EQ(Tabla(std::string("\0\0\0\r\r\n\x80\xff", 8)), 0);
    EXPECT_EQ(Tabla(""), 0);
}

}  // namespace
