#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "entity/Atr.h"
#include "entity/EntidadError.h"
#include "entity/Estado.h"
#include "entity/MaxMin.h"
#include "entity/Punto3D.h"
#include "entity/texto.h"

namespace lumeral {

class Entidades;

/// Elemento gráfico: one map element with its points, attribute links, text properties,
/// extent and state. Positions are 1-based. The point and attribute lists hold the very
/// objects passed in, shared with the caller. Throws EntidadError.
class Entidad {
  public:
    /// Kinds held in `tipo`.
    static constexpr int16_t kNinguno = 0, kLineal = 1, kPuntual = 2, kTexto = 4;

    Entidad() = default;
    Entidad(const Entidad&) = delete;  // the texto object calls back into its entity
    Entidad& operator=(const Entidad&) = delete;

    int32_t Id() const { return m_id; }
    void Id(int32_t v) { m_id = v; }

    /// 0 until the first point; then 1 line, 2 point, 4 text.
    int16_t tipo() const { return m_tipo; }

    /// The Digi code (max 6 caracteres), stored without leading and trailing spaces.
    const std::string& codigo() const { return m_codigo; }
    void codigo(const std::string& v);

    /// The attribute at `nIndice`; EntidadError 9 outside 1..atributos().
    std::shared_ptr<Atr> Atributo(int32_t nIndice) const;
    int32_t atributos() const { return static_cast<int32_t>(m_atributos.size()); }

    /// The point at `nIndice`; EntidadError 9 outside 1..Puntos().
    std::shared_ptr<Punto3D> Punto(int32_t nIndice) const;
    int32_t Puntos() const { return static_cast<int32_t>(m_puntos.size()); }
    /// Room for `n` points, for a caller that knows how many it will add.
    void ReservaPuntos(int32_t n) { m_puntos.reserve(n > 0 ? static_cast<size_t>(n) : 0); }

    lumeral::MaxMin& MaxMin() { return m_maxmin; }
    lumeral::Estado& Estado() { return m_estado; }
    /// The text properties; every get (re)subscribes this entity to their CambioATexto:
    /// setting the text then keeps only the first point, makes the entity a text and sets
    /// its extent to the text box (EntidadError 9 when the entity has no point).
    texto& Texto();

    /// Appends an attribute (EntidadError 5 when null).
    void AnadeAtributo(std::shared_ptr<Atr> NuevoAtr);
    /// Removes an attribute. Shows "No hay atributos que borrar" or "Este atributo no existe"
    /// and returns without change when there is nothing to remove at `nIndice`;
    /// EntidadError 9 when `nIndice` is below 1.
    void BorraAtributo(int32_t nIndice);

    /// Appends a point: the first makes a point (or a text when the text is set), a second a
    /// line. The extent becomes the point, the text box, or grows to take the new point.
    /// EntidadError 5 when null, 6 when the text box overflows.
    void AnadePunto(std::shared_ptr<Punto3D> NuevoPunto);
    /// Removes a point and updates `tipo`; the extent is kept. Shows "No hay puntos que
    /// borrar", "Solo hay un punto que borrar" or "Ese punto no existe" and removes nothing
    /// in those cases; EntidadError 9 when `nIndice` is below 1.
    void BorraPunto(int32_t nIndice);

    /// Sets the state's area, EsCerrado, tamano, Visible, borrado, colorL, colorRelleno,
    /// modificado and puntero, in that order.
    void AdaptaEstadoEntidad(double nArea, bool nEsCerrado, int32_t nTamano, bool nEsVisible,
                             bool nBorrado, int32_t nColorL, int32_t nColorRelleno,
                             bool nModificado, int32_t nPuntero);

    /// Sets Estado.Visible of every entity of `entidadesN` to whether it passes the filter
    /// `codigos`; `HayEntidades` tells whether any passed. EntidadError 9 on an empty filter.
    void AplicoFiltroCodigosFeaturesValidos(const std::vector<std::string>& codigos,
                                            Entidades& entidadesN, bool& HayEntidades);
    /// Whether the code of `entidadN`, or the `resto` of one of its attributes of table 1,
    /// passes the filter `codigos`.
    bool EsCodigoFeatureValido(Entidad& entidadN, const std::vector<std::string>& codigos);
    /// Whether `codigobin` passes the filter `codigo`: a list of patterns, each a full code,
    /// a prefix followed by "*", or "*" for any code; patterns beginning with "-" exclude
    /// instead. Included by some plain pattern and excluded by none. Case-sensitive.
    /// EntidadError 9 when the list is empty.
    bool EsCodigoValido(const std::vector<std::string>& codigo, const std::string& codigobin);

  private:
    void CambioATexto();
    void CajaDeTexto();
    int16_t TipoDeUnPunto() const;

    int32_t m_id = 0;
    int16_t m_tipo = kNinguno;
    std::string m_codigo;
    std::vector<std::shared_ptr<Atr>> m_atributos;
    std::vector<std::shared_ptr<Punto3D>> m_puntos;
    lumeral::MaxMin m_maxmin;
    lumeral::Estado m_estado;
    texto m_texto;
};

}  // namespace lumeral
