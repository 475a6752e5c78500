#include "converter/window/Ventana.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <memory>

#include "comun/Error.h"
#include "converter/core/Catastro.h"
#include "converter/core/DbfCampos.h"
#include "converter/formas/Formas.h"
#include "converter/window/LineaRuta.h"
#include "converter/window/PuertoVentana.h"
#include "converter/window/TextoQt.h"
#include "digi/Texto1252.h"
#include "utilities/SelectorFichero.h"

namespace parvenza {

namespace {

constexpr const char* kFiltroBin = "Fichero BIN de Digi (*.bin)|*.bin";

template <class W>
W* Nombra(W* w, const char* nombre) {
    w->setObjectName(QString::fromLatin1(nombre));
    return w;
}

QPushButton* BotonPuntos(QWidget* padre, const char* nombre) {
    auto* b = Nombra(new QPushButton(QStringLiteral("..."), padre), nombre);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
    return b;
}

QLabel* Titulo(const QString& texto, const char* nombre, QWidget* padre) {
    auto* l = Nombra(new QLabel(texto, padre), nombre);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
}

QFrame* Banda(const char* nombre, QWidget* padre) {
    auto* f = Nombra(new QFrame(padre), nombre);
    f->setFrameShape(QFrame::StyledPanel);
    f->setFrameShadow(QFrame::Raised);
    return f;
}

QComboBox* Selector(const QString& nombre, QWidget* padre) {
    auto* c = new QComboBox(padre);
    c->setObjectName(nombre);
    c->setMinimumContentsLength(14);
    c->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return c;
}

QLineEdit* Caja(const QString& texto, const char* nombre, QWidget* padre, int caracteres) {
    auto* t = Nombra(new QLineEdit(texto, padre), nombre);
    t->setFixedWidth(t->fontMetrics().horizontalAdvance(QString(caracteres, QLatin1Char('0'))) +
                     16);
    return t;
}

// The message texts separate lines with a carriage return alone.
QString LineasQt(const std::string& texto) {
    QString s = TextoQt(texto);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

// "1 registro", "3 registros".
std::string Cuenta(int64_t n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

}  // namespace

std::vector<std::string> LineasResultado(const OpcionesBinShp& opciones, const ResultadoBinShp& r) {
    if (!r.ejecutado) return {"No se ha escrito ninguna capa."};
    std::vector<std::string> lineas;
    int64_t total = 0;
    for (const CapaEscrita& c : r.capas) {
        lineas.push_back(c.ruta + ": " + Cuenta(c.registros, "registro", "registros") + " (" +
                         formas::NombreTipo(c.tipo) + ")");
        total += c.registros;
    }
    lineas.push_back(
        Cuenta(static_cast<int64_t>(opciones.ficheros.size()), "fichero BIN", "ficheros BIN") +
        ", " + Cuenta(static_cast<int64_t>(r.capas.size()), "capa", "capas") + ", " +
        Cuenta(total, "registro", "registros"));
    for (const std::string& ruta : r.capasAnteriores)
        lineas.push_back(ruta +
                         ": capa de una ejecución anterior que esta no ha escrito; queda "
                         "como estaba");
    for (std::string& l : r.omisiones.Lineas()) lineas.push_back(std::move(l));
    return lineas;
}

std::vector<std::string> LineasResultado(const OpcionesShpBin& opciones, const ResultadoShpBin& r) {
    if (!r.escrito)
        return {"No se ha escrito nada: " + r.error,
                opciones.ficheroBin + " queda como estaba" +
                    (std::filesystem::exists(opciones.ficheroBin) ? "." : " (no existe).")};
    std::vector<std::string> lineas = {
        opciones.ficheroBin + ": " + Cuenta(r.elementos, "elemento añadido", "elementos añadidos") +
        " de " + Cuenta(r.registros, "registro", "registros")};
    if (!r.registrosErroneos.empty()) {
        std::string l = Cuenta(static_cast<int64_t>(r.registrosErroneos.size()), "registro omitido",
                               "registros omitidos") +
                        ":";
        for (size_t i = 0; i < r.registrosErroneos.size(); ++i)
            l += (i ? ", " : " ") + std::to_string(r.registrosErroneos[i]);
        lineas.push_back(l);
    }
    for (std::string& l : r.omisiones.Lineas()) lineas.push_back(std::move(l));
    return lineas;
}

double AnchoMarcador(double anchoPista, double anchoActual, double iporciento) {
    const double w = anchoPista * iporciento;
    if (w == 0 || w > anchoActual + 20) return w;
    return anchoActual;
}

Ventana::Ventana(LectorRegional lectorRegional, QWidget* padre)
    : QWidget(padre), m_lectorRegional(std::move(lectorRegional)) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QStringLiteral("Traductor de Bin->Shp / Shp->Bin"));
    ConstruyeControles();
    ConectaSenales();
}

Ventana::~Ventana() = default;

void Ventana::ConstruyeControles() {
    auto* raiz = new QVBoxLayout(this);
    raiz->setSizeConstraint(QLayout::SetFixedSize);

    // Units, shared by both directions.
    frm_uds = Nombra(new QGroupBox(QStringLiteral("Uds"), this), "frm_uds");
    Opt_uds_cm = Nombra(new QRadioButton(QStringLiteral("cm"), frm_uds), "Opt_uds_cm");
    Opt_uds_mm = Nombra(new QRadioButton(QStringLiteral("mm"), frm_uds), "Opt_uds_mm");
    Opt_uds_cm->setChecked(true);
    {
        auto* l = new QHBoxLayout(frm_uds);
        l->addWidget(Opt_uds_cm);
        l->addWidget(Opt_uds_mm);
        auto* fila = new QHBoxLayout;
        fila->addWidget(frm_uds);
        fila->addStretch();
        raiz->addLayout(fila);
    }

    // The choice rows of both bands: caption, button, path line, option or "Procesar".
    auto* eleccionBin = new QGridLayout;
    auto* eleccionShp = new QGridLayout;

    // BIN to shapefile.
    auto* bandaBin = Banda("frmBinShp", this);
    Label1 = Titulo(QStringLiteral("Traducir de Bin a Shp:"), "Label1", bandaBin);
    cmdElegirBin = BotonPuntos(bandaBin, "cmdElegirBin");
    lblFicheroBin = Nombra(new LineaRuta(bandaBin), "lblFicheroBin");
    chkTodoDirectorio =
        Nombra(new QCheckBox(QStringLiteral("Todo el directorio"), bandaBin), "chkTodoDirectorio");
    chkCatastro = Nombra(new QCheckBox(QStringLiteral("SHP Catastro"), bandaBin), "chkCatastro");
    cmdElegirMdb = BotonPuntos(bandaBin, "cmdElegirMdb");
    lblFicheroMdb = Nombra(new LineaRuta(bandaBin), "lblFicheroMdb");
    frm_2D_3D = Nombra(new QGroupBox(QStringLiteral("Shape 2D/3D"), bandaBin), "frm_2D_3D");
    opt2D = Nombra(new QRadioButton(QStringLiteral("2D"), frm_2D_3D), "opt2D");
    opt3D = Nombra(new QRadioButton(QStringLiteral("3D"), frm_2D_3D), "opt3D");
    opt2D->setChecked(true);
    frmTextos =
        Nombra(new QGroupBox(QStringLiteral("Pasar Textos como..."), bandaBin), "frmTextos");
    opt_textos_puntos =
        Nombra(new QRadioButton(QStringLiteral("Puntos"), frmTextos), "opt_textos_puntos");
    opt_textos_lineas =
        Nombra(new QRadioButton(QStringLiteral("Lineas"), frmTextos), "opt_textos_lineas");
    opt_textos_lineas->setChecked(true);
    frmPoligono =
        Nombra(new QGroupBox(QStringLiteral("Pasar LinCerradas como..."), bandaBin), "frmPoligono");
    opt_lineasCerradas_Lineas = Nombra(new QRadioButton(QStringLiteral("Líneas"), frmPoligono),
                                       "opt_lineasCerradas_Lineas");
    opt_lineasCerradas_Poligonos = Nombra(
        new QRadioButton(QStringLiteral("Polígonos"), frmPoligono), "opt_lineasCerradas_Poligonos");
    opt_lineasCerradas_Poligonos->setChecked(true);
    ChkAnexar = Nombra(new QCheckBox(QStringLiteral("Anexar a Shape "), bandaBin), "ChkAnexar");
    lblInfo = Nombra(new QLabel(QStringLiteral("No anexa shapes de puntos"), bandaBin), "lblInfo");
    cmdProcesarBinShp =
        Nombra(new QPushButton(QStringLiteral("Procesar"), bandaBin), "cmdProcesarBinShp");
    {
        auto* l = new QVBoxLayout(bandaBin);
        // The BIN choice and, in cadastre mode, the database, each with its path beside it.
        eleccionBin->addWidget(Label1, 0, 0);
        eleccionBin->addWidget(cmdElegirBin, 0, 1);
        eleccionBin->addWidget(lblFicheroBin, 0, 2);
        eleccionBin->addWidget(chkTodoDirectorio, 0, 3);
        eleccionBin->addWidget(cmdElegirMdb, 1, 1);
        eleccionBin->addWidget(lblFicheroMdb, 1, 2);
        eleccionBin->addWidget(chkCatastro, 1, 3);
        eleccionBin->setColumnStretch(2, 1);
        l->addLayout(eleccionBin);
        auto* fila2 = new QHBoxLayout;
        for (auto [marco, a, b] :
             {std::tuple{frm_2D_3D, opt2D, opt3D},
              std::tuple{frmTextos, opt_textos_puntos, opt_textos_lineas},
              std::tuple{frmPoligono, opt_lineasCerradas_Lineas, opt_lineasCerradas_Poligonos}}) {
            auto* m = new QVBoxLayout(marco);
            m->addWidget(a);
            m->addWidget(b);
            fila2->addWidget(marco, 1);
        }
        l->addLayout(fila2);
        auto* fila3 = new QHBoxLayout;
        fila3->addWidget(ChkAnexar);
        fila3->addSpacing(12);
        fila3->addWidget(lblInfo);
        fila3->addStretch();
        fila3->addWidget(cmdProcesarBinShp);
        l->addLayout(fila3);
        raiz->addWidget(bandaBin);
    }

    // Shapefile to BIN.
    auto* bandaShp = Banda("frmShpBin", this);
    Label2 = Titulo(QStringLiteral("Traducir de Shp a Bin:"), "Label2", bandaShp);
    cmdElegirShp = BotonPuntos(bandaShp, "cmdElegirShp");
    lblFicheroShp = Nombra(new LineaRuta(bandaShp), "lblFicheroShp");
    cmdElegirBinSalida =
        Nombra(new QPushButton(QStringLiteral("...BIN salida"), bandaShp), "cmdElegirBinSalida");
    lblFicheroBinSalida = Nombra(new LineaRuta(bandaShp), "lblFicheroBinSalida");
    cmdProcesarShpBin =
        Nombra(new QPushButton(QStringLiteral("Procesar"), bandaShp), "cmdProcesarShpBin");
    chkTextos =
        Nombra(new QCheckBox(QStringLiteral("Convertir a textos en Bin"), bandaShp), "chkTextos");
    chkCotas =
        Nombra(new QCheckBox(QStringLiteral("Transmitir Z desde Dbf"), bandaShp), "chkCotas");

    frmCodigo =
        Nombra(new QGroupBox(QStringLiteral("Código DIGI (desde DBF)"), bandaShp), "frmCodigo");
    cmbTablaDbf1[9] = Selector(QStringLiteral("cmbTablaDbf1_9"), frmCodigo);
    txtCodigo = Caja(QStringLiteral("140100"), "txtCodigo", frmCodigo, 8);
    {
        auto* l = new QGridLayout(frmCodigo);
        l->addWidget(Nombra(new QLabel(QStringLiteral("Código :"), frmCodigo), "lblCodigo"), 0, 0);
        l->addWidget(cmbTablaDbf1[9], 0, 1);
        l->addWidget(txtCodigo, 0, 2);
        l->setColumnStretch(1, 1);
    }

    frmTransmiteZ =
        Nombra(new QGroupBox(QStringLiteral("Transmitir Z desde dbf:"), bandaShp), "frmTransmiteZ");
    cmbTablaDbf_Z = Selector(QStringLiteral("cmbTablaDbf_Z"), frmTransmiteZ);
    (new QHBoxLayout(frmTransmiteZ))->addWidget(cmbTablaDbf_Z);

    frmTextosDigi = Nombra(new QGroupBox(QStringLiteral("Textos Digi  (desde DBF):"), bandaShp),
                           "frmTextosDigi");
    txtTextoRotulo = Caja(QStringLiteral("NoTexto"), "txtTextoRotulo", frmTextosDigi, 8);
    txtTextoAltura = Caja(QStringLiteral("1.50"), "txtTextoAltura", frmTextosDigi, 8);
    txtTextoJustificacion = Caja(QStringLiteral("0"), "txtTextoJustificacion", frmTextosDigi, 8);
    txtTextoGiro = Caja(QStringLiteral("0"), "txtTextoGiro", frmTextosDigi, 8);
    {
        auto* l = new QGridLayout(frmTextosDigi);
        const char* etiquetas[4] = {"Texto :", "Altura :", "Justificacion :", "Giro :"};
        const char* nombres[4] = {"lblTexto", "lblAltura", "lblJustificacion", "lblGiro"};
        QLineEdit* cajas[4] = {txtTextoRotulo, txtTextoAltura, txtTextoJustificacion, txtTextoGiro};
        for (int i = 0; i < 4; ++i) {
            cmbTablaDbf_Texto[i] =
                Selector(QStringLiteral("cmbTablaDbf_Texto_%1").arg(i), frmTextosDigi);
            l->addWidget(
                Nombra(new QLabel(QString::fromUtf8(etiquetas[i]), frmTextosDigi), nombres[i]), i,
                0);
            l->addWidget(cmbTablaDbf_Texto[i], i, 1);
            l->addWidget(cajas[i], i, 2);
        }
        l->setColumnStretch(1, 1);
        l->setRowStretch(4, 1);
    }

    frameAtributos = Nombra(new QGroupBox(QStringLiteral("Atributos"), bandaShp), "frameAtributos");
    cmbLabel17 = Selector(QStringLiteral("cmbLabel17"), frameAtributos);
    cmbLabel17->setEditable(true);
    cmbLabel17->setInsertPolicy(QComboBox::NoInsert);
    cmdBorrarSelec = Nombra(new QPushButton(QStringLiteral("BORRAR Selección"), frameAtributos),
                            "cmdBorrarSelec");
    cmdLeerCFG = Nombra(new QPushButton(QStringLiteral("Leer CFG"), frameAtributos), "cmdLeerCFG");
    cmdGuardarCFG =
        Nombra(new QPushButton(QStringLiteral("Guardar CFG"), frameAtributos), "cmdGuardarCFG");
    {
        auto* l = new QGridLayout(frameAtributos);
        const char* columnas[3] = {"Atributo 1", "Atributo 2", "Atributo 3"};
        const char* nombresColumna[3] = {"lblAtributo1", "lblAtributo2", "lblAtributo3"};
        const char* filas[3] = {"Tabla :", "Registro :", "Resto :"};
        const char* nombresFila[3] = {"lblTabla", "lblRegistro", "lblResto"};
        for (int c = 0; c < 3; ++c) {
            auto* t = Nombra(new QLabel(QString::fromLatin1(columnas[c]), frameAtributos),
                             nombresColumna[c]);
            l->addWidget(t, 0, c + 1, Qt::AlignHCenter);
        }
        l->addWidget(cmbLabel17, 1, 3);
        for (int f = 0; f < 3; ++f) {
            l->addWidget(
                Nombra(new QLabel(QString::fromLatin1(filas[f]), frameAtributos), nombresFila[f]),
                f + 2, 0);
            for (int c = 0; c < 3; ++c) {
                const int i = c * 3 + f;
                cmbTablaDbf1[i] =
                    Selector(QStringLiteral("cmbTablaDbf1_%1").arg(i), frameAtributos);
                l->addWidget(cmbTablaDbf1[i], f + 2, c + 1);
            }
        }
        auto* botones = new QHBoxLayout;
        botones->addWidget(cmdBorrarSelec);
        botones->addStretch();
        botones->addWidget(cmdLeerCFG);
        botones->addWidget(cmdGuardarCFG);
        l->addLayout(botones, 5, 0, 1, 4);
        l->setRowStretch(6, 1);
    }
    {
        auto* l = new QVBoxLayout(bandaShp);
        // The shapefile and the output BIN file, each with its path beside it.
        eleccionShp->addWidget(Label2, 0, 0);
        eleccionShp->addWidget(cmdElegirShp, 0, 1);
        eleccionShp->addWidget(lblFicheroShp, 0, 2);
        eleccionShp->addWidget(cmdElegirBinSalida, 1, 0, 1, 2, Qt::AlignRight);
        eleccionShp->addWidget(lblFicheroBinSalida, 1, 2);
        eleccionShp->addWidget(cmdProcesarShpBin, 1, 3);
        eleccionShp->setColumnStretch(2, 1);
        l->addLayout(eleccionShp);
        auto* fila2 = new QHBoxLayout;
        fila2->addWidget(chkTextos);
        fila2->addSpacing(12);
        fila2->addWidget(chkCotas);
        fila2->addStretch();
        l->addLayout(fila2);
        auto* rejilla = new QGridLayout;
        rejilla->addWidget(frmCodigo, 0, 0);
        rejilla->addWidget(frmTransmiteZ, 0, 1);
        rejilla->addWidget(frmTextosDigi, 1, 0);
        rejilla->addWidget(frameAtributos, 1, 1);
        l->addLayout(rejilla);
        raiz->addWidget(bandaShp);
    }

    // Progress.
    frm_Contador =
        Nombra(new QGroupBox(QStringLiteral("Proceso que se ejecuta"), this), "frm_Contador");
    lbl_Proceso = Nombra(new QLabel(QStringLiteral("Elección de proceso a ejecutar"), frm_Contador),
                         "lbl_Proceso");
    pcb_BarraProceso = Nombra(new QFrame(frm_Contador), "pcb_BarraProceso");
    pcb_BarraProceso->setFrameShape(QFrame::Panel);
    pcb_BarraProceso->setFrameShadow(QFrame::Sunken);
    pcb_BarraProceso->setFixedHeight(20);
    pcb_BarraProceso->installEventFilter(this);
    shp_MarcadorProceso = Nombra(new QFrame(pcb_BarraProceso), "shp_MarcadorProceso");
    shp_MarcadorProceso->setAutoFillBackground(true);
    shp_MarcadorProceso->setBackgroundRole(QPalette::Highlight);
    shp_MarcadorProceso->setGeometry(0, 0, 0, 0);
    {
        auto* l = new QVBoxLayout(frm_Contador);
        l->addWidget(lbl_Proceso);
        l->addWidget(pcb_BarraProceso);
        raiz->addWidget(frm_Contador);
    }
    // What the last run did: as high as its lines, up to a limit.
    txtResultado = Nombra(new QPlainTextEdit(this), "txtResultado");
    txtResultado->setReadOnly(true);
    txtResultado->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txtResultado->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    txtResultado->hide();
    raiz->addWidget(txtResultado);

    Label3 = Nombra(new QLabel(this), "Label3");
    raiz->addWidget(Label3, 0, Qt::AlignRight);

    // The path lines of both bands line up.
    for (QGridLayout* rejilla : {eleccionBin, eleccionShp}) {
        rejilla->setColumnMinimumWidth(
            0, std::max(Label1->sizeHint().width(), Label2->sizeHint().width()));
        rejilla->setColumnMinimumWidth(3, std::max(chkTodoDirectorio->sizeHint().width(),
                                                   cmdProcesarShpBin->sizeHint().width()) +
                                              12);
    }
    // Hidden controls give up their place and the window fits what is shown, always as wide
    // as with every band shown, so that only its height changes.
    raiz->addStrut(raiz->sizeHint().width());
    // Offered only once a shapefile is chosen.
    chkTextos->hide();
    chkCotas->hide();
}

void Ventana::ConectaSenales() {
    connect(cmdElegirBin, &QPushButton::clicked, this, [this] { cmdElegirBin_Click(); });
    connect(chkCatastro, &QCheckBox::toggled, this, [this] { chkCatastro_Click(); });
    connect(ChkAnexar, &QCheckBox::toggled, this, [this] { ChkAnexar_Click(); });
    connect(cmdElegirMdb, &QPushButton::clicked, this, [this] { cmdElegirMdb_Click(); });
    connect(cmdProcesarBinShp, &QPushButton::clicked, this, [this] { cmdProcesarBinShp_Click(); });
    connect(cmdElegirShp, &QPushButton::clicked, this, [this] { cmdElegirShp_Click(); });
    connect(chkTextos, &QCheckBox::toggled, this, [this] { chkTextos_Click(); });
    connect(chkCotas, &QCheckBox::toggled, this, [this] { chkCotas_Click(); });
    for (int i = 0; i < static_cast<int>(cmbTablaDbf1.size()); ++i)
        connect(cmbTablaDbf1[i], &QComboBox::activated, this, [this, i] { cmbTablaDbf1_Click(i); });
    for (int i = 0; i < static_cast<int>(cmbTablaDbf_Texto.size()); ++i)
        connect(cmbTablaDbf_Texto[i], &QComboBox::activated, this,
                [this, i] { cmbTablaDbf_Texto_Click(i); });
    connect(cmbTablaDbf_Z, &QComboBox::activated, this, [this] { cmbTablaDbf_Z_Click(); });
    connect(cmbLabel17, &QComboBox::activated, this, [this] { cmbLabel17_Click(); });
    connect(cmbLabel17, &QComboBox::editTextChanged, this, [this] { cmbLabel17_Change(); });
    connect(cmdBorrarSelec, &QPushButton::clicked, this, [this] { cmdBorrarSelec_Click(); });
    connect(cmdElegirBinSalida, &QPushButton::clicked, this,
            [this] { cmdElegirBinSalida_Click(); });
    connect(cmdProcesarShpBin, &QPushButton::clicked, this, [this] { cmdProcesarShpBin_Click(); });
    // "Leer CFG" and "Guardar CFG" have no action.
}

void Ventana::Form_Load() {
    if (!ConfiguracionRegionalCorrecta(m_lectorRegional())) {
        Mensaje("Debe cambiar la configuración regional", true);
        return;
    }
    Label3->setText(QStringLiteral("Tramaset 15-05-2009"));
    for (QWidget* w : std::initializer_list<QWidget*>{
             frmTextos, frm_2D_3D, frmPoligono, frmTextosDigi, frmTransmiteZ, frmCodigo,
             frameAtributos, cmdProcesarShpBin, cmdProcesarBinShp, cmdElegirBinSalida, ChkAnexar,
             lblInfo, cmdElegirMdb, lblFicheroMdb, lblFicheroBinSalida})
        w->hide();
    // No field chosen for the code, the texts or Z; three attribute links and one remembered.
    m_seleccion = SeleccionShp{};
}

void Ventana::MuestraTodo() {
    for (QWidget* w : std::initializer_list<QWidget*>{
             frmTextos, frm_2D_3D, frmPoligono, frmTextosDigi, frmTransmiteZ, frmCodigo,
             frameAtributos, cmdProcesarShpBin, cmdProcesarBinShp, cmdElegirBinSalida, ChkAnexar,
             lblInfo, cmdElegirMdb, lblFicheroMdb, lblFicheroBinSalida, chkTextos, chkCotas})
        w->show();
}

void Ventana::cmdElegirBin_Click() {
    try {
        m_binElegido = false;
        lblFicheroBin->Muestra({});
        bool eligio = false;
        m_utilidades.PideFichero(kFiltroBin, "Elegir fichero", m_ficherosBin, m_directorio,
                                 !chkTodoDirectorio->isChecked(), eligio);
        if (!eligio) return;
        m_binElegido = true;
        MuestraFicherosBin();
        if (chkCatastro->isChecked()) {
            frmTextos->hide();
            frmPoligono->hide();
            frm_2D_3D->hide();
            cmdProcesarBinShp->setVisible(m_topologia.MdbElegido);
            ChkAnexar->hide();
        } else {
            for (QWidget* w : std::initializer_list<QWidget*>{frmTextos, frmPoligono, frm_2D_3D,
                                                              cmdProcesarBinShp, ChkAnexar})
                w->show();
        }
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::chkCatastro_Click() {
    const bool catastro = chkCatastro->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{frmTextos, frm_2D_3D, frmPoligono,
                                                      cmdProcesarBinShp, ChkAnexar})
        w->setVisible(!catastro);
    cmdElegirMdb->setVisible(catastro);
    lblFicheroMdb->setVisible(catastro);
}

void Ventana::MuestraFicherosBin() {
    const size_t n = m_ficherosBin.size() > 1 ? m_ficherosBin.size() - 1 : 0;
    if (!chkTodoDirectorio->isChecked() && n == 1) {
        lblFicheroBin->Muestra(TextoQt(m_ficherosBin[1]));
        return;
    }
    std::string carpeta = m_directorio;
    if (carpeta.size() > 1 && carpeta.back() == '/') carpeta.pop_back();
    lblFicheroBin->Muestra(
        TextoQt(Cuenta(static_cast<int64_t>(n), "fichero", "ficheros") + " en " + carpeta),
        TextoQt(carpeta));
}

void Ventana::ChkAnexar_Click() { lblInfo->setVisible(ChkAnexar->isChecked()); }

void Ventana::cmdElegirMdb_Click() {
    PuertoVentana puerto(*this);
    lblFicheroMdb->Muestra({});
    try {
        if (!ElegirMdb(m_topologia, puerto)) return;
    } catch (const std::exception& e) {
        puerto.Ocupado(false);
        MuestraError(e);
        return;
    }
    lblFicheroMdb->Muestra(TextoQt(puerto.FicheroElegido()));
    for (QWidget* w : std::initializer_list<QWidget*>{frmTextos, frmPoligono, frm_2D_3D, ChkAnexar})
        w->hide();
    cmdElegirMdb->show();
    lblFicheroMdb->show();
    // Ready to run once a BIN file is chosen too, as after choosing the BIN file second.
    cmdProcesarBinShp->setVisible(m_binElegido);
}

OpcionesBinShp Ventana::LeeOpcionesBinShp() const {
    OpcionesBinShp o;
    if (m_ficherosBin.size() > 1) o.ficheros.assign(m_ficherosBin.begin() + 1, m_ficherosBin.end());
    o.binElegido = m_binElegido;
    o.mdbElegido = m_topologia.MdbElegido;
    o.divisor = Opt_uds_cm->isChecked() ? 100 : 1000;
    o.textosComoLineas = opt_textos_lineas->isChecked();
    o.cerradasComoLineas = opt_lineasCerradas_Lineas->isChecked();
    o.dosD = opt2D->isChecked();
    o.anexar = ChkAnexar->isChecked();
    o.catastro = chkCatastro->isChecked();
    return o;
}

void Ventana::cmdProcesarBinShp_Click() {
    PuertoVentana puerto(*this);
    MuestraResultado({});
    try {
        const OpcionesBinShp opciones = LeeOpcionesBinShp();
        // The cadastre set is built in the folder of the BIN choice.
        std::unique_ptr<Catastro> catastro;
        if (opciones.catastro && opciones.mdbElegido)
            catastro = std::make_unique<Catastro>(m_topologia.Manzanas, m_directorio);
        MuestraResultado(
            LineasResultado(opciones, ProcesarBinShp(opciones, puerto, catastro.get())));
    } catch (const std::exception& e) {
        puerto.Ocupado(false);
        // The run's layers take their place only when it completes.
        MuestraResultado({std::string("El proceso se ha interrumpido: ") + e.what(),
                          "No se ha escrito ninguna capa; las existentes quedan como estaban."});
        MuestraError(e);
    }
}

void Ventana::cmdElegirShp_Click() {
    PuertoVentana puerto(*this);
    try {
        std::vector<std::string> ficheros;
        std::string directorio = m_seleccion.directorio;
        bool eligio = false;
        m_utilidades.PideFichero("ShapeFiles (*.shp)|*.shp", "Elegir fichero", ficheros, directorio,
                                 true, eligio);
        if (!eligio || ficheros.size() < 2) return;
        const std::string ruta = ficheros[1];
        lblFicheroShp->Muestra(TextoQt(ruta));
        const std::string atributo = ShpElegido(m_seleccion, ruta, directorio);
        m_ficheroShp = ruta;
        for (QWidget* w : std::initializer_list<QWidget*>{frmCodigo, cmdElegirBinSalida,
                                                          lblFicheroBinSalida, frameAtributos})
            w->show();
        for (size_t i = 0; i < cmbTablaDbf1.size(); ++i)
            RellenaCampos(cmbTablaDbf1[i], kFiltrosTablaDbf1[i], puerto);
        chkTextos->setVisible(OfreceTextos(ChequeaTipoShp(ruta)));
        chkCotas->show();
        MuestraAtributos(atributo);
        cmbLabel17_Click();
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::chkTextos_Click() {
    frmTextosDigi->hide();
    if (!chkTextos->isChecked()) return;
    frmTextosDigi->show();
    PuertoVentana puerto(*this);
    try {
        for (QComboBox* cb : cmbTablaDbf_Texto) RellenaCampos(cb, kFiltroTextosZ, puerto);
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::chkCotas_Click() {
    frmTransmiteZ->hide();
    if (!chkCotas->isChecked()) return;
    frmTransmiteZ->show();
    PuertoVentana puerto(*this);
    try {
        RellenaCampos(cmbTablaDbf_Z, kFiltroTextosZ, puerto);
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::cmbTablaDbf1_Click(int Index) {
    try {
        const QComboBox* cb = cmbTablaDbf1.at(static_cast<size_t>(Index));
        if (cb->currentIndex() < 0) return;
        const EfectoTablaDbf1 efecto =
            EligeTablaDbf1(m_seleccion, Index, Entrada(cb, cb->currentIndex()));
        for (int i : efecto.deshabilitar)
            cmbTablaDbf1.at(static_cast<size_t>(i))->setEnabled(false);
        if (efecto.entradaNueva) MuestraAtributos(TextoUtf8(cmbLabel17->currentText()));
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::cmbTablaDbf_Texto_Click(int Index) {
    try {
        const QComboBox* cb = cmbTablaDbf_Texto.at(static_cast<size_t>(Index));
        if (cb->currentIndex() < 0) return;
        EligeTablaDbfTexto(m_seleccion, Index, Entrada(cb, cb->currentIndex()));
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::cmbTablaDbf_Z_Click() {
    try {
        if (cmbTablaDbf_Z->currentIndex() < 0) return;
        EligeTablaDbfZ(m_seleccion, Entrada(cmbTablaDbf_Z, cmbTablaDbf_Z->currentIndex()));
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::cmbLabel17_Click() {
    try {
        const auto vista = EligeAtributo(m_seleccion, TextoUtf8(cmbLabel17->currentText()));
        if (!vista) return;
        for (size_t k = 0; k < vista->size(); ++k) {
            MuestraTexto(cmbTablaDbf1[6 + k], (*vista)[k].texto);
            cmbTablaDbf1[6 + k]->setEnabled((*vista)[k].habilitado);
        }
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

void Ventana::cmdBorrarSelec_Click() {
    for (int i : BorrarSeleccion()) {
        QComboBox* cb = cmbTablaDbf1.at(static_cast<size_t>(i));
        cb->setEnabled(true);
        MuestraTexto(cb, "");
    }
}

void Ventana::cmdElegirBinSalida_Click() {
    try {
        // A new file is fine: the run creates it.
        auto selector = fenoquia::SelectorFicheroActual();
        if (!selector) return;
        const std::string ruta = selector->EligeNuevo(kFiltroBinSalida, kTituloBinSalida);
        if (ruta.empty()) return;
        m_ficheroBinSalida = ruta;
        lblFicheroBinSalida->Muestra(TextoQt(ruta));
        cmdProcesarShpBin->show();
    } catch (const std::exception& e) {
        MuestraError(e);
    }
}

namespace {

/// A box's text in Windows-1252; a character that page lacks would become "?" in every
/// element, so the run is stopped naming the box.
std::string Caja1252(const QLineEdit* caja, const char* que) {
    bool exacto = true;
    std::string r = brisquel::Windows1252DesdeUtf8(TextoUtf8(caja->text()), '?', &exacto);
    if (!exacto)
        throw Error(kTipoNoCoincide, std::string(que) + " \"" + TextoUtf8(caja->text()) +
                                         "\" lleva caracteres que Windows-1252 no tiene");
    return r;
}

}  // namespace

OpcionesShpBin Ventana::LeeOpcionesShpBin() const {
    OpcionesShpBin o;
    o.ficheroShp = m_ficheroShp;
    o.ficheroBin = m_ficheroBinSalida;
    o.factorUnidades = Opt_uds_cm->isChecked() ? 100 : 1000;
    o.seleccion = m_seleccion;
    // What is typed in the boxes goes into the BIN file, whose texts are Windows-1252.
    o.txtCodigo = Caja1252(txtCodigo, "El código");
    o.txtTextoRotulo = Caja1252(txtTextoRotulo, "El texto");
    o.txtTextoAltura = Texto1252(txtTextoAltura->text());
    o.txtTextoJustificacion = Texto1252(txtTextoJustificacion->text());
    o.txtTextoGiro = Texto1252(txtTextoGiro->text());
    // Ticked counts, whether the box is offered for this shape type or not.
    o.chkTextos = chkTextos->isChecked();
    o.chkCotas = chkCotas->isChecked();
    return o;
}

void Ventana::cmdProcesarShpBin_Click() {
    if (m_ficheroBinSalida.empty()) return;
    PuertoVentana puerto(*this);
    MuestraResultado({});
    try {
        const OpcionesShpBin opciones = LeeOpcionesShpBin();
        MuestraResultado(LineasResultado(opciones, ReadShape(opciones, puerto)));
    } catch (const std::exception& e) {
        puerto.Ocupado(false);
        MuestraResultado({std::string("El proceso se ha interrumpido: ") + e.what(),
                          m_ficheroBinSalida + " queda como estaba."});
        MuestraError(e);
    }
}

void Ventana::RellenaCampos(QComboBox* cb, const char* patron, Puerto& puerto) {
    const auto entradas =
        parvenza::RellenaCampos(m_seleccion.directorio, m_seleccion.tabladbf, patron, puerto);
    if (!entradas) return;
    QSignalBlocker bloqueo(cb);
    cb->clear();
    for (const std::string& e : *entradas) cb->addItem(TextoQt(e), QByteArray::fromStdString(e));
    MuestraTexto(cb, "");
}

std::string Ventana::Entrada(const QComboBox* cb, int indice) {
    return cb->itemData(indice).toByteArray().toStdString();
}

void Ventana::MuestraTexto(QComboBox* cb, const std::string& texto) {
    QSignalBlocker bloqueo(cb);
    const int i = texto.empty() ? -1 : cb->findData(QByteArray::fromStdString(texto));
    cb->setCurrentIndex(i);
    // A text that is no entry of the list (a field of an earlier table) still shows.
    cb->setPlaceholderText(i < 0 ? TextoQt(texto) : QString());
}

void Ventana::MuestraAtributos(const std::string& texto) {
    QSignalBlocker bloqueo(cmbLabel17);
    cmbLabel17->clear();
    for (const std::string& e : m_seleccion.listaAtributos) cmbLabel17->addItem(TextoQt(e));
    cmbLabel17->setEditText(TextoQt(texto));
}

double Ventana::AnchoPistaTwips() const { return pcb_BarraProceso->width() * kTwipsPorPixel; }

void Ventana::BarraDeProgreso(double& iporciento) {
    m_anchoMarcador = AnchoMarcador(AnchoPistaTwips(), m_anchoMarcador, iporciento);
    const int antes = shp_MarcadorProceso->width();
    ColocaMarcador();
    // Called once per record: paint only when the marker really moved on the screen.
    if (shp_MarcadorProceso->width() != antes) pcb_BarraProceso->repaint();
}

void Ventana::ColocaMarcador() {
    const QRect dentro = pcb_BarraProceso->contentsRect();
    const double px = std::round(m_anchoMarcador / kTwipsPorPixel);
    const int ancho = px > 0 ? static_cast<int>(std::min<double>(px, dentro.width())) : 0;
    shp_MarcadorProceso->setGeometry(dentro.left(), dentro.top(), ancho, dentro.height());
}

bool Ventana::eventFilter(QObject* objeto, QEvent* evento) {
    if (objeto == pcb_BarraProceso && evento->type() == QEvent::Resize) ColocaMarcador();
    return QWidget::eventFilter(objeto, evento);
}

void Ventana::Mensaje(const std::string& texto, bool critico, const std::string& titulo) {
    QMessageBox caja(critico ? QMessageBox::Critical : QMessageBox::NoIcon, TextoQt(titulo),
                     LineasQt(texto), QMessageBox::Ok, this);
    caja.setObjectName(QStringLiteral("msgParvenza"));
    // The box is answered with the usual pointer, even in the middle of a run.
    const bool ocupado = QApplication::overrideCursor() != nullptr;
    if (ocupado) QApplication::setOverrideCursor(Qt::ArrowCursor);
    caja.exec();
    if (ocupado) QApplication::restoreOverrideCursor();
}

void Ventana::MuestraError(const std::exception& e) {
    // By now the run's objects are gone and its outputs rolled back.
    if (const auto* fin = dynamic_cast<const FinDePrograma*>(&e)) {
        Mensaje(fin->what());
        QCoreApplication::exit(fin->estado());
        return;
    }
    Mensaje(e.what(), true);
}

bool Ventana::PideUnFichero(const std::string& filtro, const std::string& titulo,
                            std::string& ruta) {
    // The folder of these choices (a database, a layer set to append to) is not the one
    // the BIN files and the cadastre set go by.
    std::vector<std::string> ficheros;
    std::string directorio;
    bool eligio = false;
    m_utilidades.PideFichero(filtro, titulo, ficheros, directorio, true, eligio);
    if (!eligio || ficheros.size() < 2) return false;
    ruta = ficheros[1];
    return true;
}

// Pixels the text layout adds to the lines' own height, so a list of twelve lines or fewer
// never shows a scroll bar.
constexpr int kHolgura = 4;

void Ventana::MuestraResultado(const std::vector<std::string>& lineas) {
    QStringList texto;
    for (const std::string& l : lineas) texto << LineasQt(l);
    txtResultado->setPlainText(texto.join(QLatin1Char('\n')));
    // As high as its lines (a long path wraps), up to twelve; a longer list scrolls.
    txtResultado->setVisible(!lineas.empty());
    layout()->activate();  // the list's width, which its wrapped lines depend on
    const auto* documento = txtResultado->document();
    const int filas =
        std::clamp(static_cast<int>(documento->documentLayout()->documentSize().height()), 1, 12);
    txtResultado->setFixedHeight(filas * txtResultado->fontMetrics().lineSpacing() +
                                 2 * static_cast<int>(std::ceil(documento->documentMargin())) +
                                 2 * txtResultado->frameWidth() + kHolgura);
    txtResultado->repaint();
}

void Ventana::Proceso(const std::string& texto) {
    lbl_Proceso->setText(TextoQt(texto));
    lbl_Proceso->repaint();
}

}  // namespace parvenza
