// The window offscreen, driven through its controls (found by their design names) with a
// scripted file chooser and message boxes answered by a timer: start-up and the regional
// check, Qt's translations, the visibility rules of both bands, the progress marker, whole runs
// checked on disk and against the command line's summary, and the real QFileDialog chooser.

#include "converter/window/Ventana.h"

#include <gtest/gtest.h>
#include <shapefil.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <clocale>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>

#include "converter/core/tests/binshp_support.h"
#include "converter/core/tests/shpbin_ayuda.h"
#include "converter/window/LineaRuta.h"
#include "converter/window/SelectorDialogo.h"
#include "tests/robustez/Robustez.h"
#include "utilities/SelectorFichero.h"

namespace parvenza {
namespace {

using brisquel::Fpunto3d;
using Pregunta = std::pair<std::string, std::string>;  // filter, title
const std::string kFiltroBin = "Fichero BIN de Digi (*.bin)|*.bin";

// Gives the queued answers in order ("" = cancel) and notes what it was asked.
struct Guion : fenoquia::SelectorFichero {
    std::string Elige(const std::string& filtro, const std::string& titulo) override {
        preguntas.emplace_back(filtro, titulo);
        if (respuestas.empty()) throw std::runtime_error("no answer for " + titulo);
        std::string r = respuestas.front();
        respuestas.pop_front();
        return r;
    }
    std::deque<std::string> respuestas;
    std::vector<Pregunta> preguntas;
};

// Each test: a fresh folder, the scripted chooser, and every message box answered with OK
// and recorded as "title|text".
class VentanaTest : public robustez::Carpeta {
  protected:
    static void SetUpTestSuite() {  // one QApplication for the whole program
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("window_test"), nullptr};
        if (!qApp) new QApplication(argc, argv);
    }
    VentanaTest() {
        fenoquia::EstableceSelectorFichero(sel);
        QObject::connect(&reloj, &QTimer::timeout, [this] {
            auto* c = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!c || !c->isVisible()) return;
            cajas << (c->icon() == QMessageBox::Critical ? "!" : "") + c->windowTitle() + "|" +
                         c->text();
            c->button(QMessageBox::Ok)->click();
        });
        reloj.start(5);
    }
    ~VentanaTest() override { fenoquia::EstableceSelectorFichero(nullptr); }
    std::string Fichero(const std::string& nombre) {
        std::ofstream((dir / nombre).string(), std::ios::binary);
        return (dir / nombre).string();
    }
    void Abre(std::optional<Separadores> s = Separadores{"", "."}) {
        v = s ? std::make_unique<Ventana>([s] { return *s; }) : std::make_unique<Ventana>();
        v->Form_Load();
        v->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(v.get()));
    }
    template <class W = QWidget>
    W* Control(const QString& nombre) const {
        auto* w = v->findChild<W*>(nombre);
        if (!w) ADD_FAILURE() << "no control " << nombre.toStdString();
        return w;
    }
    QComboBox* Selector(int i) { return Control<QComboBox>(QString("cmbTablaDbf1_%1").arg(i)); }
    // Clicks each named control in turn, near the left edge where a check or option box has
    // its indicator.
    void Pulsa(const QString& nombres) {
        for (const QString& n : nombres.split(' ')) {
            QWidget* w = Control(n);
            ASSERT_TRUE(w && w->isVisibleTo(v.get())) << n.toStdString() << " is not on screen";
            QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2));
        }
    }
    // Text and tooltip of a path line ("" when nothing is chosen).
    std::pair<std::string, std::string> Ruta(const QString& nombre) const {
        const auto* l = Control<LineaRuta>(nombre);
        return {l->text().toStdString(), l->toolTip().toStdString()};
    }
    // A visibility table: every named control is on screen, but those marked "-" (all the
    // other way round when `visible` is false).
    void Ve(const QString& tabla, bool visible = true) {
        for (QString n : tabla.split(' ')) {
            const bool oculto = n.startsWith('-') == visible;
            QWidget* w = Control(n.remove('-'));
            EXPECT_EQ(w && w->isVisibleTo(v.get()), !oculto) << n.toStdString();
        }
    }
    const std::filesystem::path& dir = m_dir;
    std::shared_ptr<Guion> sel = std::make_shared<Guion>();
    QTimer reloj;
    QStringList cajas;
    std::unique_ptr<Ventana> v;
};

const QString kSiempre =
    "frm_uds Opt_uds_cm Opt_uds_mm Label1 cmdElegirBin lblFicheroBin chkTodoDirectorio "
    "chkCatastro Label2 cmdElegirShp lblFicheroShp frm_Contador lbl_Proceso pcb_BarraProceso "
    "Label3";
const QString kOcultos =
    "frmTextos frm_2D_3D frmPoligono frmTextosDigi frmTransmiteZ frmCodigo frameAtributos "
    "cmdProcesarShpBin cmdProcesarBinShp cmdElegirBinSalida ChkAnexar lblInfo cmdElegirMdb "
    "lblFicheroMdb lblFicheroBinSalida";
const QString kBandaBin = "frmTextos frmPoligono frm_2D_3D cmdProcesarBinShp ChkAnexar";

// Picks an entry from a field selector, as a click on it does.
void Elige(QComboBox* cb, const QString& entrada) {
    const int i = cb->findText(entrada);
    ASSERT_TRUE(i >= 0 && cb->isEnabled()) << cb->objectName().toStdString();
    cb->setCurrentIndex(i);
    emit cb->activated(i);
}
QStringList Entradas(QComboBox* cb) {
    QStringList l;
    for (int i = 0; i < cb->count(); ++i) l << cb->itemText(i);
    return l;
}
// Shown text of a selector: its entry, or what it shows with none chosen.
QString Muestra(QComboBox* cb) {
    return cb->currentIndex() >= 0 ? cb->currentText() : cb->placeholderText();
}

// A polyline shapefile of three records with fields ID, NOMBRE, FECHA (a date), TABLA,
// REGISTRO, COTA (indices 0 to 5). The third lies too far east for a BIN file.
std::string EscribeShp(const std::filesystem::path& dir, const std::string& nombre) {
    const double x[3][2] = {{1.5, 2.5}, {10, 11}, {1e12, 1e12}};
    const double y[3][2] = {{2.25, 3.25}, {20, 21}, {0, 1}};
    std::vector<prueba::Registro> registros;
    for (int r = 0; r < 3; ++r)
        registros.push_back({{{{x[r][0], y[r][0], 0}, {x[r][1], y[r][1], 0}}},
                             {r + 1.0, std::string(r == 0 ? "uno" : "dos"), std::string("20090515"),
                              7.0 + r, 12.0 + r, 5.5 - 5.5 * r}});
    prueba::EscribeShape((dir / (nombre + ".shp")).string(), SHPT_ARC,
                         {{"ID", 'N', 10},
                          {"NOMBRE", 'C', 20},
                          {"FECHA", 'D', 8},
                          {"TABLA", 'N', 12, 3},
                          {"REGISTRO", 'N', 12, 3},
                          {"COTA", 'N', 12, 3}},
                         registros);
    return (dir / (nombre + ".shp")).string();
}

TEST_F(VentanaTest, ArranqueYComprobacionRegional) {
    Abre();
    const OpcionesBinShp o = v->LeeOpcionesBinShp();
    EXPECT_TRUE(!o.binElegido && !o.mdbElegido && !o.anexar && !o.catastro && o.ficheros.empty());
    EXPECT_TRUE(o.textosComoLineas && !o.cerradasComoLineas && o.dosD && o.divisor == 100);

    // Passing separators hide the optional controls; failing ones warn and hide nothing.
    // clang-format off
    const struct { Separadores s; bool pasa; } casos[] = {{{"", "."}, true}, {{" ", "."}, true},
        {{"  ", " . "}, true}, {{".", ","}, false}, {{",", "."}, false}, {{"", ","}, false},
        {{"", ""}, false}, {{"\xe2\x80\xaf", "."}, false}};  // the last: narrow no-break space
    // clang-format on
    const std::string shp = EscribeShp(dir, "campos");
    for (const auto& c : casos) {
        SCOPED_TRACE(c.s.miles + "/" + c.s.decimal);
        cajas.clear();
        Abre(c.s);
        Ve(kSiempre + " -chkTextos -chkCotas -txtResultado");
        Ve(kOcultos, !c.pasa);
        EXPECT_EQ(Control<QLabel>("Label3")->text(), c.pasa ? "Tramaset 15-05-2009" : "");
        EXPECT_EQ(cajas, c.pasa ? QStringList{}
                                : QStringList{"!Parvenza|Debe cambiar la configuración regional"});
        if (c.pasa) continue;
        // The shapefile band still works from a sound selection after the failed check.
        sel->respuestas = {shp};
        Pulsa("cmdElegirShp");
        Elige(Selector(6), "5 COTA");
        EXPECT_EQ(v->Seleccion().camposAtributo.at(2).campoTabla, 5);
    }
}

// On a Spanish desktop (decimal comma, "." between thousands) the window starts normally: the
// check tests the rules the program converts numbers by, which stay "." and no grouping.
TEST_F(VentanaTest, ArranqueConComaDecimal) {
    const std::string antes = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "es_ES.UTF-8"))
        GTEST_SKIP() << "the es_ES.UTF-8 locale is not generated (scripts/deps does it)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Spain));
    Abre(std::nullopt);
    Ve(kSiempre + " -chkTextos -chkCotas");
    Ve(kOcultos, false);
    EXPECT_TRUE(cajas.empty()) << cajas.join(' ').toStdString();
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(TextoNumero(-1234.5), "-1234.5");
    EXPECT_EQ(NumeroDeTexto(" 1.50 "), 1.5);
    const Separadores s = SeparadoresDelPrograma();
    EXPECT_EQ(s.miles + "/" + s.decimal, "/.");
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, antes.c_str());
}

// Qt's own texts (file dialogs, message-box buttons) come in Spanish with the window's.
TEST_F(VentanaTest, TraduccionDeLosDialogos) {
    QTranslator* traductor = InstalaTraduccionQt(QLocale(QLocale::Spanish, QLocale::Spain));
    if (!traductor) {
        ASSERT_FALSE(
            QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_es.qm"));
        GTEST_SKIP() << "Qt's Spanish translations are not installed (qt6-translations-l10n)";
    }
    QMessageBox caja(QMessageBox::NoIcon, "Parvenza", "texto", QMessageBox::Ok);
    EXPECT_EQ(caja.button(QMessageBox::Ok)->text().remove(QLatin1Char('&')).toStdString(),
              "Aceptar");
    QFileDialog dialogo;
    dialogo.setOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(dialogo.findChild<QLabel*>("lookInLabel")->text().toStdString(), "Ver en:");
    QCoreApplication::removeTranslator(traductor);
    delete traductor;
}

TEST_F(VentanaTest, VisibilidadDeLaBandaBin) {
    const std::string b = Fichero("b.bin"), a = Fichero("A.BIN"), c = Fichero("c.bin");
    Fichero("d.txt");
    Abre();
    sel->respuestas = {b};
    Pulsa("cmdElegirBin");
    EXPECT_TRUE(v->BinElegido() && v->LeeOpcionesBinShp().ficheros == std::vector{b});
    EXPECT_EQ(Ruta("lblFicheroBin"), std::pair(b, b));
    Ve(kBandaBin + " -lblInfo -cmdElegirMdb -lblFicheroMdb");

    // A path too long for its line is cut in the middle; the tooltip has it whole.
    auto* linea = Control<LineaRuta>("lblFicheroBin");
    const QString larga = "/datos/" + QString(300, 'x') + "/hoja.bin";
    linea->Muestra(larga);
    const QString visible = linea->TextoVisible();
    EXPECT_TRUE(visible.startsWith("/datos/x") && visible.endsWith("x/hoja.bin") &&
                visible.contains(QChar(0x2026)))
        << visible.toStdString();
    EXPECT_LE(linea->fontMetrics().horizontalAdvance(visible), linea->contentsRect().width());
    EXPECT_EQ(linea->toolTip(), larga);

    // "Todo el directorio": every file of the folder with that extension, by name.
    sel->respuestas = {b};
    Pulsa("chkTodoDirectorio cmdElegirBin");
    EXPECT_EQ(v->LeeOpcionesBinShp().ficheros, (std::vector<std::string>{a, b, c}));
    EXPECT_EQ(Ruta("lblFicheroBin"), std::pair("3 ficheros en " + dir.string(), dir.string()));
    Pulsa("ChkAnexar");
    Ve("lblInfo");
    EXPECT_TRUE(v->LeeOpcionesBinShp().anexar);
    Pulsa("ChkAnexar");
    Ve("-lblInfo");

    // The options hidden by the cadastre mode keep their values.
    Pulsa("opt3D opt_textos_puntos opt_lineasCerradas_Lineas Opt_uds_mm chkCatastro");
    Ve(kBandaBin + " -cmdElegirMdb", false);
    Pulsa("chkCatastro");
    Ve(kBandaBin + " -cmdElegirMdb");
    const OpcionesBinShp o = v->LeeOpcionesBinShp();
    EXPECT_TRUE(!o.dosD && !o.textosComoLineas && o.cerradasComoLineas && !o.catastro &&
                o.divisor == 1000);

    // Cancelling leaves the band as it was but nothing counts as chosen.
    sel->respuestas = {""};
    Pulsa("cmdElegirBin");
    EXPECT_FALSE(v->BinElegido());
    EXPECT_EQ(Ruta("lblFicheroBin").first, "");
    Ve(kBandaBin);

    // Cadastre: "Procesar" only with a BIN and a database; cancelling either choice undoes it.
    sel->respuestas = {b, "", PARVENZA_TEST_DATA "/topology/basic.mdb", ""};
    Pulsa("chkCatastro cmdElegirBin");
    Ve(kBandaBin + " -cmdElegirMdb", false);
    Pulsa("cmdElegirMdb");
    EXPECT_FALSE(v->MdbElegido());
    Ve("-cmdProcesarBinShp");
    Pulsa("cmdElegirMdb");
    EXPECT_TRUE(v->LeeOpcionesBinShp().mdbElegido);
    EXPECT_EQ(Ruta("lblFicheroMdb").first, PARVENZA_TEST_DATA "/topology/basic.mdb");
    Ve("cmdProcesarBinShp cmdElegirMdb lblFicheroMdb -frmTextos -frmPoligono -frm_2D_3D "
       "-ChkAnexar");
    Pulsa("cmdElegirMdb");
    EXPECT_FALSE(v->MdbElegido());
    EXPECT_EQ(Ruta("lblFicheroMdb").first, "");

    EXPECT_TRUE(cajas.empty());
}

TEST_F(VentanaTest, MarcadorDeProgreso) {
    Abre();
    auto* pista = Control("pcb_BarraProceso");
    auto* marcador = Control("shp_MarcadorProceso");
    const double pistaTwips = v->AnchoPistaTwips();
    EXPECT_DOUBLE_EQ(pistaTwips, pista->width() * kTwipsPorPixel);
    // 0.1, 0.102 and 0.2 of a 6700-twip track, on the window's own track: the marker moves
    // only by steps of more than 20 twips and never shrinks but to 0.
    // clang-format off
    const std::pair<double, double> pasos[] = {{670, 670}, {683.4, 670}, {1340, 1340},
        {1360, 1340}, {670, 1340}, {0, 0}};
    // clang-format on
    double antes = 0;
    for (auto [twips, esperado] : pasos) {
        double f = twips / pistaTwips;
        v->BarraDeProgreso(f);
        EXPECT_NEAR(v->AnchoMarcadorTwips(), esperado, 1e-9) << twips;
        EXPECT_NEAR(AnchoMarcador(6700, antes, twips / 6700), esperado, 1e-9) << twips;
        antes = esperado;
        if (esperado == 1340) {
            EXPECT_EQ(marcador->width(), 89);  // at 15 twips a pixel
        }
    }
    EXPECT_EQ(marcador->width(), 0);
    EXPECT_EQ(marcador->height(), pista->contentsRect().height());
}

// Runs parvenza-cli, which must end with `estado`; gives what it printed on stdout.
QString Cli(const QStringList& argumentos, int estado = 0) {
    QProcess p;
    p.start(PARVENZA_CLI, argumentos);
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), estado) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The numbers of every match of `patron` in `texto`, in order.
QStringList Cifras(const QString& texto, const QString& patron) {
    QStringList cifras;
    for (const auto& m :
         QRegularExpression(patron, QRegularExpression::MultilineOption).globalMatch(texto)) {
        for (int i = 1; i <= m.lastCapturedIndex(); ++i) cifras << m.captured(i);
    }
    return cifras;
}

// Records of a layer, or -1 when it is not there.
int Registros(const std::string& rutaShp) {
    return std::filesystem::exists(rutaShp) ? int(prueba_binshp::LeeCapa(rutaShp).registros.size())
                                            : -1;
}

TEST_F(VentanaTest, BinAShapefileDesdeLosBotones) {
    // Three polygons, one open line, one point and one text; the block drawn as a closed line
    // is linked to record 12 of table 150 (block 45303).
    using prueba_binshp::Linea;
    const std::vector<Fpunto3d> cuadro = {{0, 0, 0}, {1000, 0, 0}, {1000, 1000, 0}, {0, 0, 0}};
    const std::string hoja = Fichero("hoja.bin"), base = (dir / "hoja").string();
    prueba_binshp::EscribeBin(
        hoja,
        {Linea("1010", cuadro), Linea("1010", {{0, 0, 0}, {500, 800, 0}}),
         Linea("1010", {{700, 700, 50}}),
         prueba_binshp::Texto("2020", "abc", {1000, 2000, 0}, 250, 9000),
         Linea("1802", cuadro, {{150, 12, ""}}),
         Linea("1010", {{2000, 2000, 0}, {3000, 2000, 0}, {3000, 3000, 0}, {2000, 2000, 0}})});
    // The layer set to append to is no shapefile at all.
    const std::string roto = (dir / "otra_P.shp").string();
    std::ofstream(roto, std::ios::binary) << "esto no es un shapefile";
    Abre();

    // A cancel after an earlier choice leaves no BIN chosen.
    sel->respuestas = {hoja, "", hoja, roto};
    Pulsa("cmdElegirBin cmdElegirBin cmdProcesarBinShp");
    EXPECT_EQ(cajas, QStringList{"Parvenza|No se ha elegido fichero BIN"});
    EXPECT_EQ(Registros(base + "_P.shp"), -1);
    auto* lista = Control<QPlainTextEdit>("txtResultado");
    EXPECT_EQ(lista->toPlainText(), "No se ha escrito ninguna capa.");
    // A failure of the component is shown and gives the pointer back.
    Pulsa("cmdElegirBin ChkAnexar cmdProcesarBinShp");
    EXPECT_EQ(sel->preguntas.back(), (Pregunta{"Fichero SHP (*.shp)|*.shp", "Elegir fichero"}));
    ASSERT_EQ(cajas.size(), 2);
    EXPECT_TRUE(cajas[1].startsWith("!") && cajas[1].contains("otra_P")) << cajas[1].toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const QStringList fallo = lista->toPlainText().split('\n');
    EXPECT_TRUE(fallo.size() == 2 && fallo[0].startsWith("El proceso se ha interrumpido: ") &&
                fallo[1] == "No se ha escrito ninguna capa; las existentes quedan como estaban.")
        << fallo.join('\n').toStdString();

    // Texts as points from an earlier run: the run with texts as lines leaves that layer.
    Cli({"bin2shp", "--texts-as-points", QString::fromStdString(hoja)});

    // The window stays usable: the run without appending writes every layer.
    Pulsa("ChkAnexar");
    Pulsa("cmdProcesarBinShp");
    EXPECT_EQ(cajas.size(), 2);
    for (auto [capa, n] : {std::pair{"_P", 3}, {"_L", 1}, {"_X", 1}, {"_TL", 1}, {"_TX", 1}})
        EXPECT_EQ(Registros(base + capa + ".shp"), n) << capa;
    EXPECT_EQ(Control<QLabel>("lbl_Proceso")->text(), "Proceso Terminado");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The result list gives each layer and the totals as the command line counts them.
    const QString resultado = lista->toPlainText();
    EXPECT_TRUE(lista->isVisible() && lista->height() < 12 * lista->fontMetrics().lineSpacing());
    const QString cli = Cli({"bin2shp", QString::fromStdString(hoja)});
    const QStringList capas = Cifras(cli, "^(.*): (\\d+) registros? \\(");
    ASSERT_EQ(capas.size(), 8) << cli.toStdString();
    EXPECT_EQ(Cifras(resultado, "^(.*): (\\d+) registros? \\("), capas) << resultado.toStdString();
    EXPECT_EQ(Cifras(resultado, "^(\\d+) ficheros? BIN, (\\d+) capas?, (\\d+) registros?$"),
              Cifras(cli, "^(\\d+) ficheros? BIN, (\\d+) capas?, (\\d+) registros?$"))
        << resultado.toStdString();
    const QStringList anteriores = Cifras(resultado, "^(.*): capa de una ejecución anterior");
    EXPECT_EQ(anteriores, QStringList{QString::fromStdString(base + "_TX.shp")});
    EXPECT_EQ(anteriores, Cifras(cli, "^(.*): capa de una ejecución anterior"));

    // A cadastre run builds the cadastre set in the BIN file's folder.
    sel->respuestas = {hoja, PARVENZA_TEST_DATA "/topology/basic.mdb"};
    Pulsa("chkCatastro cmdElegirBin cmdElegirMdb cmdProcesarBinShp");
    EXPECT_EQ(cajas.size(), 2);
    EXPECT_EQ(Registros((dir / "masa.shp").string()), 1);
}

// A state that ends the program: its message is shown once the run is gone, then the
// application's loop ends with status 1, which the program returns.
TEST_F(VentanaTest, UnFicheroCorruptoTerminaElPrograma) {
    const std::string roto = Fichero("roto.bin");
    std::filesystem::copy_file(std::string(PARVENZA_SOURCE_DIR) + "/examples/hoja.bin", roto,
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(roto, std::ios::binary | std::ios::app) << "K=" + std::string(58, '\0');
    Abre();
    sel->respuestas = {roto};
    Pulsa("cmdElegirBin");
    QTimer::singleShot(0, [this] { Pulsa("cmdProcesarBinShp"); });
    QTimer tope;  // never hang the suite
    QObject::connect(&tope, &QTimer::timeout, [] { QApplication::exit(99); });
    tope.start(60000);
    EXPECT_EQ(QApplication::exec(), 1);
    EXPECT_EQ(cajas,
              QStringList{"Parvenza|" + QString::fromStdString(roto) + ": fichero corrupto..."});
}

TEST_F(VentanaTest, BandaShpABin) {
    const std::string shp = EscribeShp(dir, "campos");
    Abre();
    sel->respuestas = {shp};
    Pulsa("cmdElegirShp");
    EXPECT_EQ(sel->preguntas.back(), (Pregunta{"ShapeFiles (*.shp)|*.shp", "Elegir fichero"}));
    EXPECT_EQ(Control<QLabel>("lblFicheroShp")->text().toStdString(), shp);
    Ve("frmCodigo cmdElegirBinSalida frameAtributos chkTextos chkCotas -frmTextosDigi "
       "-frmTransmiteZ -cmdProcesarShpBin");
    const SeleccionShp& s = v->Seleccion();

    // Numeric fields under "DOBLE", numeric and text under "TODOS", never the date.
    const QStringList dobles = {"0 ID", "3 TABLA", "4 REGISTRO", "5 COTA"};
    const QStringList todos = {"0 ID", "1 NOMBRE", "3 TABLA", "4 REGISTRO", "5 COTA"};
    for (int i = 0; i <= 9; ++i)
        EXPECT_EQ(Entradas(Selector(i)), i % 3 == 2 || i == 9 ? todos : dobles) << i;
    auto* atributos = Control<QComboBox>("cmbLabel17");
    EXPECT_EQ(Entradas(atributos), QStringList{"Atributo 3"});

    // By table and record the rest selector closes; by rest the other two close.
    Elige(Selector(0), "3 TABLA");
    Elige(Selector(1), "4 REGISTRO");
    Elige(Selector(5), "1 NOMBRE");
    // The table field of attribute 3 opens attribute 4.
    Elige(Selector(6), "5 COTA");
    Elige(Selector(9), "1 NOMBRE");
    for (int i : {2, 3, 4, 8}) EXPECT_FALSE(Selector(i)->isEnabled()) << i;
    EXPECT_EQ(Entradas(atributos), (QStringList{"Atributo 3", "Atributo 4"}));
    const auto& a = s.camposAtributo;
    EXPECT_EQ(std::tuple(a.at(0).campoTabla, a.at(0).campoRegistro, a.at(1).campoResto),
              std::tuple(3, 4, "1"));
    EXPECT_EQ(std::tuple(a.at(2).campoTabla, a.at(2).campoResto, s.indexCampoCodigo),
              std::tuple(5, "-99", 1));

    // Attribute 4 starts empty; back on attribute 3 its remembered fields show again.
    atributos->setEditText(QStringLiteral("Atributo 4"));
    EXPECT_EQ(s.numAtributo, 4);
    for (int i = 6; i <= 8; ++i)
        EXPECT_TRUE(Selector(i)->isEnabled() && Muestra(Selector(i)) == "") << i;
    atributos->setEditText(QStringLiteral("Atributo 3"));
    EXPECT_EQ(s.numAtributo, 3);
    EXPECT_EQ(Muestra(Selector(6)), "5 COTA");
    EXPECT_FALSE(Selector(8)->isEnabled());

    // Clearing opens and empties the grid but keeps what was recorded, and the code field.
    Pulsa("cmdBorrarSelec");
    for (int i = 0; i <= 8; ++i)
        EXPECT_TRUE(Selector(i)->isEnabled() && Muestra(Selector(i)) == "") << i;
    EXPECT_EQ(Muestra(Selector(9)), "1 NOMBRE");
    EXPECT_EQ(a.at(0).campoTabla, 3);

    EXPECT_TRUE(cajas.empty());

    // A whole run through the buttons into a new BIN file, read back.
    Abre();
    v->cmdProcesarShpBin_Click();  // without an output file "Procesar" does nothing
    EXPECT_TRUE(cajas.empty());
    const std::string bin = (dir / "nuevo.bin").string();

    sel->respuestas = {shp, bin};
    Pulsa("cmdElegirShp cmdElegirBinSalida");
    EXPECT_EQ(sel->preguntas.back(), (Pregunta{kFiltroBin, "Elegir fichero BIN de salida"}));
    EXPECT_EQ(Ruta("lblFicheroShp"), std::pair(shp, shp));
    EXPECT_EQ(Ruta("lblFicheroBinSalida"), std::pair(bin, bin));
    Pulsa("Opt_uds_mm");
    Control<QLineEdit>("txtCodigo")->setText(QStringLiteral("日本"));
    Pulsa("cmdProcesarShpBin");
    EXPECT_TRUE(cajas.back().contains("lleva caracteres que Windows-1252 no tiene"));
    EXPECT_FALSE(std::filesystem::exists(bin));
    cajas.clear();
    Control<QLineEdit>("txtCodigo")->setText(QStringLiteral("1234"));
    Elige(Selector(0), "3 TABLA");
    Elige(Selector(1), "4 REGISTRO");
    Pulsa("chkCotas");
    Ve("frmTransmiteZ");
    Elige(Control<QComboBox>("cmbTablaDbf_Z"), "5 COTA");
    Pulsa("cmdProcesarShpBin");
    EXPECT_EQ(cajas, QStringList{"Parvenza|Se han encontrado 1 errores en la conversión\n"
                                 "Entidades erróneas : \n / 2"});
    EXPECT_EQ(Control<QLabel>("lbl_Proceso")->text(), "Proceso Terminado");
    // The result list counts as the command line does for the same choices.
    const QString resultado = Control<QPlainTextEdit>("txtResultado")->toPlainText();
    const QString cli =
        Cli({"shp2bin", "--mm", "--code", "1234", "--link", "TABLA:REGISTRO", "--z-field", "COTA",
             "--output", QString::fromStdString((dir / "cli.bin").string()),
             QString::fromStdString(shp)},
            3);  // a record left out
    EXPECT_EQ(Cifras(resultado, "^.*: (\\d+) elementos? añadidos? de (\\d+) registros?$") +
                  Cifras(resultado, "^(\\d+) registros? omitidos?: \\d"),
              Cifras(cli,
                     "^.*: (\\d+) elementos? añadidos? de (\\d+) registros?, (\\d+) "
                     "registros? omitidos?$"))
        << resultado.toStdString() << cli.toStdString();
    EXPECT_TRUE(resultado.startsWith(QString::fromStdString(bin) + ": "));
    EXPECT_TRUE(
        resultado.contains(QString::fromStdString(shp) + ": registros omitidos: registro 2: "))
        << resultado.toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(v->AnchoMarcadorTwips(), 0);

    const auto leidos = prueba::LeeBin(bin);
    ASSERT_EQ(leidos.size(), 2u);
    const auto& e1 = leidos[0].elemento;
    const auto& e2 = leidos[1].elemento;
    EXPECT_EQ(e1.cabecera.tipo + e1.cabecera.codigo.substr(0, 4), "C=1234");
    ASSERT_TRUE(e1.coordenadas.size() == 2 && e1.atributos.size() == 1 && e2.atributos.size() == 1);
    EXPECT_EQ(e1.coordenadas[0], (Fpunto3d{1500, 2250, 5500}));    // Z from COTA, in mm
    EXPECT_EQ(e2.coordenadas.at(1), (Fpunto3d{11000, 21000, 0}));  // COTA 0: the vertex's Z
    EXPECT_EQ(std::tuple(e1.atributos[0].idTabla, e1.atributos[0].nregistro), std::tuple(7, 12));
    EXPECT_EQ(std::tuple(e2.atributos[0].idTabla, e2.atributos[0].nregistro), std::tuple(8, 13));
}

// The real chooser, answered by a timer as a person would: it lists extensions without regard
// to case and gives the name typed in its box; a file to write may be new, and gets the
// filter's extension.
TEST_F(VentanaTest, SelectorDialogoReal) {
    const std::string hoja = Fichero("HOJA.BIN");
    for (const char* otro : {"b.bin", "c.txt"}) Fichero(otro);
    const QString carpeta = QString::fromStdString(dir.string());
    SelectorDialogo selector(nullptr);
    struct Caso {
        bool nuevo;
        QString tecleado;
        std::string esperado;
    };
    for (const Caso& c : {Caso{false, "HOJA.BIN", hoja}, Caso{true, "nuevo", dir / "nuevo.bin"}}) {
        SCOPED_TRACE(c.tecleado.toStdString());
        QStringList ofrecidos;
        int esperas = 0;
        bool guardar = false;
        QTimer atiende;
        QObject::connect(&atiende, &QTimer::timeout, [&] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible()) return;
            if (QDir(d->directory()) != QDir(carpeta)) return d->setDirectory(carpeta);
            auto* lista = d->findChild<QListView*>(QStringLiteral("listView"));
            auto* nombre = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!lista || !nombre) return;
            ofrecidos.clear();
            for (int i = 0; i < lista->model()->rowCount(lista->rootIndex()); ++i) {
                const QModelIndex ix = lista->model()->index(i, 0, lista->rootIndex());
                if (lista->model()->flags(ix) & Qt::ItemIsEnabled)
                    ofrecidos << ix.data().toString();
            }
            if (ofrecidos.size() < 2 && ++esperas < 100) return;  // the listing comes later
            ofrecidos.sort(Qt::CaseInsensitive);
            guardar = d->acceptMode() == QFileDialog::AcceptSave &&
                      d->testOption(QFileDialog::DontConfirmOverwrite);
            nombre->setText(c.tecleado);
            atiende.stop();
            static_cast<QDialog*>(d)->accept();  // virtual: the dialog checks the name
        });
        atiende.start(20);
        EXPECT_EQ(c.nuevo ? selector.EligeNuevo(kFiltroBin, "Elegir fichero BIN de salida")
                          : selector.Elige(kFiltroBin, "Elegir fichero"),
                  c.esperado);
        EXPECT_EQ(ofrecidos, (QStringList{"b.bin", "HOJA.BIN"}));
        EXPECT_EQ(guardar, c.nuevo);
    }
}

}  // namespace
}  // namespace parvenza
