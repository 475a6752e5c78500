#include "converter/window/LineaRuta.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace parvenza {

namespace {
constexpr int kMargen = 4;  // pixels between the frame and the text
}

LineaRuta::LineaRuta(QWidget* padre) : QLabel(padre) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LineaRuta::Muestra(const QString& texto, const QString& completo) {
    setText(texto);
    setToolTip(completo.isEmpty() ? texto : completo);
}

QString LineaRuta::TextoVisible() const {
    const int ancho = contentsRect().width() - 2 * kMargen;
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, std::max(ancho, 0));
}

QSize LineaRuta::sizeHint() const {
    const QMargins m = contentsMargins();
    return {fontMetrics().averageCharWidth() * 40 + 2 * kMargen + m.left() + m.right(),
            fontMetrics().height() + 6 + m.top() + m.bottom()};
}

QSize LineaRuta::minimumSizeHint() const {
    const QSize s = sizeHint();
    return {fontMetrics().averageCharWidth() * 12, s.height()};
}

void LineaRuta::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawFrame(&p);
    p.setPen(palette().color(QPalette::Text));
    p.drawText(contentsRect().adjusted(kMargen, 0, -kMargen, 0), Qt::AlignVCenter | Qt::AlignLeft,
               TextoVisible());
}

}  // namespace parvenza
