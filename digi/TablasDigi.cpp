// The code table (.tab) and palette (.pal) readers of FicheroDigi. They open their files
// by name for the length of the call and take no file number, so a BIN file open at the
// same time never gets in their way.

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "comun/Reemplazo.h"
#include "digi/Elemento.h"
#include "digi/FicheroDigi.h"
#include "digi/Mensajes.h"

namespace brisquel {

namespace {

constexpr int kColumnasTab = 27;

// The file's lines, ended by LF, CR LF or CR; a last line without its end counts too.
std::vector<std::string> LeeLineas(const std::string& ruta) {
    std::ifstream in(ruta, std::ios::binary);
    if (!in) {
        const int err = errno;
        const int numero = err == ENOENT   ? kFicheroNoEncontrado
                           : err == EACCES ? kPermisoDenegado
                                           : kErrorAccesoRuta;
        throw DigiError(numero,
                        ruta + ": no se puede abrir: " + parvenza::comun::RazonSistema(err));
    }
    std::ostringstream todo;
    todo << in.rdbuf();
    const std::string s = todo.str();
    std::vector<std::string> lineas;
    size_t a = 0;
    while (a < s.size()) {
        size_t b = s.find_first_of("\r\n", a);
        if (b == std::string::npos) {
            lineas.push_back(s.substr(a));
            break;
        }
        lineas.push_back(s.substr(a, b - a));
        a = b + ((s[b] == '\r' && b + 1 < s.size() && s[b + 1] == '\n') ? 2 : 1);
    }
    return lineas;
}

// A decimal number as the table files write them, rounded to an integer (halves to even).
// Not a number: type mismatch (13); outside [minimo, maximo]: overflow (6).
int64_t AEntero(const std::string& texto, int64_t minimo, int64_t maximo,
                const std::string& donde) {
    const std::string t = SinEspacios(texto);
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digitos = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digitos;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digitos;
    }
    if (digitos > 0 && i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        const size_t k = j;
        while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) ++j;
        if (j > k) i = j;
    }
    if (digitos == 0 || i != t.size()) {
        throw DigiError(kTipoNoCoincide,
                        donde + "tipo no coincidente: \"" + texto + "\" no es un número");
    }
    const double v = std::nearbyint(std::strtod(t.c_str(), nullptr));
    if (!(v >= double(minimo) && v <= double(maximo))) {
        throw DigiError(kDesbordamiento, donde + "desbordamiento: " + t + " está fuera de " +
                                             std::to_string(minimo) + " a " +
                                             std::to_string(maximo));
    }
    return static_cast<int64_t>(v);
}

bool EsSeparadorPaleta(char c) { return c == 9 || c == 20 || c == 32 || c == 44 || c == 59; }

// Tokens of a palette line: runs of separators count as one; a separator at the end adds
// an empty last token.
std::vector<std::string> TokensPaleta(const std::string& linea) {
    std::vector<std::string> tokens;
    std::string actual;
    bool enSeparador = true;  // separators before the first token start nothing
    for (char c : linea) {
        if (EsSeparadorPaleta(c)) {
            if (!enSeparador) {
                tokens.push_back(actual);
                actual.clear();
            }
            enSeparador = true;
        } else {
            actual += c;
            enSeparador = false;
        }
    }
    if (!actual.empty() || (!tokens.empty() && enSeparador)) tokens.push_back(actual);
    return tokens;
}

std::string EnLinea(const std::string& ruta, size_t linea) {
    return ruta + ": línea " + std::to_string(linea) + ": ";
}

}  // namespace

void FicheroDigi::leo_PAL(const std::string& fich_pal, Paleta& pal) {
    const std::vector<std::string> lineas = LeeLineas(fich_pal);
    size_t indice = 0;
    for (size_t l = 0; l < lineas.size(); ++l) {
        const std::string linea = SinEspacios(lineas[l]);
        if (linea.empty() || linea.rfind("//", 0) == 0) continue;
        const std::vector<std::string> t = TokensPaleta(linea);
        if (t.size() < 3) {
            MuestraMensaje("Error en formato de fichero : " + fich_pal);
            pal.clear();
            return;
        }
        const std::string donde = EnLinea(fich_pal, l + 1);
        const int64_t r = AEntero(t[0], -32768, 32767, donde);
        const int64_t g = AEntero(t[1], -32768, 32767, donde);
        const int64_t b = AEntero(t[2], -32768, 32767, donde);
        const int64_t valor = r + 256 * g + 65536 * b;
        if (valor < INT32_MIN || valor > INT32_MAX) {
            throw DigiError(kDesbordamiento, donde + "desbordamiento: valor de color " +
                                                 std::to_string(valor) + " pasa de 32 bits");
        }
        ++indice;
        pal.resize(indice);
        pal[indice - 1] = {int32_t(r), int32_t(g), int32_t(b), int32_t(valor)};
    }
}

void FicheroDigi::leo_digi_tab(const std::string& fich_digitab, TablaDigi& digitab,
                               int32_t& Fondo_pantalla, int32_t& colornuevo) {
    const std::vector<std::string> lineas = LeeLineas(fich_digitab);

    // First pass: the header values and the number of data lines.
    Fondo_pantalla = 25000;
    colornuevo = 25000;
    size_t datos = 0;
    int tokensCabecera = 0;  // kept across header lines, as is the token being built
    std::string token;
    for (size_t l = 0; l < lineas.size(); ++l) {
        const std::string& linea = lineas[l];
        if (linea.rfind("//@", 0) == 0) {
            for (size_t i = 0; i < linea.size(); ++i) {
                const char c = linea[i];
                if ((c == ' ' && i > 0 && linea[i - 1] != ' ') || c == '\n') {
                    if (++tokensCabecera == 2) {
                        const std::string donde = EnLinea(fich_digitab, l + 1);
                        Fondo_pantalla = int32_t(AEntero(token, INT32_MIN, INT32_MAX, donde));
                        colornuevo = int32_t(AEntero(linea.substr(i), INT32_MIN, INT32_MAX, donde));
                        break;
                    }
                    token.clear();
                } else {
                    token += c;
                }
            }
        } else if (linea.rfind("//", 0) != 0) {
            ++datos;
        }
    }

    if (!digitab.empty() && digitab.size() != datos) {
        throw DigiError(kSubindice, fich_digitab +
                                        ": subíndice fuera de rango: la tabla recibida tiene " +
                                        std::to_string(digitab.size()) + " filas y el fichero " +
                                        std::to_string(datos));
    }
    digitab.resize(datos);

    // Second pass: one row per data line.
    size_t fila = 0;
    for (size_t l = 0; l < lineas.size(); ++l) {
        const std::string& linea = lineas[l];
        if (linea.rfind("//", 0) == 0) continue;
        auto& row = digitab[fila++];
        size_t columna = 0;
        std::string actual;
        bool comillas = false;
        auto guarda = [&] {
            if (columna >= kColumnasTab - 1) {
                throw DigiError(kSubindice, EnLinea(fich_digitab, l + 1) +
                                                "subíndice fuera de rango: más de 26 columnas");
            }
            row[columna++] = actual;
            actual.clear();
        };
        for (size_t i = 0; i < linea.size(); ++i) {
            const char c = linea[i];
            if (c == '"') comillas = true;
            // Within quotes a description keeps its spaces as one column.
            if (c == ' ' && !comillas && i > 0 && linea[i - 1] != ' ') {
                guarda();
            } else {
                actual += c;
            }
        }
        guarda();
        row[kColumnasTab - 1] = "1";
    }
}

}  // namespace brisquel
