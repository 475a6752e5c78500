#include "converter/window/Regional.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>
#include <memory>

namespace parvenza {

namespace {
std::string SinEspacios(const std::string& s) {
    const auto inicio = s.find_first_not_of(' ');
    if (inicio == std::string::npos) return {};
    return s.substr(inicio, s.find_last_not_of(' ') - inicio + 1);
}
}  // namespace

Separadores SeparadoresDelPrograma() {
    // A desktop's decimal comma in LC_NUMERIC would reach every printf and strtod of the
    // libraries (shapelib writes and reads DBF numbers that way): the program keeps its own.
    std::setlocale(LC_NUMERIC, "C");
    const std::lconv* lc = std::localeconv();
    return {lc->thousands_sep ? lc->thousands_sep : "", lc->decimal_point ? lc->decimal_point : ""};
}

bool ConfiguracionRegionalCorrecta(const Separadores& separadores) {
    return SinEspacios(separadores.miles).empty() && SinEspacios(separadores.decimal) == ".";
}

QTranslator* InstalaTraduccionQt(const QLocale& idioma) {
    auto traductor = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!traductor->load(idioma, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    QCoreApplication::installTranslator(traductor.get());
    return traductor.release();
}

}  // namespace parvenza
