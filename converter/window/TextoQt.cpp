#include "converter/window/TextoQt.h"

#include <QStringDecoder>

#include "digi/Texto1252.h"

namespace parvenza {

QString TextoQt(const std::string& texto) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString s = utf8(QByteArrayView(texto.data(), static_cast<qsizetype>(texto.size())));
    if (!utf8.hasError()) return s;
    return QString::fromStdString(brisquel::Utf8DesdeWindows1252(texto));
}

std::string TextoUtf8(const QString& texto) { return texto.toUtf8().toStdString(); }

std::string Texto1252(const QString& texto) {
    return brisquel::Windows1252DesdeUtf8(texto.toUtf8().toStdString());
}

}  // namespace parvenza
