// mdlBaseDatos: loading the cadastral topology. mdbtools reads the Access tables, SQLite
// (in memory) runs the loader's queries on a copy of them.

#include "converter/core/Topologia.h"

#include <fcntl.h>
#include <glib.h>  // before mdbtools.h, which opens an extern "C" block around it
#include <mdbtools.h>
#include <poll.h>
#include <sqlite3.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "comun/Reemplazo.h"
#include "converter/core/CapasShape.h"
#include "converter/core/Puerto.h"
#include "digi/DigiError.h"
#include "digi/Texto1252.h"

namespace parvenza {

namespace {

// The line break inside a message: hosts (Qt labels, terminals) break lines at '\n'.
const char kRetorno = '\n';

bool IgualesSinCaso(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool NumeroDeTexto(const std::string& texto, double& valor) {
    size_t a = texto.find_first_not_of(" \t");
    size_t z = texto.find_last_not_of(" \t");
    if (a == std::string::npos) return false;
    std::string t = texto.substr(a, z - a + 1);
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), valor);
    if (ec == std::errc() && p == t.data() + t.size()) return true;
    // Amounts the database layer wrote with a decimal comma.
    for (char& ch : t)
        if (ch == ',') ch = '.';
    auto [q, ec2] = std::from_chars(t.data(), t.data() + t.size(), valor);
    return ec2 == std::errc() && q == t.data() + t.size();
}

// Bytes of a column type that the loader reads straight from the data page; 0 for the others.
int TamanoFijo(int tipo) {
    switch (tipo) {
        case MDB_BYTE:
            return 1;
        case MDB_INT:
            return 2;
        case MDB_LONGINT:
        case MDB_FLOAT:
            return 4;
        case MDB_DOUBLE:
            return 8;
        default:
            return 0;
    }
}

std::string Comillas(const std::string& nombre) {
    std::string r = "\"";
    for (char c : nombre) r += c == '"' ? std::string("\"\"") : std::string(1, c);
    return r + "\"";
}

struct Sentencia {
    sqlite3_stmt* s = nullptr;
    ~Sentencia() { sqlite3_finalize(s); }
};

// The seven tables of the topology and the columns that link them.
const char* const kTablasTopologia[] = {"Manzana_bin",   "Parcela_bin",   "SubParcela_bin",
                                        "UniManPar_bin", "UniParSub_bin", "UniParTPol_bin",
                                        "UniParTVia_bin"};
const std::pair<const char*, const char*> kEnlaces[] = {{"Manzana_bin", "MsLink"},
                                                        {"Parcela_bin", "MsLink"},
                                                        {"SubParcela_bin", "MsLink"},
                                                        {"UniManPar_bin", "MsLinkManzana"},
                                                        {"UniManPar_bin", "MsLinkParcela"},
                                                        {"UniParSub_bin", "MsLinkParcela"},
                                                        {"UniParSub_bin", "MsLinkSubParcela"},
                                                        {"UniParTPol_bin", "MsLinkParcela"},
                                                        {"UniParTVia_bin", "MsLinkParcela"}};

}  // namespace

// ----------------------------------------------------------------------------------------
// Reading the Access file

namespace {

// Copies the seven topology tables found in `tablas` into `sql`, with indexes on their link
// columns. Throws std::runtime_error with the reason.
void CopiaTablas(MdbHandle* mdb, const std::vector<std::string>& tablas, sqlite3* sql) {
    auto falla = [](const std::string& que) { throw std::runtime_error(que); };
    auto ejecuta = [&](const std::string& texto) {
        char* error = nullptr;
        if (sqlite3_exec(sql, texto.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string m = error ? error : "?";
            sqlite3_free(error);
            falla(m);
        }
    };
    ejecuta("BEGIN");
    std::vector<std::pair<std::string, std::vector<std::string>>> copiadas;
    for (const char* deseada : kTablasTopologia) {
        std::string nombre;
        for (const auto& t : tablas)
            if (IgualesSinCaso(t, deseada)) nombre = t;
        if (nombre.empty()) continue;  // a query that needs it names it
        MdbTableDef* tabla = mdb_read_table_by_name(mdb, nombre.data(), MDB_TABLE);
        if (!tabla) falla("la tabla " + nombre + " no se puede abrir");
        std::unique_ptr<MdbTableDef, void (*)(MdbTableDef*)> guarda(tabla, mdb_free_tabledef);
        if (!mdb_read_columns(tabla))
            falla("las columnas de la tabla " + nombre + " no se pueden leer");
        mdb_rewind_table(tabla);

        const unsigned ncol = tabla->num_cols;
        std::vector<MdbColumn*> cols(ncol);
        std::vector<std::string> nombres(ncol);
        std::vector<std::vector<char>> enlaces(ncol, std::vector<char>(MDB_BIND_SIZE + 1));
        std::vector<int> longitudes(ncol);
        std::string crea = "CREATE TABLE " + Comillas(nombre) + " (";
        std::string inserta = "INSERT INTO " + Comillas(nombre) + " VALUES (";
        for (unsigned c = 0; c < ncol; ++c) {
            cols[c] = static_cast<MdbColumn*>(g_ptr_array_index(tabla->columns, c));
            nombres[c] = cols[c]->name;
            const char* tipo = "TEXT";
            switch (cols[c]->col_type) {
                case MDB_BOOL:
                case MDB_BYTE:
                case MDB_INT:
                case MDB_LONGINT:
                    tipo = "INTEGER";
                    break;
                case MDB_FLOAT:
                case MDB_DOUBLE:
                    tipo = "REAL";
                    break;
                case MDB_MONEY:
                case MDB_NUMERIC:
                    tipo = "NUMERIC";
                    break;
                default:
                    break;
            }
            crea += (c ? ", " : "") + Comillas(nombres[c]) + " " + tipo;
            inserta += c ? ", ?" : "?";
            // Numbers are taken from the page bytes: exact, and no text formatting per value.
            if (TamanoFijo(cols[c]->col_type) == 0)
                mdb_bind_column(tabla, static_cast<int>(c + 1), enlaces[c].data(), &longitudes[c]);
        }
        ejecuta(crea + ")");
        Sentencia ins;
        if (sqlite3_prepare_v2(sql, (inserta + ")").c_str(), -1, &ins.s, nullptr) != SQLITE_OK)
            falla(sqlite3_errmsg(sql));
        while (mdb_fetch_row(tabla)) {
            for (unsigned c = 0; c < ncol; ++c) {
                MdbColumn* col = cols[c];
                const int i = static_cast<int>(c + 1);
                const char* texto = enlaces[c].data();
                const int tamano = TamanoFijo(col->col_type);
                const unsigned char* pagina = mdb->pg_buf;
                if (col->col_type == MDB_BOOL) {
                    sqlite3_bind_int(ins.s, i, texto[0] == '1' ? 1 : 0);
                } else if (col->cur_value_len == 0) {
                    sqlite3_bind_null(ins.s, i);
                } else if (tamano != 0) {
                    if (col->cur_value_len != tamano || col->cur_value_start < 0 ||
                        col->cur_value_start + tamano > MDB_PGSIZE)
                        falla("valor ilegible en la columna " + nombres[c] + " de la tabla " +
                              nombre);
                    const int p = col->cur_value_start;
                    switch (col->col_type) {
                        case MDB_BYTE:
                            sqlite3_bind_int(ins.s, i, pagina[p]);
                            break;
                        case MDB_INT:
                            sqlite3_bind_int(ins.s, i,
                                             static_cast<int16_t>(pagina[p] | pagina[p + 1] << 8));
                            break;
                        case MDB_LONGINT:
                            sqlite3_bind_int(ins.s, i,
                                             static_cast<int32_t>(mdb_get_int32(mdb->pg_buf, p)));
                            break;
                        case MDB_FLOAT:
                            sqlite3_bind_double(ins.s, i, mdb_get_single(mdb->pg_buf, p));
                            break;
                        default:
                            sqlite3_bind_double(ins.s, i, mdb_get_double(mdb->pg_buf, p));
                            break;
                    }
                } else {
                    sqlite3_bind_text(ins.s, i, texto, -1, SQLITE_STATIC);
                }
            }
            if (sqlite3_step(ins.s) != SQLITE_DONE) falla(sqlite3_errmsg(sql));
            sqlite3_reset(ins.s);
        }
        copiadas.emplace_back(nombre, nombres);
    }
    // Indexes on the link columns keep the per-block and per-parcel queries fast.
    int n = 0;
    for (const auto& [tabla, columna] : kEnlaces)
        for (const auto& [nombre, columnas] : copiadas)
            if (IgualesSinCaso(nombre, tabla))
                for (const auto& c : columnas)
                    if (IgualesSinCaso(c, columna))
                        ejecuta("CREATE INDEX i" + std::to_string(++n) + " ON " + Comillas(nombre) +
                                " (" + Comillas(c) + ")");
    ejecuta("COMMIT");
}

// mdbtools reads the file in a child process: a damaged file can crash it or make it loop,
// and that must end the load, not the program. The child sends frames down a pipe (a kind
// byte, a 64-bit length, the bytes): 'X' the file does not open as a database, 'T' one table
// name, 'C' the table list is whole, then 'D' the size of the SQLite copy of the topology
// tables, which it wrote into an anonymous memory file, or 'E' why it could not make it.
constexpr char kNoAbre = 'X', kTabla = 'T', kCatalogo = 'C', kCopia = 'D', kErrorCopia = 'E';
constexpr int kSegundosLectura = 300;  // far beyond any real topology; only a hang gets there

[[noreturn]] void LeeEnHijo(const std::string& ruta, int fd, int memoria, pid_t padre) {
    // The default actions, so that a crash here is not taken for one of the parent's (a
    // crash handler of the host, a sanitizer or a fuzzer), and leaves no core file.
    for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGPIPE})
        std::signal(s, SIG_DFL);
    const rlimit sinCore = {0, 0};
    setrlimit(RLIMIT_CORE, &sinCore);
    // A hung reader does not outlive the program.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != padre) _exit(3);
    auto escribe = [](int f, const void* datos, size_t n) {
        return comun::EscribeTodo(f, datos, n) == 0;
    };
    auto envia = [&](char tipo, const std::string& datos) {
        char cabecera[9];
        cabecera[0] = tipo;
        const uint64_t n = datos.size();
        std::memcpy(cabecera + 1, &n, sizeof n);
        if (!escribe(fd, cabecera, sizeof cabecera) || !escribe(fd, datos.data(), datos.size()))
            _exit(3);  // the parent is gone
    };

    MdbHandle* mdb = mdb_open(ruta.c_str(), MDB_NOFLAGS);
    if (!mdb || !mdb_read_catalog(mdb, MDB_TABLE)) {
        envia(kNoAbre, "");
        _exit(0);
    }
    std::vector<std::string> tablas;
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (e->object_type != MDB_TABLE) continue;
        tablas.emplace_back(e->object_name);
        envia(kTabla, tablas.back());
    }
    envia(kCatalogo, "");
    try {
        // In memdb, so that the image is handed over without a copy. One thread only: no
        // locking inside SQLite.
        sqlite3* sql = nullptr;
        if (sqlite3_open_v2(
                "file:topologia?vfs=memdb", &sql,
                SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
                nullptr) != SQLITE_OK)
            throw std::runtime_error("sin memoria para la copia");
        CopiaTablas(mdb, tablas, sql);
        sqlite3_int64 n = 0;
        const unsigned char* imagen = sqlite3_serialize(sql, "main", &n, SQLITE_SERIALIZE_NOCOPY);
        if (!imagen) imagen = sqlite3_serialize(sql, "main", &n, 0);
        if (!imagen) throw std::runtime_error("sin memoria para la copia");
        if (!escribe(memoria, imagen, static_cast<size_t>(n)))
            throw std::runtime_error(std::string("sin memoria para la copia: ") +
                                     comun::RazonSistema(errno));
        envia(kCopia, std::to_string(n));
    } catch (const std::bad_alloc&) {
        envia(kErrorCopia, "sin memoria para la copia");
    } catch (const std::exception& e) {
        envia(kErrorCopia, e.what());
    }
    _exit(0);  // no atexit handler of the parent, no flush of its stdio buffers
}

// How the child ended, for the message.
std::string FinDelHijo(int estado) {
    if (WIFSIGNALED(estado)) {
        const int s = WTERMSIG(estado);
        const char* nombre = sigabbrev_np(s);
        return "la lectura terminó con la señal " +
               (nombre ? "SIG" + std::string(nombre) : std::to_string(s));
    }
    if (WIFEXITED(estado) && WEXITSTATUS(estado) != 0)
        return "la lectura terminó con el estado " + std::to_string(WEXITSTATUS(estado));
    return "la lectura se interrumpió";
}

// A descriptor closed on every way out.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

// The SQLite image the child made, mapped read-only for the queries.
class BaseDatos::Imagen {
  public:
    Imagen(int fd, size_t tamano) : m_tamano(tamano) {
        // Private and writable only because SQLite's interface takes a non-const pointer;
        // the database is opened read-only on it.
        m_datos = mmap(nullptr, tamano, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
        if (m_datos == MAP_FAILED) throw std::runtime_error(comun::RazonSistema(errno));
    }
    ~Imagen() { munmap(m_datos, m_tamano); }
    Imagen(const Imagen&) = delete;
    Imagen& operator=(const Imagen&) = delete;
    unsigned char* datos() const { return static_cast<unsigned char*>(m_datos); }
    size_t tamano() const { return m_tamano; }

  private:
    void* m_datos;
    size_t m_tamano;
};

// ----------------------------------------------------------------------------------------
// The database

struct BaseDatos::Impl {
    sqlite3* sql = nullptr;
    std::unique_ptr<Imagen> copia;  // the topology tables, as the reader copied them
    std::string errorCopia;         // why there is no copy
    std::map<std::string, sqlite3_stmt*> consultas;  // prepared once per text
    void CierraConsultas() {
        for (auto& [texto, st] : consultas) sqlite3_finalize(st);
        consultas.clear();
    }
    ~Impl() {
        CierraConsultas();
        if (sql) sqlite3_close(sql);
    }
};

BaseDatos::BaseDatos(const std::string& ruta) : m_ruta(ruta), m_impl(std::make_unique<Impl>()) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(ruta, ec))
        throw TopologiaError(kFicheroNoEncontrado, "No se encuentra la base de datos " + ruta);
    auto falla = [&](const std::string& que) {
        throw TopologiaError(kLlamadaNoValida,
                             "No se puede leer la base de datos " + ruta + ": " + que);
    };
    auto fallaSistema = [&](const char* que) {
        falla(std::string(que) + ": " + comun::RazonSistema(errno));
    };

    Descriptor tubo[2], memoria;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) fallaSistema("sin tubería para leerla");
    tubo[0].fd = fds[0];
    tubo[1].fd = fds[1];
    memoria.fd = memfd_create("topologia", MFD_CLOEXEC);
    if (memoria.fd < 0) fallaSistema("sin memoria para la copia");
    std::fflush(nullptr);  // nothing buffered is written twice
    EsperaLiberaciones();  // no thread of this process mid-way at the fork
    const pid_t padre = getpid();
    const pid_t hijo = fork();
    if (hijo < 0) fallaSistema("sin proceso para leerla");
    if (hijo == 0) {
        close(tubo[0].fd);
        LeeEnHijo(ruta, tubo[1].fd, memoria.fd, padre);
    }
    close(tubo[1].fd);
    tubo[1].fd = -1;

    std::string recibido;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(kSegundosLectura);
    bool aTiempo = true;
    for (;;) {
        const auto quedan = std::chrono::duration_cast<std::chrono::milliseconds>(
                                limite - std::chrono::steady_clock::now())
                                .count();
        pollfd p = {tubo[0].fd, POLLIN, 0};
        const int r = quedan > 0 ? poll(&p, 1, static_cast<int>(quedan)) : 0;
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) {
            aTiempo = false;
            kill(hijo, SIGKILL);
            break;
        }
        char trozo[4096];
        const ssize_t n = read(tubo[0].fd, trozo, sizeof trozo);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        recibido.append(trozo, static_cast<size_t>(n));
    }
    int estado = 0;
    while (waitpid(hijo, &estado, 0) < 0 && errno == EINTR) {
    }

    bool abre = true, catalogo = false, completa = false;
    uint64_t tamano = 0;
    for (size_t i = 0; recibido.size() - i >= 9;) {
        const char tipo = recibido[i];
        uint64_t n;
        std::memcpy(&n, recibido.data() + i + 1, sizeof n);
        if (n > recibido.size() - i - 9) break;
        std::string datos = recibido.substr(i + 9, n);
        i += 9 + n;
        switch (tipo) {
            case kNoAbre:
                abre = false;
                break;
            case kTabla:
                m_tablas.push_back(std::move(datos));
                break;
            case kCatalogo:
                catalogo = true;
                break;
            case kCopia:
                tamano = std::stoull(datos);
                completa = true;
                break;
            case kErrorCopia:
                m_impl->errorCopia = std::move(datos);
                completa = true;
                break;
        }
    }
    if (!abre) falla("no es un fichero MDB");
    std::string fin =
        aTiempo ? FinDelHijo(estado)
                : "la lectura no terminó en " + std::to_string(kSegundosLectura) + " segundos";
    if (!catalogo) falla(fin);
    if (!completa) {
        m_impl->errorCopia = fin;  // the tables were listed: it fails at the first query
    } else if (m_impl->errorCopia.empty() && tamano > 0) {
        try {
            m_impl->copia = std::make_unique<Imagen>(memoria.fd, tamano);
        } catch (const std::runtime_error& e) {
            m_impl->errorCopia = std::string("sin memoria para la copia: ") + e.what();
        }
    }
}

BaseDatos::~BaseDatos() = default;

void BaseDatos::CopiaTopologia() {
    auto falla = [&](const std::string& que) {
        throw TopologiaError(kLlamadaNoValida,
                             "No se puede leer la base de datos " + m_ruta + ": " + que);
    };
    if (m_impl->sql) {
        m_impl->CierraConsultas();
        sqlite3_close(m_impl->sql);
        m_impl->sql = nullptr;
    }
    if (!m_impl->errorCopia.empty()) falla(m_impl->errorCopia);
    // One thread only: no locking inside SQLite.
    if (sqlite3_open_v2(":memory:", &m_impl->sql,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        falla("sin memoria para la copia");
    if (!m_impl->copia) return;  // no topology table: the queries name what is missing
    const auto n = static_cast<sqlite3_int64>(m_impl->copia->tamano());
    if (sqlite3_deserialize(m_impl->sql, "main", m_impl->copia->datos(), n, n,
                            SQLITE_DESERIALIZE_READONLY) != SQLITE_OK)
        falla(sqlite3_errmsg(m_impl->sql));
    // Pages are read in place, not copied into SQLite's cache.
    sqlite3_exec(m_impl->sql, ("PRAGMA mmap_size = " + std::to_string(n)).c_str(), nullptr, nullptr,
                 nullptr);
}

sqlite3_stmt* BaseDatos::Prepara(const std::string& texto, const std::string& tabla) {
    if (!m_impl->sql) CopiaTopologia();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_impl->sql, texto.c_str(), -1, &st, nullptr) == SQLITE_OK) return st;
    std::string error = sqlite3_errmsg(m_impl->sql);
    const std::string sinTabla = "no such table: ", sinColumna = "no such column: ";
    if (error.rfind(sinTabla, 0) == 0)
        throw TopologiaError(kSubindice, "La base de datos " + m_ruta + " no tiene la tabla " +
                                             error.substr(sinTabla.size()));
    if (error.rfind(sinColumna, 0) == 0) {
        std::string c = error.substr(sinColumna.size());
        size_t punto = c.find('.');
        std::string t = punto == std::string::npos ? tabla : c.substr(0, punto);
        if (punto != std::string::npos) c = c.substr(punto + 1);
        throw TopologiaError(kSubindice, "La tabla " + t + " de la base de datos " + m_ruta +
                                             " no tiene la columna " + c);
    }
    throw TopologiaError(kLlamadaNoValida, "Error de la base de datos " + m_ruta + " en la tabla " +
                                               tabla + ": " + error);
}

Recordset BaseDatos::Lee(sqlite3_stmt* st, const std::string& origen, const std::string& tabla) {
    const int ncol = sqlite3_column_count(st);
    std::vector<std::string> columnas;
    for (int c = 0; c < ncol; ++c) columnas.emplace_back(sqlite3_column_name(st, c));
    std::vector<std::vector<Valor>> filas;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        std::vector<Valor> fila(ncol);
        for (int c = 0; c < ncol; ++c) {
            Valor& v = fila[c];
            switch (sqlite3_column_type(st, c)) {
                case SQLITE_INTEGER:
                    v.tipo = Valor::Entero;
                    v.entero = sqlite3_column_int64(st, c);
                    break;
                case SQLITE_FLOAT:
                    v.tipo = Valor::Real;
                    v.real = sqlite3_column_double(st, c);
                    break;
                case SQLITE_NULL:
                    break;
                default:
                    v.tipo = Valor::Texto;
                    v.texto = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                    break;
            }
        }
        filas.push_back(std::move(fila));
    }
    if (rc != SQLITE_DONE)
        throw TopologiaError(kLlamadaNoValida, "Error de la base de datos " + m_ruta +
                                                   " en la tabla " + tabla + ": " +
                                                   sqlite3_errmsg(m_impl->sql));
    return Recordset(origen, tabla, m_ruta, std::move(columnas), std::move(filas));
}

Recordset BaseDatos::AbreRecordset(const std::string& origen, const std::string& tabla) {
    const bool esTabla = origen.find(' ') == std::string::npos;
    Sentencia st;
    st.s =
        Prepara(esTabla ? "SELECT * FROM " + Comillas(origen) + " ORDER BY rowid" : origen, tabla);
    return Lee(st.s, origen, tabla);
}

Recordset BaseDatos::AbreConsulta(const std::string& antes, int32_t clave,
                                  const std::string& despues, const std::string& tabla) {
    // The text is parsed once with the key as a parameter; every key then reuses it.
    const std::string plantilla = antes + "?1" + despues;
    sqlite3_stmt*& st = m_impl->consultas[plantilla];
    if (!st) st = Prepara(plantilla, tabla);
    sqlite3_reset(st);
    sqlite3_bind_int(st, 1, clave);
    return Lee(st, antes + std::to_string(clave) + despues, tabla);
}

// ----------------------------------------------------------------------------------------
// Recordsets

Recordset::Recordset(std::string origen, std::string tabla, std::string ruta,
                     std::vector<std::string> columnas, std::vector<std::vector<Valor>> filas)
    : m_origen(std::move(origen)),
      m_tabla(std::move(tabla)),
      m_ruta(std::move(ruta)),
      m_columnas(std::move(columnas)),
      m_filas(std::move(filas)) {}

void Recordset::Falla(int numero, const std::string& columna, const std::string& que) const {
    throw TopologiaError(numero, "La columna " + columna + " de la tabla " + m_tabla +
                                     " de la base de datos " + m_ruta + " " + que);
}

const Valor& Recordset::Campo(const std::string& columna) const {
    for (size_t c = 0; c < m_columnas.size(); ++c) {
        if (IgualesSinCaso(m_columnas[c], columna)) {
            if (Eof()) Falla(kLlamadaNoValida, columna, "no tiene fila actual");
            return m_filas[m_fila][c];
        }
    }
    throw TopologiaError(kSubindice, "La tabla " + m_tabla + " de la base de datos " + m_ruta +
                                         " no tiene la columna " + columna);
}

int32_t Recordset::Entero(const std::string& columna) const {
    const Valor& v = Campo(columna);
    double d = 0.0;
    switch (v.tipo) {
        case Valor::Nulo:
            return 0;
        case Valor::Entero:
            d = static_cast<double>(v.entero);
            break;
        case Valor::Real:
            d = v.real;
            break;
        case Valor::Texto:
            if (!NumeroDeTexto(v.texto, d))
                Falla(kTipoNoCoincide, columna, "no es un número: \"" + v.texto + "\"");
            break;
    }
    d = std::nearbyint(d);  // halves to even in the default rounding mode
    if (!(d >= std::numeric_limits<int32_t>::min() && d <= std::numeric_limits<int32_t>::max())) {
        char cifra[64];
        std::snprintf(cifra, sizeof cifra, "%.15g", v.tipo == Valor::Entero ? double(v.entero) : d);
        Falla(kDesbordamiento, columna, std::string("tiene un valor fuera de rango: ") + cifra);
    }
    return static_cast<int32_t>(d);
}

double Recordset::Doble(const std::string& columna) const {
    const Valor& v = Campo(columna);
    double d = 0.0;
    switch (v.tipo) {
        case Valor::Nulo:
            return 0.0;
        case Valor::Entero:
            return static_cast<double>(v.entero);
        case Valor::Real:
            return v.real;
        case Valor::Texto:
            if (!NumeroDeTexto(v.texto, d))
                Falla(kTipoNoCoincide, columna, "no es un número: \"" + v.texto + "\"");
            break;
    }
    return d;
}

std::string Recordset::Texto(const std::string& columna) const {
    const Valor& v = Campo(columna);
    switch (v.tipo) {
        case Valor::Nulo:
            return "";
        case Valor::Entero:
            return std::to_string(v.entero);
        case Valor::Real: {
            char cifra[64];
            std::snprintf(cifra, sizeof cifra, "%.15g", v.real);
            return cifra;
        }
        case Valor::Texto:
            break;
    }
    // mdbtools gives text as UTF-8; the records hold Windows-1252 bytes as the BIN files do.
    return brisquel::Windows1252DesdeUtf8(v.texto);
}

bool Recordset::Booleano(const std::string& columna) const {
    const Valor& v = Campo(columna);
    if (v.tipo == Valor::Texto) {
        if (IgualesSinCaso(v.texto, "true")) return true;
        if (IgualesSinCaso(v.texto, "false")) return false;
    }
    return Doble(columna) != 0.0;
}

// ----------------------------------------------------------------------------------------
// mdlBaseDatos

std::string MensajeErrorTopologia(int32_t codigoError) {
    switch (codigoError) {
        case kFaltanTablas:
            return std::string("Deben existir las tablas :") + kRetorno + "Manzana_bin" + kRetorno +
                   "Parcela_bin" + kRetorno + "Subparcela_bin" + kRetorno + "unimanpar_bin" +
                   kRetorno + "uniparsub_bin";
        case kSinManzanas:
            return "No existen registros en Manzana";
        case kManzanaSinParcelas:
            return "No existen registros en Parcela de una Manzana";
        case kParcelaSinSubparcelas:
            return "No existen registros en SubParcela de una Parcela";
        default:
            return "";
    }
}

bool ExisteTabla(const BaseDatos& bd, const std::string& nombre, Puerto& puerto) {
    for (const auto& tabla : bd.Tablas()) {
        if (tabla.find(' ') != std::string::npos) {
            puerto.Ocupado(false);
            throw FinDePrograma("Nombre de tabla con espacios :" + std::string(1, kRetorno) +
                                tabla);
        }
        if (IgualesSinCaso(tabla, nombre)) return true;
    }
    return false;
}

bool HayRegistros(Recordset& rs) {
    if (rs.Eof()) return false;
    rs.MoveFirst();
    rs.MoveLast();
    return rs.RecordCount() >= 1;
}

namespace {

// The busy pointer for as long as a load runs, whichever way it ends.
class PunteroOcupado {
  public:
    explicit PunteroOcupado(Puerto& puerto) : m_puerto(puerto) { m_puerto.Ocupado(true); }
    ~PunteroOcupado() { m_puerto.Ocupado(false); }

  private:
    Puerto& m_puerto;
};

// The four query texts, each split around the key number that goes between its halves.
struct Consulta {
    const char* antes;
    const char* despues;
    const char* tabla;  // where its columns come from
};

const Consulta kParcelas = {
    "SELECT Parcela_bin.MsLink, Parcela_bin.Parcela, Parcela_bin.IdTabla, Parcela_bin.Registro, "
    "Parcela_bin.Resto, Parcela_bin.NumSubParcelas, Parcela_bin.NumTvia, Parcela_bin.NumTpol, "
    "Parcela_bin.Superficie, Parcela_bin.SOLAR FROM (UniManPar_bin INNER JOIN Manzana_bin ON "
    "UniManPar_bin.MsLinkManzana = Manzana_bin.MsLink) INNER JOIN Parcela_bin ON "
    "UniManPar_bin.MsLinkParcela = Parcela_bin.MsLink Where (((Manzana_bin.MsLink) = ",
    ")) ORDER BY Parcela_bin.MsLink;", "Parcela_bin"};

const Consulta kNumerosPolicia = {
    "SELECT UniParTPol_bin.MsLinkParcela, UniParTPol_bin.Tpol From UniParTPol_bin WHERE "
    "(((UniParTPol_bin.MsLinkParcela)=",
    "));", "UniParTPol_bin"};

// The first name spelled with a lower-case "v": the engine takes both as one table.
const Consulta kVias = {
    "SELECT UniParTvia_bin.MsLinkParcela, UniParTVia_bin.Tvia From UniParTVia_bin WHERE "
    "(((UniParTVia_bin.MsLinkParcela)=",
    "));", "UniParTVia_bin"};

const Consulta kSubparcelas = {
    "SELECT SubParcela_bin.MsLink, SubParcela_bin.SubParcela, SubParcela_bin.IdTabla, "
    "SubParcela_bin.Registro, SubParcela_bin.Resto, SubParcela_bin.Superficie FROM (Parcela_bin "
    "INNER JOIN UniParSub_bin ON Parcela_bin.MsLink = UniParSub_bin.MsLinkParcela) INNER JOIN "
    "SubParcela_bin ON UniParSub_bin.MsLinkSubParcela = SubParcela_bin.MsLink Where "
    "(((Parcela_bin.MsLink) = ",
    ")) ORDER BY SubParcela_bin.MsLink;", "SubParcela_bin"};

Recordset Abre(BaseDatos& bd, const Consulta& c, int32_t clave) {
    return bd.AbreConsulta(c.antes, clave, c.despues, c.tabla);
}

void CargaSubparcelas(BaseDatos& bd, tipo_parcela& parcela, bool& hayError, int32_t& codigoError) {
    Recordset rs = Abre(bd, kSubparcelas, parcela.MsLink);
    if (!HayRegistros(rs)) {
        hayError = true;
        codigoError = kParcelaSinSubparcelas;
    } else {
        rs.MoveFirst();
        const int32_t k = rs.RecordCount();
        parcela.Subparcelas.resize(k);
        for (int32_t s = 0; s < k; ++s) {
            tipo_subparcela& sp = parcela.Subparcelas[s];
            sp.MsLink = rs.Entero("MsLink");
            sp.SubParcela = rs.Texto("Subparcela");
            sp.idTabla = rs.Entero("idTabla");
            sp.Registro = rs.Entero("Registro");
            sp.Resto = rs.Texto("Resto");
            sp.Superficie = rs.Doble("Superficie");
            sp.Parcela = parcela.Parcela;
            sp.Manzana = parcela.Manzana;
            rs.MoveNext();
        }
    }
    rs.Close();
}

void CargaParcelas(BaseDatos& bd, tipo_manzana& manzana, bool& hayError, int32_t& codigoError) {
    Recordset rs = Abre(bd, kParcelas, manzana.MsLink);
    if (!HayRegistros(rs)) {
        hayError = true;
        codigoError = kManzanaSinParcelas;
    } else {
        rs.MoveFirst();
        const int32_t m = rs.RecordCount();
        manzana.Parcelas.resize(m);
        for (int32_t j = 0; j < m; ++j) {
            tipo_parcela& p = manzana.Parcelas[j];
            p.MsLink = rs.Entero("MsLink");
            p.Parcela = rs.Texto("Parcela");
            p.idTabla = rs.Entero("idTabla");
            p.Registro = rs.Entero("Registro");
            p.Resto = rs.Texto("Resto");
            p.numSubparcelas = rs.Entero("numSubparcelas");
            p.Tvia = rs.Entero("numTvia");
            p.Tpol = rs.Entero("numTpol");
            p.Superficie = rs.Doble("Superficie");
            p.Solar = rs.Booleano("Solar");
            p.Manzana = manzana.Manzana;

            // Only the first police-number and via rows count.
            const int32_t msLink = rs.Entero("MsLink");
            Recordset pol = Abre(bd, kNumerosPolicia, msLink);
            if (HayRegistros(pol)) {
                pol.MoveFirst();
                p.Tpol = pol.Entero("Tpol");
            }
            pol.Close();
            Recordset via = Abre(bd, kVias, msLink);
            if (HayRegistros(via)) {
                via.MoveFirst();
                p.Tvia = via.Entero("Tvia");
            }
            via.Close();

            CargaSubparcelas(bd, p, hayError, codigoError);
            rs.MoveNext();
        }
    }
    rs.Close();
}

}  // namespace

void CargaTopologia(const std::string& ruta, std::vector<tipo_manzana>& Manzanas, bool& hayError,
                    int32_t& codigoError, Puerto& puerto) {
    PunteroOcupado ocupado(puerto);
    codigoError = 0;
    BaseDatos bd(ruta);

    // All five are asked, so that a spaced name before any of them is always met.
    bool existen = true;
    for (const char* t :
         {"uniparsub_bin", "unimanpar_bin", "subparcela_bin", "parcela_bin", "manzana_bin"})
        existen = ExisteTabla(bd, t, puerto) && existen;
    if (!existen) {
        hayError = true;
        codigoError = kFaltanTablas;
        return;
    }

    Recordset rs = bd.AbreRecordset("manzana_bin", "Manzana_bin");
    if (!HayRegistros(rs)) {
        hayError = true;
        codigoError = kSinManzanas;
        rs.Close();
        return;
    }
    rs.MoveFirst();
    const int32_t n = rs.RecordCount();
    // Built aside and moved in at the end: a failing database leaves the old topology whole.
    std::vector<tipo_manzana> nuevas(n);
    for (int32_t i = 0; i < n; ++i) {
        tipo_manzana& m = nuevas[i];
        m.MsLink = rs.Entero("MsLink");
        m.Manzana = rs.Texto("Manzana");
        m.idTabla = rs.Entero("idTabla");
        m.Registro = rs.Entero("Registro");
        m.Resto = rs.Texto("Resto");
        m.numParcelas = rs.Entero("numParcelas");
        m.Superficie = rs.Doble("Superficie");
        CargaParcelas(bd, m, hayError, codigoError);
        rs.MoveNext();
    }
    rs.Close();
    Manzanas = std::move(nuevas);
}

void CargaMdb(const std::string& ruta, Topologia& topologia, Puerto& puerto) {
    topologia.MdbElegido = true;
    bool hayError = false;
    int32_t codigoError = 0;
    try {
        CargaTopologia(ruta, topologia.Manzanas, hayError, codigoError, puerto);
    } catch (const TopologiaError& e) {
        throw FinDePrograma(e.what());
    }
    if (hayError) throw FinDePrograma(MensajeErrorTopologia(codigoError));
}

bool ElegirMdb(Topologia& topologia, Puerto& puerto) {
    topologia.MdbElegido = false;
    std::string ruta;
    if (!puerto.PideFichero(kFiltroMdb, kTituloMdb, ruta)) return false;
    CargaMdb(ruta, topologia, puerto);
    return true;
}

}  // namespace parvenza
