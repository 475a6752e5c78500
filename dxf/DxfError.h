#pragma once

#include "comun/Error.h"

namespace dornavel {

// The shared error numbers, unqualified inside the library.
using enum parvenza::ErrorNumero;

/// The one exception type of the DXF reader library: a number (parvenza::ErrorNumero) and
/// a message naming the line concerned.
class DxfError : public parvenza::Error {
  public:
    using parvenza::Error::Error;
};

}  // namespace dornavel
