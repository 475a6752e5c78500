#pragma once
// mdlBaseDatos: the cadastral topology of an Access database (blocks, their parcels, the
// parcels' subparcels), loaded whole into memory for the cadastre runs. The Access tables
// are read with mdbtools, in a child process so that a damaged file cannot take the program
// down, and copied into an in-memory SQLite database, where the loader's queries run; nothing
// is ever written to the Access file.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "comun/Error.h"

struct sqlite3_stmt;

namespace parvenza {

class Puerto;

/// One subparcel. Strings hold Windows-1252 bytes.
struct tipo_subparcela {
    int32_t MsLink = 0;
    std::string SubParcela;
    int32_t idTabla = 0;
    int32_t Registro = 0;  ///< Digi attribute record number of the element that draws it
    std::string Resto;
    double Superficie = 0.0;
    std::string Parcela;  ///< code of the owning parcel
    std::string Manzana;  ///< code of the owning block
};

/// One parcel.
struct tipo_parcela {
    int32_t MsLink = 0;
    std::string Parcela;
    int32_t idTabla = 0;
    int32_t Registro = 0;
    std::string Resto;
    int32_t numSubparcelas = 0;  ///< as stored in the row
    int32_t Tvia = 0;            ///< NumTvia, or the first UniParTVia_bin row of the parcel
    int32_t Tpol = 0;            ///< NumTpol, or the first UniParTPol_bin row of the parcel
    double Superficie = 0.0;
    bool Solar = false;
    std::vector<tipo_subparcela> Subparcelas;  ///< ascending MsLink
    std::string Manzana;                       ///< code of the owning block
};

/// One block.
struct tipo_manzana {
    int32_t MsLink = 0;
    std::string Manzana;
    int32_t idTabla = 0;
    int32_t Registro = 0;
    std::string Resto;
    int32_t numParcelas = 0;  ///< as stored in the row
    double Superficie = 0.0;
    std::vector<tipo_parcela> Parcelas;  ///< ascending MsLink
};

/// The error of the topology database: a number (the shared error numbers: 6 overflow,
/// 13 type mismatch, 53 file not found, 5 anything else the database refuses) and a
/// message naming the file, and the table and column where one is concerned.
class TopologiaError : public Error {
  public:
    using Error::Error;
};

/// Codes that CargaTopologia reports in `codigoError`.
enum CodigoTopologia : int32_t {
    kFaltanTablas = 1,           ///< one of the five linked tables is missing
    kSinManzanas = 2,            ///< Manzana_bin has no rows
    kManzanaSinParcelas = 3,     ///< a block has no parcel
    kParcelaSinSubparcelas = 4,  ///< a parcel has no subparcel
};

/// The message shown for a code of CargaTopologia (UTF-8; one name per line).
std::string MensajeErrorTopologia(int32_t codigoError);

/// File dialog of the database choice.
inline constexpr const char* kFiltroMdb = "Fichero MDB de 'rara-zizu' Digi (*.mdb)|*.mdb";
inline constexpr const char* kTituloMdb = "Elegir fichero MDB de topología catastral";

/// A read-only copy of the rows of a table or a query, with a cursor.
class Recordset;

/// The database last opened: the table list of the Access file in its catalogue order, and
/// the copy of the topology tables that the queries run on.
class BaseDatos {
  public:
    /// Reads the table list of `ruta` and copies its topology tables, both in a child process.
    /// Throws TopologiaError (53 missing file, 5 unreadable file: not an Access file, or the
    /// reader died or ran past its time limit before the table list was whole). A failure of
    /// the copy is kept for CopiaTopologia.
    explicit BaseDatos(const std::string& ruta);
    ~BaseDatos();
    BaseDatos(const BaseDatos&) = delete;
    BaseDatos& operator=(const BaseDatos&) = delete;

    const std::string& ruta() const { return m_ruta; }
    /// Table names (UTF-8), in the order of the file's catalogue.
    const std::vector<std::string>& Tablas() const { return m_tablas; }
    /// Opens the query database on the copy of the seven topology tables that exist, with
    /// indexes on their link columns. Throws TopologiaError (5) when the copy failed.
    void CopiaTopologia();
    /// Opens a snapshot of `origen`, a table name or an SQL text; `tabla` names the table
    /// its columns come from, for messages. Throws TopologiaError when a table or column
    /// the text names is missing.
    Recordset AbreRecordset(const std::string& origen, const std::string& tabla);
    /// Opens a snapshot of the query text `antes` + `clave` in decimal + `despues`. The text
    /// is prepared once with the key as a parameter, so a load runs each query form once
    /// through the parser whatever the number of keys. Throws as AbreRecordset.
    Recordset AbreConsulta(const std::string& antes, int32_t clave, const std::string& despues,
                           const std::string& tabla);

  private:
    sqlite3_stmt* Prepara(const std::string& texto, const std::string& tabla);
    Recordset Lee(sqlite3_stmt* st, const std::string& origen, const std::string& tabla);

    class Imagen;
    struct Impl;
    std::string m_ruta;
    std::vector<std::string> m_tablas;
    std::unique_ptr<Impl> m_impl;
};

/// A value of a database column; Null reads as 0 or the empty string.
struct Valor {
    enum Tipo { Nulo, Entero, Real, Texto } tipo = Nulo;
    int64_t entero = 0;
    double real = 0.0;
    std::string texto;  ///< UTF-8, as the database layer gives it
};

class Recordset {
  public:
    Recordset(std::string origen, std::string tabla, std::string ruta,
              std::vector<std::string> columnas, std::vector<std::vector<Valor>> filas);

    bool Eof() const { return m_fila >= m_filas.size(); }  ///< the recordset's EOF
    void MoveFirst() { m_fila = 0; }
    void MoveLast() { m_fila = m_filas.empty() ? 0 : m_filas.size() - 1; }
    void MoveNext() {
        if (m_fila < m_filas.size()) ++m_fila;
    }
    int32_t RecordCount() const { return static_cast<int32_t>(m_filas.size()); }
    void Close() {
        m_filas.clear();
        m_fila = 0;
    }

    /// Readings of a column of the current row, by name without regard to case. Throw
    /// TopologiaError naming the file, table and column when the column is missing, when
    /// there is no current row, or when the value does not fit (6) or is no number (13).
    int32_t Entero(const std::string& columna) const;
    double Doble(const std::string& columna) const;
    std::string Texto(const std::string& columna) const;  ///< Windows-1252 bytes
    bool Booleano(const std::string& columna) const;

  private:
    const Valor& Campo(const std::string& columna) const;
    [[noreturn]] void Falla(int numero, const std::string& columna, const std::string& que) const;

    std::string m_origen, m_tabla, m_ruta;
    std::vector<std::string> m_columnas;
    std::vector<std::vector<Valor>> m_filas;
    size_t m_fila = 0;
};

/// True when the open database has a table named `nombre`, compared without regard to
/// case. Walks the table list in order; a name with a space met before the wanted one
/// shows "Nombre de tabla con espacios :" and the name, then ends the program.
bool ExisteTabla(const BaseDatos& bd, const std::string& nombre, Puerto& puerto);

/// True when the recordset holds a row; leaves the cursor on the last row.
bool HayRegistros(Recordset& rs);

/// Loads the whole topology of the database `ruta` into `Manzanas` (rebuilt). Codes 1 and
/// 2 stop the load; 3 and 4 are noted and the load goes on. `hayError` is set on any code
/// and never reset; `codigoError` holds the last code. The busy pointer is on meanwhile.
/// A failure of the database (missing file, table or column, value out of range) throws
/// TopologiaError; a table name with a space ends the program (ExisteTabla).
void CargaTopologia(const std::string& ruta, std::vector<tipo_manzana>& Manzanas, bool& hayError,
                    int32_t& codigoError, Puerto& puerto);

/// The topology of the program and whether a database is chosen (`MdbElegido`).
struct Topologia {
    std::vector<tipo_manzana> Manzanas;
    bool MdbElegido = false;
};

/// The work of the "cmdElegirMdb" button: asks for the database through the port's
/// PideFichero (kFiltroMdb, kTituloMdb); on cancel leaves `MdbElegido` false (an earlier
/// load no longer counts). Otherwise loads it into `topologia.Manzanas`; an error code, a
/// database failure or a table name with a space ends the program: FinDePrograma with its
/// message. Returns `MdbElegido`.
bool ElegirMdb(Topologia& topologia, Puerto& puerto);

/// The load of ElegirMdb once `ruta` is chosen, for hosts without a file dialog (the
/// command line): sets `MdbElegido` and loads; every failure throws FinDePrograma.
void CargaMdb(const std::string& ruta, Topologia& topologia, Puerto& puerto);

}  // namespace parvenza
