#pragma once
// The input files of a command line: files as given, folders as the files of a kind they hold.

#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace parvenza::cli {

/// A path of the command line that gives no input; its message is for the user.
class ErrorEntrada : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// The files `argumentos` name, in the order given: a file as it is (whatever its extension), a
/// folder as its files whose extension is one of `extensiones` (".bin", without regard to case),
/// sorted by name without regard to case, as the window's "Todo el directorio" lists them. A
/// file named twice (by itself and by its folder) is kept at its first place. Throws
/// ErrorEntrada for a path that does not exist and for a folder without files of the kind;
/// `clase` names the kind in the message ("BIN", "shapefile").
std::vector<std::string> ExpandeEntradas(const std::vector<std::string>& argumentos,
                                         const std::vector<std::string>& extensiones,
                                         const std::string& clase);

/// Adds `--jobs N` to `sub`: how many inputs are converted at once, a whole number above 0.
/// `trabajos` keeps 0 when the option is not given (one per core).
void OpcionTrabajos(CLI::App& sub, int& trabajos, const std::string& ayuda);

/// The inputs converted at once: `trabajos`, or one per core when it is 0.
int Trabajos(int trabajos);

}  // namespace parvenza::cli
