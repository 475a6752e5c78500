#pragma once
// A read-only line that shows a chosen path beside its button.

#include <QLabel>

namespace parvenza {

/// Shows its text on one line, cut in the middle ("/datos/…/hoja.bin") when it does not fit,
/// with the whole text as tooltip. `text()` keeps the whole text. Its width does not follow the
/// text, so choosing a long path does not widen the window.
class LineaRuta : public QLabel {
  public:
    explicit LineaRuta(QWidget* padre = nullptr);

    /// Shows `texto`, with `completo` as tooltip (the text itself when empty).
    void Muestra(const QString& texto, const QString& completo = {});
    /// The text as painted now, cut to the width.
    QString TextoVisible() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* evento) override;
};

}  // namespace parvenza
