#include "converter/window/SelectorDialogo.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

#include "converter/window/TextoQt.h"

namespace parvenza {

std::string SelectorDialogo::Elige(const std::string& filtro, const std::string& titulo) {
    return Pregunta(filtro, titulo, false);
}

std::string SelectorDialogo::EligeNuevo(const std::string& filtro, const std::string& titulo) {
    return Pregunta(filtro, titulo, true);
}

std::string SelectorDialogo::Pregunta(const std::string& filtro, const std::string& titulo,
                                      bool nuevo) {
    QFileDialog dialogo(m_padre, TextoQt(titulo), m_carpeta);
    dialogo.setObjectName("dlgFichero");
    if (nuevo) {
        // The run appends to the file, or creates it: nothing is overwritten.
        dialogo.setFileMode(QFileDialog::AnyFile);
        dialogo.setAcceptMode(QFileDialog::AcceptSave);
        dialogo.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialogo.setFileMode(QFileDialog::ExistingFile);
        dialogo.setAcceptMode(QFileDialog::AcceptOpen);
    }
    const QString filtroQt = TextoQt(fenoquia::FiltroEnFormaQt(filtro));
    dialogo.setNameFilter(filtroQt);
    // A new name typed without extension gets the filter's ("nuevo" -> "nuevo.bin").
    const qsizetype punto = filtroQt.indexOf(QStringLiteral("*."));
    if (nuevo && punto >= 0) {
        const QString resto = filtroQt.mid(punto + 2);
        const qsizetype fin = resto.indexOf(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")));
        dialogo.setDefaultSuffix(resto.left(fin));
    }
    // "*.bin" must also show HOJA.BIN.
    dialogo.setFilter(dialogo.filter() & ~QDir::CaseSensitive);
    if (dialogo.exec() != QDialog::Accepted) return {};
    const QStringList elegidos = dialogo.selectedFiles();
    if (elegidos.isEmpty() || elegidos.front().isEmpty()) return {};
    const QString ruta = QDir::cleanPath(QFileInfo(elegidos.front()).absoluteFilePath());
    m_carpeta = QFileInfo(ruta).absolutePath();
    return QFile::encodeName(ruta).toStdString();
}

}  // namespace parvenza
