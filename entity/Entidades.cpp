#include "entity/Entidades.h"

#include <limits>

namespace lumeral {

std::shared_ptr<Entidad> Entidades::Anade(std::shared_ptr<Entidad> ent) {
    if (m_contador == std::numeric_limits<int32_t>::max())
        throw EntidadError(kDesbordamiento, "Entidades.Anade: no quedan identificadores");
    if (!ent) ent = std::make_shared<Entidad>();
    ++m_contador;
    ent->Id(m_contador);
    m_entidades.push_back(ent);
    m_claves.push_back(std::to_string(m_contador));
    return ent;
}

void Entidades::Comprueba(int32_t indice, const char* que) const {
    if (indice < 1 || indice > Contador())
        throw EntidadError(kSubindice, std::string("Entidades.") + que + ": la posicion " +
                                           std::to_string(indice) + " no existe (hay " +
                                           std::to_string(Contador()) + ")");
}

void Entidades::Borra(int32_t indice) {
    Comprueba(indice, "Borra");
    m_entidades.erase(m_entidades.begin() + (indice - 1));
    m_claves.erase(m_claves.begin() + (indice - 1));
}

std::shared_ptr<Entidad> Entidades::item(int32_t indice) const {
    Comprueba(indice, "item");
    return m_entidades[indice - 1];
}

const std::string& Entidades::Clave(int32_t indice) const {
    Comprueba(indice, "Clave");
    return m_claves[indice - 1];
}

}  // namespace lumeral
