#include "converter/core/SeleccionShp.h"

#include <algorithm>
#include <charconv>

#include "converter/core/DbfCampos.h"
#include "converter/core/ShpBinError.h"

namespace parvenza {

namespace {

constexpr int32_t kBorrado = -99;
const std::string kRestoBorrado = "-99";

CampoAtributo& Extra(SeleccionShp& s, int k) {
    if (k < 3 || static_cast<size_t>(k - 2) > s.camposAtributoExtra.size())
        throw ShpBinError(kSubindice,
                          "No hay campos recordados para el atributo " + std::to_string(k));
    return s.camposAtributoExtra[k - 3];
}

// A remembered field index shown as the selector's text: "index name".
VistaSelector Vista(int32_t indice, bool elegido, const NombreCampo& nombre) {
    if (!elegido) return {"", false};
    if (indice < -32768 || indice > 32767)
        throw ShpBinError(kDesbordamiento, "Índice de campo fuera de rango");
    return {EntradaCampo(indice, nombre(static_cast<int16_t>(indice))), true};
}

}  // namespace

int AtributoSiguiente(const SeleccionShp& s) {
    return static_cast<int>(s.listaAtributos.size()) + 2;
}

CampoAtributo& Atributo(SeleccionShp& s, int k) {
    if (k < 1 || static_cast<size_t>(k) > s.camposAtributo.size())
        throw ShpBinError(kSubindice, "No existe el atributo " + std::to_string(k));
    return s.camposAtributo[k - 1];
}

const CampoAtributo& Atributo(const SeleccionShp& s, int k) {
    return Atributo(const_cast<SeleccionShp&>(s), k);
}

std::string ShpElegido(SeleccionShp& s, const std::string& ruta, const std::string& directorio) {
    s.tabladbf = TablaDeRuta(ruta, directorio);
    s.directorio = directorio;
    // A second "Atributo 3" would shift the count of entries away from the attribute lists
    // and make the next attribute point past their end.
    if (s.listaAtributos.empty()) s.listaAtributos.insert(s.listaAtributos.begin(), "Atributo 3");
    s.numAtributo = 3;
    return "Atributo 3";
}

bool OfreceTextos(int tipoShp) {
    return tipoShp == 1 || tipoShp == 3 || tipoShp == 11 || tipoShp == 13;
}

EfectoTablaDbf1 EligeTablaDbf1(SeleccionShp& s, int Index, const std::string& entrada) {
    if (Index < 0 || Index > 9)
        throw ShpBinError(kLlamadaNoValida,
                          "Selector de campo inexistente: " + std::to_string(Index));
    const int16_t f = IndiceDeEntrada(entrada);
    EfectoTablaDbf1 efecto;
    if (Index == 9) {
        s.indexCampoCodigo = f;
        return efecto;
    }
    if (Index < 6) {
        CampoAtributo& a = Atributo(s, Index / 3 + 1);
        const int primero = Index / 3 * 3;
        switch (Index % 3) {
            case 0:
                a.campoTabla = f;
                efecto.deshabilitar = {primero + 2};
                break;
            case 1:
                a.campoRegistro = f;
                efecto.deshabilitar = {primero + 2};
                break;
            default:
                a.campoResto = std::to_string(f);
                efecto.deshabilitar = {primero, primero + 1};
                break;
        }
        return efecto;
    }
    const int n = s.numAtributo;
    CampoAtributo& a = Atributo(s, n);
    CampoAtributo& e = Extra(s, n);
    const bool siguiente = n == AtributoSiguiente(s);
    switch (Index) {
        case 6:
            a.campoTabla = f;
            a.campoResto = kRestoBorrado;
            efecto.deshabilitar = {8};
            if (siguiente) {
                e.campoTabla = f;
                efecto.entradaNueva = AnadimosOtroAtributo(s);
            }
            break;
        case 7:
            a.campoRegistro = f;
            e.campoRegistro = f;
            a.campoResto = kRestoBorrado;
            efecto.deshabilitar = {8};
            break;
        default:
            a.campoResto = std::to_string(f);
            a.campoTabla = a.campoRegistro = kBorrado;
            e.campoTabla = e.campoRegistro = kBorrado;
            efecto.deshabilitar = {6, 7};
            if (siguiente) {
                e.campoResto = std::to_string(f);
                efecto.entradaNueva = AnadimosOtroAtributo(s);
            }
            break;
    }
    return efecto;
}

void EligeTablaDbfTexto(SeleccionShp& s, int Index, const std::string& entrada) {
    int16_t* destino[] = {&s.indexCampoTexto_Rotulo, &s.indexCampoTexto_Altura,
                          &s.indexCampoTexto_Justificacion, &s.indexCampoTexto_Giro};
    if (Index < 0 || Index > 3)
        throw ShpBinError(kLlamadaNoValida,
                          "Selector de texto inexistente: " + std::to_string(Index));
    *destino[Index] = IndiceDeEntrada(entrada);
}

void EligeTablaDbfZ(SeleccionShp& s, const std::string& entrada) {
    s.indexCampoZ = IndiceDeEntrada(entrada);
}

std::string AnadimosOtroAtributo(SeleccionShp& s) {
    const size_t m = s.listaAtributos.size();
    std::string entrada = "Atributo " + std::to_string(m + 3);
    s.listaAtributos.push_back(entrada);
    s.camposAtributo.resize(std::max(s.camposAtributo.size(), m + 3));
    s.camposAtributoExtra.resize(std::max(s.camposAtributoExtra.size(), m + 1));
    return entrada;
}

std::optional<std::array<VistaSelector, 3>> EligeAtributo(SeleccionShp& s, const std::string& texto,
                                                          const NombreCampo& nombre) {
    // The number follows "Atributo" (its first 8 characters).
    if (texto.size() <= 8) return std::nullopt;
    std::string numero = texto.substr(8);
    const auto a = numero.find_first_not_of(' ');
    const auto b = numero.find_last_not_of(' ');
    if (a == std::string::npos) return std::nullopt;
    numero = numero.substr(a, b - a + 1);
    int n = 0;
    auto [fin, ec] = std::from_chars(numero.data(), numero.data() + numero.size(), n);
    if (ec != std::errc() || fin != numero.data() + numero.size()) return std::nullopt;
    const int siguiente = AtributoSiguiente(s);
    // Attributes 1 and 2 have their own columns; numbers past the next one have no entry.
    if (n < 3 || n > siguiente || static_cast<size_t>(n) > s.camposAtributo.size())
        return std::nullopt;
    if (n<siguiente&& static_cast<size_t>(n - 2)> s.camposAtributoExtra.size()) return std::nullopt;

    s.numAtributo = static_cast<int16_t>(n);
    std::array<VistaSelector, 3> vista;
    if (n == siguiente) return vista;
    NombreCampo nombres = nombre ? nombre : [&s](int16_t i) {
        return ObtengoNombreCamposDbf(s.directorio, s.tabladbf, i);
    };
    const CampoAtributo& e = Extra(s, n);
    vista[0] = Vista(e.campoTabla, e.campoTabla != kBorrado, nombres);
    vista[1] = Vista(e.campoRegistro, e.campoRegistro != kBorrado, nombres);
    if (!e.campoResto.empty())
        vista[2] = Vista(IndiceDeEntrada(e.campoResto), true, nombres);
    else
        vista[2] = {"", false};
    return vista;
}

std::vector<int> BorrarSeleccion() { return {0, 1, 2, 3, 4, 5, 6, 7, 8}; }

}  // namespace parvenza
