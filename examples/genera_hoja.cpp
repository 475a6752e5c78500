// Writes the sample sheet examples/hoja.bin through the project's own writer:
//   genera_hoja OUTPUT.bin
// A small map sheet in centimetres: building and parcel outlines (closed lines), a road and
// a stream (open lines), spot heights (points), place names with accents (texts),
// attribute links, and one deleted element. Regenerate with the same output every time.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "digi/FicheroDigi.h"
#include "digi/Texto1252.h"

using namespace brisquel;

namespace {

constexpr int32_t X0 = 44000000, Y0 = 447000000;  // sheet origin, cm

tipo_entidad Linea(const std::string& codigo, std::vector<Fpunto3d> puntos,
                   std::vector<Fatrib> atributos = {}) {
    tipo_entidad e;
    e.elemento.cabecera.tipo = "C=";
    e.elemento.cabecera.codigo = codigo;
    for (auto& p : puntos) p.x += X0, p.y += Y0;
    e.elemento.cabecera.npuntos = static_cast<int16_t>(puntos.size());
    e.elemento.cabecera.natr = static_cast<uint8_t>(atributos.size());
    e.elemento.coordenadas = std::move(puntos);
    e.elemento.atributos = std::move(atributos);
    return e;
}

tipo_entidad Texto(const std::string& codigo, Fpunto3d p, const std::string& utf8, int32_t altura,
                   int32_t justificacion, int32_t rotacion) {
    tipo_entidad e;
    e.elemento.cabecera.tipo = "T=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.coordenadas = {{p.x + X0, p.y + Y0, p.z}};
    e.elemento.rango.xlib = altura;
    e.elemento.rango.ylib = justificacion;
    e.elemento.rango.zlib = rotacion;
    std::string texto = Windows1252DesdeUtf8(utf8);
    FicheroDigi().ModificaTextoEntidad(texto, e);
    return e;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: genera_hoja OUTPUT.bin\n";
        return 2;
    }
    const std::string salida = argv[1];
    std::vector<tipo_entidad> v = {
        // Parcel and building outlines, closed, with links to the cadastre tables.
        Linea(
            "1802",
            {{0, 0, 65000}, {4000, 0, 65000}, {4000, 3000, 65100}, {0, 3000, 65100}, {0, 0, 65000}},
            {{1, 1001, "A12"}}),
        Linea("1805",
              {{500, 500, 65020},
               {1500, 500, 65020},
               {1500, 1300, 65020},
               {500, 1300, 65020},
               {500, 500, 65020}},
              {{1, 1002, "B"}, {7, 31, "CONS"}}),
        Linea("1808", {{5000, 0, 64800},
                       {9000, 0, 64800},
                       {9000, 2500, 64900},
                       {5000, 2500, 64900},
                       {5000, 0, 64800}}),
        // A road and a stream, open.
        Linea("2101", {{-1000, 3500, 64950}, {4500, 3500, 64980}, {10000, 3600, 65010}},
              {{3, 12, "N-II"}}),
        Linea(
            "3020",
            {{-1000, -500, 64500}, {2000, -800, 64480}, {6000, -700, 64460}, {9500, -1200, 64440}}),
        // Spot heights.
        Linea("0301", {{2000, 1500, 65080}}),
        Linea("0301", {{7000, 1200, 64870}}),
        // Deleted below: the generator marks it after writing.
        Linea("9999", {{100, 100, 0}, {200, 200, 0}}),
        // Place names.
        Texto("4001", {700, 2200, 0}, "Peñón del Águila", 250, 0, 0),
        Texto("4002", {-800, 3700, 0}, "Camino de la Fuente Vieja", 200, 0, 150),
        Texto("4003", {3000, -1100, 0}, "Arroyo de Cañada", 180, 3, -450),
    };
    std::error_code ec;
    std::filesystem::remove(salida, ec);  // the writer appends: start from nothing
    try {
        FicheroDigi().CreaFicheroDigi(salida, v);
    } catch (const DigiError& e) {
        std::cerr << "genera_hoja: " << e.what() << "\n";
        return 1;
    }
    // Digi deletes an element by overwriting the second character of its kind.
    int64_t posicion = 0;
    for (size_t i = 0; i < 7; ++i) posicion += v[i].tamano;
    std::fstream f(salida, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(posicion + 1);
    f.put('*');
    if (!f) {
        std::cerr << "genera_hoja: " << salida << ": cannot mark the deleted element\n";
        return 1;
    }
    return 0;
}
