#include "digi/FicheroDigi.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "comun/Reemplazo.h"
#include "digi/AnexoBin.h"
#include "digi/Elemento.h"
#include "digi/FicheroBin.h"

namespace brisquel {

namespace {

// Clears the record. `tipo`, `codigo`, `rango` and the arrays are left to the caller (the
// header decode overwrites the first two, VaciaCuerpo or the body decode the others): a
// walk reuses one record, and its strings and arrays keep their room.
void Reinicia(tipo_entidad& e) {
    tipo_entidad_mem& m = e.elemento;
    m.cabecera.natr = 0;
    m.cabecera.npuntos = 0;
    tipo_propiedad& p = e.Propiedad;
    p.EsCerrado = p.EsPunto = p.EsTexto = p.EsVisible = p.Modificado = false;
    p.area = 0.0;
    p.texto.clear();
    p.tmp.clear();
    e.nfich = e.puntero = e.tamano = 0;
}

void VaciaCuerpo(tipo_entidad_mem& m) {
    m.rango = tipo_max{};
    m.coordenadas.clear();
    m.textos.clear();
    m.atributos.clear();
}

bool EsVivo(const tipo_entidad& e) {
    return e.nfich != 0 || EsTipo(e.elemento.cabecera.tipo, 'C') ||
           EsTipo(e.elemento.cabecera.tipo, 'T');
}

// Whole text of a text element into `destino`: its first npuntos - 1 blocks, cut at the
// first NUL and trimmed of spaces. Built in place: a walk reuses the string's room.
void TextoDe(const tipo_entidad_mem& m, std::string& destino) {
    const int n = m.cabecera.npuntos - 1;
    if (n > int(m.textos.size())) {
        throw DigiError(kSubindice, "subíndice fuera de rango: npuntos dice " + std::to_string(n) +
                                        " bloques de texto y el elemento tiene " +
                                        std::to_string(m.textos.size()));
    }
    destino.clear();
    for (int i = 0; i < n; ++i) {
        const std::string& b = m.textos[i].texto12;
        const size_t nul = b.find('\0');
        destino.append(b, 0, nul);
        if (nul != std::string::npos) break;
    }
    const size_t fin = destino.find_last_not_of(' ');
    destino.resize(fin == std::string::npos ? 0 : fin + 1);
    const size_t inicio = destino.find_first_not_of(' ');
    if (inicio != 0 && inicio != std::string::npos) destino.erase(0, inicio);
}

[[noreturn]] void PosicionDesbordada(const std::string& ruta, int64_t posicion) {
    throw DigiError(kDesbordamiento, EnFichero(ruta) + "desbordamiento: la posición de byte " +
                                         std::to_string(posicion) + " pasa de 32 bits");
}

inline int32_t Posicion32(const std::string& ruta, int64_t posicion) {
    if (posicion > std::numeric_limits<int32_t>::max()) PosicionDesbordada(ruta, posicion);
    return static_cast<int32_t>(posicion);
}

DigiError EnElemento(const DigiError& e, const std::string& ruta, int64_t puntero) {
    return DigiError(e.numero(), EnFichero(ruta) + "elemento en el byte " +
                                     std::to_string(puntero) + ": " + e.what());
}

// The states that end the program: thrown, so the caller's outputs roll back on the way to
// the host, which shows the text and ends the program.
[[noreturn]] void TerminaPrograma(const std::string& texto) {
    throw parvenza::FinDePrograma(texto);
}

// One pass of the compaction: walks the file and moves each live element that has a gap
// before it down to the write position. With `escribe` false nothing is written, so every
// read or encoding error shows up before the file is touched. Returns the position after
// the last element moved, 0 when none had to move.
int64_t Compacta(FicheroDigi& digi, int32_t n, bool escribe) {
    FicheroBin& f = FicheroAbierto(n);
    int64_t w = 1, e = 0, siguiente = 0;
    tipo_entidad ent;
    std::string bytes;
    f.Situa(1);
    do {
        digi.DameEntidad(n, ent);
        siguiente = int64_t(ent.puntero) + ent.tamano;
        if (EsVivo(ent)) {
            if (w < ent.puntero) {
                bytes.clear();
                try {
                    CodificaElemento(ent.elemento, bytes);
                } catch (const DigiError& err) {
                    throw EnElemento(err, f.Ruta(), ent.puntero);
                }
                if (escribe) f.Escribe(w, bytes.data(), bytes.size());
                e = w + int64_t(bytes.size());
                w = e;
            } else {
                w = siguiente;
            }
        }
        f.Situa(siguiente);
    } while (siguiente < f.Longitud());
    return e;
}

// Ends the file at `longitud` bytes through the system directly; any failure ends the
// program, since the moved elements are in place but the old tail is still there.
void Corta(const std::string& ruta, int64_t longitud) {
    const int fd = ::open(ruta.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        TerminaPrograma(EnFichero(ruta) + "no se puede abrir el fichero para acortarlo: " +
                        parvenza::comun::RazonSistema(errno));
    }
    if (::ftruncate(fd, longitud) != 0) {
        const int err = errno;
        ::close(fd);
        TerminaPrograma(EnFichero(ruta) + "no se puede acortar el fichero a " +
                        std::to_string(longitud) + " bytes: " + parvenza::comun::RazonSistema(err));
    }
    if (::close(fd) != 0) {
        TerminaPrograma(EnFichero(ruta) + "no se puede cerrar el fichero acortado: " +
                        parvenza::comun::RazonSistema(errno));
    }
}

}  // namespace

void FicheroDigi::AbreFichero(const std::string& fichero, int32_t& nfich) {
    nfich = AbreBin(fichero);
}

void FicheroDigi::AbreFicheroLectura(const std::string& fichero, int32_t& nfich) {
    nfich = AbreBin(fichero, true);
}

int64_t FicheroDigi::LongitudFichero(int32_t nfich) { return FicheroAbierto(nfich).Longitud(); }

void FicheroDigi::SituaLectura(int32_t nfich, int64_t puntero) {
    FicheroAbierto(nfich).Situa(puntero);
}

bool FicheroDigi::ElementoCortado(int32_t nfich, const tipo_entidad& entidad) {
    if (entidad.nfich != 0 || entidad.puntero < 1) return false;
    return int64_t(entidad.puntero) - 1 + entidad.tamano > FicheroAbierto(nfich).Longitud();
}

void FicheroDigi::CierraFichero(const std::string& /*fichero*/, int32_t nfich) { CierraBin(nfich); }

void FicheroDigi::comprimir(const std::string& fichero) {
    int32_t n = 0;
    AbreFichero(fichero, n);
    const int64_t inicial = FicheroAbierto(n).Longitud();
    int64_t e = 0;
    try {
        if (Compacta(*this, n, false) != 0) e = Compacta(*this, n, true);
    } catch (...) {
        CierraFichero(fichero, n);
        throw;
    }
    CierraFichero(fichero, n);
    if (1 < e && e < inicial) {
        Corta(fichero, e - 1);
        TrasCortar(fichero);  // the file may be open under other numbers too
    }
}

void FicheroDigi::DameEntidad(int32_t nfich, tipo_entidad& entidad) {
    FicheroBin& f = FicheroAbierto(nfich);
    for (;;) {
        Reinicia(entidad);
        const int64_t inicio = f.Posicion();
        tipo_dat& c = entidad.elemento.cabecera;
        try {
            const unsigned char* h = nullptr;
            try {
                h = f.Lee(inicio, kBloque);
            } catch (...) {
                c.tipo.clear();
                c.codigo.clear();
                throw;
            }
            DecodificaCabecera(h, c);
        } catch (const DigiError& err) {
            VaciaCuerpo(entidad.elemento);
            throw EnElemento(err, f.Ruta(), inicio);
        }
        const int32_t puntero = Posicion32(f.Ruta(), inicio);
        bool vivo = true;
        int64_t fin = 0;
        if (c.tipo[1] != '=') {
            vivo = false;
            VaciaCuerpo(entidad.elemento);
            entidad.puntero = puntero;
            fin = inicio + TamanoSegunCabecera(c);
        } else if (c.tipo[0] == 'T' || c.tipo[0] == 'C') {
            const int64_t tamano = TamanoLeido(c);
            try {
                DecodificaCuerpo(f.Lee(inicio, size_t(tamano)), entidad.elemento);
            } catch (const DigiError& err) {
                throw EnElemento(err, f.Ruta(), inicio);
            }
            fin = inicio + tamano;
            entidad.nfich = nfich;
            entidad.puntero = puntero;
            tipo_propiedad& p = entidad.Propiedad;
            p.EsVisible = true;
            p.Modificado = false;
            const bool ultimo = inicio + tamano >= f.Longitud();
            if (c.tipo[0] == 'T') {
                p.EsTexto = true;
                p.EsCerrado = p.EsPunto = false;
                // Only the last element keeps this text; AdaptaPropiedad sets it for the rest.
                if (ultimo) TextoDe(entidad.elemento, p.texto);
            } else {
                p.EsTexto = false;
                const auto& v = entidad.elemento.coordenadas;
                if (c.npuntos == 1) {
                    p.EsPunto = true;
                    p.EsCerrado = false;
                } else if (c.npuntos >= 2) {
                    p.EsPunto = false;
                    p.EsCerrado = v.front() == v.back();
                    // Likewise for the area.
                    if (p.EsCerrado && ultimo) {
                        try {
                            p.area = AreaPoligono(v, v.size());
                        } catch (const DigiError& err) {
                            throw EnElemento(err, f.Ruta(), inicio);
                        }
                    }
                }
            }
        } else {
            TerminaPrograma(EnFichero(f.Ruta()) + "fichero corrupto...");
        }
        f.Situa(fin);
        entidad.tamano = Posicion32(f.Ruta(), fin - inicio);
        // The element that reaches the end of the file comes back as it was read.
        if (fin >= f.Longitud()) {
            entidad.nfich = 0;
            return;
        }
        if (vivo) {
            try {
                AdaptaPropiedad(entidad);
            } catch (const DigiError& err) {
                throw EnElemento(err, f.Ruta(), inicio);
            }
            // AdaptaPropiedad sizes by the header alone, 12 bytes short for a text of npuntos
            // 0, which still has its insertion point; the load and comprimir step on by
            // puntero + tamano, so keep the span actually read.
            entidad.tamano = Posicion32(f.Ruta(), fin - inicio);
            return;
        }
    }
}

void FicheroDigi::CargaFicheroDigi(const std::string& /*fichero*/,
                                   std::vector<tipo_entidad>& elementos, int32_t nfich) {
    FicheroBin& f = FicheroAbierto(nfich);
    int64_t posicion = 1;
    do {
        f.Situa(posicion);
        tipo_entidad e;
        try {
            DameEntidad(nfich, e);
        } catch (const DigiError&) {
            // A failing element is passed over with what was read of it.
        }
        const int64_t siguiente = int64_t(e.puntero) + e.tamano;
        // A header that could not be read gives no way to the next element.
        if (siguiente <= posicion) break;
        if (EsVivo(e)) elementos.push_back(std::move(e));
        posicion = siguiente;
    } while (posicion < f.Longitud());
}

void FicheroDigi::AdaptaPropiedad(tipo_entidad& entidad) {
    tipo_propiedad& p = entidad.Propiedad;
    const tipo_dat& c = entidad.elemento.cabecera;
    p.Modificado = false;
    p.texto.clear();
    entidad.tamano = kCabecera + kBloque * c.npuntos + kBloque * c.natr;
    if (EsTipo(c.tipo, 'C')) {
        p.EsTexto = false;
        if (c.npuntos == 1) {
            p.area = 0;
            p.EsPunto = true;
            p.EsCerrado = false;
            return;
        }
        p.EsPunto = false;
        const auto& v = entidad.elemento.coordenadas;
        if (c.npuntos < 1 || size_t(c.npuntos) > v.size()) {
            throw DigiError(kSubindice, "subíndice fuera de rango: línea de " +
                                            std::to_string(c.npuntos) + " puntos con " +
                                            std::to_string(v.size()) + " coordenadas");
        }
        const Fpunto3d& a = v.front();
        const Fpunto3d& b = v[c.npuntos - 1];
        if (a.x != b.x || a.y != b.y || c.npuntos < 3) {
            p.area = 0;
            p.EsCerrado = false;
        } else {
            p.EsCerrado = true;
            p.area = AreaPoligono(v, size_t(c.npuntos));
        }
    } else if (EsTipo(c.tipo, 'T')) {
        p.area = 0;
        p.EsTexto = true;
        p.EsPunto = false;
        p.EsCerrado = false;
        TextoDe(entidad.elemento, p.texto);
    }
}

void FicheroDigi::CreaFicheroDigi(const std::string& fichero,
                                  std::vector<tipo_entidad>& elementos) {
    AnexoBin anexo(fichero);
    for (tipo_entidad& el : elementos) anexo.Anade(el);
    anexo.Confirma();
}

void FicheroDigi::limpia_texto(std::string& texto) { texto = TextoLimpio(texto); }

void FicheroDigi::ModificaTextoEntidad(std::string& texto, tipo_entidad& entidad) {
    std::vector<FTexto>& textos = entidad.elemento.textos;
    textos.clear();
    const std::string recortado = SinEspacios(texto);
    if (recortado.size() > 11) {
        size_t i = 0;
        for (; i + kBloque <= texto.size(); i += kBloque)
            textos.push_back({texto.substr(i, kBloque)});
        std::string resto = i < texto.size() ? SinEspacios(texto.substr(i)) : std::string();
        // A text that fills its blocks exactly still needs a NUL after it.
        resto.resize(kBloque, '\0');
        textos.push_back({resto});
    } else {
        texto = recortado;
        texto.resize(kBloque, '\0');
        textos.push_back({texto});
    }
    if (textos.size() + 1 > 32767) {
        textos.clear();
        throw DigiError(kDesbordamiento, "desbordamiento: un texto de " +
                                             std::to_string(texto.size()) +
                                             " caracteres necesita más de 32766 bloques");
    }
    entidad.elemento.cabecera.npuntos = static_cast<int16_t>(textos.size() + 1);
}

}  // namespace brisquel
