#pragma once
// Helpers of the topology and cadastre tests: a port that records what a run tells its
// host, and a fresh temporary folder per test.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/core/Puerto.h"

namespace parvenza::prueba_topologia {

/// Records every call. Messages also go to stderr, where death tests look for them.
class PuertoGrabador : public Puerto {
  public:
    std::vector<std::string> procesos, mensajes, filtros, titulos;
    std::vector<bool> ocupado;
    std::vector<std::string> respuestas;  ///< paths PideFichero gives, in order; "" = cancel

    void Proceso(const std::string& texto) override { procesos.push_back(texto); }
    void Progreso(double) override {}
    void Mensaje(const std::string& texto, bool, const std::string&) override {
        mensajes.push_back(texto);
        std::fprintf(stderr, "MENSAJE[%s]\n", texto.c_str());
    }
    bool PideFichero(const std::string& filtro, const std::string& titulo,
                     std::string& ruta) override {
        filtros.push_back(filtro);
        titulos.push_back(titulo);
        if (respuestas.empty() || respuestas.front().empty()) {
            if (!respuestas.empty()) respuestas.erase(respuestas.begin());
            return false;
        }
        ruta = respuestas.front();
        respuestas.erase(respuestas.begin());
        return true;
    }
    void Ocupado(bool o) override { ocupado.push_back(o); }
};

/// A fresh folder under the system's temporary folder, removed at the end of the test.
class CarpetaTemporal {
  public:
    CarpetaTemporal() {
        std::string plantilla =
            (std::filesystem::temp_directory_path() / "parvenza-cat-XXXXXX").string();
        if (!mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp");
        m_ruta = plantilla;
    }
    ~CarpetaTemporal() {
        std::error_code ec;
        std::filesystem::remove_all(m_ruta, ec);
    }
    const std::filesystem::path& ruta() const { return m_ruta; }
    std::string operator/(const std::string& nombre) const { return (m_ruta / nombre).string(); }

  private:
    std::filesystem::path m_ruta;
};

inline std::string Fixture(const std::string& nombre) {
    return std::string(PARVENZA_TEST_DATA) + "/topology/" + nombre;
}

}  // namespace parvenza::prueba_topologia
