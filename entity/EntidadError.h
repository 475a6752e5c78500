#pragma once

#include "comun/Error.h"

namespace lumeral {

// The shared error numbers, unqualified inside the library.
using enum parvenza::ErrorNumero;

/// The one exception type of the entity model library (numbers: parvenza::ErrorNumero).
class EntidadError : public parvenza::Error {
  public:
    using parvenza::Error::Error;
};

}  // namespace lumeral
