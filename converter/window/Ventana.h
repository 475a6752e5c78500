#pragma once
// The converter's window: units, the BIN-to-shapefile band, the shapefile-to-BIN band, the
// progress frame and the version label. It only reads its controls into option structs,
// calls the conversion drivers and applies the visibility rules; the work is in the core.

#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "converter/core/BinShp.h"
#include "converter/core/SeleccionShp.h"
#include "converter/core/ShpBin.h"
#include "converter/core/Topologia.h"
#include "converter/window/Regional.h"
#include "utilities/Utilidades.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace parvenza {

/// Twips per pixel of the window (96 dots per inch). Widths of the progress display are
/// kept in twips, so that its step rule does not depend on the screen.
inline constexpr double kTwipsPorPixel = 15.0;

/// New width of the progress marker, in twips, for the fraction `iporciento` of a track
/// `anchoPista` twips wide: the marker follows only steps of more than 20 twips, and a
/// fraction of 0 resets it.
double AnchoMarcador(double anchoPista, double anchoActual, double iporciento);

/// The result list of a BIN-to-shapefile run: each layer with its records, the totals, the
/// layers of earlier runs that this one left as they were, and what it cut or left out.
std::vector<std::string> LineasResultado(const OpcionesBinShp& opciones, const ResultadoBinShp& r);
/// The result list of a shapefile-to-BIN run: the elements appended, the records left out and
/// what was replaced on the way, or, when nothing was written, why and that the BIN file is as
/// it was.
std::vector<std::string> LineasResultado(const OpcionesShpBin& opciones, const ResultadoShpBin& r);

class LineaRuta;

/// The window `main`, captioned "Traductor de Bin->Shp / Shp->Bin". Every control carries
/// its design name as objectName; handlers keep their design names.
class Ventana : public QWidget {
    Q_OBJECT
  public:
    using LectorRegional = std::function<Separadores()>;

    /// Builds every control with its caption and design default. `lectorRegional` reads the
    /// number format the program converts by, for the start-up check.
    explicit Ventana(LectorRegional lectorRegional = SeparadoresDelPrograma,
                     QWidget* padre = nullptr);
    ~Ventana() override;

    /// Start-up, run once before the window is shown: the regional-settings check, then,
    /// when it passes, the version label and the start-up hiding.
    void Form_Load();

    /// Shows every control that start-up and the visibility rules may hide: a view of the
    /// whole layout, for screenshots.
    void MuestraTodo();

    /// Moves the progress marker to the fraction `iporciento` (0..1) of the track.
    void BarraDeProgreso(double& iporciento);
    /// Width of the progress marker and of its track, in twips.
    double AnchoMarcadorTwips() const { return m_anchoMarcador; }
    double AnchoPistaTwips() const;

    // Handlers of the BIN-to-shapefile band.
    void cmdElegirBin_Click();
    void chkCatastro_Click();
    void ChkAnexar_Click();
    void cmdElegirMdb_Click();
    void cmdProcesarBinShp_Click();

    // Handlers of the shapefile-to-BIN band.
    void cmdElegirShp_Click();
    void chkTextos_Click();
    void chkCotas_Click();
    void cmbTablaDbf1_Click(int Index);
    void cmbTablaDbf_Texto_Click(int Index);
    void cmbTablaDbf_Z_Click();
    void cmbLabel17_Click();
    void cmbLabel17_Change() { cmbLabel17_Click(); }
    void cmdBorrarSelec_Click();
    void cmdElegirBinSalida_Click();
    void cmdProcesarShpBin_Click();

    /// The shapefile-to-BIN choices as the controls and the selection state give them now.
    OpcionesShpBin LeeOpcionesShpBin() const;
    /// The recorded field choices of the shapefile-to-BIN band.
    const SeleccionShp& Seleccion() const { return m_seleccion; }

    /// The BIN-to-shapefile choices as the controls and the program state give them now.
    OpcionesBinShp LeeOpcionesBinShp() const;

    bool BinElegido() const { return m_binElegido; }
    bool MdbElegido() const { return m_topologia.MdbElegido; }
    /// Folder of the last BIN choice: where the cadastre set goes.
    const std::string& Directorio() const { return m_directorio; }

    /// A message box titled `titulo` with an OK button and, when `critico`, the critical icon.
    void Mensaje(const std::string& texto, bool critico = false,
                 const std::string& titulo = "Parvenza");
    /// The file dialog for one existing file, for the conversion drivers' own questions.
    bool PideUnFichero(const std::string& filtro, const std::string& titulo, std::string& ruta);
    /// Caption of `lbl_Proceso`, painted at once.
    void Proceso(const std::string& texto);

  protected:
    bool eventFilter(QObject* objeto, QEvent* evento) override;

  private:
    void ConstruyeControles();
    void ColocaMarcador();
    void ConectaSenales();
    /// The one handler of every button's failure: shows the message; a state that ends the
    /// program (FinDePrograma) then quits the application with its status.
    void MuestraError(const std::exception& e);
    // Empties `cb` and fills it with the fields of the chosen table that pass `patron`;
    // a table name the listing refuses leaves it as it was.
    void RellenaCampos(QComboBox* cb, const char* patron, Puerto& puerto);
    // The selector's entry at `indice` as the listing gave it (Windows-1252 bytes).
    static std::string Entrada(const QComboBox* cb, int indice);
    // Shows `texto` (an entry's bytes, or "" for nothing) as the selector's text.
    static void MuestraTexto(QComboBox* cb, const std::string& texto);
    // Makes `cmbLabel17` list the attribute numbers of the selection and show `texto`.
    void MuestraAtributos(const std::string& texto);
    // The BIN choice beside its button: the file, or "N ficheros en CARPETA".
    void MuestraFicherosBin();
    // Fills the result list below the progress frame; no lines hide it.
    void MuestraResultado(const std::vector<std::string>& lineas);

    LectorRegional m_lectorRegional;
    fenoquia::Utilidades m_utilidades;

    // Program-wide state of the BIN-to-shapefile band.
    bool m_binElegido = false;
    Topologia m_topologia;  ///< the cadastral topology and whether an MDB is chosen
    std::string m_directorio;
    std::vector<std::string> m_ficherosBin;  ///< entry 0 empty, as PideFichero gives it
    double m_anchoMarcador = 0.0;            ///< twips

    // Program-wide state of the shapefile-to-BIN band.
    SeleccionShp m_seleccion;
    std::string m_ficheroShp;        ///< the chosen shapefile
    std::string m_ficheroBinSalida;  ///< the output BIN file; empty until chosen

    // Units.
    QGroupBox* frm_uds = nullptr;
    QRadioButton* Opt_uds_cm = nullptr;
    QRadioButton* Opt_uds_mm = nullptr;

    // BIN to shapefile.
    QLabel* Label1 = nullptr;
    QPushButton* cmdElegirBin = nullptr;
    LineaRuta* lblFicheroBin = nullptr;
    QCheckBox* chkTodoDirectorio = nullptr;
    QCheckBox* chkCatastro = nullptr;
    QPushButton* cmdElegirMdb = nullptr;
    LineaRuta* lblFicheroMdb = nullptr;
    QGroupBox* frm_2D_3D = nullptr;
    QRadioButton* opt2D = nullptr;
    QRadioButton* opt3D = nullptr;
    QGroupBox* frmTextos = nullptr;
    QRadioButton* opt_textos_puntos = nullptr;
    QRadioButton* opt_textos_lineas = nullptr;
    QGroupBox* frmPoligono = nullptr;
    QRadioButton* opt_lineasCerradas_Lineas = nullptr;
    QRadioButton* opt_lineasCerradas_Poligonos = nullptr;
    QCheckBox* ChkAnexar = nullptr;
    QLabel* lblInfo = nullptr;
    QPushButton* cmdProcesarBinShp = nullptr;

    // Shapefile to BIN.
    QLabel* Label2 = nullptr;
    QPushButton* cmdElegirShp = nullptr;
    LineaRuta* lblFicheroShp = nullptr;
    QPushButton* cmdElegirBinSalida = nullptr;
    LineaRuta* lblFicheroBinSalida = nullptr;
    QPushButton* cmdProcesarShpBin = nullptr;
    QCheckBox* chkTextos = nullptr;
    QCheckBox* chkCotas = nullptr;
    QGroupBox* frmCodigo = nullptr;
    QLineEdit* txtCodigo = nullptr;
    QGroupBox* frmTextosDigi = nullptr;
    QLineEdit* txtTextoRotulo = nullptr;
    QLineEdit* txtTextoAltura = nullptr;
    QLineEdit* txtTextoJustificacion = nullptr;
    QLineEdit* txtTextoGiro = nullptr;
    std::array<QComboBox*, 4> cmbTablaDbf_Texto{};
    QGroupBox* frmTransmiteZ = nullptr;
    QComboBox* cmbTablaDbf_Z = nullptr;
    QGroupBox* frameAtributos = nullptr;
    std::array<QComboBox*, 10> cmbTablaDbf1{};
    QComboBox* cmbLabel17 = nullptr;
    QPushButton* cmdBorrarSelec = nullptr;
    QPushButton* cmdLeerCFG = nullptr;
    QPushButton* cmdGuardarCFG = nullptr;

    // Progress and version.
    QGroupBox* frm_Contador = nullptr;
    QLabel* lbl_Proceso = nullptr;
    QFrame* pcb_BarraProceso = nullptr;
    QFrame* shp_MarcadorProceso = nullptr;
    QPlainTextEdit* txtResultado = nullptr;  ///< what the last run did
    QLabel* Label3 = nullptr;
};

}  // namespace parvenza
