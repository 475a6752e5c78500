#pragma once
// Test helpers for the BIN-to-shapefile driver: BIN inputs built with the Digi writer,
// a recording port, and layers read back with shapelib directly.

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/core/Puerto.h"
#include "digi/Registros.h"

namespace parvenza::prueba_binshp {

/// A fresh folder under the system's temporary directory, removed at the end.
class CarpetaTemporal {
public:
    CarpetaTemporal();
    ~CarpetaTemporal();
    std::string operator/(const std::string& nombre) const { return (m_ruta / nombre).string(); }
    const std::filesystem::path& ruta() const { return m_ruta; }

private:
    std::filesystem::path m_ruta;
};

/// A "C=" element: one point makes a point element, more a line.
brisquel::tipo_entidad Linea(const std::string& codigo, const std::vector<brisquel::Fpunto3d>& puntos);
/// A "T=" element at `p` with text height `altura` and rotation `rotacion` (hundredths of a degree).
brisquel::tipo_entidad Texto(const std::string& codigo, const std::string& texto, brisquel::Fpunto3d p,
                             int32_t altura, int32_t rotacion);
/// Writes `elementos` to a new BIN file `ruta` with the Digi library's writer.
void EscribeBin(const std::string& ruta, std::vector<brisquel::tipo_entidad> elementos);
/// Marks the `n`-th element (1-based) of a BIN file deleted, as Digi does, in place.
void BorraElemento(const std::string& ruta, int n);

/// Port that records everything and answers the file chooser from a queue.
class PuertoGrabador : public Puerto {
public:
    void Proceso(const std::string& texto) override { procesos.push_back(texto); }
    void Progreso(double) override {}
    void Mensaje(const std::string& texto, bool critico, const std::string& titulo) override {
        mensajes.push_back(texto);
    }
    bool PideFichero(const std::string& filtro, const std::string& titulo, std::string& ruta) override;
    void Ocupado(bool ocupado) override { ocupados.push_back(ocupado); }

    std::vector<std::string> procesos, mensajes, filtros;
    std::vector<bool> ocupados;
    std::deque<std::string> respuestas;  ///< "" cancels
};

/// One layer as shapelib reads it.
struct CampoLeido {
    std::string nombre;
    char tipo;
    int ancho, decimales;
};
struct RegistroLeido {
    std::vector<std::string> valores;  ///< dBase text, blanks trimmed
    std::vector<double> x, y, z;
    int partes = 0;
};
struct CapaLeida {
    int tipo = 0;
    std::vector<CampoLeido> campos;
    std::vector<RegistroLeido> registros;
    /// Value of field `nombre` in record `i` (0-based).
    const std::string& Valor(size_t i, const std::string& nombre) const;
};
CapaLeida LeeCapa(const std::string& rutaShp);

}  // namespace parvenza::prueba_binshp
