#pragma once
// Rounding and 32-bit sums shared by the entity classes (not installed for callers).

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "entity/EntidadError.h"

namespace lumeral::detalle {

/// Nearest integer, halves to even; overflow error outside the 32-bit range.
inline int32_t Redondea(double v, const char* que) {
    const double r = std::nearbyint(v);
    if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
        throw EntidadError(kDesbordamiento, std::string("Desbordamiento en ") + que);
    return static_cast<int32_t>(r);
}

/// a + b (or any 64-bit result) checked against the 32-bit range.
inline int32_t A32(int64_t v, const char* que) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw EntidadError(kDesbordamiento, std::string("Desbordamiento en ") + que);
    return static_cast<int32_t>(v);
}

}  // namespace lumeral::detalle
