#pragma once
// Cadastre mode of the BIN-to-shapefile run: the lookup of each element in the loaded
// topology, the cadastre fields of its record, and the split into the cadastre layer set.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "converter/core/BinShp.h"
#include "converter/core/Topologia.h"
#include "converter/shapefile/Shapefile.h"
#include "digi/FicheroDigi.h"

namespace parvenza {

/// The cadastre values of the element last looked up.
struct ValoresCatastro {
    std::string masa;     ///< block code
    double area = 0.0;    ///< area of the block, parcel or subparcel
    std::string parcela;  ///< parcel code
    std::string constru;  ///< subparcel code
    int32_t via = 0;      ///< street code of the parcel
    int32_t numero = 0;   ///< police number of the parcel
};

/// The cadastre hook of a run over the topology `manzanas` (which must stay unchanged while
/// the object is used), building the layer set in `carpeta`, the chosen folder.
///
/// Each element coded "1802" (block), "1805" (parcel) or "1808" (subparcel) gets the values
/// of the topology node whose `Registro` is the record number of its attribute of table
/// 150, 151 or 152. It starts from empty values: an element with no such attribute, or
/// whose record number is not in the topology, keeps them empty rather than inheriting the
/// values of the element before it. An element coded "1999" takes its real code from its
/// attributes of table 1 (the last one wins) and gets no lookup.
class Catastro : public GanchoCatastro {
  public:
    Catastro(const std::vector<tipo_manzana>& manzanas, std::string carpeta);

    void Busca(const brisquel::tipo_entidad& entidad, std::string& codigo) override;
    /// Writes "masa", "area", "parcela", "Constru", "Via" and "Numero" when the element's
    /// code is "1802", "1805" or "1808" and the layer is a polygon layer, each only when
    /// the layer has the field (the polygon layer of the cadastre schema has all six).
    /// Line and point layers get none of them.
    void PonCampos(Shapefile& escritor, int16_t tipoCapa) override;
    const std::vector<Corte>& Cortes() const override { return m_cortes; }
    /// GeneraShpCatastro of the run's layers into the chosen folder.
    std::unique_ptr<ConjuntoCatastro> Genera(const CapasDeHoja& capas, Puerto& puerto) override;

    const ValoresCatastro& Valores() const { return m_valores; }
    const std::string& Codigo() const { return m_codigo; }

  private:
    const std::vector<tipo_manzana>& m_manzanas;
    std::string m_carpeta;
    brisquel::FicheroDigi m_digi;
    // Record number -> the node whose values an element of that record gets. Built once,
    // with the precedence of a scan in topology order: within one block (or parcel) the
    // first match, across blocks (or parcels) the last.
    std::unordered_map<int32_t, const tipo_manzana*> m_porManzana;
    std::unordered_map<int32_t, std::pair<const tipo_manzana*, const tipo_parcela*>> m_porParcela;
    struct Subparcela {
        const tipo_manzana* manzana;
        const tipo_parcela* parcela;
        const tipo_subparcela* subparcela;
    };
    std::unordered_map<int32_t, Subparcela> m_porSubparcela;

    std::string m_codigo;  // code of the element last looked up
    ValoresCatastro m_valores;

    // The six fields of the layer last written, found once per layer.
    const Shapefile* m_capa = nullptr;
    std::string m_rutaCapa;
    std::vector<std::pair<int, ShapeField>> m_campos;  // which of the six, and the field
    std::vector<Corte> m_cortes;                       // of the last PonCampos
};

}  // namespace parvenza
