// The window offscreen: start-up, captions and defaults, the visibility rules of the BIN
// band, the progress marker. Controls are found by their design names.

#include "converter/window/Ventana.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <clocale>
#include <cstdlib>

#include "ventana_support.h"

namespace parvenza {
namespace {

using namespace prueba;

QString Texto(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* t = qobject_cast<QLineEdit*>(w)) return t->text();
    return QStringLiteral("<no caption>");
}

// Shown from start-up on.
const char* const kSiempre[] = {
    "frm_uds",           "Opt_uds_cm",  "Opt_uds_mm",       "Label1",       "cmdElegirBin",
    "chkTodoDirectorio", "chkCatastro", "Label2",           "cmdElegirShp", "lblFicheroShp",
    "frm_Contador",      "lbl_Proceso", "pcb_BarraProceso", "Label3"};
// Hidden by start-up.
const char* const kOcultosAlArrancar[] = {
    "frmTextos", "frm_2D_3D",      "frmPoligono",       "frmTextosDigi",     "frmTransmiteZ",
    "frmCodigo", "frameAtributos", "cmdProcesarShpBin", "cmdProcesarBinShp", "cmdElegirBinSalida",
    "ChkAnexar", "lblInfo",        "cmdElegirMdb"};
const char* const kBandaBin[] = {"frmTextos", "frmPoligono", "frm_2D_3D", "cmdProcesarBinShp",
                                 "ChkAnexar"};

TEST(Ventana, ArrancaConCaptionsDefectosYOcultacion) {
    RecogeMensajes mensajes;
    auto v = Abre();
    EXPECT_TRUE(mensajes.cajas.empty());
    EXPECT_EQ(v->objectName(), "main");
    EXPECT_EQ(v->windowTitle(), "Traductor de Bin->Shp / Shp->Bin");

    const std::pair<const char*, const char*> captions[] = {
        {"frm_uds", "Uds"},
        {"Opt_uds_cm", "cm"},
        {"Opt_uds_mm", "mm"},
        {"Label1", "Traducir de Bin a Shp:"},
        {"cmdElegirBin", "..."},
        {"chkTodoDirectorio", "Todo el directorio"},
        {"chkCatastro", "SHP Catastro"},
        {"cmdElegirMdb", "..."},
        {"frm_2D_3D", "Shape 2D/3D"},
        {"opt2D", "2D"},
        {"opt3D", "3D"},
        {"frmTextos", "Pasar Textos como..."},
        {"opt_textos_puntos", "Puntos"},
        {"opt_textos_lineas", "Lineas"},
        {"frmPoligono", "Pasar LinCerradas como..."},
        {"opt_lineasCerradas_Lineas", "Líneas"},
        {"opt_lineasCerradas_Poligonos", "Polígonos"},
        {"ChkAnexar", "Anexar a Shape "},
        {"lblInfo", "No anexa shapes de puntos"},
        {"cmdProcesarBinShp", "Procesar"},
        {"Label2", "Traducir de Shp a Bin:"},
        {"cmdElegirBinSalida", "...BIN salida"},
        {"cmdProcesarShpBin", "Procesar"},
        {"frmTextosDigi", "Textos Digi  (desde DBF):"},
        {"frmTransmiteZ", "Transmitir Z desde dbf:"},
        {"frmCodigo", "Código DIGI (desde DBF)"},
        {"frameAtributos", "Atributos"},
        {"chkTextos", "Convertir a textos en Bin"},
        {"chkCotas", "Transmitir Z desde Dbf"},
        {"txtCodigo", "140100"},
        {"txtTextoRotulo", "NoTexto"},
        {"txtTextoAltura", "1.50"},
        {"txtTextoJustificacion", "0"},
        {"txtTextoGiro", "0"},
        {"cmdBorrarSelec", "BORRAR Selección"},
        {"cmdLeerCFG", "Leer CFG"},
        {"cmdGuardarCFG", "Guardar CFG"},
        {"frm_Contador", "Proceso que se ejecuta"},
        {"lbl_Proceso", "Elección de proceso a ejecutar"},
        {"Label3", "Tramaset 15-05-2009"}};
    for (const auto& [nombre, caption] : captions) {
        if (QWidget* w = Control(*v, nombre)) {
            EXPECT_EQ(Texto(w), QString::fromUtf8(caption)) << nombre;
        }
    }
    for (int i = 0; i <= 9; ++i)
        Control<QComboBox>(*v, qPrintable(QStringLiteral("cmbTablaDbf1_%1").arg(i)));
    for (int i = 0; i <= 3; ++i)
        Control<QComboBox>(*v, qPrintable(QStringLiteral("cmbTablaDbf_Texto_%1").arg(i)));
    Control<QComboBox>(*v, "cmbTablaDbf_Z");
    Control<QComboBox>(*v, "cmbLabel17");
    Control(*v, "shp_MarcadorProceso");
    EXPECT_EQ(Control(*v, "cmbTablaDbf1_9")->parent(), Control(*v, "frmCodigo"));
    EXPECT_EQ(Control(*v, "cmbTablaDbf_Z")->parent(), Control(*v, "frmTransmiteZ"));
    EXPECT_EQ(Control(*v, "shp_MarcadorProceso")->parent(), Control(*v, "pcb_BarraProceso"));

    for (const char* nombre : kSiempre) EXPECT_TRUE(Visible(*v, nombre)) << nombre;
    for (const char* nombre : kOcultosAlArrancar) EXPECT_FALSE(Visible(*v, nombre)) << nombre;
    EXPECT_FALSE(Visible(*v, "chkTextos"));
    EXPECT_FALSE(Visible(*v, "chkCotas"));

    const OpcionesBinShp o = v->LeeOpcionesBinShp();
    EXPECT_FALSE(o.binElegido);
    EXPECT_FALSE(o.mdbElegido);
    EXPECT_EQ(o.divisor, 100);
    EXPECT_TRUE(o.textosComoLineas);
    EXPECT_FALSE(o.cerradasComoLineas);
    EXPECT_TRUE(o.dosD);
    EXPECT_FALSE(o.anexar);
    EXPECT_FALSE(o.catastro);
    EXPECT_TRUE(o.ficheros.empty());

    // A blank thousands separator is trimmed to nothing and passes.
    auto conEspacio = Abre({" ", "."});
    EXPECT_TRUE(mensajes.cajas.empty());
    EXPECT_EQ(Texto(Control(*conEspacio, "Label3")), "Tramaset 15-05-2009");
}

TEST(Ventana, ConfiguracionRegionalAjenaAvisaYNoOcultaNada) {
    for (const Separadores& s :
         {Separadores{".", ","}, Separadores{",", "."}, Separadores{"", ","}}) {
        RecogeMensajes mensajes;
        auto v = Abre(s);
        ASSERT_EQ(mensajes.cajas.size(), 1u);
        EXPECT_EQ(mensajes.cajas[0].texto, "Debe cambiar la configuración regional");
        EXPECT_EQ(mensajes.cajas[0].titulo, "Parvenza");
        EXPECT_EQ(mensajes.cajas[0].icono, QMessageBox::Critical);
        // Every control keeps its designed visibility; the version label stays empty.
        for (const char* nombre : kSiempre) EXPECT_TRUE(Visible(*v, nombre)) << nombre;
        for (const char* nombre : kOcultosAlArrancar) EXPECT_TRUE(Visible(*v, nombre)) << nombre;
        EXPECT_FALSE(Visible(*v, "chkTextos"));
        EXPECT_EQ(Texto(Control(*v, "Label3")), "");
    }
}

TEST(Regional, SeparadoresDelProcesoYRegla) {
    EXPECT_TRUE(ConfiguracionRegionalCorrecta({"", "."}));
    EXPECT_TRUE(ConfiguracionRegionalCorrecta({"  ", " . "}));
    EXPECT_FALSE(ConfiguracionRegionalCorrecta({".", ","}));
    EXPECT_FALSE(ConfiguracionRegionalCorrecta({",", "."}));
    EXPECT_FALSE(ConfiguracionRegionalCorrecta({"", ""}));
    EXPECT_FALSE(ConfiguracionRegionalCorrecta({"\xe2\x80\xaf", "."}));  // narrow no-break space

    const char* antes = std::getenv("LC_ALL");
    const std::string guardado = antes ? antes : "";
    setenv("LC_ALL", "C.UTF-8", 1);
    const Separadores s = LeeSeparadoresRegionales();
    EXPECT_EQ(s.miles, "");
    EXPECT_EQ(s.decimal, ".");
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    if (antes)
        setenv("LC_ALL", guardado.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST(Ventana, EleccionBinAnexarYCatastro) {
    CarpetaTemporal carpeta;
    const std::string b = carpeta.Fichero("b.bin");
    const std::string a = carpeta.Fichero("A.BIN");
    const std::string c = carpeta.Fichero("c.bin");
    carpeta.Fichero("d.txt");
    const std::string dir = carpeta.ruta().string() + "/";
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();

    selector->respuestas = {b};
    Pulsa(*v, "cmdElegirBin");
    ASSERT_EQ(selector->preguntas.size(), 1u);
    EXPECT_EQ(selector->preguntas[0].filtro, "Fichero BIN de Digi (*.bin)|*.bin");
    EXPECT_EQ(selector->preguntas[0].titulo, "Elegir fichero");
    EXPECT_TRUE(v->BinElegido());
    EXPECT_EQ(v->LeeOpcionesBinShp().ficheros, std::vector<std::string>{b});
    EXPECT_EQ(v->Directorio(), dir);
    for (const char* nombre : kBandaBin) EXPECT_TRUE(Visible(*v, nombre)) << nombre;
    EXPECT_FALSE(Visible(*v, "lblInfo"));
    EXPECT_FALSE(Visible(*v, "cmdElegirMdb"));

    // "Todo el directorio": every file of the folder with that extension, by name.
    Pulsa(*v, "chkTodoDirectorio");
    selector->respuestas = {b};
    Pulsa(*v, "cmdElegirBin");
    EXPECT_EQ(v->LeeOpcionesBinShp().ficheros, (std::vector<std::string>{a, b, c}));

    Pulsa(*v, "ChkAnexar");
    EXPECT_TRUE(Visible(*v, "lblInfo"));
    EXPECT_TRUE(v->LeeOpcionesBinShp().anexar);
    Pulsa(*v, "ChkAnexar");
    EXPECT_FALSE(Visible(*v, "lblInfo"));

    // The options hidden by the cadastre mode keep their values.
    for (const char* nombre :
         {"opt3D", "opt_textos_puntos", "opt_lineasCerradas_Lineas", "Opt_uds_mm"})
        Pulsa(*v, nombre);
    Pulsa(*v, "chkCatastro");
    for (const char* nombre : kBandaBin) EXPECT_FALSE(Visible(*v, nombre)) << nombre;
    EXPECT_TRUE(Visible(*v, "cmdElegirMdb"));
    Pulsa(*v, "chkCatastro");
    for (const char* nombre : kBandaBin) EXPECT_TRUE(Visible(*v, nombre)) << nombre;
    EXPECT_FALSE(Visible(*v, "cmdElegirMdb"));
    OpcionesBinShp o = v->LeeOpcionesBinShp();
    EXPECT_FALSE(o.dosD);
    EXPECT_FALSE(o.textosComoLineas);
    EXPECT_TRUE(o.cerradasComoLineas);
    EXPECT_EQ(o.divisor, 1000);
    EXPECT_FALSE(o.catastro);

    // Cancelling leaves the band as it was but nothing counts as chosen.
    selector->respuestas = {""};
    Pulsa(*v, "cmdElegirBin");
    EXPECT_FALSE(v->BinElegido());
    for (const char* nombre : kBandaBin) EXPECT_TRUE(Visible(*v, nombre)) << nombre;
    EXPECT_EQ(v->LeeOpcionesBinShp().ficheros, (std::vector<std::string>{a, b, c}));
    EXPECT_TRUE(mensajes.cajas.empty());
}

TEST(Ventana, CatastroOfreceProcesarSoloConBinYMdb) {
    CarpetaTemporal carpeta;
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();
    Pulsa(*v, "chkCatastro");
    selector->respuestas = {carpeta.Fichero("hoja.bin"), "",
                            PARVENZA_TEST_DATA "/topology/basic.mdb", ""};
    Pulsa(*v, "cmdElegirBin");
    EXPECT_TRUE(v->BinElegido());
    for (const char* nombre : kBandaBin) EXPECT_FALSE(Visible(*v, nombre)) << nombre;
    EXPECT_TRUE(Visible(*v, "cmdElegirMdb"));
    // A cancelled database choice changes nothing.
    Pulsa(*v, "cmdElegirMdb");
    EXPECT_FALSE(v->MdbElegido());
    EXPECT_FALSE(Visible(*v, "cmdProcesarBinShp"));

    Pulsa(*v, "cmdElegirMdb");
    EXPECT_EQ(selector->preguntas.at(2).filtro, "Fichero MDB de 'rara-zizu' Digi (*.mdb)|*.mdb");
    EXPECT_EQ(selector->preguntas.at(2).titulo, "Elegir fichero MDB de topología catastral");
    EXPECT_TRUE(v->LeeOpcionesBinShp().mdbElegido);
    EXPECT_TRUE(Visible(*v, "cmdProcesarBinShp"));
    for (const char* nombre : {"frmTextos", "frmPoligono", "frm_2D_3D", "ChkAnexar"})
        EXPECT_FALSE(Visible(*v, nombre)) << nombre;
    // Cancelling a later choice: the loaded database no longer counts.
    Pulsa(*v, "cmdElegirMdb");
    EXPECT_FALSE(v->MdbElegido());
    EXPECT_TRUE(mensajes.cajas.empty());
}

TEST(Progreso, ElMarcadorAvanzaEnPasosDeMasDe20Twips) {
    double ancho = 0;
    ancho = AnchoMarcador(6700, ancho, 0.1);
    EXPECT_DOUBLE_EQ(ancho, 670);
    ancho = AnchoMarcador(6700, ancho, 0.102);  // 683.4: a step of 13.4 is ignored
    EXPECT_DOUBLE_EQ(ancho, 670);
    ancho = AnchoMarcador(6700, ancho, 0.2);
    EXPECT_DOUBLE_EQ(ancho, 1340);
    EXPECT_DOUBLE_EQ(AnchoMarcador(6700, 1340, 1340.0 / 6700 + 20.0 / 6700), 1340);  // exactly 20
    EXPECT_DOUBLE_EQ(AnchoMarcador(6700, 1340, 0.1), 1340);  // it never shrinks but to 0
    EXPECT_DOUBLE_EQ(AnchoMarcador(6700, 1340, 0), 0);

    auto v = Abre();
    auto* pista = Control(*v, "pcb_BarraProceso");
    auto* marcador = Control(*v, "shp_MarcadorProceso");
    EXPECT_DOUBLE_EQ(v->AnchoPistaTwips(), pista->width() * kTwipsPorPixel);
    ASSERT_GT(v->AnchoPistaTwips(), 2000);
    // The same steps on the window's own track: 670, then 683.4 ignored, then 1340 twips.
    const double pistaTwips = v->AnchoPistaTwips();
    for (const auto& [twips, esperado] :
         {std::pair{670.0, 670.0}, {683.4, 670.0}, {1340.0, 1340.0}}) {
        double fraccion = twips / pistaTwips;
        v->BarraDeProgreso(fraccion);
        EXPECT_NEAR(v->AnchoMarcadorTwips(), esperado, 1e-9) << twips;
    }
    EXPECT_EQ(marcador->width(), 89);  // 1340 twips at 15 twips a pixel
    double f = 0.5;
    v->BarraDeProgreso(f);
    EXPECT_DOUBLE_EQ(v->AnchoMarcadorTwips(), v->AnchoPistaTwips() * 0.5);
    EXPECT_NEAR(marcador->width(), pista->width() * 0.5, 1.0);
    EXPECT_EQ(marcador->height(), pista->contentsRect().height());
    f = 0;
    v->BarraDeProgreso(f);
    EXPECT_EQ(v->AnchoMarcadorTwips(), 0);
    EXPECT_EQ(marcador->width(), 0);
}

}  // namespace
}  // namespace parvenza
