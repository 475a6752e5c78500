#pragma once
// The shapefile component: one open shapefile (.shp, .shx, .dbf), a record cursor and one
// pending record, written over shapelib. Nothing above this header sees a shapelib handle.
//
// Numbering: records, fields, vertices and parts count from 1, as callers show them.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>

#include "comun/Error.h"

namespace parvenza {

/// The component's one exception type: an error number and a message naming the file and
/// the record or field concerned. Numbers: 5 invalid call or unreadable record,
/// 9 no such field, vertex or part, 13 type mismatch, 53 file not found, 57 write failure,
/// 75 file that cannot be made for another reason,
/// 70 permission denied, 76 path not found, 458 a value the record or field cannot hold.
class ShapefileError : public Error {
  public:
    using Error::Error;
};

/// A field value read back: null, a whole number, a number with decimals, or the field's
/// text (Windows-1252, read in the table's code page; trailing blanks removed).
using ValorCampo = std::variant<std::monostate, int32_t, double, std::string>;

/// True when the value is null.
inline bool EsNulo(const ValorCampo& v) { return std::holds_alternative<std::monostate>(v); }

/// The value as text: numbers in plain decimal notation, null as "".
std::string TextoDe(const ValorCampo& v);

class Shapefile;

/// One field of the open file. Reading gives the pending record's value when it has been
/// set since the last WriteRecord, else the current record's.
class ShapeField {
  public:
    /// Field name in Windows-1252, read in the table's code page.
    std::string Name() const;
    /// dBase type letter ('N', 'F', 'C', 'D', 'L').
    char Type() const;
    int Width() const;
    int Decimals() const;
    /// Value of the pending or the current record; null when neither has one.
    /// Throws 5 when the current record cannot be read, 458 when its text is not a number.
    ValorCampo Value() const;
    /// Sets the field of the pending record. A number that does not fit the field's width
    /// throws 458; text into a numeric field that is not a number throws 13. Text longer
    /// than a character field is cut at the field's width.
    void Value(int32_t valor);
    void Value(int64_t valor);
    void Value(double valor);
    void Value(const std::string& valor);
    void Value(const char* valor) { Value(std::string(valor)); }
    /// Marks the field for removal by ApplyFieldDeletions.
    void Delete();

  private:
    friend class ShapeFields;
    ShapeField(Shapefile* shp, int indice) : m_shp(shp), m_indice(indice) {}
    Shapefile* m_shp;
    int m_indice;  ///< 0-based
};

/// The field list of the open file.
class ShapeFields {
  public:
    /// Adds a field to a new file before CommitFieldDefinitions. Type codes: 4 numeric without
    /// decimals, 7 numeric with `decimales`, 10 character. Throws 5 otherwise.
    void Add(const std::string& nombre, int tipo, int ancho, int decimales = 0);
    /// The field of that name, compared without regard to case; throws 9 when there is none.
    ShapeField Item(const std::string& nombre) const;
    /// The field at 1-based `posicion`; throws 9 outside 1..Count.
    ShapeField Item(int posicion) const;
    int Count() const;

  private:
    friend class Shapefile;
    explicit ShapeFields(Shapefile* shp) : m_shp(shp) {}
    Shapefile* m_shp;
};

/// One vertex; Z is 0 in files without Z.
struct ShapeVertex {
    double X = 0, Y = 0, Z = 0;
};

/// Vertices of the pending record when it has any, else of the current record.
class ShapeVertices {
  public:
    /// Appends a vertex to the pending record (2D types).
    void Add(double x, double y);
    /// Appends a vertex with Z; throws 5 on a file whose type has no Z.
    void Add(double x, double y, double z);
    /// Appends `n` vertices at once, as n calls of the above would: `z` null for Add(x, y).
    void Add(const double* x, const double* y, const double* z, size_t n);
    /// 1-based; throws 9 outside 1..Count.
    ShapeVertex Item(int indice) const;
    int Count() const;

  private:
    friend class Shapefile;
    explicit ShapeVertices(Shapefile* shp) : m_shp(shp) {}
    Shapefile* m_shp;
};

/// One part: its first and last vertex, 1-based (count = last - first + 1).
struct ShapePart {
    int FirstVertex = 0;
    int LastVertex = 0;
};

/// Parts of the pending record (always one when it has vertices) or of the current record.
class ShapeParts {
  public:
    ShapePart Item(int indice) const;
    int Count() const;

  private:
    friend class Shapefile;
    explicit ShapeParts(Shapefile* shp) : m_shp(shp) {}
    Shapefile* m_shp;
};

/// One shapefile open for writing or reading. The writer never needs an explicit close:
/// the next Open, CloseShapefile or the object's destruction completes the file.
class Shapefile {
  public:
    Shapefile();
    ~Shapefile();
    Shapefile(const Shapefile&) = delete;
    Shapefile& operator=(const Shapefile&) = delete;

    /// Opens `ruta` (the .shp path). `crear` 1 makes a new, empty file of shape type `tipo`
    /// (1, 3, 5, 8, 11, 13, 15, 18 and the M types), replacing any file of that name; 0 opens
    /// an existing file, whose type must equal `tipo` unless `tipo` is 0 (13 otherwise).
    /// A file still open on the object is completed first. Throws 53 for a missing file, 70
    /// or 76 when the file cannot be made, 5 for a bad type or a damaged file.
    void Open(const std::string& ruta, int crear, int tipo);
    /// Open on the files of `archivo` (a .shp path: a temporary name beside `ruta` while a
    /// layer is built, see comun/Reemplazo.h) while messages and Ruta() name `ruta`.
    void OpenAs(const std::string& archivo, const std::string& ruta, int crear, int tipo);
    /// Finishes the field list of a new file; at least one field. Throws 5 otherwise.
    void CommitFieldDefinitions();

    ShapeFields Fields() { return ShapeFields(this); }
    ShapeVertices Vertices() { return ShapeVertices(this); }
    ShapeParts Parts() { return ShapeParts(this); }

    /// Appends the pending record (one part of its vertices; a polygon's ring closed and
    /// turned clockwise) and empties it. Throws 5 on a file not open for writing.
    void WriteRecord();

    int ShapeType() const;
    int32_t RecordCount() const;
    /// Past the last record (the `EOF` of the component; EOF is a C macro).
    bool Eof() const;
    void MoveFirst();
    void MoveNext();
    /// Moves to 1-based record `registro`; beyond the last is past the end. Throws 9 below 1.
    void MoveTo(int32_t registro);

    /// Appends record `registro` (1-based) to the shapefile `ruta`, creating it first with
    /// this file's type and fields when it does not exist. The target stays open on this
    /// object until its next Open or CloseShapefile, or until any object opens that path.
    void CopyRecordTo(const std::string& ruta, int32_t registro);

    /// Set before Open: the file may be modified (records appended, fields deleted).
    void EditMode(bool editable);
    bool EditMode() const;

    /// Set before Open: the code page of an existing table's texts and field names (any
    /// name NombrePagina takes), instead of the one its ".cpg" or language byte declares;
    /// empty goes back to the declared one. Open throws 5 when iconv does not know it.
    void CodePage(const std::string& pagina);
    /// The page the open table's texts and names are read in and brought to Windows-1252
    /// from ("WINDOWS-1252", "UTF-8", "CP850"...).
    std::string CodePage() const;
    /// The page the open table declares when iconv does not know it (its texts are then
    /// read as Windows-1252); empty otherwise.
    std::string UnknownCodePage() const;
    /// Texts read from the table so far in which a character Windows-1252 lacks became "?".
    int64_t LossyTexts() const;

    /// Set before Open: an existing file whose index (".shx") is missing is read through an
    /// index rebuilt from the ".shp" in a private temporary folder, removed when the file is
    /// closed; nothing is written beside the file. The environment's SHAPE_RESTORE_SHX=YES
    /// asks the same. Without either, Open throws 53 saying how to ask for it.
    void RestoreIndex(bool restaurar);

    /// Removes the fields marked with Delete; the attribute table is rebuilt beside the old
    /// one and renamed over it only when completely written, so a failure (a full disk
    /// included) leaves it as it was and throws 57 with the system's reason.
    void ApplyFieldDeletions();
    /// Completes and closes the file and any copy targets; throws 57 with the system's reason
    /// when a byte could not be written.
    void CloseShapefile();

    /// Path of the open .shp file; empty when none.
    const std::string& Ruta() const;

    struct Impl;

  private:
    friend class ShapeField;
    friend class ShapeFields;
    friend class ShapeVertices;
    friend class ShapeParts;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace parvenza
