// DXF load benchmark.
//   bench_dxf genera FILE N [lineas]
//                             writes N entities (LINE, POLYLINE of 10 vertices, TEXT, CIRCLE
//                             in turn) as a CAD program would, handles and subclasses included;
//                             with "lineas", an LWPOLYLINE of 10 vertices (one bulged segment)
//                             instead of the TEXT, so that every entity is a line to GDAL too
//   bench_dxf carga FILE      loads it with CargaFicheroDxf and prints what was read

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "dxf/clsFicheroDxf.h"

namespace {

int Genera(const std::string& ruta, long n, bool lineas) {
    std::ofstream f(ruta, std::ios::binary);
    long h = 0x100;
    auto par = [&f](const char* codigo, const std::string& valor) {
        f << codigo << "\r\n" << valor << "\r\n";
    };
    auto num = [](double v) {
        char b[32];
        std::snprintf(b, sizeof b, "%.6f", v);
        return std::string(b);
    };
    auto cabecera = [&](const char* tipo, const char* sub) {
        par("  0", tipo);
        char b[16];
        std::snprintf(b, sizeof b, "%lX", h++);
        par("  5", b);
        par("100", "AcDbEntity");
        par("  8", "CAPA" + std::to_string(h % 7));
        par(" 62", "     3");
        par("100", sub);
    };
    par("  0", "SECTION");
    par("  2", "ENTITIES");
    for (long i = 0; i < n; ++i) {
        const double x = 400000.0 + i * 0.37, y = 4500000.0 + i * 0.11;
        switch (i % 4) {
            case 0:
                cabecera("LINE", "AcDbLine");
                par(" 10", num(x));
                par(" 20", num(y));
                par(" 30", num(0));
                par(" 11", num(x + 5));
                par(" 21", num(y + 5));
                par(" 31", num(0));
                break;
            case 1:
                cabecera("POLYLINE", "AcDb3dPolyline");
                par(" 66", "     1");
                par(" 10", "0.0");
                par(" 20", "0.0");
                par(" 30", "0.0");
                par(" 70", "     9");
                for (int v = 0; v < 10; ++v) {
                    cabecera("VERTEX", "AcDb3dPolylineVertex");
                    par(" 10", num(x + v));
                    par(" 20", num(y + v));
                    par(" 30", num(v));
                    par(" 70", "    32");
                }
                cabecera("SEQEND", "AcDbEntity");
                break;
            case 2:
                if (lineas) {
                    cabecera("LWPOLYLINE", "AcDbPolyline");
                    par(" 90", "       10");
                    par(" 70", "     0");
                    for (int v = 0; v < 10; ++v) {
                        par(" 10", num(x + v * 2));
                        par(" 20", num(y + (v % 2)));
                        if (v == 4) par(" 42", "0.4");
                    }
                    break;
                }
                cabecera("TEXT", "AcDbText");
                par(" 10", num(x));
                par(" 20", num(y));
                par(" 30", num(0));
                par(" 40", "2.5");
                par("  1", "Rotulo " + std::to_string(i));
                break;
            default:
                cabecera("CIRCLE", "AcDbCircle");
                par(" 10", num(x));
                par(" 20", num(y));
                par(" 30", num(0));
                par(" 40", "1.5");
        }
    }
    par("  0", "ENDSEC");
    par("  0", "EOF");
    return f ? 0 : 1;
}

int Carga(const std::string& ruta) {
    dornavel::clsFicheroDxf dxf;
    std::vector<dornavel::tipo_ElementoDxf> elementos;
    int32_t n = 0;
    const auto t0 = std::chrono::steady_clock::now();
    dxf.AbreFicheroDxf(ruta, n);
    dxf.CargaFicheroDxf(ruta, elementos, n);
    dxf.CierraFicheroDxf(ruta, n);
    const auto t1 = std::chrono::steady_clock::now();
    long vertices = 0;
    for (const auto& e : elementos) vertices += long(e.Polyline.Gvertices.size());
    int64_t omitidos = 0;
    for (const auto& [g, c] : dxf.Resumen().GruposOmitidos) omitidos += c;
    std::cout << "entities loaded: " << elementos.size()
              << ", polyline vertices (with reset ones): " << vertices
              << ", skipped types: " << dxf.Resumen().TiposOmitidos.size()
              << ", skipped group pairs: " << omitidos << "\n"
              << "load: " << std::chrono::duration<double, std::milli>(t1 - t0).count() << " ms\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string orden = argc > 1 ? argv[1] : "";
        if (orden == "genera" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "lineas")))
            return Genera(argv[2], std::stol(argv[3]), argc == 5);
        if (orden == "carga" && argc == 3) return Carga(argv[2]);
    } catch (const std::exception& e) {
        std::cerr << "bench_dxf: " << e.what() << "\n";
        return 1;
    }
    std::cerr << "usage: bench_dxf genera FILE N [lineas] | bench_dxf carga FILE\n";
    return 2;
}
