// BIN-to-shapefile runs driven through the window's buttons, with a scripted file chooser,
// checking the layers on disk and what the window showed.

#include <gtest/gtest.h>
#include <shapefil.h>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "converter/window/Ventana.h"
#include "digi/FicheroDigi.h"
#include "ventana_support.h"

namespace parvenza {
namespace {

using brisquel::Fpunto3d;
using brisquel::tipo_entidad;
using namespace prueba;

tipo_entidad Linea(const std::vector<Fpunto3d>& puntos) {
    tipo_entidad e;
    e.elemento.cabecera.tipo = "C=";
    e.elemento.cabecera.codigo = "1010";
    e.elemento.cabecera.npuntos = static_cast<int16_t>(puntos.size());
    e.elemento.coordenadas = puntos;
    return e;
}

tipo_entidad Texto(const std::string& texto, Fpunto3d p) {
    tipo_entidad e;
    e.elemento.cabecera.tipo = "T=";
    e.elemento.cabecera.codigo = "2020";
    e.elemento.coordenadas = {p};
    e.elemento.rango.xlib = 250;
    e.elemento.rango.zlib = 9000;
    std::string t = texto;
    brisquel::FicheroDigi().ModificaTextoEntidad(t, e);
    return e;
}

// Two polygons, one open line, one point and one text.
void EscribeHoja(const std::string& ruta) {
    std::vector<tipo_entidad> elementos = {
        Linea({{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 0, 0}}),
        Linea({{0, 0, 0}, {500, 800, 0}}),
        Linea({{2000, 2000, 0}, {3000, 2000, 0}, {3000, 3000, 0}, {2000, 2000, 0}}),
        Linea({{700, 700, 50}}),
        Texto("abc", {1000, 2000, 0}),
    };
    std::ofstream(ruta, std::ios::binary | std::ios::trunc);
    brisquel::FicheroDigi().CreaFicheroDigi(ruta, elementos);
}

// Records of a layer, or -1 when it is not there.
int Registros(const std::string& rutaShp) {
    if (!std::filesystem::exists(rutaShp)) return -1;
    SHPHandle shp = SHPOpen(rutaShp.c_str(), "rb");
    if (!shp) return -1;
    int n = 0, tipo = 0;
    SHPGetInfo(shp, &n, &tipo, nullptr, nullptr);
    SHPClose(shp);
    return n;
}

// What `lbl_Proceso` showed each time it was painted, and whether the hourglass was on.
class VigilaEtiqueta : public QObject {
  public:
    explicit VigilaEtiqueta(QLabel* etiqueta) : m_etiqueta(etiqueta) {
        etiqueta->installEventFilter(this);
    }
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (objeto == m_etiqueta && evento->type() == QEvent::Paint &&
            (pintadas.empty() || pintadas.back() != m_etiqueta->text())) {
            pintadas.push_back(m_etiqueta->text());
            const QCursor* c = QApplication::overrideCursor();
            reloj.push_back(c && c->shape() == Qt::WaitCursor);
        }
        return false;
    }
    std::vector<QString> pintadas;
    std::vector<bool> reloj;

  private:
    QLabel* m_etiqueta;
};

TEST(VentanaBinShp, ConversionCompletaDesdeLosBotones) {
    CarpetaTemporal carpeta;
    const std::string hoja = (carpeta.ruta() / "hoja.bin").string();
    EscribeHoja(hoja);
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();
    auto* proceso = v->findChild<QLabel*>(QStringLiteral("lbl_Proceso"));
    VigilaEtiqueta vigia(proceso);

    selector->respuestas = {hoja};
    Pulsa(*v, "cmdElegirBin");
    Pulsa(*v, "cmdProcesarBinShp");

    EXPECT_TRUE(mensajes.cajas.empty());
    const std::string base = (carpeta.ruta() / "hoja").string();
    EXPECT_EQ(Registros(base + "_P.shp"), 2);
    EXPECT_EQ(Registros(base + "_L.shp"), 1);
    EXPECT_EQ(Registros(base + "_X.shp"), 1);
    EXPECT_EQ(Registros(base + "_TL.shp"), 1);
    EXPECT_EQ(Registros(base + "_TX.shp"), -1);
    EXPECT_EQ(proceso->text(), "Proceso Terminado");
    // Every caption reached the screen as it was set, under the hourglass while working.
    const std::vector<QString> esperadas = {
        "Procesando fichero...", "Pasada 1", "Pasada 2", "Pasada 3", "Pasada 4", "Pasada 5",
        "Proceso Terminado"};
    EXPECT_EQ(vigia.pintadas, esperadas);
    ASSERT_EQ(vigia.reloj.size(), esperadas.size());
    EXPECT_TRUE(vigia.reloj[1]);
    EXPECT_FALSE(vigia.reloj.back());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(VentanaBinShp, CancelarTrasUnaEleccionDejaSinBin) {
    CarpetaTemporal carpeta;
    const std::string hoja = (carpeta.ruta() / "hoja.bin").string();
    EscribeHoja(hoja);
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();
    selector->respuestas = {hoja, ""};
    Pulsa(*v, "cmdElegirBin");
    Pulsa(*v, "cmdElegirBin");
    Pulsa(*v, "cmdProcesarBinShp");
    ASSERT_EQ(mensajes.cajas.size(), 1u);
    EXPECT_EQ(mensajes.cajas[0].texto, "No se ha elegido fichero BIN");
    EXPECT_EQ(mensajes.cajas[0].titulo, "Parvenza");
    EXPECT_EQ(Registros((carpeta.ruta() / "hoja_P.shp").string()), -1);
}

TEST(VentanaBinShp, UnFalloDelComponenteSeMuestraYDevuelveElPuntero) {
    CarpetaTemporal carpeta;
    const std::string hoja = (carpeta.ruta() / "hoja.bin").string();
    EscribeHoja(hoja);
    // The layer set to append to is no shapefile at all.
    const std::string roto = (carpeta.ruta() / "otra_P.shp").string();
    std::ofstream(roto, std::ios::binary) << "esto no es un shapefile";
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();
    selector->respuestas = {hoja, roto};
    Pulsa(*v, "cmdElegirBin");
    Pulsa(*v, "ChkAnexar");
    Pulsa(*v, "cmdProcesarBinShp");
    ASSERT_EQ(selector->preguntas.size(), 2u);
    EXPECT_EQ(selector->preguntas[1].filtro, "Fichero SHP (*.shp)|*.shp");
    ASSERT_EQ(mensajes.cajas.size(), 1u);
    EXPECT_EQ(mensajes.cajas[0].icono, QMessageBox::Critical);
    EXPECT_TRUE(mensajes.cajas[0].texto.contains(QStringLiteral("otra_P")))
        << mensajes.cajas[0].texto.toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The window stays usable: the next run without appending works.
    Pulsa(*v, "ChkAnexar");
    Pulsa(*v, "cmdProcesarBinShp");
    EXPECT_EQ(mensajes.cajas.size(), 1u);
    EXPECT_EQ(Registros((carpeta.ruta() / "hoja_P.shp").string()), 2);
}

TEST(VentanaBinShp, CatastroConMdbDesdeLosBotones) {
    CarpetaTemporal carpeta;
    const std::string hoja = (carpeta.ruta() / "hoja.bin").string();
    // A block drawn as a closed line, linked to record 12 of table 150 (block 45303).
    tipo_entidad manzana = Linea({{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 0, 0}});
    manzana.elemento.cabecera.codigo = "1802";
    manzana.elemento.cabecera.natr = 1;
    manzana.elemento.atributos = {{150, 12, ""}};
    std::vector<tipo_entidad> elementos = {manzana};
    std::ofstream(hoja, std::ios::binary | std::ios::trunc);
    brisquel::FicheroDigi().CreaFicheroDigi(hoja, elementos);
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();

    selector->respuestas = {hoja, PARVENZA_TEST_DATA "/topology/basic.mdb"};
    Pulsa(*v, "chkCatastro");
    Pulsa(*v, "cmdElegirBin");
    Pulsa(*v, "cmdElegirMdb");
    Pulsa(*v, "cmdProcesarBinShp");

    EXPECT_TRUE(mensajes.cajas.empty());
    const std::string masa = (carpeta.ruta() / "masa").string();
    ASSERT_EQ(Registros(masa + ".shp"), 1);
    DBFHandle dbf = DBFOpen((masa + ".dbf").c_str(), "rb");
    ASSERT_NE(dbf, nullptr);
    const int campo = DBFGetFieldIndex(dbf, "MASA");
    ASSERT_GE(campo, 0);
    EXPECT_STREQ(DBFReadStringAttribute(dbf, 0, campo), "45303");
    DBFClose(dbf);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace parvenza
