#pragma once
// In-memory records of the Digi BIN element file. Strings hold the file's bytes
// (Windows-1252) unchanged; arrays are 0-based here where the file format counts from 1.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace brisquel {

/// Element header: kind, code and the two counts.
struct tipo_dat {
    std::string tipo;     ///< "C=" line/point, "T=" text; anything else with no '=' second: deleted
    std::string codigo;   ///< as read: the 7 bytes of the field, NUL padding included
    uint8_t natr = 0;     ///< number of attribute blocks
    int16_t npuntos = 0;  ///< "C=": points; "T=": 1 + text blocks
};

/// Element extent plus the three free values (texts: height, justification, rotation).
struct tipo_max {
    int32_t xmin = 0, ymin = 0, zmin = 0;
    int32_t xmax = 0, ymax = 0, zmax = 0;
    int32_t xlib = 0, ylib = 0, zlib = 0;
};

struct Fpunto3d {
    int32_t x = 0, y = 0, z = 0;
    bool operator==(const Fpunto3d&) const = default;
};

/// One link of an element to a record of an attribute table.
struct Fatrib {
    int16_t idTabla = 0;
    int32_t nregistro = 0;
    std::string resto;  ///< up to 6 characters
};

/// One 12-character text block.
struct FTexto {
    std::string texto12;
};

struct tipo_entidad_mem {
    tipo_dat cabecera;
    tipo_max rango;
    std::vector<Fpunto3d> coordenadas;  ///< file's point 1 is coordenadas[0]
    std::vector<FTexto> textos;
    std::vector<Fatrib> atributos;
};

/// Properties derived on reading.
struct tipo_propiedad {
    bool EsCerrado = false;
    bool EsPunto = false;
    bool EsTexto = false;
    bool EsVisible = false;
    double area = 0.0;
    std::string texto;  ///< whole cleaned text of a "T=" element
    bool Modificado = false;
    std::string tmp;
};

/// One Digi element as read from or written to a BIN file.
struct tipo_entidad {
    tipo_entidad_mem elemento;
    tipo_propiedad Propiedad;
    int32_t nfich = 0;    ///< file number read from; 0 when no further element follows
    int32_t puntero = 0;  ///< 1-based byte position in the file
    int32_t tamano = 0;   ///< size in bytes
};

/// Code table: one row per data line, columns 1..27 stored at [0..26].
using TablaDigi = std::vector<std::array<std::string, 27>>;

/// Palette: one entry per colour, components red, green, blue, colour value at [0..3].
using Paleta = std::vector<std::array<int32_t, 4>>;

}  // namespace brisquel
