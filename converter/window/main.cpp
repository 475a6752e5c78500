// parvenza: the converter's window program.
//   parvenza                    opens the window
//   parvenza --screenshot FILE  opens it, saves a PNG of it once it is on screen, and ends
//   parvenza --all-controls     shows every control, also those the window hides until used
//   parvenza --bin2shp FILE     chooses the BIN file FILE and converts it, as its buttons do
//                               (with --screenshot: the window after a run)

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QTimer>
#include <QWindow>
#include <clocale>
#include <cstdio>
#include <memory>

#include "converter/window/Regional.h"
#include "converter/window/SelectorDialogo.h"
#include "converter/window/Ventana.h"
#include "digi/Mensajes.h"
#include "utilities/SelectorFichero.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parvenza"));
    // The installed desktop entry and icon (share/applications, share/icons) carry this name.
    QApplication::setDesktopFileName(QStringLiteral("parvenza"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("parvenza")));
    // Qt has just taken the user's locale for the whole process; numbers stay with a point.
    std::setlocale(LC_NUMERIC, "C");
    // The file dialogs and message-box buttons in the desktop's language, as the window's own.
    parvenza::InstalaTraduccionQt();

    QString captura, binShp;
    bool todo = false;
    const QStringList argumentos = QApplication::arguments();
    for (qsizetype i = 1; i < argumentos.size(); ++i) {
        if (argumentos[i] == QLatin1String("--screenshot") && i + 1 < argumentos.size()) {
            captura = argumentos[++i];
        } else if (argumentos[i] == QLatin1String("--all-controls")) {
            todo = true;
        } else if (argumentos[i] == QLatin1String("--bin2shp") && i + 1 < argumentos.size()) {
            binShp = argumentos[++i];
        } else {
            std::fprintf(stderr,
                         "uso: parvenza [--screenshot FICHERO.png] [--all-controls] "
                         "[--bin2shp FICHERO.bin]\n");
            return 2;
        }
    }

    parvenza::Ventana ventana;
    const auto dialogo = std::make_shared<parvenza::SelectorDialogo>(&ventana);
    fenoquia::EstableceSelectorFichero(dialogo);
    brisquel::EstableceMensajero([&ventana](const std::string& texto) { ventana.Mensaje(texto); });

    ventana.Form_Load();
    if (todo) ventana.MuestraTodo();
    ventana.show();
    if (!binShp.isEmpty()) {
        fenoquia::EstableceSelectorFichero(
            std::make_shared<fenoquia::SelectorFijo>(QFile::encodeName(binShp).toStdString()));
        ventana.cmdElegirBin_Click();
        ventana.cmdProcesarBinShp_Click();
        fenoquia::EstableceSelectorFichero(dialogo);
    }

    QTimer espera;
    if (!captura.isEmpty()) {
        // Poll until the window system shows the window, then grab it.
        int intentos = 0;
        QObject::connect(&espera, &QTimer::timeout, [&] {
            QWindow* w = ventana.windowHandle();
            if ((w && w->isExposed()) || ++intentos > 200) {
                espera.stop();
                QApplication::processEvents();
                const bool guardada = ventana.grab().save(captura, "PNG");
                if (!guardada)
                    std::fprintf(stderr, "parvenza: no se pudo guardar %s\n", qPrintable(captura));
                QApplication::exit(guardada ? 0 : 1);
            }
        });
        espera.start(50);
    }
    const int estado = QApplication::exec();

    brisquel::EstableceMensajero({});
    fenoquia::EstableceSelectorFichero(nullptr);
    return estado;
}
