#include "converter/window/SelectorDialogo.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

#include "converter/window/TextoQt.h"

namespace parvenza {

std::string SelectorDialogo::Elige(const std::string& filtro, const std::string& titulo) {
    QFileDialog dialogo(m_padre, TextoQt(titulo), m_carpeta);
    dialogo.setObjectName("dlgFichero");
    dialogo.setFileMode(QFileDialog::ExistingFile);
    dialogo.setAcceptMode(QFileDialog::AcceptOpen);
    dialogo.setNameFilter(TextoQt(fenoquia::FiltroEnFormaQt(filtro)));
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
