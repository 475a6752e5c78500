#pragma once
// The regional-settings check of the window's start, and Qt's own translations for the
// desktop's language. The program converts its number texts by fixed rules of its own ("." as
// decimal point, no thousands separator) whatever the desktop says; the check tests those.

#include <QLocale>
#include <string>

class QTranslator;

namespace parvenza {

/// The two separators of a number format.
struct Separadores {
    std::string miles;    ///< thousands separator
    std::string decimal;  ///< decimal separator
};

/// The separators of the rules the program converts numbers by: the C library's numeric
/// rules (shapelib's printf and atof, the program's own number texts), which this puts to "C"
/// whatever the desktop's format is, and then reads with localeconv().
Separadores SeparadoresDelPrograma();

/// True when, trimmed of spaces, the thousands separator is empty and the decimal one is ".".
bool ConfiguracionRegionalCorrecta(const Separadores& separadores);

/// Loads and installs Qt's translation of its standard dialogs and buttons for `idioma`
/// ("Abrir", "Cancelar"...). Returns the installed translator, owned by the application,
/// or nullptr when the translations for that language are not installed.
QTranslator* InstalaTraduccionQt(const QLocale& idioma = QLocale::system());

}  // namespace parvenza
