// Cadastre mode: lookup of each element in the topology and its cadastre fields.

#include "converter/core/Catastro.h"

#include <strings.h>

#include <utility>

#include "converter/core/CatastroGenera.h"

namespace parvenza {

namespace {

// The field names as the record sets them, in the order they are written.
const char* const kCampos[6] = {"masa", "area", "parcela", "Constru", "Via", "Numero"};

int16_t TablaDeCodigo(const std::string& codigo) {
    if (codigo == "1802") return 150;
    if (codigo == "1805") return 151;
    if (codigo == "1808") return 152;
    return 0;
}

}  // namespace

Catastro::Catastro(const std::vector<tipo_manzana>& manzanas, std::string carpeta)
    : m_manzanas(manzanas), m_carpeta(std::move(carpeta)) {
    for (const tipo_manzana& m : m_manzanas) {
        m_porManzana.try_emplace(m.Registro, &m);  // the first block wins
        std::unordered_map<int32_t, const tipo_parcela*> enEsta;
        for (const tipo_parcela& p : m.Parcelas) {
            enEsta.try_emplace(p.Registro, &p);
            std::unordered_map<int32_t, const tipo_subparcela*> enEstaParcela;
            for (const tipo_subparcela& s : p.Subparcelas)
                enEstaParcela.try_emplace(s.Registro, &s);
            for (const auto& [registro, s] : enEstaParcela)
                m_porSubparcela[registro] = Subparcela{&m, &p, s};  // a later parcel wins
        }
        for (const auto& [registro, p] : enEsta)
            m_porParcela[registro] = {&m, p};  // a later block wins
    }
}

void Catastro::Busca(const brisquel::tipo_entidad& entidad, std::string& codigo) {
    m_valores = ValoresCatastro{};
    const auto& atributos = entidad.elemento.atributos;
    if (codigo == "1999") {
        for (const auto& a : atributos) {
            if (a.idTabla == 1) {
                codigo = a.resto;
                m_digi.limpia_texto(codigo);
            }
        }
        m_codigo = codigo;
        return;
    }
    m_codigo = codigo;
    const int16_t tabla = TablaDeCodigo(codigo);
    if (tabla == 0) return;
    bool hay = false;
    int32_t registro = 0;
    for (const auto& a : atributos) {
        if (a.idTabla == tabla) {
            registro = a.nregistro;
            hay = true;
        }
    }
    if (!hay) return;
    if (tabla == 150) {
        auto it = m_porManzana.find(registro);
        if (it == m_porManzana.end()) return;
        m_valores.masa = it->second->Manzana;
        m_valores.area = it->second->Superficie;
    } else if (tabla == 151) {
        auto it = m_porParcela.find(registro);
        if (it == m_porParcela.end()) return;
        const auto& [m, p] = it->second;
        m_valores.parcela = p->Parcela;
        m_valores.area = p->Superficie;
        m_valores.masa = m->Manzana;
        m_valores.numero = p->Tpol;
        m_valores.via = p->Tvia;
    } else {
        auto it = m_porSubparcela.find(registro);
        if (it == m_porSubparcela.end()) return;
        const Subparcela& s = it->second;
        m_valores.constru = s.subparcela->SubParcela;
        m_valores.area = s.subparcela->Superficie;
        m_valores.parcela = s.parcela->Parcela;
        m_valores.masa = s.manzana->Manzana;
    }
}

void Catastro::PonCampos(Shapefile& escritor, int16_t tipoCapa) {
    m_cortes.clear();
    // Polygon layers only: a line layer's VIA belongs to street axes, not to parcels.
    if (TablaDeCodigo(m_codigo) == 0 || (tipoCapa != 5 && tipoCapa != 15)) return;
    if (m_capa != &escritor || m_rutaCapa != escritor.Ruta()) {
        m_capa = &escritor;
        m_rutaCapa = escritor.Ruta();
        m_campos.clear();
        ShapeFields campos = escritor.Fields();
        const int n = campos.Count();
        for (int k = 0; k < 6; ++k)
            for (int i = 1; i <= n; ++i)
                if (strcasecmp(campos.Item(i).Name().c_str(), kCampos[k]) == 0) {
                    m_campos.emplace_back(k, campos.Item(i));
                    break;
                }
    }
    auto texto = [this](ShapeField& campo, const std::string& valor) {
        campo.Value(valor);
        if (campo.Type() == 'C' && valor.size() > size_t(campo.Width()))
            m_cortes.push_back({campo.Name(), size_t(campo.Width()), valor});
    };
    for (auto& [k, campo] : m_campos) {
        switch (k) {
            case 0:
                texto(campo, m_valores.masa);
                break;
            case 1:
                campo.Value(m_valores.area);
                break;
            case 2:
                texto(campo, m_valores.parcela);
                break;
            case 3:
                texto(campo, m_valores.constru);
                break;
            case 4:
                campo.Value(m_valores.via);
                break;
            default:
                campo.Value(m_valores.numero);
                break;
        }
    }
}

std::unique_ptr<ConjuntoCatastro> Catastro::Genera(const CapasDeHoja& capas, Puerto& puerto) {
    return GeneraShpCatastro(capas, m_carpeta, puerto);
}

}  // namespace parvenza
