#pragma once
// The elements of a conversion run into a BIN file, held compactly until they are written
// in one all-or-nothing append: one small header per element, every vertex in one array,
// codes and texts in one string. A tipo_entidad per element would take twice the memory of
// the BIN file for short lines. Shared by every conversion that appends to a BIN file.

#include <cstdint>
#include <string>
#include <vector>

#include "digi/Registros.h"

namespace brisquel {
class FicheroDigi;
class AnexoBin;
}  // namespace brisquel

namespace parvenza {

class AlmacenBin {
  public:
    struct Marca {
        size_t elementos, puntos, enlaces, cadenas;
    };

    void Reserva(size_t elementos, size_t puntos);
    size_t size() const { return m_cabezas.size(); }
    /// Where the store stands, to go back to with Vuelve when a record fails half-way.
    Marca Estado() const {
        return {m_cabezas.size(), m_puntos.size(), m_enlaces.size(), m_cadenas.size()};
    }
    void Vuelve(const Marca& m);
    /// The links of the record being converted, shared by its elements.
    void Enlaces(const std::vector<brisquel::Fatrib>& enlaces);
    /// Keeps element `e` ("C=" or "T="; the text of a text element is `texto`).
    void Guarda(const brisquel::tipo_entidad& e, const std::string& texto);

    /// Appends every element to `ruta` through one brisquel::AnexoBin: the file is wholly as
    /// before or wholly as after, even when the process is killed. Throws the append's error.
    void Graba(const std::string& ruta, brisquel::FicheroDigi& digi);
    /// Writes every element, one at a time, into the pending append `anexo`.
    void Graba(brisquel::AnexoBin& anexo, brisquel::FicheroDigi& digi);

  private:
    struct Cabeza {
        uint64_t primerPunto = 0;
        uint64_t primerCaracter = 0;
        uint32_t nPuntos = 0;
        uint32_t primerEnlace = 0;
        uint32_t largoTexto = 0;
        int32_t xlib = 0, ylib = 0, zlib = 0;
        uint8_t largoCodigo = 0;
        uint8_t nEnlaces = 0;
        bool texto = false;
    };

    void Rellena(const Cabeza& h, brisquel::tipo_entidad& e, brisquel::FicheroDigi& digi) const;

    std::vector<Cabeza> m_cabezas;
    std::vector<brisquel::Fpunto3d> m_puntos;
    std::vector<brisquel::Fatrib> m_enlaces;
    std::string m_cadenas;
    uint32_t m_primerEnlace = 0;
    uint8_t m_nEnlaces = 0;
};

}  // namespace parvenza
