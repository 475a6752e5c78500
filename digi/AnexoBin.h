#pragma once
// Appending to a BIN file so that a failed or killed run never costs data: the elements go to
// a copy of the file beside it, and the copy takes the file's place in one rename. Another
// program, or the next run after `kill -9`, a full disk or a power cut, sees the file wholly
// as it was or wholly with the new elements.

#include <cstdint>
#include <memory>
#include <string>

#include "digi/Registros.h"

namespace parvenza::comun {
class Cerrojo;
}

namespace brisquel {

/// One append to a BIN file under way. Opening it takes the lock on the file (a second run
/// waits for the first, then appends after its elements, or stops with a message naming the
/// file), checks that the file is a BIN file (missing, empty, or walked whole to its last byte
/// without a damaged element) and copies it to a temporary sibling. Elements are then
/// written to the copy as they come; Confirma() puts it in the file's place. Without
/// Confirma() the copy is removed and the file is untouched; the copy of a killed run is
/// removed by the next run in that folder. A file reached through a symbolic link is replaced
/// behind the link; the replaced file keeps its permissions (and its owner, where allowed).
class AnexoBin {
  public:
    /// Opens the append to `fichero`, waiting up to `esperaSegundos` for another run's lock.
    /// Throws DigiError: the system's reason naming the file (53, 57, 70, 75, 76), a file that
    /// is not a BIN file (13), a lock not had in time (75).
    explicit AnexoBin(const std::string& fichero, int esperaSegundos = 30);
    ~AnexoBin();
    AnexoBin(const AnexoBin&) = delete;
    AnexoBin& operator=(const AnexoBin&) = delete;

    /// Appends `elemento` after the elements before it, as CreaFicheroDigi does: its
    /// properties (AdaptaPropiedad) and range are recomputed in place; a kind other than "C="
    /// or "T=" is passed over. An element that cannot be written throws DigiError naming it by
    /// its number in this append and leaves the append as it was, so the caller may go on; a
    /// failed write throws naming the file, and the append can then only be abandoned.
    void Anade(tipo_entidad& elemento);

    /// Where the append stands: elements and bytes handed so far.
    struct Marca {
        int64_t elementos = 0, bytes = 0;
    };
    Marca Estado() const { return {m_elementos, m_anadidos + int64_t(m_tanda.size())}; }
    /// Drops the elements appended since `marca` (taken from this append), written to the
    /// copy or not: a caller whose record fails half-way takes back its first elements.
    void Vuelve(const Marca& marca);
    /// Whether a write has failed: the append can then only be abandoned.
    bool Fallido() const { return m_fallido; }

    /// Appends the whole of `fichero`, a BIN file of `elementos` elements that another
    /// append of this program wrote (a worker's share of the run), after the elements before
    /// it. A failed read or write throws naming the file, and the append can then only be
    /// abandoned.
    void AnadeBin(const std::string& fichero, int64_t elementos);
    /// The elements appended from here on are numbered from 1 in messages: those of the next
    /// input, when one append takes several.
    void NuevaEntrada() { m_primero = m_elementos; }
    /// For a scratch file that another append takes in: Confirma skips flushing it to the
    /// disk, which the final append does once for all.
    void SinSincronizar() { m_sincroniza = false; }

    /// Writes what is pending, flushes the copy to the disk and renames it over the file.
    /// Every step is checked; on a failure the file stays as it was. Throws DigiError.
    void Confirma();

    /// The file appended to (behind its symbolic links).
    const std::string& Fichero() const { return m_destino; }
    /// Elements handed to Anade, written or passed over.
    int64_t Elementos() const { return m_elementos; }
    /// Bytes appended so far.
    int64_t BytesAnadidos() const { return m_anadidos; }

  private:
    void Vuelca();
    void Copia(const std::string& origen);
    void Abandona() noexcept;

    std::string m_destino;
    std::string m_temporal;
    std::unique_ptr<parvenza::comun::Cerrojo> m_cerrojo;
    int m_fd = -1;
    int64_t m_posicion = 0;  // 0-based offset in the copy where the pending bytes go
    int64_t m_elementos = 0;
    int64_t m_primero = 0;  // elements before the current input's, for messages
    int64_t m_anadidos = 0;
    std::string m_tanda;  // encoded elements not yet written
    bool m_fallido = false;
    bool m_confirmado = false;
    bool m_recorta = false;  // bytes already written were taken back: the copy ends earlier
    bool m_sincroniza = true;
};

/// Why the file `ruta` cannot be read as a BIN file; empty when it can. An empty file is a BIN
/// file; one of fewer bytes than an element's header and range is not, nor one whose first
/// element is of a corrupt kind ("=" second, first neither "C" nor "T") or has a header that
/// cannot be decoded. With `entero`, every element is checked by its header the same way, and
/// the last must end at the file's last byte. The reason starts with the byte position
/// concerned. Throws DigiError when the file cannot be read.
std::string DefectoBin(const std::string& ruta, bool entero);

}  // namespace brisquel
