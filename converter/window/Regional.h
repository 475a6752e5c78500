#pragma once
// The regional-settings check of the window's start: the converter reads and writes numbers
// with a decimal point and no thousands separator, and says so when the user's settings differ.

#include <string>

namespace parvenza {

/// The two separators of the user's number format.
struct Separadores {
    std::string miles;    ///< thousands separator
    std::string decimal;  ///< decimal separator
};

/// Reads the process's numeric locale as the user set it (setlocale(LC_ALL, "") and
/// localeconv()), then puts LC_NUMERIC back to "C", so that whatever the check finds,
/// the libraries keep writing numbers with a point.
Separadores LeeSeparadoresRegionales();

/// True when, trimmed of spaces, the thousands separator is empty and the decimal one is ".".
bool ConfiguracionRegionalCorrecta(const Separadores& separadores);

}  // namespace parvenza
