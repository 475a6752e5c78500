#include "utilities/SelectorFichero.h"

#include <utility>
#include <vector>

namespace fenoquia {

namespace {
std::shared_ptr<SelectorFichero>& Actual() {
    static std::shared_ptr<SelectorFichero> s;
    return s;
}
}  // namespace

void EstableceSelectorFichero(std::shared_ptr<SelectorFichero> selector) {
    Actual() = std::move(selector);
}

std::shared_ptr<SelectorFichero> SelectorFicheroActual() { return Actual(); }

std::string FiltroEnFormaQt(const std::string& filtro) {
    std::vector<std::string> partes;
    std::string::size_type inicio = 0;
    while (true) {
        auto barra = filtro.find('|', inicio);
        partes.push_back(
            filtro.substr(inicio, barra == std::string::npos ? barra : barra - inicio));
        if (barra == std::string::npos) break;
        inicio = barra + 1;
    }
    std::string qt;
    for (std::size_t i = 0; i < partes.size(); i += 2) {
        std::string descripcion = partes[i];
        std::string patron = i + 1 < partes.size() ? partes[i + 1] : std::string();
        if (descripcion.empty() && patron.empty()) continue;
        if (!patron.empty() && descripcion.find("(" + patron + ")") == std::string::npos) {
            // Qt separates several patterns with blanks, the dialog's form with ";".
            std::string qtpatron = patron;
            for (char& c : qtpatron)
                if (c == ';') c = ' ';
            descripcion += (descripcion.empty() ? "(" : " (") + qtpatron + ")";
        }
        if (!qt.empty()) qt += ";;";
        qt += descripcion;
    }
    return qt;
}

}  // namespace fenoquia
