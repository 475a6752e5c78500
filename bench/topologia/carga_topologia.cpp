// Times CargaTopologia on one database: best and median of several loads, in milliseconds.
// Usage: carga_topologia FILE.mdb [REPETICIONES]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "converter/core/Puerto.h"
#include "converter/core/Topologia.h"

namespace {
class PuertoMudo : public parvenza::Puerto {
  public:
    void Proceso(const std::string&) override {}
    void Progreso(double) override {}
    void Mensaje(const std::string& texto, bool, const std::string&) override {
        std::fprintf(stderr, "%s\n", texto.c_str());
    }
    bool PideFichero(const std::string&, const std::string&, std::string&) override {
        return false;
    }
    void Ocupado(bool) override {}
};
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.mdb [REPETICIONES]\n", argv[0]);
        return 2;
    }
    const int veces = argc > 2 ? std::atoi(argv[2]) : 5;
    PuertoMudo puerto;
    std::vector<double> ms;
    size_t manzanas = 0, parcelas = 0, subparcelas = 0;
    for (int i = 0; i < veces; ++i) {
        std::vector<parvenza::tipo_manzana> m;
        bool hayError = false;
        int32_t codigo = 0;
        auto t0 = std::chrono::steady_clock::now();
        parvenza::CargaTopologia(argv[1], m, hayError, codigo, puerto);
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        if (hayError) {
            std::fprintf(stderr, "%s\n", parvenza::MensajeErrorTopologia(codigo).c_str());
            return 1;
        }
        manzanas = m.size(), parcelas = subparcelas = 0;
        for (const auto& b : m) {
            parcelas += b.Parcelas.size();
            for (const auto& p : b.Parcelas) subparcelas += p.Subparcelas.size();
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("load: %zu blocks, %zu parcels, %zu subparcels; best %.1f ms, median %.1f ms\n",
                manzanas, parcelas, subparcelas, ms.front(), ms[ms.size() / 2]);
    return 0;
}
