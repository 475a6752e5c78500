#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "entity/Entidad.h"

namespace lumeral {

/// Colección de entidades: an ordered collection of shared entities, each under the key of
/// the decimal digits of the Id the collection gave it. Ids are never reused.
/// Positions are 1-based. Throws EntidadError.
class Entidades {
  public:
    using const_iterator = std::vector<std::shared_ptr<Entidad>>::const_iterator;

    /// Añade una entidad a la colección: gives `ent` (or a new entity when null) the next Id
    /// and appends it. EntidadError 6 when the Ids run out.
    std::shared_ptr<Entidad> Anade(std::shared_ptr<Entidad> ent = nullptr);
    /// Número de entidades en la colección.
    int32_t Contador() const { return static_cast<int32_t>(m_entidades.size()); }
    /// Borra una entidad (indice) de la colección; EntidadError 9 outside 1..Contador().
    void Borra(int32_t indice);
    /// Selecciona una entidad (indice) de la colección; EntidadError 9 outside 1..Contador().
    std::shared_ptr<Entidad> item(int32_t indice) const;
    /// The key under which the entity at `indice` is stored.
    const std::string& Clave(int32_t indice) const;

    /// Iteration in collection order (for (auto& e : entidades)).
    const_iterator begin() const { return m_entidades.begin(); }
    const_iterator end() const { return m_entidades.end(); }

  private:
    void Comprueba(int32_t indice, const char* que) const;
    int32_t m_contador = 0;
    std::vector<std::shared_ptr<Entidad>> m_entidades;
    std::vector<std::string> m_claves;
};

}  // namespace lumeral
