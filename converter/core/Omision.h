#pragma once
// What a finished run cut, replaced or left out of its output: one shared list, filled by the
// drivers and by every later step that loses something, shown by the hosts (the command line
// turns a non-empty list into its exit status 3, the window lists it after the run).

#include <cstdint>
#include <string>
#include <vector>

namespace parvenza {

/// The kind of a text in which characters Windows-1252 lacks became "?".
inline constexpr const char* kCaracteresSustituidos =
    "caracteres sin equivalente en Windows-1252, escritos como \"?\"";

/// One kind of loss in one input file: how often it happened and where, the first few times.
struct Omision {
    std::string fichero;             ///< the input file it belongs to
    std::string clase;               ///< what was lost and how ("CODIGO cortado a 6 caracteres")
    int64_t veces = 0;               ///< how many elements or records it touched
    std::vector<std::string> casos;  ///< the first Omisiones::kCasos ("elemento 12 (1234567)")
};

/// Every loss of a run, one entry per file and kind in the order first met. Texts are UTF-8.
class Omisiones {
  public:
    /// Places kept per kind; the summary says how many more there were.
    static constexpr size_t kCasos = 5;

    /// Counts one more `clase` in `fichero`, at `caso` ("registro 7: why", "elemento 12").
    void Anota(const std::string& fichero, const std::string& clase, const std::string& caso);
    /// Adds `o.veces` of its kind at once, with its places (a child run's report, a counter).
    void Suma(const Omision& o);
    /// Adds every entry of `otras`.
    void Junta(const Omisiones& otras);

    bool empty() const { return m_clases.empty(); }
    size_t size() const { return m_clases.size(); }
    std::vector<Omision>::const_iterator begin() const { return m_clases.begin(); }
    std::vector<Omision>::const_iterator end() const { return m_clases.end(); }

    /// The summary, one line per file and kind: "FILE: CLASE: caso" when it happened once,
    /// else "FILE: CLASE (N): caso; caso; ...; y M más".
    std::vector<std::string> Lineas() const;

  private:
    Omision& Entrada(const std::string& fichero, const std::string& clase);
    std::vector<Omision> m_clases;
};

}  // namespace parvenza
