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
using Elementos = std::vector<tipo_entidad>;

class BinMalo : public Carpeta {
protected:
    // Every record DameEntidad returns until the one with nfich 0; the error that stopped it in `error`.
    Elementos Recorre(const std::string& ruta, int* error = nullptr) {
        Elementos v;
        int32_t n = 0;
        digi.AbreFichero(ruta, n);
        try {
            tipo_entidad e;
            do digi.DameEntidad(n, e), v.push_back(e);
            while (e.nfich != 0 && v.size() < 10000);
        } catch (const DigiError& e) {
            if (error) *error = e.numero();
            m_mensaje = e.what();
        }
        digi.CierraFichero(ruta, n);
        return v;
    }
    Elementos Carga(const std::string& ruta) {
        Elementos v;
        int32_t n = 0;
        digi.AbreFichero(ruta, n);
        digi.CargaFicheroDigi(ruta, v, n);
        digi.CierraFichero(ruta, n);
        return v;
    }
    int Comprime(const std::string& ruta) {
        try {
            return digi.comprimir(ruta), 0;
        } catch (const DigiError& e) {
            return m_mensaje = e.what(), e.numero();
        }
    }
    // Writes `bytes`, expects comprimir to fail with `numero` and leave the file as it was.
    void ComprimeFalla(const std::string& bytes, int numero) {
        Escribe(Ruta("c.bin"), bytes);
        EXPECT_EQ(Comprime(Ruta("c.bin")), numero);
        EXPECT_NE(m_mensaje.find(Ruta("c.bin")), std::string::npos) << m_mensaje;
        EXPECT_EQ(Lee(Ruta("c.bin")), bytes);
    }
    FicheroDigi digi;
    std::string m_mensaje;
};

bool EsVivo(const tipo_entidad& e) { return e.elemento.cabecera.tipo == "C=" || e.elemento.cabecera.tipo == "T="; }
std::string Codigo(const tipo_entidad& e) { return e.elemento.cabecera.codigo.substr(0, 1); }

// Cut at every byte, so at every block boundary and inside every block: the walk ends at the
// cut, the whole elements before it come back as they are, the cut one comes back last.
TEST_F(BinMalo, CortadoEnCadaByteTerminaDondeAcaba) {
    const std::vector<std::string> partes = {Linea("140100", 4, 2), Texto("301", "Calle de la Villa"),
                                             Borrado(Linea("1", 1)), Linea("9995", 1)};
    std::string entero;
    for (const auto& p : partes) entero += p;
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
        size_t vivos = 0, fin = 0;  // live elements that end before the cut are read in full
        for (size_t k = 0; k < partes.size() && (fin += partes[k].size()) <= corte; ++k) vivos += k != 2;
        for (size_t i = 0; i + 1 < v.size() && i < vivos; ++i) {
            EXPECT_EQ(v[i].elemento.coordenadas, completo[i].elemento.coordenadas);
            EXPECT_EQ(v[i].puntero, completo[i].puntero);
        }
        EXPECT_LE(v.size(), vivos + 1);
        // The load keeps the whole live elements, and the cut one when its kind survived.
        const auto cargados = Carga(ruta);
        EXPECT_GE(cargados.size(), vivos);
        EXPECT_LE(cargados.size(), vivos + 1);
        if (Comprime(ruta) == 0) {  // compacting a cut file keeps its live elements
            size_t despues = 0;
            for (const auto& e : Recorre(ruta)) despues += EsVivo(e);
            EXPECT_EQ(despues, cargados.size());
        }
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
    const std::string antes = Linea("A", 2) + Cabecera("**", "", 255, 0xFF, 0x7F);
    Escribe(ruta, antes);
    v = Recorre(ruta);
    ASSERT_EQ(v.size(), 2u);
    EXPECT_NE(v[0].nfich, 0);
    EXPECT_EQ(v[1].nfich, 0);
    EXPECT_FALSE(EsVivo(v[1]));
    EXPECT_EQ(Carga(ruta).size(), 1u);
    EXPECT_EQ(Comprime(ruta), 0);
    EXPECT_EQ(Lee(ruta), antes) << "nothing had to move";
    // [deleted][live whose counts run past the end]: the live one moves down whole.
    Escribe(ruta, Borrado(Linea("A", 3)) + Linea("B", 5).substr(0, 70));
    EXPECT_EQ(Comprime(ruta), 0);
    EXPECT_EQ(Lee(ruta).size(), 48u + 12 * 5);
    v = Recorre(ruta);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(Codigo(v[0]), "B");
}

TEST_F(BinMalo, ByteAltoEnCamposDe16Bits) {
    const std::string ruta = Ruta("c.bin"), bueno = Linea("A", 2);
    for (int alto : {0x80, 0xFF}) {
        SCOPED_TRACE(alto);
        const std::string alta = Cabecera("C=", "B", 0, 1, alto) + std::string(48, '\0');
        Escribe(ruta, bueno + alta);  // in npuntos of the second element
        int error = 0;
        auto v = Recorre(ruta, &error);
        EXPECT_EQ(error, kDesbordamiento);
        EXPECT_NE(m_mensaje.find(ruta), std::string::npos) << m_mensaje;
        EXPECT_NE(m_mensaje.find("byte " + std::to_string(bueno.size() + 1)), std::string::npos) << m_mensaje;
        ASSERT_EQ(v.size(), 1u);
        EXPECT_NE(v[0].nfich, 0);
        EXPECT_EQ(Carga(ruta).size(), 1u) << "the load keeps what came before";
        std::string atributo = Linea("C", 1, 1);  // in idTabla of an attribute
        atributo[48 + 12 + 1] = char(alto);
        Escribe(ruta, bueno + atributo + bueno);
        error = 0;
        EXPECT_EQ(Recorre(ruta, &error).size(), 1u);
        EXPECT_EQ(error, kDesbordamiento);
        ComprimeFalla(Borrado(bueno) + bueno + alta, kDesbordamiento);  // before writing anything
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
    const std::string ruta = Ruta("c.bin"), borrado = Borrado(Linea("A", 1));
    // A line of no points that is not the last element: index error.
    Escribe(ruta, borrado + Linea("B", 0) + Linea("C", 1));
    int error = 0;
    Recorre(ruta, &error);
    EXPECT_EQ(error, kSubindice);
    ComprimeFalla(borrado + Linea("B", 0) + Linea("C", 1), kSubindice);
    // A coordinate of -2147483648 reads, but cannot be written when the element moves.
    std::string minimo = Linea("D", 1);
    minimo.replace(48, 4, LE32(INT32_MIN));
    Escribe(ruta, borrado + minimo);
    const auto v = Recorre(ruta);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].elemento.coordenadas[0].x, INT32_MIN);
    ComprimeFalla(borrado + minimo, kDesbordamiento);
    // A text element of npuntos 0 reads with its insertion point but cannot move.
    ComprimeFalla(borrado + Cabecera("T=", "T", 0, 0, 0) + Texto("T", "").substr(12, 48) + Linea("C", 1),
                  kLlamadaNoValida);
}

// A text of npuntos 0 still has its insertion point: 12 bytes more than its header counts.
// The load and comprimir step from element to element by puntero + tamano, so tamano must
// be that span, or they read from inside the element (found by fuzz_bin_recorrido).
TEST_F(BinMalo, TextoSinBloquesNoDesalineaLaCarga) {
    const std::string texto = Cabecera("T=", "T", 1, 0, 0) + std::string(36, '\0') + LE32(5) + LE32(6) + LE32(0) +
                              std::string("\x01\x00", 2) + LE32(9) + std::string("X=ABC\0", 6);
    const std::string ruta = Ruta("t.bin");
    Escribe(ruta, texto + Linea("B", 2) + Borrado(Linea("C", 1)) + Linea("D", 1));
    const auto v = Recorre(ruta);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].tamano, 72);
    const auto cargados = Carga(ruta);
    ASSERT_EQ(cargados.size(), 3u);
    EXPECT_EQ(cargados[1].puntero, 73);
    EXPECT_EQ(Codigo(cargados[2]), "D");
    // comprimir walks the same way: the text stays, "D" moves down over the deleted element.
    EXPECT_EQ(Comprime(ruta), 0);
    const auto despues = Recorre(ruta);
    ASSERT_EQ(despues.size(), 3u);
    EXPECT_EQ(Codigo(despues[2]), "D");
    EXPECT_EQ(Lee(ruta).size(), 72u + 72 + 60);
}

using BinMaloDeathTest = BinMalo;

// A corrupt kind ends the program with its message, whatever reads the file; comprimir meets
// it while checking, before it has moved anything.
TEST_F(BinMaloDeathTest, ClaseCorruptaTerminaElProgramaConSuMensaje) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string ruta = Ruta("c.bin");
    const std::string contenido =
        Borrado(Linea("A", 1)) + Linea("B", 2) + Cabecera("X=", "C", 0, 1, 0) + std::string(48, '\0');
    Escribe(ruta, contenido);
    EXPECT_EXIT(Recorre(ruta), testing::ExitedWithCode(EXIT_FAILURE), "fichero corrupto\\.\\.\\.");
    EXPECT_EXIT(Carga(ruta), testing::ExitedWithCode(EXIT_FAILURE), "fichero corrupto\\.\\.\\.");
    EXPECT_EXIT(Comprime(ruta), testing::ExitedWithCode(EXIT_FAILURE), "fichero corrupto\\.\\.\\.");
    EXPECT_EQ(Lee(ruta), contenido);
}

// Palettes and code tables: each case is a file and the error number its reader gives (0: none).
using TablasMalas = Carpeta;

TEST_F(TablasMalas, NumerosMalosEnPaletaYTabla) {
    std::vector<std::string> mensajes;
    EstableceMensajero([&](const std::string& t) { mensajes.push_back(t); });
    FicheroDigi digi;
    brisquel::Paleta pal;
    auto lee = [&](const std::string& fichero, const std::string& contenido) {
        Escribe(Ruta(fichero), contenido);
        TablaDigi t;
        int32_t fondo = 0, nuevo = 0;
        try {
            fichero == "p.pal" ? digi.leo_PAL(Ruta(fichero), pal) : digi.leo_digi_tab(Ruta(fichero), t, fondo, nuevo);
            return 0;
        } catch (const DigiError& e) {
            EXPECT_NE(std::string(e.what()).find(fichero == "p.pal" ? "p.pal: line " : "t.tab"), std::string::npos)
                << e.what();
            return e.numero();
        }
    };
    std::string larga;
    for (int i = 0; i < 27; ++i) larga += std::to_string(i) + (i < 26 ? " " : "");
    const std::vector<std::tuple<std::string, std::string, int>> casos = {
        {"p.pal", "1 2 3\n12,abc,3\n", kTipoNoCoincide}, {"p.pal", "1 2 3\nnan 0 0\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\n0x10 0 0\n", kTipoNoCoincide}, {"p.pal", "1 2 3\n- 0 0\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\n1,2,3e\n", kTipoNoCoincide},   {"p.pal", "1 2 3\ninf 1 1\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\n1.2.3 0 0\n", kTipoNoCoincide}, {"p.pal", std::string("1\0 2 3", 6), kTipoNoCoincide},
        {"p.pal", "40000 0 0", kDesbordamiento},         {"p.pal", "0 -32769 0", kDesbordamiento},
        {"p.pal", "1e999 0 0", kDesbordamiento},         {"p.pal", "0 0 99999999999999999999", kDesbordamiento},
        {"t.tab", "//@ 7 abc\n1 2 3\n", kTipoNoCoincide}, {"t.tab", "//@ x 15\n", kTipoNoCoincide},
        {"t.tab", "//@ 99999999999 15\n", kDesbordamiento}, {"t.tab", larga, kSubindice},
        {"t.tab", std::string("\0\0\0\r\r\n\x80\xff", 8), 0}, {"t.tab", "", 0},
    };
    for (const auto& [fichero, contenido, numero] : casos) EXPECT_EQ(lee(fichero, contenido), numero) << contenido.substr(0, 40);
    // Fewer than three numbers: the format message, and the palette emptied.
    pal = {{1, 2, 3, 4}};
    EXPECT_EQ(lee("p.pal", "255 255\n"), 0);
    EXPECT_TRUE(pal.empty());
    EXPECT_EQ(mensajes, std::vector<std::string>{"Error en formato de fichero : " + Ruta("p.pal")});
    EXPECT_EQ(lee("p.pal", std::string(1 << 20, '7')), 0);  // a line of a megabyte without an end is only text
    EstableceMensajero(nullptr);
}

}  // namespace
