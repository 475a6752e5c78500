#pragma once
// The open-file dialog is shown by the host, not by this library: the window installs a
// chooser over QFileDialog, tests a scripted one. The library never links a GUI toolkit.

#include <memory>
#include <string>
#include <utility>

namespace fenoquia {

/// What shows an open-file dialog. Implemented by the host program.
class SelectorFichero {
  public:
    virtual ~SelectorFichero() = default;

    /// Lets the user choose one existing file, or cancel.
    /// `filtro` is in the "description|pattern|description|pattern" form, e.g.
    /// "Fichero BIN (*.bin)|*.bin" (FiltroEnFormaQt turns it into QFileDialog's form);
    /// `titulo` is the dialog's title. Returns the chosen file's full path, as bytes of the
    /// file system (QFile::encodeName in the window), or an empty string when cancelled.
    /// May throw any std::exception when the dialog itself fails.
    virtual std::string Elige(const std::string& filtro, const std::string& titulo) = 0;

    /// Lets the user name a file to write to, existing or new (without asking about
    /// overwriting: the program appends to it), or cancel. Arguments and result as Elige,
    /// which it asks unless the host offers a dialog of its own.
    virtual std::string EligeNuevo(const std::string& filtro, const std::string& titulo) {
        return Elige(filtro, titulo);
    }
};

/// Answers every question with one path: the file a command line or a script names.
class SelectorFijo : public SelectorFichero {
  public:
    explicit SelectorFijo(std::string ruta) : m_ruta(std::move(ruta)) {}
    std::string Elige(const std::string&, const std::string&) override { return m_ruta; }

  private:
    std::string m_ruta;
};

/// Installs the process-wide chooser that Utilidades::PideFichero asks; nullptr removes it.
void EstableceSelectorFichero(std::shared_ptr<SelectorFichero> selector);

/// The installed chooser, or nullptr.
std::shared_ptr<SelectorFichero> SelectorFicheroActual();

/// "Fichero BIN (*.bin)|*.bin|Todos (*.*)|*.*" -> "Fichero BIN (*.bin);;Todos (*.*)".
/// A description that does not already show its pattern in parentheses gets it appended,
/// since QFileDialog filters by what is between the parentheses.
std::string FiltroEnFormaQt(const std::string& filtro);

}  // namespace fenoquia
