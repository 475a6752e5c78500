#pragma once
// Test helpers: a fresh temporary folder per test, raw file bytes, and small element
// builders. Byte strings here are written by hand, never by the library's encoder.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>

#include "digi/FicheroDigi.h"

namespace brisquel::prueba {

class CarpetaTemporal : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() / ("digi-test-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string Ruta(const std::string& nombre) const { return (m_dir / nombre).string(); }
    std::filesystem::path m_dir;
    FicheroDigi digi;
};

inline std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b) s += static_cast<char>(v);
    return s;
}
/// 32-bit little-endian, spelled out byte by byte.
inline std::string LE32(int64_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    return Bytes({int(u & 0xFF), int(u >> 8 & 0xFF), int(u >> 16 & 0xFF), int(u >> 24 & 0xFF)});
}
inline std::string Punto(int32_t x, int32_t y, int32_t z) { return LE32(x) + LE32(y) + LE32(z); }
/// Header block: kind, code padded with NULs to 7, natr, npuntos low then high.
inline std::string Cabecera(const std::string& tipo, std::string codigo, int natr, int npuntos) {
    codigo.resize(7, '\0');
    return tipo + codigo + Bytes({natr, npuntos % 256, npuntos / 256});
}
inline std::string Rango(int32_t xmin, int32_t ymin, int32_t zmin, int32_t xmax, int32_t ymax, int32_t zmax,
                         int32_t xlib = 0, int32_t ylib = 0, int32_t zlib = 0) {
    return Punto(xmin, ymin, zmin) + Punto(xmax, ymax, zmax) + Punto(xlib, ylib, zlib);
}
/// A one-point "C=" element at (x, x, x).
inline std::string Punto1(int32_t x) { return Cabecera("C=", "P", 0, 1) + Rango(x, x, x, x, x, x) + Punto(x, x, x); }
inline std::array<int32_t, 6> Caja(const tipo_max& r) { return {r.xmin, r.ymin, r.zmin, r.xmax, r.ymax, r.zmax}; }

/// The error number a call raises (0 when none), its message in `mensaje`.
inline int Falla(const std::function<void()>& f, std::string* mensaje = nullptr) {
    try {
        f();
    } catch (const DigiError& e) {
        if (mensaje) *mensaje = e.what();
        return e.numero();
    }
    return 0;
}
inline void Escribe(const std::string& ruta, const std::string& bytes) { std::ofstream(ruta, std::ios::binary) << bytes; }
inline std::string Lee(const std::string& ruta) {
    std::ifstream in(ruta, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// A "C=" element in memory.
inline tipo_entidad Linea(const std::string& codigo, std::vector<Fpunto3d> puntos, std::vector<Fatrib> atributos = {}) {
    tipo_entidad e;
    e.elemento.cabecera = {"C=", codigo, static_cast<uint8_t>(atributos.size()), static_cast<int16_t>(puntos.size())};
    e.elemento.coordenadas = std::move(puntos);
    e.elemento.atributos = std::move(atributos);
    return e;
}
/// A "T=" element in memory with its text blocks set as the shapefile import sets them.
inline tipo_entidad Texto(const std::string& codigo, Fpunto3d insercion, std::string texto, int32_t altura = 0,
                          int32_t justificacion = 0, int32_t rotacion = 0) {
    tipo_entidad e;
    e.elemento.cabecera.tipo = "T=";
    e.elemento.cabecera.codigo = codigo;
    e.elemento.coordenadas = {insercion};
    e.elemento.rango = {0, 0, 0, 0, 0, 0, altura, justificacion, rotacion};
    FicheroDigi().ModificaTextoEntidad(texto, e);
    return e;
}

}  // namespace brisquel::prueba
