// Damaged BIN files, code tables and palettes: what the Digi library does with each.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <vector>

#include "digi/FicheroDigi.h"
#include "digi/Mensajes.h"
#include "digi/tests/elementos_prueba.h"
#include "tests/robustez/Robustez.h"

namespace {

using namespace brisquel;
using namespace parvenza::robustez;
using brisquel::prueba::LeeBin;
using Elementos = std::vector<tipo_entidad>;

class BinMalo : public Carpeta {
  protected:
    // Every record DameEntidad returns until the one with nfich 0; the error that stopped it in
    // `m_error`.
    Elementos Recorre(const std::string& ruta) {
        Elementos v;
        int32_t n = 0;
        m_error = 0;
        digi.AbreFichero(ruta, n);
        try {
            tipo_entidad e;
            do digi.DameEntidad(n, e), v.push_back(e);
            while (e.nfich != 0 && v.size() < 10000);
        } catch (const DigiError& e) {
            m_error = e.numero(), m_mensaje = e.what();
        }
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
    FicheroDigi digi;
    int m_error = 0;
    std::string m_mensaje;
};

bool EsVivo(const tipo_entidad& e) {
    return e.elemento.cabecera.tipo == "C=" || e.elemento.cabecera.tipo == "T=";
}

// Each record as kind, first letter of the code, @puntero:tamano #points +attributes (first x),
// then "," while nfich is set or "." for the last; "!n" when error n stopped the reading.
std::string Resumen(const Elementos& v, int error = 0) {
    std::string s;
    for (const auto& e : v) {
        const auto& el = e.elemento;
        s += el.cabecera.tipo + el.cabecera.codigo.substr(0, 1) + "@" + std::to_string(e.puntero) +
             ":" + std::to_string(e.tamano) + "#" + std::to_string(el.coordenadas.size()) + "+" +
             std::to_string(el.atributos.size()) +
             (el.coordenadas.empty() ? "" : "(" + std::to_string(el.coordenadas[0].x) + ")") +
             (e.nfich ? "," : ".");
    }
    std::replace(s.begin(), s.end(), '\0', '_');
    return error ? s + "!" + std::to_string(error) : s;
}

// Cut at every byte, so at every block boundary and inside every block: the walk ends at the
// cut, the whole elements before it come back as they are, the cut one comes back last.
TEST_F(BinMalo, CortadoEnCadaByteTerminaDondeAcaba) {
    const std::vector<std::string> partes = {Linea("140100", 4, 2),
                                             Texto("301", "Calle de la Villa"),
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
        const auto v = Recorre(ruta);
        EXPECT_EQ(m_error, 0) << m_mensaje;
        ASSERT_FALSE(v.empty());
        EXPECT_EQ(v.back().nfich, 0);
        size_t vivos = 0, fin = 0;  // live elements that end before the cut are read in full
        for (size_t k = 0; k < partes.size() && (fin += partes[k].size()) <= corte; ++k)
            vivos += k != 2;
        for (size_t i = 0; i + 1 < v.size() && i < vivos; ++i) {
            EXPECT_EQ(v[i].elemento.coordenadas, completo[i].elemento.coordenadas);
            EXPECT_EQ(v[i].puntero, completo[i].puntero);
        }
        EXPECT_LE(v.size(), vivos + 1);
        // The load keeps the whole live elements, and the cut one when its kind survived.
        const auto cargados = LeeBin(ruta);
        EXPECT_GE(cargados.size(), vivos);
        EXPECT_LE(cargados.size(), vivos + 1);
        if (Comprime(ruta) == 0) {  // compacting a cut file keeps its live elements
            size_t despues = 0;
            for (const auto& e : Recorre(ruta)) despues += EsVivo(e);
            EXPECT_EQ(despues, cargados.size());
        }
    }
}

// Damaged files, each read by the walk, the load and comprimir. `comprime` is the error of
// comprimir (-1: not tried) and `despues` the size and walk after it ("": the file unchanged).
TEST_F(BinMalo, FicherosDanados) {
    struct Caso {
        std::string que, bytes, recorrido, carga;
        int comprime;
        std::string despues;
    };
    const std::string bueno = Linea("A", 2), borrado = Borrado(Linea("A", 1));
    std::string minimo = Linea("D", 1);
    minimo.replace(48, 4, LE32(INT32_MIN));
    std::vector<Caso> casos = {
        {"empty file", "", "___@1:48#0+0.", "", 0, ""},
        // npuntos 32767 and 255 attributes in a file of 60 bytes: the element is the last one.
        {"counts past the end", Cabecera("C=", "1", 255, 32767) + std::string(48, '\x01'),
         "C=1@1:396312#32767+255(16843009).", "C=1@1:396312#32767+255(16843009).", -1, ""},
        // A deleted header that claims more than the file holds ends the walk after the live one.
        {"deleted header past the end", bueno + Cabecera("**", "", 255, 32767),
         "C=A@1:72#2+0(0),**_@73:396312#0+0.", "C=A@1:72#2+0(0),", 0, ""},
        {"cut live element moves down whole", Borrado(Linea("A", 3)) + Linea("B", 5).substr(0, 70),
         "C=B@85:108#5+0(0).", "C=B@85:108#5+0(0).", 0, "108 C=B@1:108#5+0(0)."},
        // A line of no points that is not the last element: index error.
        {"line of no points", borrado + Linea("B", 0) + Linea("C", 1), "!9",
         "C=B@61:48#0+0,C=C@109:60#1+0(0).", kSubindice, ""},
        // A coordinate of -2147483648 reads, but cannot be written when the element moves.
        {"coordinate INT32_MIN", borrado + minimo, "C=D@61:60#1+0(-2147483648).",
         "C=D@61:60#1+0(-2147483648).", kDesbordamiento, ""},
        // A text element of npuntos 0 reads with its insertion point but cannot move.
        {"text of npuntos 0 that must move",
         borrado + Cabecera("T=", "T", 0, 0) + Texto("T", "").substr(12, 48) + Linea("C", 1),
         "T=T@61:60#1+0(5),C=C@121:60#1+0(0).", "T=T@61:60#1+0(5),C=C@121:60#1+0(0).",
         kLlamadaNoValida, ""},
        // A text of npuntos 0 still has its insertion point: 12 bytes more than its header counts.
        // The load and comprimir step by puntero + tamano, so tamano must be that span, or they
        // read from inside the element (found by fuzz_bin_recorrido).
        {"text of npuntos 0 keeps the load aligned",
         Cabecera("T=", "T", 1, 0) + std::string(36, '\0') + LE32(5) + LE32(6) + LE32(0) +
             std::string("\x01\x00", 2) + LE32(9) + std::string("X=ABC\0", 6) + Linea("B", 2) +
             Borrado(Linea("C", 1)) + Linea("D", 1),
         "T=T@1:72#1+1(5),C=B@73:72#2+0(0),C=D@205:60#1+0(0).",
         "T=T@1:72#1+1(5),C=B@73:72#2+0(0),C=D@205:60#1+0(0).", 0,
         "204 T=T@1:72#1+1(5),C=B@73:72#2+0(0),C=D@145:60#1+0(0)."},
    };
    for (int alto :
         {0x80, 0xFF}) {  // a high byte in a 16-bit field: overflow, naming the file and byte
        std::string atributo = Linea("C", 1, 1);
        atributo[48 + 12 + 1] = char(alto);
        casos.push_back(
            {"high byte in npuntos " + std::to_string(alto),
             borrado + bueno + Cabecera("C=", "B", 0, 1 + 256 * alto) + std::string(48, '\0'),
             "C=A@61:72#2+0(0),!6", "C=A@61:72#2+0(0),", kDesbordamiento, ""});
        casos.push_back({"high byte in idTabla " + std::to_string(alto), bueno + atributo + bueno,
                         "C=A@1:72#2+0(0),!6", "C=A@1:72#2+0(0),", -1, ""});
    }
    const std::string ruta = Ruta("c.bin");
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.que);
        Escribe(ruta, c.bytes);
        const auto v = Recorre(ruta);
        EXPECT_EQ(Resumen(v, m_error), c.recorrido);
        EXPECT_TRUE(!m_error || m_mensaje.find(ruta) != std::string::npos) << m_mensaje;
        EXPECT_TRUE(m_error != kDesbordamiento ||  // the byte where the bad element starts
                    (!v.empty() &&
                     m_mensaje.find("byte " + std::to_string(v.back().puntero + v.back().tamano)) !=
                         std::string::npos))
            << m_mensaje;
        try {
            EXPECT_EQ(Resumen(LeeBin(ruta)), c.carga);
        } catch (const DigiError& e) {
            EXPECT_EQ("!" + std::to_string(e.numero()), c.carga);
        }
        if (c.comprime < 0) continue;
        m_mensaje.clear();
        EXPECT_EQ(Comprime(ruta), c.comprime);
        EXPECT_TRUE(!c.comprime || m_mensaje.find(ruta) != std::string::npos) << m_mensaje;
        EXPECT_EQ(c.despues.empty()
                      ? Lee(ruta)
                      : std::to_string(Lee(ruta).size()) + " " + Resumen(Recorre(ruta), m_error),
                  c.despues.empty() ? c.bytes : c.despues);
    }
}

// A corrupt kind ends the program with its message naming the file, whatever reads the file;
// comprimir meets it while checking, before it has moved anything.
TEST_F(BinMalo, ClaseCorruptaTerminaElProgramaConSuMensaje) {
    const std::string ruta = Ruta("c.bin");
    const std::string contenido =
        Borrado(Linea("A", 1)) + Linea("B", 2) + Cabecera("X=", "C", 0, 1) + std::string(48, '\0');
    Escribe(ruta, contenido);
    for (const std::function<void()>& lee : std::vector<std::function<void()>>{
             [&] { Recorre(ruta); }, [&] { LeeBin(ruta); }, [&] { Comprime(ruta); }}) {
        try {
            lee();
            ADD_FAILURE() << "no FinDePrograma";
        } catch (const parvenza::FinDePrograma& fin) {
            EXPECT_EQ(fin.what(), ruta + ": fichero corrupto...");
            EXPECT_EQ(fin.estado(), 1);
        }
    }
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
            fichero == "p.pal" ? digi.leo_PAL(Ruta(fichero), pal)
                               : digi.leo_digi_tab(Ruta(fichero), t, fondo, nuevo);
            return 0;
        } catch (const DigiError& e) {
            EXPECT_NE(std::string(e.what()).find(fichero == "p.pal" ? "p.pal: línea " : "t.tab"),
                      std::string::npos)
                << e.what();
            return e.numero();
        }
    };
    std::string larga;
    for (int i = 0; i < 27; ++i) larga += std::to_string(i) + (i < 26 ? " " : "");
    const std::vector<std::tuple<std::string, std::string, int>> casos = {
        {"p.pal", "1 2 3\n12,abc,3\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\nnan 0 0\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\n0x10 0 0\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\n- 0 0\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\n1,2,3e\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\ninf 1 1\n", kTipoNoCoincide},
        {"p.pal", "1 2 3\n1.2.3 0 0\n", kTipoNoCoincide},
        {"p.pal", std::string("1\0 2 3", 6), kTipoNoCoincide},
        {"p.pal", "40000 0 0", kDesbordamiento},
        {"p.pal", "0 -32769 0", kDesbordamiento},
        {"p.pal", "1e999 0 0", kDesbordamiento},
        {"p.pal", "0 0 99999999999999999999", kDesbordamiento},
        {"t.tab", "//@ 7 abc\n1 2 3\n", kTipoNoCoincide},
        {"t.tab", "//@ x 15\n", kTipoNoCoincide},
        {"t.tab", "//@ 99999999999 15\n", kDesbordamiento},
        {"t.tab", larga, kSubindice},
        {"t.tab", std::string("\0\0\0\r\r\n\x80\xff", 8), 0},
        {"t.tab", "", 0},
    };
    for (const auto& [fichero, contenido, numero] : casos)
        EXPECT_EQ(lee(fichero, contenido), numero) << contenido.substr(0, 40);
    // Fewer than three numbers: the format message, and the palette emptied.
    pal = {{1, 2, 3, 4}};
    EXPECT_EQ(lee("p.pal", "255 255\n"), 0);
    EXPECT_TRUE(pal.empty());
    EXPECT_EQ(mensajes, std::vector<std::string>{"Error en formato de fichero : " + Ruta("p.pal")});
    EXPECT_EQ(lee("p.pal", std::string(1 << 20, '7')),
              0);  // a line of a megabyte without an end is only text
    EstableceMensajero(nullptr);
}

}  // namespace
