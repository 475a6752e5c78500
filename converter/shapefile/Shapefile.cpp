// The shapefile component over shapelib. Every SHP*/DBF* result is checked here and becomes a
// ShapefileError naming the file and the record or field.

#include "converter/shapefile/Shapefile.h"

#include <fcntl.h>
#include <shapefil.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "comun/Reemplazo.h"
#include "converter/shapefile/PaginaCodigos.h"
#include "converter/shapefile/RegistroShp.h"

namespace fs = std::filesystem;

namespace parvenza {

namespace {

// shapelib reports through a hook; keep its last words for our message.
thread_local std::string g_ultimoError;

void GuardaError(const char* mensaje) { g_ultimoError = mensaje ? mensaje : ""; }

// File access for shapelib. Its writer seeks before every record, which through stdio costs a
// seek and a write call per record and file; here seeks only move a position and writes that
// follow each other are gathered into one buffer.

/// Write buffers of a megabyte, taken in halves of 2 MB regions that the system may back with
/// one huge page each. A large sheet's buffers are filled once each; in small pages their
/// first touch costs a fault every 4 KB, which was a tenth of bin2shp's time. A region goes
/// back to the system when both its halves are free.
class ReservaBuffers {
  public:
    static constexpr size_t kMitad = size_t(1) << 20;

    /// A free half, or nullptr when the system has no region to give.
    static char* Toma() {
        ReservaBuffers& r = Una();
        std::lock_guard<std::mutex> l(r.m_mutex);
        if (r.m_libres.empty() && !r.NuevaRegion()) return nullptr;
        char* p = r.m_libres.back();
        r.m_libres.pop_back();
        r.m_vacias -= r.m_enUso[Region(p)]++ == 0;
        return p;
    }

    static void Devuelve(char* p) {
        ReservaBuffers& r = Una();
        std::lock_guard<std::mutex> l(r.m_mutex);
        char* region = Region(p);
        // A few empty regions are kept for the next sheet of a folder: each new one costs
        // zeroing its 2 MB again.
        if (--r.m_enUso[region] > 0 || r.m_vacias < kVaciasGuardadas) {
            r.m_vacias += r.m_enUso[region] == 0;
            r.m_libres.push_back(p);
            return;
        }
        r.m_enUso.erase(region);
        char* otra = p == region ? region + kMitad : region;
        r.m_libres.erase(std::remove(r.m_libres.begin(), r.m_libres.end(), otra), r.m_libres.end());
        ::munmap(region, 2 * kMitad);
    }

  private:
    static ReservaBuffers& Una() {
        static ReservaBuffers* r = new ReservaBuffers;  // never destroyed: used until the end
        return *r;
    }
    static char* Region(char* p) {
        return reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(p) & ~(2 * kMitad - 1));
    }

    /// Maps a region on a 2 MB boundary (a huge page needs one), its two halves free.
    bool NuevaRegion() {
        const size_t region = 2 * kMitad;
        void* m =
            ::mmap(nullptr, 2 * region, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) return false;
        char* inicio = static_cast<char*>(m);
        char* alineado = Region(inicio + region - 1);
        if (alineado > inicio) ::munmap(inicio, static_cast<size_t>(alineado - inicio));
        ::munmap(alineado + region, static_cast<size_t>(inicio + 2 * region - (alineado + region)));
        ::madvise(alineado, region, MADV_HUGEPAGE);
        m_enUso[alineado] = 0;
        ++m_vacias;
        m_libres.push_back(alineado + kMitad);
        m_libres.push_back(alineado);
        return true;
    }

    static constexpr int kVaciasGuardadas = 8;

    std::mutex m_mutex;
    std::vector<char*> m_libres;
    std::map<char*, int> m_enUso;  ///< halves in use, by region
    int m_vacias = 0;              ///< regions with neither half in use
};

// Under AddressSanitizer every buffer comes from the heap, where it checks each byte written.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kConReserva = false;
#else
constexpr bool kConReserva = true;
#endif

/// Frees a buffer where it came from.
struct SueltaBuffer {
    bool deReserva = false;
    void operator()(char* p) const {
        if (deReserva)
            ReservaBuffers::Devuelve(p);
        else
            delete[] p;
    }
};

/// Bytes gathered for one write. Unlike a vector it does not zero what it grows by: every byte
/// it grows by is copied in at once.
class BytesPendientes {
  public:
    size_t size() const { return m_usados; }
    bool empty() const { return m_usados == 0; }
    char* data() { return m_datos.get(); }
    void clear() { m_usados = 0; }
    void resize(size_t n) {
        if (n > m_capacidad) Crece(std::max(n, std::max<size_t>(m_capacidad * 2, 1 << 16)));
        m_usados = n;
    }
    void reserve(size_t n) {
        if (n > m_capacidad) Crece(n);
    }
    void swap(BytesPendientes& otro) noexcept {
        std::swap(m_datos, otro.m_datos);
        std::swap(m_usados, otro.m_usados);
        std::swap(m_capacidad, otro.m_capacidad);
    }
    BytesPendientes() = default;
    BytesPendientes(BytesPendientes&& otro) noexcept { swap(otro); }
    BytesPendientes& operator=(BytesPendientes&& otro) noexcept {
        BytesPendientes(std::move(otro)).swap(*this);
        return *this;
    }

  private:
    void Crece(size_t capacidad) {
        // A write buffer's size comes from the reserve; a read buffer's, and a record too
        // large for a megabyte, from the heap.
        char* reservado = kConReserva && capacidad > ReservaBuffers::kMitad / 2 &&
                                  capacidad <= ReservaBuffers::kMitad
                              ? ReservaBuffers::Toma()
                              : nullptr;
        std::unique_ptr<char[], SueltaBuffer> nuevos(reservado ? reservado : new char[capacidad],
                                                     SueltaBuffer{reservado != nullptr});
        if (m_usados) std::memcpy(nuevos.get(), m_datos.get(), m_usados);
        m_datos = std::move(nuevos);
        m_capacidad = reservado ? ReservaBuffers::kMitad : capacidad;
    }

    std::unique_ptr<char[], SueltaBuffer> m_datos;
    size_t m_usados = 0, m_capacidad = 0;
};

/// A window of an index for shapelib to open: it is shown a .shx of at most
/// kRegistrosVentana entries, the real index's from entry `primero` on. At open shapelib reads
/// and keeps every entry of the index it is shown, 16 bytes a record at the peak; a window
/// keeps that flat in the record count. `total` is filled when the index is shown so: the
/// entries the whole index holds, counted as shapelib counts them; -1 when it is shown whole.
struct VentanaIndice {
    int32_t primero = 0;
    int32_t total = -1;
};

constexpr int32_t kRegistrosVentana = 1 << 14;

// Set while shapelib opens a file through the window above.
thread_local VentanaIndice* g_ventana = nullptr;

struct FicheroSA {
    int fd = -1;
    uint64_t pos = 0;
    BytesPendientes escritura;  ///< bytes not yet written, from offset `inicioEscritura`
    uint64_t inicioEscritura = 0;
    std::vector<char> lectura;  ///< cached bytes from offset `inicioLectura`
    uint64_t inicioLectura = 0;
    bool fallo = false;
    int error = 0;              ///< errno of the first failed write or close
    bool escrito = false;       ///< something was written through this handle
    bool indice = false;        ///< a .shx file
    uint64_t tamVentana = 0;    ///< size of the index shown, when a window of it is shown
    uint64_t saltoVentana = 0;  ///< bytes of real entries before the window's first one
};

// shapelib refuses a whole file when one index entry holds an offset or length beyond what it
// can address; bring such entries just inside the limits, so that only that record fails to
// read (number 5) and the others still do.
void SaneaIndice(const FicheroSA& f, uint64_t pos, char* datos, size_t n) {
    using registro_shp::LeeBE32;
    using registro_shp::PonBE32;
    const uint32_t maxDesplazamiento = 0x7FFFFFFF, maxLongitud = 0x7FFFFFFF / 2 - 4;
    for (uint64_t e = pos < 100 ? 100 : 100 + (pos - 100 + 7) / 8 * 8; e + 8 <= pos + n; e += 8) {
        auto* p = reinterpret_cast<unsigned char*>(datos + (e - pos));
        if (LeeBE32(p) > maxDesplazamiento) PonBE32(p, maxDesplazamiento);
        if (LeeBE32(p + 4) > maxLongitud) PonBE32(p + 4, maxLongitud);
    }
}

// A buffer is written out once it holds this much: a megabyte with room for the record that
// crosses the mark.
constexpr size_t kBufferEscritura = ReservaBuffers::kMitad - (size_t(1) << 17);
constexpr size_t kBufferLectura = 1 << 16;

// Set when a buffered write could not reach the disk, with the system's reason; checked after
// closing.
thread_local bool g_falloEscritura = false;
thread_local int g_errorEscritura = 0;

void AnotaFallo(FicheroSA& f, int e) {
    if (!f.fallo) f.error = e;
    f.fallo = true;
    if (!g_falloEscritura) g_errorEscritura = e;
    g_falloEscritura = true;
}

FicheroSA* Fichero(SAFile f) { return reinterpret_cast<FicheroSA*>(f); }

bool Vuelca(FicheroSA& f) {
    size_t hecho = 0;
    while (hecho < f.escritura.size()) {
        ssize_t n = pwrite(f.fd, f.escritura.data() + hecho, f.escritura.size() - hecho,
                           static_cast<off_t>(f.inicioEscritura + hecho));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            AnotaFallo(f, n < 0 ? errno : ENOSPC);
            f.escritura.clear();
            return false;
        }
        hecho += static_cast<size_t>(n);
    }
    f.escrito = f.escrito || !f.escritura.empty();
    f.escritura.clear();
    return true;
}

/// Reads `total` bytes at `pos` of the real file, through the cache; returns how many.
size_t LeeEn(FicheroSA& f, uint64_t inicio, char* destino, size_t total) {
    size_t hecho = 0;
    while (hecho < total) {
        uint64_t pos = inicio + hecho;
        if (pos >= f.inicioLectura && pos < f.inicioLectura + f.lectura.size()) {
            size_t k = std::min<size_t>(total - hecho, f.inicioLectura + f.lectura.size() - pos);
            std::memcpy(destino + hecho, f.lectura.data() + (pos - f.inicioLectura), k);
            hecho += k;
            continue;
        }
        if (total - hecho >= kBufferLectura) {
            // A large read (a whole index) goes straight to its place: kept in the cache it
            // would hold a second copy for as long as the file is open.
            ssize_t r = pread(f.fd, destino + hecho, total - hecho, static_cast<off_t>(pos));
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            hecho += static_cast<size_t>(r);
            continue;
        }
        f.lectura.resize(kBufferLectura);
        ssize_t r = pread(f.fd, f.lectura.data(), f.lectura.size(), static_cast<off_t>(pos));
        if (r < 0 && errno == EINTR) continue;
        f.inicioLectura = pos;
        f.lectura.resize(r > 0 ? static_cast<size_t>(r) : 0);
        if (r <= 0) break;
    }
    return hecho;
}

/// Reads from the window of the index: the real header with the window's length in it, then
/// the real entries from the window's first one.
size_t LeeVentana(FicheroSA& f, char* destino, size_t total) {
    total = f.pos >= f.tamVentana ? 0 : std::min<uint64_t>(total, f.tamVentana - f.pos);
    size_t hecho = 0;
    while (hecho < total) {
        const uint64_t pos = f.pos + hecho;
        const size_t k = pos < 100 ? std::min<size_t>(total - hecho, 100 - pos) : total - hecho;
        const size_t r = LeeEn(f, pos < 100 ? pos : pos + f.saltoVentana, destino + hecho, k);
        hecho += r;
        if (r < k) break;
    }
    const uint32_t palabras = static_cast<uint32_t>(f.tamVentana / 2);
    const unsigned char longitud[4] = {uint8_t(palabras >> 24), uint8_t(palabras >> 16),
                                       uint8_t(palabras >> 8), uint8_t(palabras)};
    for (uint64_t b = 24; b < 28; ++b)
        if (b >= f.pos && b < f.pos + hecho)
            destino[b - f.pos] = static_cast<char>(longitud[b - 24]);
    return hecho;
}

/// Shows shapelib a window of the index just opened when it holds more entries than one
/// window and shapelib would read it whole without complaint; otherwise (a damaged or short
/// index included) shapelib reads the real file and judges it as it always does.
void PreparaVentana(FicheroSA& f, VentanaIndice& v) {
    unsigned char h[100];
    struct stat st {};
    if (fstat(f.fd, &st) != 0 || pread(f.fd, h, 100, 0) != 100) return;
    if (h[0] != 0 || h[1] != 0 || h[2] != 0x27 || (h[3] != 0x0a && h[3] != 0x0d)) return;
    // shapelib's count: the header's length in 16-bit words, its top bit ignored.
    int64_t n = (int64_t(registro_shp::LeeBE32(h + 24) & 0x7FFFFFFF) - 50) / 4;
    if (n < 0 || n > 256000000) return;
    const uint64_t tam = static_cast<uint64_t>(st.st_size);
    // Past a million entries shapelib trusts the file's size over a header that says more.
    if (n >= 1024 * 1024 && tam > 100 && tam / 2 < uint64_t(n) * 4 + 50)
        n = static_cast<int64_t>((tam - 100) / 8);
    if (n <= kRegistrosVentana || tam < 100 + 8 * uint64_t(n)) return;
    const int64_t primero = std::min<int64_t>(std::max(v.primero, 0), n);
    f.saltoVentana = 8 * uint64_t(primero);
    f.tamVentana = 100 + 8 * uint64_t(std::min<int64_t>(kRegistrosVentana, n - primero));
    v.total = static_cast<int32_t>(n);
}

SAOffset SALee(void* p, SAOffset tam, SAOffset n, SAFile h) {
    FicheroSA& f = *Fichero(h);
    if (!f.escritura.empty() && !Vuelca(f)) return 0;
    const size_t total = static_cast<size_t>(tam * n);
    char* destino = static_cast<char*>(p);
    const size_t hecho =
        f.tamVentana ? LeeVentana(f, destino, total) : LeeEn(f, f.pos, destino, total);
    if (f.indice) SaneaIndice(f, f.pos, destino, hecho);
    f.pos += hecho;
    return tam ? hecho / tam : 0;
}

SAFile SAAbre(const char* nombre, const char* acceso) {
    std::string a(acceso);
    int flags = a.find('+') != std::string::npos ? O_RDWR : (a[0] == 'r' ? O_RDONLY : O_WRONLY);
    if (a[0] == 'w') flags |= O_CREAT | O_TRUNC;
    int fd = open(nombre, flags | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    auto* f = new FicheroSA;
    f->fd = fd;
    std::string extension = fs::path(nombre).extension().string();
    f->indice = extension.size() == 4 &&
                std::tolower(static_cast<unsigned char>(extension[3])) == 'x' &&
                std::tolower(static_cast<unsigned char>(extension[1])) == 's';
    if (f->indice && g_ventana && flags == O_RDONLY) PreparaVentana(*f, *g_ventana);
    return reinterpret_cast<SAFile>(f);
}

SAOffset SAEscribe(void* p, SAOffset tam, SAOffset n, SAFile h) {
    FicheroSA& f = *Fichero(h);
    size_t total = static_cast<size_t>(tam * n);
    f.lectura.clear();
    // A write inside or right after the buffered bytes joins them (the dBase writer puts its
    // end-of-file mark after each record and overwrites it with the next).
    const uint64_t fin = f.inicioEscritura + f.escritura.size();
    if (!f.escritura.empty() && (f.pos < f.inicioEscritura || f.pos > fin) && !Vuelca(f)) return 0;
    if (f.escritura.empty()) f.inicioEscritura = f.pos;
    const char* origen = static_cast<const char*>(p);
    const size_t desde = static_cast<size_t>(f.pos - f.inicioEscritura);
    if (f.escritura.size() < desde + total) f.escritura.resize(desde + total);
    std::memcpy(f.escritura.data() + desde, origen, total);
    f.pos += total;
    if (f.escritura.size() >= kBufferEscritura && !Vuelca(f)) return 0;
    return n;
}

SAOffset SABusca(SAFile h, SAOffset desplazamiento, int desde) {
    FicheroSA& f = *Fichero(h);
    if (desde == SEEK_SET) {
        f.pos = desplazamiento;
    } else if (desde == SEEK_CUR) {
        f.pos += desplazamiento;  // a negative step arrives as its unsigned wrap
    } else if (f.tamVentana) {
        f.pos = f.tamVentana;
    } else {
        struct stat st {};
        if (fstat(f.fd, &st) != 0) return static_cast<SAOffset>(-1);
        f.pos =
            std::max<uint64_t>(static_cast<uint64_t>(st.st_size),
                               f.escritura.empty() ? 0 : f.inicioEscritura + f.escritura.size());
    }
    return 0;
}

SAOffset SAPosicion(SAFile h) { return Fichero(h)->pos; }

int SAVuelca(SAFile h) { return Vuelca(*Fichero(h)) ? 0 : EOF; }

int SACierra(SAFile h) {
    FicheroSA* f = Fichero(h);
    bool bien = Vuelca(*f) && !f->fallo;
    // Start the written bytes towards the disk now, so the flush before the file takes its
    // place (comun::Reemplaza) finds little left to wait for.
    if (bien && f->escrito) ::sync_file_range(f->fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (close(f->fd) != 0) {
        AnotaFallo(*f, errno);
        bien = false;
    }
    if (f->fallo && !g_falloEscritura) AnotaFallo(*f, f->error);
    delete f;
    return bien ? 0 : EOF;
}

int SABorra(const char* nombre) { return unlink(nombre); }

SAHooks Ganchos() {
    SAHooks h;
    SASetupDefaultHooks(&h);
    h.FOpen = SAAbre;
    h.FRead = SALee;
    h.FWrite = SAEscribe;
    h.FSeek = SABusca;
    h.FTell = SAPosicion;
    h.FFlush = SAVuelca;
    h.FClose = SACierra;
    h.Remove = SABorra;
    h.Error = GuardaError;
    return h;
}

/// Room for `n` more bytes at the end of what `f` gathers, to be filled in place.
unsigned char* Anade(FicheroSA& f, size_t n) {
    if (f.escritura.empty()) f.inicioEscritura = f.pos;
    const size_t antes = f.escritura.size();
    f.escritura.resize(antes + n);
    f.pos += n;
    return reinterpret_cast<unsigned char*>(f.escritura.data() + antes);
}

/// Writes the full buffers of a new layer's files on a thread of its own, so that copying them
/// into the system's cache and starting their way to the disk run beside the building of the
/// next records. Failures are noted on their files (AnotaFallo) by the thread that hands the
/// buffers over, at the next hand-over or at Para.
class EscritoraFondo {
  public:
    EscritoraFondo() : m_hilo([this] { Trabaja(); }) {}
    ~EscritoraFondo() { Para(); }
    EscritoraFondo(const EscritoraFondo&) = delete;
    EscritoraFondo& operator=(const EscritoraFondo&) = delete;

    /// Takes the bytes `f` has gathered; `f` goes on with an empty buffer.
    void Entrega(FicheroSA& f) {
        BytesPendientes libre;
        {
            std::unique_lock<std::mutex> cerrojo(m_mutex);
            // A few buffers in flight at most: memory stays flat however fast records come.
            m_cambio.wait(cerrojo, [&] { return m_cola.size() < kEnCurso; });
            NotaFallos();
            if (!m_libres.empty()) {
                libre = std::move(m_libres.back());
                m_libres.pop_back();
            }
            Trabajo t{f.fd, f.inicioEscritura, &f, std::move(f.escritura)};
            m_cola.push_back(std::move(t));
        }
        m_cambio.notify_all();
        libre.clear();
        libre.reserve(ReservaBuffers::kMitad);
        f.escritura.swap(libre);
        f.escrito = true;
    }

    /// Waits until every buffer taken is written, and ends the thread.
    void Para() {
        {
            std::lock_guard<std::mutex> cerrojo(m_mutex);
            m_fin = true;
        }
        m_cambio.notify_all();
        if (m_hilo.joinable()) m_hilo.join();
        NotaFallos();
    }

  private:
    static constexpr size_t kEnCurso = 4;
    static constexpr uint64_t kGuardaCada = uint64_t(4) << 20;

    struct Trabajo {
        int fd;
        uint64_t pos;
        FicheroSA* fichero;  ///< only for the note of a failure, made by the other thread
        BytesPendientes datos;
    };

    void NotaFallos() {
        for (auto [f, e] : m_fallos) AnotaFallo(*f, e);
        m_fallos.clear();
    }

    void Trabaja() {
        std::unique_lock<std::mutex> cerrojo(m_mutex);
        for (;;) {
            m_cambio.wait(cerrojo, [&] { return m_fin || !m_cola.empty(); });
            if (m_cola.empty()) return;
            Trabajo t = std::move(m_cola.front());
            m_cola.pop_front();
            cerrojo.unlock();
            int error = comun::EscribeTodo(t.fd, t.datos.data(), t.datos.size(),
                                           static_cast<int64_t>(t.pos));
            // Start these bytes towards the disk, and every few megabytes wait here until they
            // are stored: the flush before the file takes its place then finds little left,
            // and this thread's waits run beside the building of the next records.
            if (!error)
                ::sync_file_range(t.fd, off_t(t.pos), off_t(t.datos.size()), SYNC_FILE_RANGE_WRITE);
            uint64_t& sinGuardar = m_sinGuardar[t.fd];
            sinGuardar += t.datos.size();
            if (!error && sinGuardar >= kGuardaCada) {
                sinGuardar = 0;
                if (::fdatasync(t.fd) != 0) error = errno;
            }
            cerrojo.lock();
            if (error) m_fallos.emplace_back(t.fichero, error);
            m_libres.push_back(std::move(t.datos));
            m_cambio.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cambio;
    std::deque<Trabajo> m_cola;
    std::vector<BytesPendientes> m_libres;
    std::vector<std::pair<FicheroSA*, int>> m_fallos;
    std::map<int, uint64_t> m_sinGuardar;  ///< bytes written since the last flush; the thread's own
    bool m_fin = false;
    std::thread m_hilo;  ///< last: started once everything above is made
};

/// A new layer's three files while its records go straight into their buffers: the bytes
/// SHPWriteObject and DBFWriteTuple would write, the index built alongside, with no object,
/// seek or allocation per record. The headers shapelib wrote when the fields were committed
/// are completed on closing, as shapelib completes them.
struct Directa {
    FicheroSA* shp = nullptr;
    FicheroSA* shx = nullptr;
    FicheroSA* dbf = nullptr;
    int32_t registros = 0;
    uint64_t tamanoShp = 100;
    registro_shp::Limites limites;
    size_t longitudRegistro = 0;
    std::unique_ptr<EscritoraFondo> fondo;

    ~Directa() {
        fondo.reset();
        for (FicheroSA* f : {shp, shx, dbf})
            if (f) SACierra(reinterpret_cast<SAFile>(f));
    }

    bool Fallo() const { return shp->fallo || shx->fallo || dbf->fallo; }
    int Error() const { return shp->fallo ? shp->error : shx->fallo ? shx->error : dbf->error; }

    /// Appends one record: the shape of `v`, whose extent is `e`, and the dBase bytes `fila`.
    void Escribe(int tipo, const registro_shp::Vertices& v, const registro_shp::Extension& e,
                 const char* fila) {
        const size_t tamano = registro_shp::Tamano(tipo, v);
        registro_shp::Codifica(Anade(*shp, tamano), tipo, registros + 1, v, e);
        unsigned char* entrada = Anade(*shx, 8);
        registro_shp::PonBE32(entrada, static_cast<uint32_t>(tamanoShp / 2));
        registro_shp::PonBE32(entrada + 4, static_cast<uint32_t>((tamano - 8) / 2));
        std::memcpy(Anade(*dbf, longitudRegistro), fila, longitudRegistro);
        registro_shp::Amplia(limites, v);
        tamanoShp += tamano;
        ++registros;
        for (FicheroSA* f : {shp, shx, dbf})  // out once the buffers are large
            if (f->escritura.size() >= kBufferEscritura) fondo->Entrega(*f);
    }

    /// Completes the headers and closes the files. A byte that could not be written is noted
    /// as every failed write is (g_falloEscritura).
    void Termina() {
        fondo.reset();
        if (registros > 0) {
            *Anade(*dbf, 1) = 0x1A;  // dBase's end-of-file mark follows the last record
            unsigned char longitud[4], limites64[64], cuenta[4];
            registro_shp::CodificaLimites(limites64, limites);
            registro_shp::PonBE32(longitud, static_cast<uint32_t>(tamanoShp / 2));
            EscribeEn(*shp, 24, longitud, 4);
            EscribeEn(*shp, 36, limites64, 64);
            registro_shp::PonBE32(longitud, static_cast<uint32_t>(50 + 4 * int64_t(registros)));
            EscribeEn(*shx, 24, longitud, 4);
            EscribeEn(*shx, 36, limites64, 64);
            for (int i = 0; i < 4; ++i) cuenta[i] = uint8_t(uint32_t(registros) >> (8 * i));
            EscribeEn(*dbf, 4, cuenta, 4);
        }
        for (FicheroSA** f : {&shp, &shx, &dbf}) {
            SACierra(reinterpret_cast<SAFile>(*f));
            *f = nullptr;
        }
    }

  private:
    static void EscribeEn(FicheroSA& f, uint64_t pos, unsigned char* bytes, size_t n) {
        SABusca(reinterpret_cast<SAFile>(&f), static_cast<SAOffset>(pos), SEEK_SET);
        SAEscribe(bytes, 1, static_cast<SAOffset>(n), reinterpret_cast<SAFile>(&f));
    }
};

bool ExisteIndice(const std::string& base) {
    std::error_code ec;
    return fs::exists(base + ".shx", ec) || fs::exists(base + ".SHX", ec);
}

/// SHAPE_RESTORE_SHX as GDAL users set it: anything but empty, NO, FALSE, OFF or 0 asks.
bool RestauracionPedida() {
    const char* v = std::getenv("SHAPE_RESTORE_SHX");
    if (!v || !*v) return false;
    std::string t(v);
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return t != "NO" && t != "FALSE" && t != "OFF" && t != "0";
}

/// `dbf` (may be null) dated today: shapelib writes the date it holds into the header of a
/// table it changes, and a new one would carry shapelib's own release date.
DBFHandle Fechada(DBFHandle dbf) {
    if (!dbf) return dbf;
    const std::time_t ahora = std::time(nullptr);
    std::tm hoy{};
    localtime_r(&ahora, &hoy);
    DBFSetLastModifiedDate(dbf, hoy.tm_year, hoy.tm_mon + 1, hoy.tm_mday);
    return dbf;
}

[[noreturn]] void Falla(int numero, const std::string& mensaje) {
    throw ShapefileError(numero, mensaje);
}

/// shapelib's last words for a message; `base` is added to the shape number they may name,
/// which counts from the first record of the window of the index shapelib held.
std::string DetalleLib(int32_t base = 0) {
    std::string m = std::move(g_ultimoError);
    g_ultimoError.clear();
    if (m.empty()) return m;
    for (const char* palabra : {"shape ", "entity "}) {
        const size_t i = base ? m.find(palabra) : std::string::npos;
        if (i == std::string::npos) continue;
        const size_t ini = i + std::strlen(palabra);
        size_t fin = ini;
        while (fin < m.size() && std::isdigit(static_cast<unsigned char>(m[fin]))) ++fin;
        if (fin > ini)
            m.replace(ini, fin - ini, std::to_string(std::stoll(m.substr(ini, fin - ini)) + base));
    }
    return " (" + m + ")";
}

/// Number for a file that could not be created or opened for writing, from errno.
int NumeroDeErrno(int e) {
    switch (e) {
        case EACCES:
        case EPERM:
        case EROFS:
            return 70;
        case ENOENT:
        case ENOTDIR:
            return 76;
        default:
            return 75;
    }
}

bool IgualSinCaso(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool TipoValido(int tipo) {
    switch (tipo) {
        case SHPT_POINT:
        case SHPT_ARC:
        case SHPT_POLYGON:
        case SHPT_MULTIPOINT:
        case SHPT_POINTZ:
        case SHPT_ARCZ:
        case SHPT_POLYGONZ:
        case SHPT_MULTIPOINTZ:
        case SHPT_POINTM:
        case SHPT_ARCM:
        case SHPT_POLYGONM:
        case SHPT_MULTIPOINTM:
            return true;
        default:
            return false;
    }
}

bool TipoConZ(int tipo) {
    return tipo == SHPT_POINTZ || tipo == SHPT_ARCZ || tipo == SHPT_POLYGONZ ||
           tipo == SHPT_MULTIPOINTZ || tipo == SHPT_MULTIPATCH;
}

bool TipoPoligono(int tipo) {
    return tipo == SHPT_POLYGON || tipo == SHPT_POLYGONZ || tipo == SHPT_POLYGONM;
}

bool TipoPunto(int tipo) {
    return tipo == SHPT_POINT || tipo == SHPT_POINTZ || tipo == SHPT_POINTM;
}

/// Layer path without its extension: what shapelib appends .shp, .shx, .dbf to.
std::string Base(const std::string& ruta) {
    fs::path p(ruta);
    return p.has_extension() ? (p.parent_path() / p.stem()).string() : ruta;
}

std::string Canonica(const std::string& ruta) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::path(ruta), ec);
    return ec ? ruta : p.string();
}

std::string Recorta(std::string_view s) {
    size_t i = 0, j = s.size();
    while (i < j && (s[i] == ' ' || s[i] == '\0')) ++i;
    while (j > i && (s[j - 1] == ' ' || s[j - 1] == '\0')) --j;
    return std::string(s.substr(i, j - i));
}

/// Shortest decimal text of a double, without exponent for ordinary values.
std::string TextoNumero(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace

std::string TextoDe(const ValorCampo& v) {
    if (auto p = std::get_if<int32_t>(&v)) return std::to_string(*p);
    if (auto p = std::get_if<double>(&v)) return TextoNumero(*p);
    if (auto p = std::get_if<std::string>(&v)) return *p;
    return std::string();
}

struct Shapefile::Impl {
    struct Campo {
        std::string nombre;  ///< Windows-1252
        std::string bruto;   ///< as stored, in the table's code page
        char tipo = 'C';
        int ancho = 0;
        int decimales = 0;
        int desplazamiento = 0;  ///< in the record, after the deletion flag
        bool borrar = false;
    };

    std::string ruta;      ///< as given, the name messages use
    std::string archivo;   ///< the .shp actually written: `ruta`, or a temporary name beside it
    std::string canonica;  ///< of `archivo`, for matching copy targets
    SHPHandle shp = nullptr;
    DBFHandle dbf = nullptr;
    std::unique_ptr<Directa> directa;  ///< a new file being written, instead of shp and dbf
    bool editMode = false;
    bool escribible = false;
    bool definiendo = false;  ///< new file whose fields are not committed yet
    int tipo = 0;
    std::vector<Campo> campos;

    int32_t actual = 0;  ///< 1-based cursor
    bool eof = true;
    SHPObject* objeto = nullptr;
    int32_t objetoDe = 0;

    std::vector<double> px, py, pz;
    std::string fila;          ///< pending record, dBase bytes
    std::vector<char> fijado;  ///< field set in the pending record

    std::map<std::string, std::unique_ptr<Shapefile>> destinos;

    std::string paginaPedida;                    ///< set with CodePage before Open
    std::unique_ptr<ConversorPagina> conversor;  ///< none: texts are Windows-1252
    std::string paginaDesconocida;
    int64_t textosConPerdida = 0;
    bool restaurarIndice = false;
    std::string carpetaIndice;  ///< private folder of a rebuilt index, while one is in use

    std::string leido;    ///< the .shp shapelib opened, opened again for each window
    int32_t total = -1;   ///< records, when shapelib holds a window of the index; else -1
    int32_t primero = 0;  ///< first record (0-based) of the window shapelib holds

    Impl() { Registro().push_back(this); }
    ~Impl() {
        try {
            Cierra();
        } catch (...) {
            // A destructor cannot report; Cierra only frees and closes.
        }
        auto& r = Registro();
        r.erase(std::remove(r.begin(), r.end(), this), r.end());
    }

    /// Every live object, so that opening a path completes another object's copy target.
    static std::vector<Impl*>& Registro() {
        static std::vector<Impl*> r;
        return r;
    }

    bool Abierto() const { return shp != nullptr || directa != nullptr; }

    void ExigeAbierto() const {
        if (!Abierto()) Falla(kLlamadaNoValida, "No hay ningún shapefile abierto");
    }

    void ExigeEscritura() const {
        ExigeAbierto();
        if (!escribible) Falla(kLlamadaNoValida, ruta + ": abierto solo para lectura");
    }

    void LiberaObjeto() {
        if (objeto) SHPDestroyObject(objeto);
        objeto = nullptr;
        objetoDe = 0;
    }

    /// Completes the file and its copy targets; throws 57 when buffered bytes could not be
    /// written, after everything is closed.
    void Cierra() {
        std::string error;
        for (auto& d : destinos) {
            try {
                d.second->CloseShapefile();
            } catch (const ShapefileError& e) {
                if (error.empty()) error = e.what();
            }
        }
        destinos.clear();
        LiberaObjeto();
        g_falloEscritura = false;
        if (dbf) DBFClose(dbf);
        if (shp) SHPClose(shp);
        if (directa) directa->Termina();
        directa.reset();
        if (g_falloEscritura && error.empty())
            error = "no se puede terminar de escribir " + ruta + ": " +
                    comun::RazonSistema(g_errorEscritura);
        g_falloEscritura = false;
        dbf = nullptr;
        shp = nullptr;
        escribible = definiendo = false;
        leido.clear();
        total = -1;
        primero = 0;
        tipo = 0;
        campos.clear();
        fila.clear();
        fijado.clear();
        px.clear();
        py.clear();
        pz.clear();
        actual = 0;
        eof = true;
        ruta.clear();
        archivo.clear();
        canonica.clear();
        conversor.reset();
        paginaDesconocida.clear();
        textosConPerdida = 0;
        if (!carpetaIndice.empty()) {
            std::error_code ec;
            fs::remove_all(carpetaIndice, ec);
            carpetaIndice.clear();
        }
        if (!error.empty()) Falla(kErrorEntradaSalida, error);
    }

    /// The system's reason when a buffered write of this file already failed, else "".
    std::string FalloEscritura() const {
        if (directa && directa->Fallo()) return ": " + comun::RazonSistema(directa->Error());
        for (SAFile f :
             {shp ? shp->fpSHP : nullptr, shp ? shp->fpSHX : nullptr, dbf ? dbf->fp : nullptr})
            if (f && Fichero(f)->fallo) return ": " + comun::RazonSistema(Fichero(f)->error);
        return "";
    }

    void CargaCampos() {
        campos.clear();
        int n = DBFGetFieldCount(dbf);
        for (int i = 0; i < n; ++i) {
            char nombre[XBASE_FLDNAME_LEN_READ + 1] = {};
            int ancho = 0, dec = 0;
            DBFGetFieldInfo(dbf, i, nombre, &ancho, &dec);
            Campo c;
            c.bruto = nombre;
            c.nombre = conversor ? conversor->A1252(c.bruto) : c.bruto;
            c.tipo = DBFGetNativeFieldType(dbf, i);
            c.ancho = ancho;
            c.decimales = dec;
            c.desplazamiento = dbf->panFieldOffset[i];
            campos.push_back(c);
        }
        fila.assign(static_cast<size_t>(std::max(dbf->nRecordLength, 1)), ' ');
        fijado.assign(campos.size(), 0);
    }

    void VaciaPendiente() {
        std::fill(fila.begin(), fila.end(), ' ');
        std::fill(fijado.begin(), fijado.end(), 0);
        px.clear();
        py.clear();
        pz.clear();
    }

    const Campo& CampoEn(int i) const {
        if (i < 0 || i >= static_cast<int>(campos.size()))
            Falla(kSubindice, ruta + ": no existe el campo " + std::to_string(i + 1));
        return campos[i];
    }

    std::string Donde(int i) const { return ruta + ", campo " + campos[i].nombre; }

    /// Copies `bytes` into field `i` of the pending record.
    void Coloca(int i, std::string_view bytes, bool derecha) {
        const Campo& c = campos[i];
        char* destino = fila.data() + c.desplazamiento;
        std::memset(destino, ' ', c.ancho);
        size_t n = std::min(bytes.size(), static_cast<size_t>(c.ancho));
        std::memcpy(destino + (derecha ? c.ancho - n : 0), bytes.data(), n);
        fijado[i] = 1;
    }

    void PonNumero(int i, double v) {
        ExigeEscritura();
        const Campo& c = CampoEn(i);
        char buf[400];
        if (c.tipo == 'N' || c.tipo == 'F') {
            if (!std::isfinite(v)) Falla(kRegistroIlegible, Donde(i) + ": valor no representable");
            if (v == 0) v = 0.0;  // no "-0"
            auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, c.decimales);
            size_t n = r.ptr - buf;
            if (r.ec != std::errc() || n > static_cast<size_t>(c.ancho))
                Falla(kRegistroIlegible, Donde(i) + ": el valor " + TextoNumero(v) +
                                             " no cabe en " + std::to_string(c.ancho) +
                                             " posiciones");
            Coloca(i, std::string_view(buf, n), true);
        } else if (c.tipo == 'C') {
            std::string t = TextoNumero(v);
            if (t.size() > static_cast<size_t>(c.ancho))
                Falla(kRegistroIlegible, Donde(i) + ": el valor " + t + " no cabe en el campo");
            Coloca(i, t, false);
        } else {
            Falla(kTipoNoCoincide, Donde(i) + ": el campo no admite números");
        }
    }

    void PonEntero(int i, int64_t v) {
        ExigeEscritura();
        const Campo& c = CampoEn(i);
        if ((c.tipo == 'N' || c.tipo == 'F') && c.decimales == 0) {
            char buf[32];
            auto r = std::to_chars(buf, buf + sizeof buf, v);
            size_t n = r.ptr - buf;
            if (n > static_cast<size_t>(c.ancho))
                Falla(kRegistroIlegible, Donde(i) + ": el valor " + std::string(buf, n) +
                                             " no cabe en " + std::to_string(c.ancho) +
                                             " posiciones");
            Coloca(i, std::string_view(buf, n), true);
        } else if (c.tipo == 'C') {
            std::string t = std::to_string(v);
            if (t.size() > static_cast<size_t>(c.ancho))
                Falla(kRegistroIlegible, Donde(i) + ": el valor " + t + " no cabe en el campo");
            Coloca(i, t, false);
        } else {
            PonNumero(i, static_cast<double>(v));
        }
    }

    void PonTexto(int i, const std::string& s) {
        ExigeEscritura();
        const Campo& c = CampoEn(i);
        switch (c.tipo) {
            case 'N':
            case 'F': {
                std::string t = Recorta(s);
                double v = 0;
                auto r = std::from_chars(t.data(), t.data() + t.size(), v);
                if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
                    Falla(kTipoNoCoincide, Donde(i) + ": \"" + s + "\" no es un número");
                PonNumero(i, v);
                break;
            }
            case 'L':
                Coloca(i, s.substr(0, 1), false);
                break;
            default:
                Coloca(i, s, false);
                break;  // text longer than the field is cut, as dBase does
        }
    }

    /// Value of field `i` from the record bytes `registro`.
    ValorCampo Lee(int i, const char* registro) const {
        const Campo& c = campos[i];
        std::string_view bytes(registro + c.desplazamiento, c.ancho);
        switch (c.tipo) {
            case 'N':
            case 'F': {
                std::string t = Recorta(bytes);
                if (t.empty() || t[0] == '*') return std::monostate{};
                double v = 0;
                const char* ini = t.data() + (t[0] == '+' ? 1 : 0);
                auto r = std::from_chars(ini, t.data() + t.size(), v);
                if (r.ec != std::errc() || r.ptr != t.data() + t.size())
                    Falla(kRegistroIlegible, Donde(i) + ", registro " + std::to_string(actual) +
                                                 ": \"" + t + "\" no es un número");
                if (c.decimales == 0 && v == std::trunc(v) && v >= INT32_MIN && v <= INT32_MAX)
                    return static_cast<int32_t>(v);
                return v;
            }
            case 'D': {
                std::string t = Recorta(bytes);
                if (t.empty() || t == "00000000") return std::monostate{};
                return t;
            }
            case 'L': {
                if (bytes.empty() || bytes[0] == '?' || bytes[0] == ' ') return std::monostate{};
                return std::string(bytes.substr(0, 1));
            }
            default: {
                size_t j = bytes.size();
                while (j > 0 && (bytes[j - 1] == ' ' || bytes[j - 1] == '\0')) --j;
                return std::string(bytes.substr(0, j));
            }
        }
    }

    /// A value read from the table, its text brought to Windows-1252.
    ValorCampo DeLaTabla(ValorCampo v) {
        auto* t = std::get_if<std::string>(&v);
        if (!t || !conversor || conversor->Identidad()) return v;
        bool exacto = true;
        *t = conversor->A1252(*t, &exacto);
        if (!exacto) ++textosConPerdida;
        return v;
    }

    /// Chooses the code page of a table just opened: the one asked for, else the declared one.
    void EligePagina() {
        std::string pagina = NombrePagina(paginaPedida);
        if (paginaPedida.empty()) {
            const char* declarada = DBFGetCodePage(dbf);
            pagina = NombrePagina(declarada ? declarada : "");
            if (!PaginaConocida(pagina)) {
                paginaDesconocida = declarada;
                pagina.clear();
            }
        }
        conversor = std::make_unique<ConversorPagina>(pagina);
    }

    bool EnRegistro() const { return Abierto() && !eof && actual >= 1; }

    /// Raw dBase record of the current record.
    const char* Tupla() const {
        const char* t = DBFReadTuple(dbf, actual - 1);
        if (!t)
            Falla(kLlamadaNoValida, ruta + ": no se puede leer el registro " +
                                        std::to_string(actual) + " de la tabla" + DetalleLib());
        return t;
    }

    /// Shape of the current record, read once per cursor position.
    SHPObject* Objeto() {
        if (objeto && objetoDe == actual) return objeto;
        LiberaObjeto();
        if (total >= 0 && (actual - 1 < primero || actual - 1 >= primero + shp->nRecords))
            MueveVentana(actual - 1);
        SHPObject* o = SHPReadObject(shp, actual - 1 - primero);
        if (!o)
            Falla(kLlamadaNoValida, ruta + ": no se puede leer el registro " +
                                        std::to_string(actual) + DetalleLib(primero));
        // A shape of another type than the file's is a damaged record, not an empty one: an
        // index entry that points into the file header reads as a shape of type 1000.
        if (o->nSHPType != SHPT_NULL && o->nSHPType != tipo) {
            const int leido = o->nSHPType;
            SHPDestroyObject(o);
            Falla(kLlamadaNoValida, ruta + ": el registro " + std::to_string(actual) +
                                        " es de tipo " + std::to_string(leido) +
                                        " en un fichero de tipo " + std::to_string(tipo));
        }
        objeto = o;
        objetoDe = actual;
        return o;
    }

    void Mueve(int32_t registro) {
        ExigeAbierto();
        AShapelib();
        LiberaObjeto();
        actual = registro;
        eof = registro > RecordCount() || registro < 1;
    }

    int32_t RecordCount() const {
        return directa ? directa->registros : !shp ? 0 : total >= 0 ? total : shp->nRecords;
    }

    /// Has shapelib hold the window of the index that holds record `registro` (0-based).
    void MueveVentana(int32_t registro) {
        const int32_t inicio = registro / kRegistrosVentana * kRegistrosVentana;
        SHPHandle nuevo = AbreVentana(leido, inicio);
        if (!nuevo)
            Falla(kLlamadaNoValida, ruta + ": no se puede leer el registro " +
                                        std::to_string(registro + 1) + DetalleLib());
        SHPClose(shp);
        shp = nuevo;
        primero = inicio;
    }

    /// shapelib's handle on `archivo` with the window of its index from record `inicio`
    /// (0-based); `total` says whether a window was shown (see VentanaIndice).
    SHPHandle AbreVentana(const std::string& archivo, int32_t inicio) {
        VentanaIndice v{inicio, -1};
        SAHooks ganchos = Ganchos();
        g_ultimoError.clear();
        g_ventana = &v;
        SHPHandle h = SHPOpenLL(archivo.c_str(), "rb", &ganchos);
        g_ventana = nullptr;
        // One shape is read at a time: shapelib may keep it in buffers of its own.
        if (h) SHPSetFastModeReadObject(h, 1);
        if (h && v.total != total && total >= 0) {
            // The index changed under the reader since it was opened.
            SHPClose(h);
            g_ultimoError = "el índice .shx ha cambiado durante la lectura";
            return nullptr;
        }
        if (h) total = v.total;
        return h;
    }

    /// Rebuilds the missing index of `archivo` in a private temporary folder, beside a link
    /// to the .shp, and returns the link for shapelib to open with it.
    std::string RestauraIndice(const std::string& archivo, const std::string& rutaShp);

    void IniciaDirecta();
    void AShapelib();
    void EscribeDirecto(int n);
    void EscribeRegistro();
    void Copia(int32_t registro, const std::string& destino);
    void BorraCampos();
};

// ---- Shapefile ----

Shapefile::Shapefile() : m_impl(std::make_unique<Impl>()) {}
Shapefile::~Shapefile() = default;

void Shapefile::Open(const std::string& ruta, int crear, int tipo) {
    OpenAs(ruta, ruta, crear, tipo);
}

void Shapefile::OpenAs(const std::string& archivo, const std::string& ruta, int crear, int tipo) {
    Impl& s = *m_impl;
    s.Cierra();
    const std::string canonica = Canonica(archivo);
    for (Impl* otro : Impl::Registro()) otro->destinos.erase(canonica);

    const std::string base = Base(archivo);
    const std::string archivoDbf = base + ".dbf";
    const std::string rutaDbf = Base(ruta) + ".dbf";
    SAHooks ganchos = Ganchos();
    g_ultimoError.clear();

    if (crear == 1) {
        if (!TipoValido(tipo))
            Falla(kLlamadaNoValida, ruta + ": tipo de shape no válido: " + std::to_string(tipo));
        fs::path carpeta = fs::path(archivo).parent_path();
        std::error_code ec;
        if (!carpeta.empty() && !fs::is_directory(carpeta, ec))
            Falla(kErrorDeRuta, ruta + ": no existe la carpeta " + carpeta.string());
        errno = 0;
        SHPHandle shp = SHPCreateLL(archivo.c_str(), tipo, &ganchos);
        if (!shp)
            Falla(NumeroDeErrno(errno),
                  ruta + ": no se puede crear el fichero: " + comun::RazonSistema(errno));
        errno = 0;
        DBFHandle dbf = Fechada(DBFCreateLL(archivoDbf.c_str(), "1252", &ganchos));
        if (!dbf) {
            int e = errno;
            SHPClose(shp);
            // No layer without its table: take back the two files just made.
            std::error_code ec;
            fs::remove(base + ".shp", ec);
            fs::remove(base + ".shx", ec);
            Falla(NumeroDeErrno(e),
                  rutaDbf + ": no se puede crear el fichero: " + comun::RazonSistema(e));
        }
        // Both declarations of Windows-1252: the .cpg and the dBase language byte.
        dbf->iLanguageDriver = 0x57;
        s.shp = shp;
        s.dbf = dbf;
        s.escribible = true;
        s.definiendo = true;
        s.tipo = tipo;
    } else if (crear == 0) {
        // A page iconv does not know is refused before any file is opened.
        if (!s.paginaPedida.empty()) ConversorPagina(NombrePagina(s.paginaPedida));
        std::error_code ec;
        if (!fs::exists(archivo, ec)) Falla(kFicheroNoEncontrado, ruta + ": no existe el fichero");
        if (!fs::exists(archivoDbf, ec))
            Falla(kFicheroNoEncontrado, rutaDbf + ": no existe el fichero");
        std::string leido = archivo;  // the .shp shapelib opens, beside the index it reads
        bool escribible = true;
        if (!ExisteIndice(base)) {
            if (!s.restaurarIndice && !RestauracionPedida())
                Falla(kFicheroNoEncontrado,
                      ruta + ": falta su índice " + Base(ruta) +
                          ".shx. Se puede reconstruir a partir del .shp, en una copia temporal "
                          "que no toca la carpeta: opción --restore-shx de parvenza-cli, o "
                          "variable de entorno SHAPE_RESTORE_SHX=YES");
            // The .shp behind the link must not be written through it with a temporary index.
            if (s.editMode)
                Falla(kLlamadaNoValida, ruta + ": sin su índice .shx no se puede modificar");
            leido = s.RestauraIndice(archivo, ruta);
            escribible = false;
        }
        // Only a file that may be modified is opened for writing, with its whole index:
        // shapelib rewrites the index from what it holds. A file read is shown its index a
        // window at a time.
        s.total = -1;
        SHPHandle shp = nullptr;
        if (s.editMode && escribible) {
            shp = SHPOpenLL(leido.c_str(), "rb+", &ganchos);
        } else {
            escribible = false;
            shp = s.AbreVentana(leido, 0);
        }
        if (!shp) {
            int e = errno;
            if (e == EACCES || e == EROFS)
                Falla(kPermisoDenegado, ruta + ": no se puede modificar el fichero");
            Falla(kLlamadaNoValida, ruta + ": no es un shapefile válido" + DetalleLib());
        }
        DBFHandle dbf = Fechada(DBFOpenLL(archivoDbf.c_str(), escribible ? "rb+" : "rb", &ganchos));
        if (!dbf) {
            SHPClose(shp);
            Falla(kLlamadaNoValida, rutaDbf + ": no es una tabla dBase válida" + DetalleLib());
        }
        if (tipo != 0 && shp->nShapeType != tipo) {
            int real = shp->nShapeType;
            DBFClose(dbf);
            SHPClose(shp);
            Falla(kTipoNoCoincide, ruta + ": el fichero es de tipo " + std::to_string(real) +
                                       ", no " + std::to_string(tipo));
        }
        s.shp = shp;
        s.dbf = dbf;
        s.escribible = escribible;
        s.leido = leido;
        s.tipo = shp->nShapeType;
        s.EligePagina();
        s.CargaCampos();
    } else {
        Falla(kLlamadaNoValida,
              ruta + ": indicador de creación no válido: " + std::to_string(crear));
    }
    s.ruta = ruta;
    s.archivo = archivo;
    s.canonica = canonica;
    s.Mueve(1);
}

namespace {

/// Why the records of the .shp `archivo` cannot be walked from header to header as the index
/// rebuild walks them, or "" when they can. shapelib's walk does not stop at a record length
/// that wraps its 32-bit offset round to where it was.
std::string CadenaRota(const std::string& archivo) {
    const int fd = ::open(archivo.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return comun::RazonSistema(errno);
    struct stat st {};
    ::fstat(fd, &st);
    const uint64_t real = static_cast<uint64_t>(st.st_size);
    using registro_shp::LeeBE32;
    unsigned char b[8];
    std::string motivo;
    if (::pread(fd, b, 4, 24) != 4) motivo = "cabecera incompleta";
    const uint64_t declarado = motivo.empty() ? uint64_t(LeeBE32(b)) * 2 : 0;
    int64_t registro = 0;
    for (uint64_t pos = 100; motivo.empty() && pos < std::min(declarado, real);) {
        ++registro;
        if (::pread(fd, b, 8, static_cast<off_t>(pos)) != 8) {
            motivo = "registro " + std::to_string(registro) + " incompleto";
            break;
        }
        const uint64_t siguiente = pos + 8 + uint64_t(LeeBE32(b + 4)) * 2;
        if (siguiente > real)
            motivo = "el registro " + std::to_string(registro) + " pasa del final del fichero";
        pos = siguiente;
    }
    ::close(fd);
    return motivo;
}

}  // namespace

std::string Shapefile::Impl::RestauraIndice(const std::string& archivo,
                                            const std::string& rutaShp) {
    if (const std::string rota = CadenaRota(archivo); !rota.empty())
        Falla(kLlamadaNoValida, rutaShp + ": no se puede reconstruir su índice: " + rota);
    // Named as the system's other temporaries, with this process's number, so that the folder
    // of a run killed while it held one is removed by the next run that rebuilds an index.
    std::error_code ecTemporal;
    std::string temporales = fs::temp_directory_path(ecTemporal).string();
    if (ecTemporal || temporales.empty()) temporales = "/tmp";
    comun::LimpiaTemporales(temporales);
    std::string plantilla = (fs::path(temporales) / (std::string(".shx") + comun::kMarcaTemporal +
                                                     std::to_string(::getpid()) + "-XXXXXX"))
                                .string();
    if (!mkdtemp(plantilla.data())) {
        const int e = errno;
        Falla(NumeroDeErrno(e), rutaShp +
                                    ": no se puede crear una carpeta temporal para su "
                                    "índice: " +
                                    comun::RazonSistema(e));
    }
    carpetaIndice = plantilla;
    const std::string enlace = carpetaIndice + "/indice.shp";
    std::error_code ec;
    fs::create_symlink(fs::absolute(archivo, ec), enlace, ec);
    if (ec)
        Falla(kErrorEntradaSalida, rutaShp +
                                       ": no se puede preparar la reconstrucción de su índice: " +
                                       comun::RazonSistema(ec.value()));
    SAHooks ganchos = Ganchos();
    g_ultimoError.clear();
    if (!SHPRestoreSHX(enlace.c_str(), "rb", &ganchos))
        Falla(kLlamadaNoValida, rutaShp + ": no se puede reconstruir su índice" + DetalleLib());
    return enlace;
}

void Shapefile::CommitFieldDefinitions() {
    Impl& s = *m_impl;
    s.ExigeEscritura();
    if (!s.definiendo) Falla(kLlamadaNoValida, s.ruta + ": los campos ya están definidos");
    if (DBFGetFieldCount(s.dbf) == 0)
        Falla(kLlamadaNoValida, s.ruta + ": la tabla necesita al menos un campo");
    s.CargaCampos();
    s.definiendo = false;
    s.IniciaDirecta();
}

void Shapefile::Impl::IniciaDirecta() {
    // shapelib writes the empty file with its headers; the records then go straight in.
    const size_t longitud = static_cast<size_t>(dbf->nRecordLength);
    const uint64_t cabeceraDbf = static_cast<uint64_t>(dbf->nHeaderLength);
    g_falloEscritura = false;
    DBFClose(dbf);
    SHPClose(shp);
    dbf = nullptr;
    shp = nullptr;
    if (g_falloEscritura) {
        g_falloEscritura = false;
        Falla(kErrorEntradaSalida,
              "no se puede escribir " + ruta + ": " + comun::RazonSistema(g_errorEscritura));
    }
    auto d = std::make_unique<Directa>();
    d->longitudRegistro = longitud;
    d->fondo = std::make_unique<EscritoraFondo>();
    const std::string base = Base(archivo);
    for (auto [f, extension, inicio] :
         {std::tuple{&d->shp, ".shp", uint64_t(100)}, std::tuple{&d->shx, ".shx", uint64_t(100)},
          std::tuple{&d->dbf, ".dbf", cabeceraDbf}}) {
        errno = 0;
        *f = Fichero(SAAbre((base + extension).c_str(), "rb+"));
        if (!*f)
            Falla(NumeroDeErrno(errno),
                  Base(ruta) + extension + ": no se puede abrir: " + comun::RazonSistema(errno));
        (*f)->pos = inicio;
        (*f)->escritura.reserve(ReservaBuffers::kMitad);
    }
    directa = std::move(d);
}

void Shapefile::Impl::AShapelib() {
    // Reading, copying into or changing a file being written: shapelib takes it from here.
    if (!directa) return;
    g_falloEscritura = false;
    directa->Termina();
    directa.reset();
    if (g_falloEscritura) {
        g_falloEscritura = false;
        Falla(kErrorEntradaSalida,
              "no se puede escribir " + ruta + ": " + comun::RazonSistema(g_errorEscritura));
    }
    SAHooks ganchos = Ganchos();
    errno = 0;
    total = -1;  // a file being written holds its whole index, which shapelib rewrites
    leido = archivo;
    shp = SHPOpenLL(archivo.c_str(), "rb+", &ganchos);
    dbf = shp ? Fechada(DBFOpenLL((Base(archivo) + ".dbf").c_str(), "rb+", &ganchos)) : nullptr;
    if (!dbf) {
        const int e = errno;
        if (shp) SHPClose(shp);
        shp = nullptr;
        Falla(kErrorEntradaSalida,
              ruta + ": no se puede volver a abrir: " + comun::RazonSistema(e) + DetalleLib());
    }
}

void Shapefile::Impl::EscribeDirecto(int n) {
    registro_shp::Vertices v{px.data(), py.data(), TipoConZ(tipo) ? pz.data() : nullptr,
                             static_cast<size_t>(n)};
    const registro_shp::Extension extension = registro_shp::Mide(v);
    if (TipoPoligono(tipo) && n > 0) {
        // shapelib's own rule on a shape that lives on the stack: outer rings clockwise.
        int inicio = 0, tipoParte = SHPP_RING;
        SHPObject o{};
        o.nSHPType = tipo;
        o.nParts = 1;
        o.panPartStart = &inicio;
        o.panPartType = &tipoParte;
        o.nVertices = n;
        o.padfX = px.data();
        o.padfY = py.data();
        o.padfZ = pz.data();
        SHPRewindObject(nullptr, &o);
    }
    if (directa->tamanoShp + registro_shp::Tamano(tipo, v) > 0xFFFFFFFFu)
        Falla(kErrorEntradaSalida,
              ruta + ": no se puede escribir el registro " + std::to_string(RecordCount() + 1) +
                  ": el fichero pasaría de 4 GB, lo más que admite el formato");
    directa->Escribe(tipo, v, extension, fila.data());
    if (directa->Fallo())
        Falla(kErrorEntradaSalida, ruta + ": no se puede escribir el registro " +
                                       std::to_string(RecordCount()) + FalloEscritura());
}

void Shapefile::Impl::EscribeRegistro() {
    ExigeEscritura();
    if (definiendo)
        Falla(kLlamadaNoValida, ruta + ": faltan CommitFieldDefinitions antes de escribir");
    int n = static_cast<int>(px.size());
    if (TipoPunto(tipo) && n > 1)
        Falla(kLlamadaNoValida,
              ruta + ": un registro de puntos lleva un solo vértice, no " + std::to_string(n));
    if (TipoPoligono(tipo) && n > 0 && (px[0] != px[n - 1] || py[0] != py[n - 1])) {
        // A ring must end where it starts.
        px.push_back(px[0]);
        py.push_back(py[0]);
        pz.push_back(pz[0]);
        ++n;
    }
    if (directa) {
        EscribeDirecto(n);
        VaciaPendiente();
        return;
    }
    int inicio = 0;
    SHPObject* o =
        SHPCreateObject(n == 0 ? SHPT_NULL : tipo, -1, n == 0 ? 0 : 1, &inicio, nullptr, n,
                        px.data(), py.data(), TipoConZ(tipo) ? pz.data() : nullptr, nullptr);
    if (!o) Falla(kLlamadaNoValida, ruta + ": no se puede crear el registro" + DetalleLib());
    if (TipoPoligono(tipo) && n > 0) SHPRewindObject(shp, o);  // outer rings clockwise
    int r = SHPWriteObject(shp, -1, o);
    SHPDestroyObject(o);
    if (r < 0 || !FalloEscritura().empty())
        Falla(kErrorEntradaSalida, ruta + ": no se puede escribir el registro " +
                                       std::to_string(RecordCount() + 1) + DetalleLib() +
                                       FalloEscritura());
    if (!DBFWriteTuple(dbf, DBFGetRecordCount(dbf), fila.data()) || !FalloEscritura().empty())
        Falla(kErrorEntradaSalida, ruta + ": no se puede escribir el registro " +
                                       std::to_string(RecordCount()) + DetalleLib() +
                                       FalloEscritura());
    VaciaPendiente();
}

void Shapefile::WriteRecord() { m_impl->EscribeRegistro(); }

int Shapefile::ShapeType() const {
    m_impl->ExigeAbierto();
    return m_impl->tipo;
}

int32_t Shapefile::RecordCount() const {
    m_impl->ExigeAbierto();
    return m_impl->RecordCount();
}

bool Shapefile::Eof() const { return m_impl->eof; }

void Shapefile::MoveFirst() { m_impl->Mueve(1); }

void Shapefile::MoveNext() {
    Impl& s = *m_impl;
    s.ExigeAbierto();
    if (s.eof) return;
    s.Mueve(s.actual + 1);
}

void Shapefile::MoveTo(int32_t registro) {
    if (registro < 1)
        Falla(kSubindice, m_impl->ruta + ": no existe el registro " + std::to_string(registro));
    m_impl->Mueve(registro);
}

void Shapefile::EditMode(bool editable) { m_impl->editMode = editable; }
bool Shapefile::EditMode() const { return m_impl->editMode; }

void Shapefile::CodePage(const std::string& pagina) { m_impl->paginaPedida = pagina; }
std::string Shapefile::CodePage() const {
    return m_impl->conversor ? m_impl->conversor->Pagina() : "WINDOWS-1252";
}
std::string Shapefile::UnknownCodePage() const { return m_impl->paginaDesconocida; }
int64_t Shapefile::LossyTexts() const { return m_impl->textosConPerdida; }
void Shapefile::RestoreIndex(bool restaurar) { m_impl->restaurarIndice = restaurar; }

const std::string& Shapefile::Ruta() const { return m_impl->ruta; }

void Shapefile::CloseShapefile() { m_impl->Cierra(); }

// ---- copying records ----

void Shapefile::CopyRecordTo(const std::string& ruta, int32_t registro) {
    m_impl->Copia(registro, ruta);
}

void Shapefile::Impl::Copia(int32_t registro, const std::string& rutaDestino) {
    ExigeAbierto();
    if (registro < 1 || registro > RecordCount())
        Falla(kSubindice, ruta + ": no existe el registro " + std::to_string(registro));
    int32_t guardado = actual;
    bool guardadoEof = eof;
    Mueve(registro);
    // A shape of its own, whole: the one read lives in shapelib's buffers, without the Z or
    // M arrays a type lacks.
    const SHPObject* leido = Objeto();
    std::unique_ptr<SHPObject, void (*)(SHPObject*)> copia(
        SHPCreateObject(leido->nSHPType, -1, leido->nParts, leido->panPartStart, leido->panPartType,
                        leido->nVertices, leido->padfX, leido->padfY, leido->padfZ,
                        leido->bMeasureIsUsed ? leido->padfM : nullptr),
        SHPDestroyObject);
    SHPObject* o = copia.get();
    const char* tupla = Tupla();
    std::string origen(tupla, static_cast<size_t>(dbf->nRecordLength));

    const std::string canon = Canonica(rutaDestino);
    if (canon == canonica)
        Falla(kLlamadaNoValida, ruta + ": no se puede copiar un registro sobre el mismo fichero");
    auto it = destinos.find(canon);
    if (it == destinos.end()) {
        auto d = std::make_unique<Shapefile>();
        d->EditMode(true);
        std::error_code ec;
        if (fs::exists(rutaDestino, ec)) {
            d->Open(rutaDestino, 0, tipo);
        } else {
            d->Open(rutaDestino, 1, tipo);
            for (const Campo& c : campos) {
                if (DBFAddNativeFieldType(d->m_impl->dbf, c.nombre.c_str(), c.tipo, c.ancho,
                                          c.decimales) < 0)
                    Falla(kLlamadaNoValida,
                          rutaDestino + ": no se puede crear el campo " + c.nombre + DetalleLib());
            }
            d->CommitFieldDefinitions();
        }
        // The opens above may have dropped this object's targets; the map is still valid.
        it = destinos.emplace(canon, std::move(d)).first;
    }
    Impl& d = *it->second->m_impl;
    if (o->nSHPType != SHPT_NULL && o->nSHPType != d.tipo)
        Falla(kTipoNoCoincide, rutaDestino + ": el fichero es de tipo " + std::to_string(d.tipo) +
                                   ", el registro " + std::to_string(registro) + " de " + ruta +
                                   " de tipo " + std::to_string(o->nSHPType));
    // Fields by name; same definition copies the bytes, otherwise the value is converted.
    for (size_t j = 0; j < d.campos.size(); ++j) {
        const Campo& cd = d.campos[j];
        for (size_t i = 0; i < campos.size(); ++i) {
            const Campo& co = campos[i];
            if (!IgualSinCaso(co.nombre, cd.nombre)) continue;
            const bool mismosBytes = co.tipo != 'C' || !conversor || conversor->Identidad();
            if (co.tipo == cd.tipo && co.ancho == cd.ancho && co.decimales == cd.decimales &&
                mismosBytes) {
                std::memcpy(d.fila.data() + cd.desplazamiento, origen.data() + co.desplazamiento,
                            co.ancho);
                d.fijado[j] = 1;
            } else {
                ValorCampo v = DeLaTabla(Lee(static_cast<int>(i), origen.data()));
                if (auto p = std::get_if<int32_t>(&v))
                    d.PonEntero(static_cast<int>(j), *p);
                else if (auto q = std::get_if<double>(&v))
                    d.PonNumero(static_cast<int>(j), *q);
                else if (auto t = std::get_if<std::string>(&v))
                    d.PonTexto(static_cast<int>(j), *t);
            }
            break;
        }
    }
    d.fila[0] = origen[0];
    d.AShapelib();
    int r = SHPWriteObject(d.shp, -1, o);
    if (r < 0) {
        d.VaciaPendiente();
        Falla(kErrorEntradaSalida,
              rutaDestino + ": no se puede escribir el registro" + DetalleLib());
    }
    if (!DBFWriteTuple(d.dbf, DBFGetRecordCount(d.dbf), d.fila.data())) {
        d.VaciaPendiente();
        Falla(kErrorEntradaSalida,
              rutaDestino + ": no se puede escribir el registro de la tabla" + DetalleLib());
    }
    d.VaciaPendiente();
    actual = guardado;
    eof = guardadoEof;
}

// ---- deleting fields ----

void Shapefile::ApplyFieldDeletions() { m_impl->BorraCampos(); }

void Shapefile::Impl::BorraCampos() {
    ExigeAbierto();
    AShapelib();
    std::vector<int> quedan;
    for (size_t i = 0; i < campos.size(); ++i)
        if (!campos[i].borrar) quedan.push_back(static_cast<int>(i));
    if (quedan.size() == campos.size()) return;
    if (!escribible || definiendo)
        Falla(kLlamadaNoValida, ruta + ": no se pueden borrar campos de este fichero");
    if (quedan.empty()) Falla(kLlamadaNoValida, ruta + ": no se pueden borrar todos los campos");

    // Rebuild beside the old table and rename over it: a failure leaves the old one intact.
    const std::string rutaDbf = Base(ruta) + ".dbf";
    const std::string archivoDbf = Base(archivo) + ".dbf";
    const std::string temporal = comun::RaizTemporal(Base(archivo)) + ".dbf";
    struct Temporales {
        std::string dbf, cpg;
        ~Temporales() {
            comun::Borra(dbf);
            comun::Borra(cpg);
        }
    } temporales{temporal, Base(temporal) + ".cpg"};
    SAHooks ganchos = Ganchos();
    const char* cp = DBFGetCodePage(dbf);
    errno = 0;
    DBFHandle nuevo = Fechada(DBFCreateLL(temporal.c_str(), cp, &ganchos));
    if (!nuevo)
        Falla(NumeroDeErrno(errno), "no se puede crear una tabla temporal junto a " + rutaDbf +
                                        ": " + comun::RazonSistema(errno));
    nuevo->iLanguageDriver = dbf->iLanguageDriver;
    auto abandona = [&](const std::string& msg) {
        DBFClose(nuevo);
        Falla(kErrorEntradaSalida, msg);
    };
    for (int i : quedan) {
        const Campo& c = campos[i];
        if (DBFAddNativeFieldType(nuevo, c.bruto.c_str(), c.tipo, c.ancho, c.decimales) < 0)
            abandona(rutaDbf + ": no se puede crear el campo " + c.nombre);
    }
    int n = DBFGetRecordCount(dbf);
    std::string registro(static_cast<size_t>(std::max(nuevo->nRecordLength, 1)), ' ');
    for (int r = 0; r < n; ++r) {
        const char* t = DBFReadTuple(dbf, r);
        if (!t) abandona(rutaDbf + ": no se puede leer el registro " + std::to_string(r + 1));
        registro[0] = t[0];
        for (size_t k = 0; k < quedan.size(); ++k) {
            const Campo& c = campos[quedan[k]];
            std::memcpy(registro.data() + nuevo->panFieldOffset[k], t + c.desplazamiento, c.ancho);
        }
        if (!DBFWriteTuple(nuevo, r, registro.data()) || Fichero(nuevo->fp)->fallo)
            abandona("no se puede escribir " + rutaDbf + ": " +
                     comun::RazonSistema(Fichero(nuevo->fp)->error));
    }
    // What closing returns decides: a table cut short by a full disk must not replace the old.
    g_falloEscritura = false;
    DBFClose(nuevo);
    if (g_falloEscritura) {
        g_falloEscritura = false;
        Falla(kErrorEntradaSalida,
              "no se puede escribir " + rutaDbf + ": " + comun::RazonSistema(g_errorEscritura));
    }
    DBFClose(dbf);
    dbf = nullptr;
    try {
        comun::Reemplaza(temporal, archivoDbf);
    } catch (const std::exception& e) {
        dbf = Fechada(DBFOpenLL(archivoDbf.c_str(), "rb+", &ganchos));
        Falla(kErrorEntradaSalida, e.what());
    }
    dbf = Fechada(DBFOpenLL(archivoDbf.c_str(), "rb+", &ganchos));
    if (!dbf) {
        const int e = errno;
        dbf = DBFOpenLL(archivoDbf.c_str(), "rb", &ganchos);
        Falla(kErrorEntradaSalida,
              "no se puede abrir " + rutaDbf + " tras sustituirla: " + comun::RazonSistema(e));
    }
    CargaCampos();
}

// ---- fields ----

void ShapeFields::Add(const std::string& nombre, int tipo, int ancho, int decimales) {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.ExigeEscritura();
    if (!s.definiendo)
        Falla(kLlamadaNoValida, s.ruta + ": no se pueden añadir campos a un fichero ya definido");
    if (nombre.empty() || nombre.size() > XBASE_FLDNAME_LEN_WRITE)
        Falla(kLlamadaNoValida, s.ruta + ": nombre de campo no válido: \"" + nombre + "\"");
    for (int i = 0; i < DBFGetFieldCount(s.dbf); ++i) {
        char n[XBASE_FLDNAME_LEN_READ + 1] = {};
        DBFGetFieldInfo(s.dbf, i, n, nullptr, nullptr);
        if (IgualSinCaso(n, nombre))
            Falla(kLlamadaNoValida, s.ruta + ": el campo " + nombre + " ya existe");
    }
    char letra;
    switch (tipo) {
        case 4:
            letra = 'N';
            decimales = 0;
            break;
        case 7:
            letra = 'N';
            break;
        case 10:
            letra = 'C';
            decimales = 0;
            break;
        default:
            Falla(kLlamadaNoValida,
                  s.ruta + ", campo " + nombre + ": tipo no válido: " + std::to_string(tipo));
    }
    int maximo = letra == 'C' ? 254 : 20;
    if (ancho < 1 || ancho > maximo || decimales < 0 || (decimales > 0 && decimales > ancho - 2))
        Falla(kLlamadaNoValida, s.ruta + ", campo " + nombre + ": anchura o decimales no válidos");
    if (DBFAddNativeFieldType(s.dbf, nombre.c_str(), letra, ancho, decimales) < 0)
        Falla(kLlamadaNoValida, s.ruta + ": no se puede añadir el campo " + nombre + DetalleLib());
}

ShapeField ShapeFields::Item(const std::string& nombre) const {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.ExigeAbierto();
    if (s.definiendo) s.CargaCampos();
    for (size_t i = 0; i < s.campos.size(); ++i)
        if (IgualSinCaso(s.campos[i].nombre, nombre)) return ShapeField(m_shp, static_cast<int>(i));
    Falla(kSubindice, s.ruta + ": no existe el campo " + nombre);
}

ShapeField ShapeFields::Item(int posicion) const {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.ExigeAbierto();
    if (s.definiendo) s.CargaCampos();
    if (posicion < 1 || posicion > static_cast<int>(s.campos.size()))
        Falla(kSubindice, s.ruta + ": no existe el campo " + std::to_string(posicion));
    return ShapeField(m_shp, posicion - 1);
}

int ShapeFields::Count() const {
    Shapefile::Impl& s = *m_shp->m_impl;
    return s.dbf ? DBFGetFieldCount(s.dbf) : static_cast<int>(s.campos.size());
}

std::string ShapeField::Name() const { return m_shp->m_impl->CampoEn(m_indice).nombre; }
char ShapeField::Type() const { return m_shp->m_impl->CampoEn(m_indice).tipo; }
int ShapeField::Width() const { return m_shp->m_impl->CampoEn(m_indice).ancho; }
int ShapeField::Decimals() const { return m_shp->m_impl->CampoEn(m_indice).decimales; }

ValorCampo ShapeField::Value() const {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.CampoEn(m_indice);
    if (s.fijado[m_indice]) return s.Lee(m_indice, s.fila.data());
    if (!s.EnRegistro() || s.definiendo) return std::monostate{};
    return s.DeLaTabla(s.Lee(m_indice, s.Tupla()));
}

void ShapeField::Value(int32_t valor) { m_shp->m_impl->PonEntero(m_indice, valor); }
void ShapeField::Value(int64_t valor) { m_shp->m_impl->PonEntero(m_indice, valor); }
void ShapeField::Value(double valor) { m_shp->m_impl->PonNumero(m_indice, valor); }
void ShapeField::Value(const std::string& valor) { m_shp->m_impl->PonTexto(m_indice, valor); }

void ShapeField::Delete() {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.ExigeAbierto();
    s.CampoEn(m_indice);
    s.campos[m_indice].borrar = true;
}

// ---- vertices and parts ----

void ShapeVertices::Add(double x, double y) {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.ExigeEscritura();
    s.px.push_back(x);
    s.py.push_back(y);
    s.pz.push_back(0.0);
}

void ShapeVertices::Add(double x, double y, double z) {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.ExigeEscritura();
    if (!TipoConZ(s.tipo))
        Falla(kLlamadaNoValida, s.ruta + ": el tipo " + std::to_string(s.tipo) + " no lleva Z");
    s.px.push_back(x);
    s.py.push_back(y);
    s.pz.push_back(z);
}

void ShapeVertices::Add(const double* x, const double* y, const double* z, size_t n) {
    Shapefile::Impl& s = *m_shp->m_impl;
    s.ExigeEscritura();
    if (z && !TipoConZ(s.tipo))
        Falla(kLlamadaNoValida, s.ruta + ": el tipo " + std::to_string(s.tipo) + " no lleva Z");
    s.px.insert(s.px.end(), x, x + n);
    s.py.insert(s.py.end(), y, y + n);
    if (z) {
        s.pz.insert(s.pz.end(), z, z + n);
    } else {
        s.pz.resize(s.pz.size() + n);
    }
}

ShapeVertex ShapeVertices::Item(int indice) const {
    Shapefile::Impl& s = *m_shp->m_impl;
    // Read once a vertex: the current record's shape, already read, straight.
    if (const SHPObject* o = s.objeto;
        o && s.objetoDe == s.actual && s.px.empty() && indice >= 1 && indice <= o->nVertices) {
        const size_t i = static_cast<size_t>(indice - 1);
        return ShapeVertex{o->padfX[i], o->padfY[i], o->padfZ ? o->padfZ[i] : 0.0};
    }
    int n = Count();
    if (indice < 1 || indice > n)
        Falla(kSubindice, s.ruta + ": no existe el vértice " + std::to_string(indice));
    size_t i = static_cast<size_t>(indice - 1);
    if (!s.px.empty()) return ShapeVertex{s.px[i], s.py[i], s.pz[i]};
    SHPObject* o = s.Objeto();
    return ShapeVertex{o->padfX[i], o->padfY[i], o->padfZ ? o->padfZ[i] : 0.0};
}

int ShapeVertices::Count() const {
    Shapefile::Impl& s = *m_shp->m_impl;
    if (!s.px.empty()) return static_cast<int>(s.px.size());
    if (!s.EnRegistro()) return 0;
    return s.Objeto()->nVertices;
}

int ShapeParts::Count() const {
    Shapefile::Impl& s = *m_shp->m_impl;
    if (!s.px.empty()) return 1;
    if (!s.EnRegistro()) return 0;
    SHPObject* o = s.Objeto();
    // Points and multipoints carry no part list: their vertices form one part.
    if (o->nParts == 0) return o->nVertices > 0 ? 1 : 0;
    return o->nParts;
}

ShapePart ShapeParts::Item(int indice) const {
    Shapefile::Impl& s = *m_shp->m_impl;
    int n = Count();
    if (indice < 1 || indice > n)
        Falla(kSubindice, s.ruta + ": no existe la parte " + std::to_string(indice));
    if (!s.px.empty()) return ShapePart{1, static_cast<int>(s.px.size())};
    SHPObject* o = s.Objeto();
    if (o->nParts == 0) return ShapePart{1, o->nVertices};
    int inicio = o->panPartStart[indice - 1];
    int fin = indice < o->nParts ? o->panPartStart[indice] : o->nVertices;
    if (inicio < 0 || fin > o->nVertices || fin < inicio)
        Falla(kLlamadaNoValida,
              s.ruta + ": partes dañadas en el registro " + std::to_string(s.actual));
    return ShapePart{inicio + 1, fin};
}

}  // namespace parvenza
