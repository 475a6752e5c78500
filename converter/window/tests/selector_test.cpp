// The window's file chooser: a real QFileDialog, answered by a timer as a person would.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "converter/window/SelectorDialogo.h"
#include "ventana_support.h"

namespace parvenza {
namespace {

using prueba::CarpetaTemporal;

// Calls `paso` with the open file dialog every few milliseconds until it returns true.
class AtiendeDialogo {
  public:
    explicit AtiendeDialogo(std::function<bool(QFileDialog&)> paso) : m_paso(std::move(paso)) {
        QObject::connect(&m_reloj, &QTimer::timeout, [this] {
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (d && d->isVisible() && m_paso(*d)) m_reloj.stop();
        });
        m_reloj.start(20);
    }

  private:
    std::function<bool(QFileDialog&)> m_paso;
    QTimer m_reloj;
};

// Names the dialog offers (enabled entries) in its current folder.
QStringList Ofrecidos(QFileDialog& d) {
    QStringList nombres;
    auto* lista = d.findChild<QListView*>(QStringLiteral("listView"));
    if (!lista) return nombres;
    const QModelIndex raiz = lista->rootIndex();
    for (int i = 0; i < lista->model()->rowCount(raiz); ++i) {
        const QModelIndex ix = lista->model()->index(i, 0, raiz);
        if (lista->model()->flags(ix) & Qt::ItemIsEnabled) nombres << ix.data().toString();
    }
    nombres.sort(Qt::CaseInsensitive);
    return nombres;
}

TEST(SelectorDialogo, ListaSinMirarMayusculasEligeYCancela) {
    CarpetaTemporal carpeta;
    const std::string hoja = carpeta.Fichero("HOJA.BIN");
    carpeta.Fichero("b.bin");
    carpeta.Fichero("c.txt");
    const QString dir = QString::fromStdString(carpeta.ruta().string());
    QWidget padre;
    SelectorDialogo selector(&padre);

    QString titulo;
    QStringList ofrecidos;
    int esperas = 0;
    {
        AtiendeDialogo atiende([&](QFileDialog& d) {
            if (QDir(d.directory()) != QDir(dir)) {
                d.setDirectory(dir);
                return false;
            }
            ofrecidos = Ofrecidos(d);
            if (ofrecidos.size() < 2 && ++esperas < 100) return false;  // the listing comes later
            titulo = d.windowTitle();
            // Typed in the name box, as a person would.
            auto* nombre = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!nombre) return false;
            nombre->setText(QStringLiteral("HOJA.BIN"));
            static_cast<QDialog&>(d).accept();  // QFileDialog::accept checks the choice
            return true;
        });
        EXPECT_EQ(selector.Elige("Fichero BIN de Digi (*.bin)|*.bin", "Elegir fichero"), hoja);
    }
    EXPECT_EQ(titulo, "Elegir fichero");
    EXPECT_EQ(ofrecidos, (QStringList{"b.bin", "HOJA.BIN"}));

    // The next dialog opens where the last choice was made; cancelling gives nothing.
    QString abierta;
    {
        AtiendeDialogo atiende([&](QFileDialog& d) {
            abierta = d.directory().absolutePath();
            d.reject();
            return true;
        });
        EXPECT_EQ(selector.Elige("Fichero SHP (*.shp)|*.shp", "Elegir fichero"), "");
    }
    EXPECT_EQ(QDir(abierta), QDir(dir));
}

}  // namespace
}  // namespace parvenza
