#pragma once

#include "comun/Error.h"

namespace brisquel {

// The shared error numbers, unqualified inside the library.
using enum parvenza::ErrorNumero;

/// The one exception type of the Digi file library; its numbers are the shared ones
/// (parvenza::ErrorNumero).
class DigiError : public parvenza::Error {
  public:
    using parvenza::Error::Error;
};

}  // namespace brisquel
