// BIN file benchmark program, driven by bench/digi/run.sh:
//   bench_digi genera FILE N   writes about N mixed elements (lines, closed lines, points,
//                              texts, attributes, 1 in 50 deleted) through one AnexoBin
//   bench_digi recorre FILE    walks FILE with DameEntidad and prints the time taken

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>

#include "digi/AnexoBin.h"
#include "digi/FicheroDigi.h"

using namespace brisquel;

namespace {

tipo_entidad Elemento(std::mt19937& rng, int64_t i) {
    tipo_entidad e;
    auto& m = e.elemento;
    const int clase = int(rng() % 100);
    const int32_t x = int32_t(rng() % 100000000), y = int32_t(rng() % 100000000);
    m.cabecera.codigo = std::to_string(1000 + rng() % 9000);
    if (clase < 15) {
        m.cabecera.tipo = "T=";
        m.coordenadas = {{x, y, 0}};
        m.rango.xlib = 200, m.rango.ylib = int32_t(rng() % 9),
        m.rango.zlib = int32_t(rng() % 36000);
        std::string t = "Texto " + std::to_string(i) + (clase < 5 ? " con un nombre largo" : "");
        FicheroDigi().ModificaTextoEntidad(t, e);
    } else {
        m.cabecera.tipo = "C=";
        const int n = clase < 35 ? 1 : clase < 60 ? 5 + int(rng() % 16) : 2 + int(rng() % 11);
        for (int k = 0; k < n; ++k) {
            m.coordenadas.push_back(
                {x + int32_t(rng() % 5000), y + int32_t(rng() % 5000), int32_t(rng() % 1000)});
        }
        if (clase >= 35 && clase < 60) m.coordenadas.back() = m.coordenadas.front();  // closed
        m.cabecera.npuntos = int16_t(n);
    }
    const int natr = int(rng() % 3);
    for (int j = 0; j < natr; ++j)
        m.atributos.push_back({int16_t(1 + j), int32_t(i), "R" + std::to_string(j)});
    m.cabecera.natr = uint8_t(natr);
    return e;
}

int Genera(const std::string& fichero, int64_t total) {
    std::error_code ec;
    std::filesystem::remove(fichero, ec);
    std::mt19937 rng(12345);
    std::vector<int64_t> borrados;
    int64_t posicion = 0;
    {
        AnexoBin anexo(fichero);
        for (int64_t i = 0; i < total; ++i) {
            tipo_entidad e = Elemento(rng, i);
            anexo.Anade(e);
            if (i % 50 == 7) borrados.push_back(posicion);
            posicion += e.tamano;
        }
        anexo.Confirma();
    }
    // Digi deletes an element by overwriting the second character of its kind.
    std::fstream marcas(fichero, std::ios::in | std::ios::out | std::ios::binary);
    for (int64_t p : borrados) {
        marcas.seekp(p + 1);
        marcas.put('*');
    }
    marcas.flush();
    std::cout << "wrote " << total << " elements, " << posicion << " bytes to " << fichero << "\n";
    return marcas ? 0 : 1;
}

int Recorre(const std::string& fichero) {
    const auto t0 = std::chrono::steady_clock::now();
    FicheroDigi digi;
    int32_t n = 0;
    digi.AbreFichero(fichero, n);
    tipo_entidad e;
    int64_t elementos = 0, puntos = 0;
    do {
        digi.DameEntidad(n, e);
        ++elementos;
        puntos += int64_t(e.elemento.coordenadas.size());
    } while (e.nfich != 0);
    digi.CierraFichero(fichero, n);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::cout << "walked " << elementos << " elements, " << puntos << " points in " << ms
              << " ms\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::strcmp(argv[1], "genera") == 0)
            return Genera(argv[2], std::atoll(argv[3]));
        if (argc == 3 && std::strcmp(argv[1], "recorre") == 0) return Recorre(argv[2]);
    } catch (const DigiError& e) {
        std::cerr << "bench_digi: " << e.what() << "\n";
        return 1;
    }
    std::cerr << "usage: bench_digi genera FILE N | bench_digi recorre FILE\n";
    return 2;
}
