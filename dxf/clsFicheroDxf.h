#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dxf/DxfError.h"
#include "dxf/Pares.h"
#include "dxf/RegistrosDxf.h"
#include "dxf/TextoDxf.h"

namespace dornavel {

/// What a load left out: entity types it does not convert (polyface and polygon meshes as
/// "POLYFACE_MESH" and "POLYGON_MESH"), group codes it does not use inside the entities it
/// converts (or between a SEQEND and the next entity), and characters of the file's texts
/// that Windows-1252 lacks, each replaced by "?".
struct ResumenCargaDxf {
    std::map<std::string, int64_t> TiposOmitidos;  ///< entity name -> count
    std::map<int, int64_t> GruposOmitidos;         ///< group code -> count
    int64_t CaracteresSustituidos = 0;
};

/// Reads the entities of the ENTITIES sections of an ASCII DXF file, and the layer table that
/// ties Digi codes to DXF layers. LINE, POLYLINE (VERTEX, SEQEND) and TEXT keep their records;
/// LWPOLYLINE, ARC and CIRCLE become POLYLINE records, MTEXT a TEXT record, POINT a record of
/// its own. Object coordinates (extrusion groups 210 to 230) are turned into world ones by the
/// arbitrary-axis rule, arcs and bulges into vertices at most kPasoArcoGrados apart. Texts
/// and layer names are converted to Windows-1252 from the file's encoding (UTF-8 from AC1021
/// on, else $DWGCODEPAGE), with \U+XXXX escapes and the %%c, %%d, %%p, %%% codes decoded.
/// One object reads one file at a time; every method throws DxfError.
class clsFicheroDxf {
  public:
    clsFicheroDxf();
    ~clsFicheroDxf();
    clsFicheroDxf(const clsFicheroDxf&) = delete;
    clsFicheroDxf& operator=(const clsFicheroDxf&) = delete;

    /// Reads the next two lines (LF, CR LF or CR ends) and makes them the current pair:
    /// {group code line, value line}, untouched. DxfError 62 past the last line, 5 when no
    /// file is open.
    ParDxf ReadCodes();

    /// Opens `fichero` for reading under the lowest free file number, returned in `nfich`.
    /// DxfError 53 when it cannot be opened, 55 when this object already has a file open.
    void AbreFicheroDxf(const std::string& fichero, int32_t& nfich);
    /// Closes the file `nfich` (`fichero` is not used). A number this object did not open
    /// is ignored.
    void CierraFicheroDxf(const std::string& fichero, int32_t nfich);

    /// Loads every LINE, POLYLINE and TEXT of every ENTITIES section of the open file, in
    /// file order. `ElementosDxf` is cut to the number of entities loaded when there is at
    /// least one, and left as passed otherwise. Group codes are recognised after trimming
    /// blanks. Entity types it does not convert are skipped up to the next entity, and
    /// group codes it does not use are skipped; both are counted in Resumen(). The load
    /// ends at the 0/EOF pair; a file without one fails with DxfError 62 and keeps the
    /// entities completed before. A value that is not a number where one is expected fails
    /// with DxfError 13 naming the line; so does a binary DXF file, before anything is read.
    /// `fichero` and `nfich` are not used.
    void CargaFicheroDxf(const std::string& fichero, std::vector<tipo_ElementoDxf>& ElementosDxf,
                         int32_t nfich);

    /// As CargaFicheroDxf, handing each entity to `recibe` as it is read instead of keeping
    /// them all: a long drawing is converted without holding it. `recibe` may take the
    /// entity's contents.
    void RecorreFicheroDxf(const std::string& fichero,
                           const std::function<void(tipo_ElementoDxf&)>& recibe, int32_t nfich);

    /// Reads one entity of type `TipoDxf` from the current pair on ("LINE", "POLYLINE" with
    /// its vertices, "LWPOLYLINE", "ARC", "CIRCLE", "TEXT", "MTEXT", "POINT"); any other name
    /// reads nothing and leaves `Tipo` empty. A polyface or polygon mesh is read whole,
    /// counted in Resumen() and leaves `Tipo` empty. On return the current pair is the group 0
    /// pair that ended the entity (a polyline's SEQEND).
    void leeDxf(const std::string& TipoDxf, tipo_ElementoDxf& ElementoDxf);

    /// What the last CargaFicheroDxf (and the leeDxf calls since) left out.
    const ResumenCargaDxf& Resumen() const {
        m_resumen.CaracteresSustituidos = m_texto.Sustituidos();
        return m_resumen;
    }
    /// The current pair.
    const ParDxf& ParActual() const { return m_par; }

    /// Loads the layer table file: one entry per data line (first seven words of leeLinea);
    /// lines that are blank or whose first non-blank character is "/" are skipped. A data
    /// line of fewer than seven words shows "Error en formato de fichero : <file> en la
    /// línea : <n>" (n counts data lines), sets `ErrorFormato`, leaves an empty last entry
    /// and stops. With no data line the table is left as passed. DxfError 53 when the file
    /// cannot be opened, 62 when it has no line at all.
    void CargoFicheroBinDxfTab(const std::string& ficheroBinDxfTab, std::vector<BinDxfTab>& tabla,
                               bool& ErrorFormato);
    /// Finds the first entry whose codigobin equals `codigobin` or whose capa equals
    /// `capadxf` (exact, case-sensitive) and copies it into `info`. Before searching, the
    /// capa and Tipo of `info` are emptied; its other fields keep their values when nothing
    /// is found. Returns whether an entry was found.
    bool BuscaEnBinDxfTab(const std::string& codigobin, const std::string& capadxf,
                          const std::vector<BinDxfTab>& tabla, BinDxfTab& info);
    /// Splits `tira` into words at tab, DC4 (20), space, double quote, comma and semicolon;
    /// runs of separators count as one and leading ones are ignored. A line ending in a
    /// separator gets an empty last word.
    void leeLinea(const std::string& tira, std::vector<std::string>& palabras);

  private:
    struct Comunes;
    void Lee();
    void LeeCabecera();
    bool Comun(Comunes& c);
    void LeeLine(tipo_ElementoDxf& e);
    void LeePolyline(tipo_ElementoDxf& e);
    void LeeLwPolyline(tipo_ElementoDxf& e);
    void LeeArco(tipo_ElementoDxf& e, bool circulo);
    void LeeText(tipo_ElementoDxf& e);
    void LeeMText(tipo_ElementoDxf& e);
    void LeePoint(tipo_ElementoDxf& e);
    void Requiere() const;
    std::string Donde() const;
    double Real(const char* que) const;
    uint8_t Byte(const char* que) const;
    int64_t Entero(const char* que) const;
    int Grupo() const { return m_grupo; }
    bool Es0(const char* nombre) const { return Grupo() == 0 && m_par[1] == nombre; }
    void Omite() { ++m_resumen.GruposOmitidos[Grupo()]; }

    std::string m_fichero;
    int32_t m_nfich = 0;
    std::unique_ptr<std::ifstream> m_in;
    std::unique_ptr<LectorPares> m_lector;
    ParDxf m_par;
    int m_grupo = -1;  // the group code of m_par, read once
    bool m_binario = false;
    TextoDxf m_texto;
    mutable ResumenCargaDxf m_resumen;
};

}  // namespace dornavel
