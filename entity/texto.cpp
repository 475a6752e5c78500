#include "entity/texto.h"

namespace lumeral {

void texto::Texto(const std::string& v) {
    const auto inicio = v.find_first_not_of(' ');
    m_texto = inicio == std::string::npos ? std::string()
                                          : v.substr(inicio, v.find_last_not_of(' ') - inicio + 1);
    if (m_cambioATexto) m_cambioATexto();
}

}  // namespace lumeral
