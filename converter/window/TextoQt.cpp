#include "converter/window/TextoQt.h"

#include <QStringDecoder>

namespace parvenza {

namespace {
// The 32 code points of Windows-1252 between 0x80 and 0x9F; 0 marks the five unused bytes.
constexpr char16_t kCp1252Alto[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

QString TextoQt(const std::string& texto) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString s = utf8(QByteArrayView(texto.data(), static_cast<qsizetype>(texto.size())));
    if (!utf8.hasError()) return s;
    s.clear();
    s.reserve(static_cast<qsizetype>(texto.size()));
    for (unsigned char c : texto) {
        char16_t u = c;
        if (c >= 0x80 && c <= 0x9F && kCp1252Alto[c - 0x80] != 0) u = kCp1252Alto[c - 0x80];
        s.append(QChar(u));
    }
    return s;
}

std::string TextoUtf8(const QString& texto) { return texto.toUtf8().toStdString(); }

}  // namespace parvenza
