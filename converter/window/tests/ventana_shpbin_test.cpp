// The shapefile-to-BIN band driven through its controls: choosing the shapefile, the field
// selectors and the attribute grid, and a whole run into a BIN file read back with the
// Digi library.

#include <gtest/gtest.h>
#include <shapefil.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "converter/window/Ventana.h"
#include "digi/FicheroDigi.h"
#include "ventana_support.h"

namespace parvenza {
namespace {

using namespace prueba;

// A polyline shapefile of two records, with a numeric, a text, a date and three more
// numeric fields: ID, NOMBRE, FECHA, TABLA, REGISTRO, COTA (indices 0 to 5).
std::string EscribeShp(const CarpetaTemporal& carpeta, const std::string& nombre) {
    const std::string base = (carpeta.ruta() / nombre).string();
    SHPHandle shp = SHPCreate(base.c_str(), SHPT_ARC);
    DBFHandle dbf = DBFCreate(base.c_str());
    DBFAddField(dbf, "ID", FTDouble, 10, 0);
    DBFAddField(dbf, "NOMBRE", FTString, 20, 0);
    DBFAddNativeFieldType(dbf, "FECHA", 'D', 8, 0);
    DBFAddField(dbf, "TABLA", FTDouble, 10, 0);
    DBFAddField(dbf, "REGISTRO", FTDouble, 10, 0);
    DBFAddField(dbf, "COTA", FTDouble, 12, 3);
    const double x[2][2] = {{1.5, 2.5}, {10, 11}}, y[2][2] = {{2.25, 3.25}, {20, 21}};
    const double cota[2] = {5.5, 0};
    for (int r = 0; r < 2; ++r) {
        SHPObject* o = SHPCreateSimpleObject(SHPT_ARC, 2, x[r], y[r], nullptr);
        SHPWriteObject(shp, -1, o);
        SHPDestroyObject(o);
        DBFWriteDoubleAttribute(dbf, r, 0, r + 1);
        DBFWriteStringAttribute(dbf, r, 1, r == 0 ? "uno" : "dos");
        DBFWriteStringAttribute(dbf, r, 2, "20090515");
        DBFWriteDoubleAttribute(dbf, r, 3, 7 + r);
        DBFWriteDoubleAttribute(dbf, r, 4, 12 + r);
        DBFWriteDoubleAttribute(dbf, r, 5, cota[r]);
    }
    SHPClose(shp);
    DBFClose(dbf);
    return base + ".shp";
}

QStringList Entradas(QComboBox* cb) {
    QStringList l;
    for (int i = 0; i < cb->count(); ++i) l << cb->itemText(i);
    return l;
}

QComboBox* Selector(Ventana& v, int i) {
    return Control<QComboBox>(v, QStringLiteral("cmbTablaDbf1_%1").arg(i));
}

// Picks an entry from the list, as a click on it does.
void Elige(QComboBox* cb, const QString& entrada) {
    const int i = cb->findText(entrada);
    ASSERT_GE(i, 0) << entrada.toStdString();
    ASSERT_TRUE(cb->isEnabled()) << cb->objectName().toStdString();
    cb->setCurrentIndex(i);
    emit cb->activated(i);
}

// Shown text of a selector: its entry, or what it shows with none chosen.
QString Muestra(QComboBox* cb) {
    return cb->currentIndex() >= 0 ? cb->currentText() : cb->placeholderText();
}

TEST(VentanaShpBin, EleccionDelShapefileYSelectoresDeCampos) {
    CarpetaTemporal carpeta;
    const std::string shp = EscribeShp(carpeta, "campos");
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();

    selector->respuestas = {shp};
    Pulsa(*v, "cmdElegirShp");
    ASSERT_EQ(selector->preguntas.size(), 1u);
    EXPECT_EQ(selector->preguntas[0].filtro, "ShapeFiles (*.shp)|*.shp");
    EXPECT_EQ(selector->preguntas[0].titulo, "Elegir fichero");
    EXPECT_EQ(Control<QLabel>(*v, "lblFicheroShp")->text().toStdString(), shp);
    for (const char* nombre :
         {"frmCodigo", "cmdElegirBinSalida", "frameAtributos", "chkTextos", "chkCotas"})
        EXPECT_TRUE(Visible(*v, nombre)) << nombre;
    for (const char* nombre : {"frmTextosDigi", "frmTransmiteZ", "cmdProcesarShpBin"})
        EXPECT_FALSE(Visible(*v, nombre)) << nombre;
    EXPECT_EQ(v->Seleccion().tabladbf, "campos");

    // Numeric fields under "DOBLE", numeric and text under "TODOS", never the date.
    const QStringList dobles = {"0 ID", "3 TABLA", "4 REGISTRO", "5 COTA"};
    const QStringList todos = {"0 ID", "1 NOMBRE", "3 TABLA", "4 REGISTRO", "5 COTA"};
    for (int i = 0; i <= 9; ++i) {
        EXPECT_EQ(Entradas(Selector(*v, i)), i % 3 == 2 || i == 9 ? todos : dobles) << i;
        EXPECT_EQ(Muestra(Selector(*v, i)), "") << i;
    }
    auto* atributos = Control<QComboBox>(*v, "cmbLabel17");
    EXPECT_EQ(atributos->currentText(), "Atributo 3");
    EXPECT_EQ(Entradas(atributos), QStringList{"Atributo 3"});

    // Attribute 1 by table and record: its rest selector is closed.
    Elige(Selector(*v, 0), "3 TABLA");
    Elige(Selector(*v, 1), "4 REGISTRO");
    EXPECT_FALSE(Selector(*v, 2)->isEnabled());
    // Attribute 2 by rest: its table and record selectors are closed.
    Elige(Selector(*v, 5), "1 NOMBRE");
    EXPECT_FALSE(Selector(*v, 3)->isEnabled());
    EXPECT_FALSE(Selector(*v, 4)->isEnabled());
    // The table field of attribute 3 opens attribute 4.
    Elige(Selector(*v, 6), "5 COTA");
    EXPECT_FALSE(Selector(*v, 8)->isEnabled());
    EXPECT_EQ(Entradas(atributos), (QStringList{"Atributo 3", "Atributo 4"}));
    Elige(Selector(*v, 9), "1 NOMBRE");
    const SeleccionShp& s = v->Seleccion();
    EXPECT_EQ(s.camposAtributo.at(0).campoTabla, 3);
    EXPECT_EQ(s.camposAtributo.at(0).campoRegistro, 4);
    EXPECT_EQ(s.camposAtributo.at(1).campoResto, "1");
    EXPECT_EQ(s.camposAtributo.at(2).campoTabla, 5);
    EXPECT_EQ(s.camposAtributo.at(2).campoResto, "-99");
    EXPECT_EQ(s.indexCampoCodigo, 1);

    // Attribute 4 starts empty; back on attribute 3 its remembered fields show again.
    atributos->setEditText(QStringLiteral("Atributo 4"));
    EXPECT_EQ(s.numAtributo, 4);
    for (int i = 6; i <= 8; ++i) {
        EXPECT_TRUE(Selector(*v, i)->isEnabled()) << i;
        EXPECT_EQ(Muestra(Selector(*v, i)), "") << i;
    }
    atributos->setEditText(QStringLiteral("Atributo 3"));
    EXPECT_EQ(s.numAtributo, 3);
    EXPECT_EQ(Muestra(Selector(*v, 6)), "5 COTA");
    EXPECT_TRUE(Selector(*v, 6)->isEnabled());
    EXPECT_FALSE(Selector(*v, 8)->isEnabled());

    // Clearing opens and empties the grid but keeps what was recorded, and the code field.
    Pulsa(*v, "cmdBorrarSelec");
    for (int i = 0; i <= 8; ++i) {
        EXPECT_TRUE(Selector(*v, i)->isEnabled()) << i;
        EXPECT_EQ(Muestra(Selector(*v, i)), "") << i;
    }
    EXPECT_EQ(Muestra(Selector(*v, 9)), "1 NOMBRE");
    EXPECT_EQ(s.camposAtributo.at(0).campoTabla, 3);

    // Text and Z fields: their frames come with the boxes, unticking keeps the choice.
    Pulsa(*v, "chkTextos");
    EXPECT_TRUE(Visible(*v, "frmTextosDigi"));
    auto* rotulo = Control<QComboBox>(*v, "cmbTablaDbf_Texto_0");
    EXPECT_EQ(Entradas(rotulo), todos);
    Elige(rotulo, "1 NOMBRE");
    Elige(Control<QComboBox>(*v, "cmbTablaDbf_Texto_3"), "5 COTA");
    Pulsa(*v, "chkTextos");
    EXPECT_FALSE(Visible(*v, "frmTextosDigi"));
    EXPECT_EQ(s.indexCampoTexto_Rotulo, 1);
    EXPECT_EQ(s.indexCampoTexto_Giro, 5);
    Pulsa(*v, "chkCotas");
    EXPECT_TRUE(Visible(*v, "frmTransmiteZ"));
    Elige(Control<QComboBox>(*v, "cmbTablaDbf_Z"), "5 COTA");
    EXPECT_EQ(s.indexCampoZ, 5);
    EXPECT_TRUE(mensajes.cajas.empty());
}

TEST(VentanaShpBin, NombreDeTablaLargoAvisaYDejaLosSelectores) {
    CarpetaTemporal carpeta;
    const std::string shp = EscribeShp(carpeta, "nombre-largo");
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();
    selector->respuestas = {shp};
    Pulsa(*v, "cmdElegirShp");
    // Once for each of the ten selectors being filled.
    ASSERT_EQ(mensajes.cajas.size(), 10u);
    EXPECT_EQ(mensajes.cajas[0].texto,
              "Nombre de Archivo incorrecto (>de 8 caracteres o contiene '-')");
    EXPECT_EQ(mensajes.cajas[0].titulo, "Parvenza");
    EXPECT_EQ(Selector(*v, 0)->count(), 0);
    EXPECT_TRUE(Visible(*v, "frameAtributos"));
}

// The widest the progress marker became.
class VigilaMarcador : public QObject {
  public:
    explicit VigilaMarcador(QWidget* marcador) : m_marcador(marcador) {
        marcador->installEventFilter(this);
    }
    bool eventFilter(QObject* objeto, QEvent* evento) override {
        if (objeto == m_marcador && evento->type() == QEvent::Resize)
            maximo = std::max(maximo, m_marcador->width());
        return false;
    }
    int maximo = 0;

  private:
    QWidget* m_marcador;
};

TEST(VentanaShpBin, ConversionCompletaAUnBin) {
    CarpetaTemporal carpeta;
    const std::string shp = EscribeShp(carpeta, "campos");
    const std::string bin = carpeta.Fichero("salida.bin");
    SelectorInstalado selector;
    RecogeMensajes mensajes;
    auto v = Abre();
    VigilaMarcador vigia(Control(*v, "shp_MarcadorProceso"));

    // Without an output file "Procesar" does nothing.
    v->cmdProcesarShpBin_Click();
    EXPECT_TRUE(mensajes.cajas.empty());

    selector->respuestas = {shp, bin};
    Pulsa(*v, "cmdElegirShp");
    Pulsa(*v, "cmdElegirBinSalida");
    EXPECT_EQ(selector->preguntas.at(1).titulo, "Elegir fichero BIN de salida");
    EXPECT_EQ(selector->preguntas.at(1).filtro, "Fichero BIN de Digi (*.bin)|*.bin");
    EXPECT_TRUE(Visible(*v, "cmdProcesarShpBin"));
    Pulsa(*v, "Opt_uds_mm");
    Control<QLineEdit>(*v, "txtCodigo")->setText(QStringLiteral("1234"));
    Elige(Selector(*v, 0), "3 TABLA");
    Elige(Selector(*v, 1), "4 REGISTRO");
    Pulsa(*v, "chkCotas");
    Elige(Control<QComboBox>(*v, "cmbTablaDbf_Z"), "5 COTA");
    Pulsa(*v, "cmdProcesarShpBin");

    EXPECT_TRUE(mensajes.cajas.empty());
    EXPECT_EQ(Control<QLabel>(*v, "lbl_Proceso")->text(), "Proceso Terminado");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The marker went the whole track and was reset at the end.
    EXPECT_GE(vigia.maximo, Control(*v, "pcb_BarraProceso")->contentsRect().width() - 1);
    EXPECT_EQ(v->AnchoMarcadorTwips(), 0);

    brisquel::FicheroDigi digi;
    int32_t nfich = 0;
    digi.AbreFichero(bin, nfich);
    std::vector<brisquel::tipo_entidad> elementos;
    digi.CargaFicheroDigi(bin, elementos, nfich);
    digi.CierraFichero(bin, nfich);
    ASSERT_EQ(elementos.size(), 2u);
    const auto& e1 = elementos[0].elemento;
    EXPECT_EQ(e1.cabecera.tipo, "C=");
    EXPECT_EQ(e1.cabecera.codigo.substr(0, 4), "1234");
    ASSERT_EQ(e1.coordenadas.size(), 2u);
    EXPECT_EQ(e1.coordenadas[0], (brisquel::Fpunto3d{1500, 2250, 5500}));  // Z from COTA, in mm
    ASSERT_EQ(e1.atributos.size(), 1u);
    EXPECT_EQ(e1.atributos[0].idTabla, 7);
    EXPECT_EQ(e1.atributos[0].nregistro, 12);
    const auto& e2 = elementos[1].elemento;
    EXPECT_EQ(e2.coordenadas[1], (brisquel::Fpunto3d{11000, 21000, 0}));  // COTA 0: the vertex's Z
    ASSERT_EQ(e2.atributos.size(), 1u);
    EXPECT_EQ(e2.atributos[0].idTabla, 8);
    EXPECT_EQ(e2.atributos[0].nregistro, 13);
}

}  // namespace
}  // namespace parvenza
