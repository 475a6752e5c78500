#pragma once
// The elements of a conversion run, written into a BIN file's pending append as they are
// built: a run holds one element at a time, whatever the size of its input. Shared by every
// conversion that appends to a BIN file.

#include <cstdint>
#include <string>
#include <vector>

#include "digi/AnexoBin.h"
#include "digi/Registros.h"

namespace brisquel {
class FicheroDigi;
}

namespace parvenza {

class AlmacenBin {
  public:
    using Marca = brisquel::AnexoBin::Marca;

    /// Elements go into `anexo`, which the caller confirms or abandons.
    AlmacenBin(brisquel::AnexoBin& anexo, brisquel::FicheroDigi& digi)
        : m_anexo(anexo), m_digi(digi), m_inicio(anexo.Estado().elementos) {}

    /// Elements this run kept so far (the append may hold earlier runs' before them).
    int64_t size() const { return m_anexo.Estado().elementos - m_inicio; }
    /// Where the run stands, to go back to with Vuelve when a record fails half-way.
    Marca Estado() const { return m_anexo.Estado(); }
    void Vuelve(const Marca& m) { m_anexo.Vuelve(m); }
    /// The links of the record being converted, shared by its elements.
    void Enlaces(const std::vector<brisquel::Fatrib>& enlaces) { m_enlaces = enlaces; }
    /// Appends element `e` ("C=" or "T="; the text of a text element is `texto`) with the
    /// record's links. Throws the append's DigiError: for this element (the append stays as
    /// it was), or for a failed write (the append has failed, see Fallido).
    void Guarda(const brisquel::tipo_entidad& e, const std::string& texto);
    /// Whether a write failed: the run can then only be abandoned.
    bool Fallido() const { return m_anexo.Fallido(); }

  private:
    brisquel::AnexoBin& m_anexo;
    brisquel::FicheroDigi& m_digi;
    int64_t m_inicio;
    std::vector<brisquel::Fatrib> m_enlaces;
    brisquel::tipo_entidad m_elemento;  // reused: its arrays keep their capacity
    std::string m_texto;
};

}  // namespace parvenza
