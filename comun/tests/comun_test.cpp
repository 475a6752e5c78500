#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "comun/Reemplazo.h"
#include "converter/shapefile/tests/limite_prueba.h"
#include "tests/robustez/Robustez.h"

namespace fs = std::filesystem;
using namespace parvenza;
using namespace parvenza::comun;

namespace {

using parvenza::robustez::Lee;

struct Carpeta : parvenza::robustez::Carpeta {
    const fs::path& dir = m_dir;
    std::vector<std::string> Nombres() {
        std::vector<std::string> v;
        for (auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename());
        std::sort(v.begin(), v.end());
        return v;
    }
};

TEST_F(Carpeta, UnFicheroNuevoSoloOcupaSuSitioAlConfirmarseYConservaLosPermisos) {
    const std::string destino = dir / "hoja.bin";
    std::ofstream(destino) << "viejo";
    fs::permissions(destino,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    {
        FicheroNuevo f(destino);
        f.Escribe("nuevo", 5);
        EXPECT_EQ(Lee(destino), "viejo");  // not in place until confirmed
    }
    EXPECT_EQ(Lee(destino), "viejo");
    EXPECT_EQ(Nombres(), std::vector<std::string>{"hoja.bin"});  // the temporary is gone
    {
        FicheroNuevo f(destino);
        f.Escribe("nuevo", 5);
        f.Confirma();
    }
    EXPECT_EQ(Lee(destino), "nuevo");
    EXPECT_EQ(Nombres(), std::vector<std::string>{"hoja.bin"});
    EXPECT_EQ(fs::status(destino).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(Carpeta, UnDiscoLlenoSeNombraConSuCausaYDejaElFicheroComoEstaba) {
    const std::string destino = dir / "capa.dbf";
    std::ofstream(destino) << "viejo";
    // A file-size limit stands in for a full disk: the write fails with EFBIG.
    const std::string m = prueba::FallaConLimite(4096, [&] {
        FicheroNuevo f(destino);
        const std::string mucho(10000, 'x');
        f.Escribe(mucho.data(), mucho.size());
        f.Confirma();
    });
    for (const std::string& parte : {std::string("error: "), destino, std::string("tamaño máximo")})
        EXPECT_NE(m.find(parte), std::string::npos) << m;
    EXPECT_EQ(Lee(destino), "viejo");
    EXPECT_EQ(Nombres(), std::vector<std::string>{"capa.dbf"});
}

TEST_F(Carpeta, LosTemporalesDeUnaEjecucionMuertaSeBorranYLosDeUnaVivaNo) {
    const std::string deMuerto = std::string(dir) + "/.hoja_P.shp" + kMarcaTemporal +
                                 std::to_string(robustez::PidMuerto()) + "-12";
    std::ofstream(deMuerto + ".shp") << "x";
    fs::create_directories(deMuerto + "d/sub");
    std::ofstream(deMuerto + "d/sub/f") << "x";
    FicheroNuevo vivo(dir / "hoja_L.shp");
    std::ofstream(dir / ".oculto") << "x";
    Cerrojo cerrojo(dir / "hoja.bin");

    EXPECT_EQ(LimpiaTemporales(dir), 2);
    EXPECT_EQ(Nombres().size(), 3u);  // the live temporary, the user's hidden file, the lock
    EXPECT_TRUE(fs::exists(vivo.Temporal()));
}

TEST_F(Carpeta, DosEjecucionesNoEscribenAlaVezElMismoFichero) {
    const std::string destino = dir / "hoja.bin";
    int tubo[2];
    ASSERT_EQ(::pipe(tubo), 0);
    const pid_t hijo = ::fork();
    if (hijo == 0) {
        Cerrojo c(destino);
        ::write(tubo[1], "t", 1);
        ::usleep(300000);
        ::_exit(0);
    }
    char c;
    ASSERT_EQ(::read(tubo[0], &c, 1), 1);
    try {
        Cerrojo segundo(destino, 0);
        ADD_FAILURE() << "the second lock was granted";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find(destino), std::string::npos);
    }
    { Cerrojo esperando(destino, 10); }  // waits for the first run, then gets it
    ::waitpid(hijo, nullptr, 0);
    EXPECT_TRUE(Nombres().empty());  // the lock file goes with the last holder
}

}  // namespace
