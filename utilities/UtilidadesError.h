#pragma once

#include "comun/Error.h"

namespace fenoquia {

// The shared error numbers, unqualified inside the library.
using enum parvenza::ErrorNumero;

/// The one exception type of the utilities library: a number (parvenza::ErrorNumero) and a
/// message naming the element concerned.
class UtilidadesError : public parvenza::Error {
  public:
    using parvenza::Error::Error;
};

}  // namespace fenoquia
