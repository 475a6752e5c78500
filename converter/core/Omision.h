#pragma once
// What a finished run left out of its output: one shared list, filled by the drivers and by
// every later step that drops something, shown by the hosts (the command line turns a
// non-empty list into its exit status 3).

#include <string>
#include <vector>

namespace parvenza {

/// Something of the input that did not reach the output.
struct Omision {
    std::string fichero;  ///< the input file it belongs to
    std::string detalle;  ///< what was left out and why ("registro 7: ...")
};

using Omisiones = std::vector<Omision>;

}  // namespace parvenza
