#include "converter/core/CapasShape.h"

#include "converter/shapefile/Shapefile.h"

namespace parvenza {

const std::vector<DefCampo>& CamposComunes() {
    static const std::vector<DefCampo> campos = {
        {"POLY_ID", 4, 6, 0}, {"CODIGO", 10, 6, 0}, {"TEXT", 10, 50, 0}, {"ROTATION", 7, 6, 2}};
    return campos;
}

const std::vector<DefCampo>& CamposCatastro(int16_t tipo) {
    static const std::vector<DefCampo> poligono = {
        {"MAPA", 4, 6, 0},       {"DELEGACIO", 4, 2, 0}, {"MUNICIPIO", 4, 3, 0},
        {"MASA", 10, 5, 0},      {"HOJA", 10, 7, 0},     {"TIPO", 10, 1, 0},
        {"COORX", 7, 10, 2},     {"COORY", 7, 11, 2},    {"NUMSYMBOL", 4, 2, 0},
        {"AREA", 7, 11, 2},      {"FECHAALTA", 4, 8, 0}, {"FECHABAJA", 4, 8, 0},
        {"PARCELA", 10, 5, 0},   {"VIA", 4, 5, 0},       {"NUMERO", 4, 4, 0},
        {"NUMERODUP", 10, 1, 0}, {"SUBPARCE", 10, 4, 0}, {"CONSTRU", 10, 16, 0}};
    static const std::vector<DefCampo> linea = {
        {"MAPA", 4, 6, 0},      {"DELEGACIO", 4, 2, 0}, {"MUNICIPIO", 4, 3, 0},
        {"TTGGSS", 10, 6, 0},   {"VIA", 4, 5, 0},       {"NUMSYMBOL", 4, 2, 0},
        {"FECHAALTA", 4, 8, 0}, {"FECHABAJA", 4, 8, 0}, {"ROTULO", 10, 32, 0}};
    static const std::vector<DefCampo> punto = {
        {"MAPA", 4, 6, 0},      {"DELEGACIO", 4, 2, 0},  {"MUNICIPIO", 4, 3, 0},
        {"TTGGSS", 10, 6, 0},   {"ATRIBUTO", 10, 11, 0}, {"NUMSYMBOL", 4, 2, 0},
        {"FECHAALTA", 4, 8, 0}, {"FECHABAJA", 4, 8, 0},  {"COTA", 7, 11, 2}};
    static const std::vector<DefCampo> ninguno;
    // An exact match on the type: Z layers never get the cadastre sets.
    switch (tipo) {
        case 5:
            return poligono;
        case 3:
            return linea;
        case 1:
            return punto;
        default:
            return ninguno;
    }
}

std::string RutaCapa(const std::string& ficheroBin, const std::string& subNombre) {
    std::string base = ficheroBin.size() >= 4 ? ficheroBin.substr(0, ficheroBin.size() - 4) : "";
    return base + subNombre;
}

void CreateFichShape(Shapefile& escritor, const std::string& ficheroBin, int16_t tipo,
                     const std::string& subNombre, bool anexar, bool catastro) {
    escritor.Open(RutaCapa(ficheroBin, subNombre), anexar ? 0 : 1, tipo);
    if (anexar) return;  // the reopened layer keeps its own fields
    auto campos = escritor.Fields();
    for (const DefCampo& c : CamposComunes()) campos.Add(c.nombre, c.tipo, c.ancho, c.decimales);
    if (catastro)
        for (const DefCampo& c : CamposCatastro(tipo))
            campos.Add(c.nombre, c.tipo, c.ancho, c.decimales);
    escritor.CommitFieldDefinitions();
}

}  // namespace parvenza
