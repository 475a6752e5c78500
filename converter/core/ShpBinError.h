#pragma once
// The one exception type of the shapefile-to-BIN side: field listing, selection state and
// the conversion run.

#include <stdexcept>
#include <string>

#include "comun/Error.h"

namespace parvenza {

/// A failure with its number (ErrorNumero) and a message naming the file or field concerned.
class ShpBinError : public Error {
  public:
    using Error::Error;
};

}  // namespace parvenza
