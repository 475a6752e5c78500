#pragma once
// The GDAL vector driver of Digi BIN sheets. A sheet opens as the layers bin2shp writes for it
// (formas::CapaDe decides, formas::Geometria shapes), each feature read from its element when
// asked for; features written go to the sheet in one all-or-nothing append (brisquel::AnexoBin).

#include <ogrsf_frmts.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "converter/formas/Formas.h"
#include "digi/FicheroDigi.h"

namespace brisquel {
class AnexoBin;
}

namespace parvenza::gdal {

class HojaDigi;

/// What a layer writes its features with: the fields that give the code, the text and its
/// properties and the attribute links (empty: none), and the values used where none does.
struct OpcionesEscritura {
    std::string campoCodigo, campoTexto, campoAltura, campoJustificacion, campoGiro;
    double altura = 1.5, justificacion = 0, giro = 0;
    /// Each link: the fields of its table and record numbers, or only a field of the rest.
    struct Enlace {
        std::string tabla, registro, resto;
    };
    std::vector<Enlace> enlaces;
    std::string campoEnlacesJson;  ///< a JSON list as the reader writes it (ENLACES)
};

/// One element of a layer: where it is in the file, its ordinal (POLY_ID, the FID) and the
/// extent of its shape in the layer in file units, rounded outwards (none: xmin > xmax). A
/// million elements take 24 MB.
struct Entrada {
    int32_t puntero;
    int32_t ordinal;
    int32_t xmin, ymin, xmax, ymax;
};

/// One layer of a sheet: the elements one of the five kinds takes, or a layer made to write.
class CapaDigi final : public OGRLayer {
  public:
    CapaDigi(HojaDigi& hoja, const std::string& nombre, formas::Capa capa, bool conZ,
             char** opciones);
    ~CapaDigi() override;

    void ResetReading() override { m_siguiente = 0; }
    OGRFeature* GetNextFeature() override;
    OGRFeature* GetFeature(GIntBig fid) override;
    OGRFeatureDefn* GetLayerDefn() override { return m_definicion; }
    GIntBig GetFeatureCount(int forzar) override;
    OGRErr GetExtent(OGREnvelope* caja, int forzar) override;
    OGRErr GetExtent(int geometria, OGREnvelope* caja, int forzar) override {
        return OGRLayer::GetExtent(geometria, caja, forzar);
    }
    int TestCapability(const char* capacidad) override;
    OGRErr ICreateFeature(OGRFeature* rasgo) override;
    OGRErr CreateField(OGRFieldDefn* campo, int aproximado) override;

    /// Takes the elements of the layer, in file order.
    void Toma(std::vector<Entrada>&& entradas);

  private:
    OGRFeature* Rasgo(const Entrada& e);

    HojaDigi& m_hoja;
    formas::Capa m_capa;
    OGRFeatureDefn* m_definicion;
    std::vector<Entrada> m_entradas;  // in file order, so by ordinal
    OGREnvelope m_extension;
    size_t m_siguiente = 0;
    char** m_opciones = nullptr;
};

/// An open sheet, for reading, for appending to, or new.
class HojaDigi final : public GDALDataset {
  public:
    static int Identifica(GDALOpenInfo* info);
    static GDALDataset* Abre(GDALOpenInfo* info);
    static GDALDataset* Crea(const char* nombre, int, int, int, GDALDataType, char** opciones);
    ~HojaDigi() override;

    int GetLayerCount() override { return static_cast<int>(m_capas.size()); }
    OGRLayer* GetLayer(int i) override;
    int TestCapability(const char* capacidad) override;
    OGRLayer* ICreateLayer(const char* nombre, OGRSpatialReference* srs, OGRwkbGeometryType tipo,
                           char** opciones) override;

    double Divisor() const { return m_divisor; }
    /// The element at byte `puntero` into `e`; false, with a GDAL error, when it cannot be read.
    bool Lee(int32_t puntero, brisquel::tipo_entidad& e);
    /// Appends the elements of `rasgo` to the pending write. A feature that cannot be written
    /// raises a GDAL error and makes the whole write be abandoned when the sheet is closed.
    OGRErr Escribe(OGRFeature& rasgo, const OpcionesEscritura& o);
    brisquel::FicheroDigi& Digi() { return m_digi; }

  private:
    HojaDigi() = default;
    bool Recorre(const std::string& textos);
    bool AbreAnexo();
    /// Writes the coordinate system the written layers came with beside the sheet, as bin2shp
    /// finds it, unless a .prj is there already.
    void EscribePrj();

    std::string m_ruta;
    brisquel::FicheroDigi m_digi;
    int32_t m_nfich = 0;
    double m_divisor = 100;
    std::vector<std::unique_ptr<CapaDigi>> m_capas;
    std::unique_ptr<brisquel::AnexoBin> m_anexo;
    bool m_actualizable = false;
    bool m_fallido = false;
    bool m_avisoTexto = false;
    std::string m_wkt;                 ///< ESRI WKT of the first written layer's coordinate system
    brisquel::tipo_entidad m_entidad;  // reused for every element written
};

}  // namespace parvenza::gdal
