#pragma once
// The window's open-file dialog: a QFileDialog behind the utilities library's chooser.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "utilities/SelectorFichero.h"

namespace parvenza {

/// Shows a modal QFileDialog over the window for every file choice of the program.
/// Extensions match without regard to case, as on the file systems the data comes from,
/// and each dialog opens in the folder of the previous choice. A file to write is asked
/// with a save dialog that takes a new name.
class SelectorDialogo : public fenoquia::SelectorFichero {
  public:
    explicit SelectorDialogo(QWidget* padre) : m_padre(padre) {}
    std::string Elige(const std::string& filtro, const std::string& titulo) override;
    std::string EligeNuevo(const std::string& filtro, const std::string& titulo) override;

  private:
    std::string Pregunta(const std::string& filtro, const std::string& titulo, bool nuevo);

    QPointer<QWidget> m_padre;
    QString m_carpeta;
};

}  // namespace parvenza
