#pragma once
// Internal to the utilities library: the shared reader objects and the one place where the
// errors of the libraries it calls become its own.

#include <exception>
#include <string>

#include "utilities/UtilidadesError.h"

namespace brisquel {
class FicheroDigi;
}
namespace dornavel {
class clsFicheroDxf;
}

namespace fenoquia {

/// The library's FicheroDigi, created on first use and kept for the life of the process.
brisquel::FicheroDigi& FicheroDigiComun();
/// The library's clsFicheroDxf, likewise.
dornavel::clsFicheroDxf& LectorDxfComun();

/// Runs `f`; an error of any library becomes a UtilidadesError with the same number and the
/// method's name in front of the message.
template <class F>
void Protegido(const char* metodo, F&& f) {
    const std::string prefijo = std::string(metodo) + ": ";
    try {
        f();
    } catch (const parvenza::Error& e) {
        const std::string m = e.what();
        throw UtilidadesError(e.numero(), m.rfind(prefijo, 0) == 0 ? m : prefijo + m);
    }
}

}  // namespace fenoquia
