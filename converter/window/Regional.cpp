#include "converter/window/Regional.h"

#include <clocale>

namespace parvenza {

namespace {
std::string SinEspacios(const std::string& s) {
    const auto inicio = s.find_first_not_of(' ');
    if (inicio == std::string::npos) return {};
    return s.substr(inicio, s.find_last_not_of(' ') - inicio + 1);
}
}  // namespace

Separadores LeeSeparadoresRegionales() {
    std::setlocale(LC_ALL, "");
    const std::lconv* lc = std::localeconv();
    Separadores s{lc->thousands_sep ? lc->thousands_sep : "",
                  lc->decimal_point ? lc->decimal_point : ""};
    // A decimal comma in LC_NUMERIC would reach every printf and strtod of the libraries
    // (shapelib writes DBF numbers that way): keep the user's setting out of them.
    std::setlocale(LC_NUMERIC, "C");
    return s;
}

bool ConfiguracionRegionalCorrecta(const Separadores& separadores) {
    return SinEspacios(separadores.miles).empty() && SinEspacios(separadores.decimal) == ".";
}

}  // namespace parvenza
