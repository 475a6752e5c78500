#include "converter/core/Omision.h"

namespace parvenza {

Omision& Omisiones::Entrada(const std::string& fichero, const std::string& clase) {
    // A run meets a handful of kinds: a walk is quicker than any index.
    for (Omision& o : m_clases)
        if (o.clase == clase && o.fichero == fichero) return o;
    m_clases.push_back({fichero, clase, 0, {}});
    return m_clases.back();
}

void Omisiones::Anota(const std::string& fichero, const std::string& clase,
                      const std::string& caso) {
    Omision& o = Entrada(fichero, clase);
    ++o.veces;
    if (o.casos.size() < kCasos) o.casos.push_back(caso);
}

void Omisiones::Suma(const Omision& otra) {
    if (otra.veces <= 0) return;
    Omision& o = Entrada(otra.fichero, otra.clase);
    o.veces += otra.veces;
    for (const std::string& c : otra.casos)
        if (o.casos.size() < kCasos) o.casos.push_back(c);
}

void Omisiones::Junta(const Omisiones& otras) {
    for (const Omision& o : otras) Suma(o);
}

std::vector<std::string> Omisiones::Lineas() const {
    std::vector<std::string> lineas;
    for (const Omision& o : m_clases) {
        std::string l = o.fichero + ": " + o.clase;
        if (o.veces != 1) l += " (" + std::to_string(o.veces) + ")";
        for (size_t i = 0; i < o.casos.size(); ++i) l += (i ? "; " : ": ") + o.casos[i];
        const int64_t mas = o.veces - static_cast<int64_t>(o.casos.size());
        if (!o.casos.empty() && mas > 0) l += "; y " + std::to_string(mas) + " más";
        lineas.push_back(std::move(l));
    }
    return lineas;
}

}  // namespace parvenza
