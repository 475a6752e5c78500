// genera_shp OUT.shp LINES VERTICES: a polyline shapefile of LINES records of VERTICES
// vertices each, in a UTM-like range, with a code and an id field. With VERTICES 1, a point
// shapefile of LINES points.

#include <shapefil.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: genera_shp OUT.shp LINES VERTICES\n");
        return 2;
    }
    const std::string ruta = argv[1];
    const int lineas = std::atoi(argv[2]);
    const int vertices = std::atoi(argv[3]);
    const int tipo = vertices == 1 ? SHPT_POINT : SHPT_ARC;
    SHPHandle shp = SHPCreate(ruta.c_str(), tipo);
    DBFHandle dbf = DBFCreate((ruta.substr(0, ruta.size() - 4) + ".dbf").c_str());
    if (!shp || !dbf) {
        std::fprintf(stderr, "genera_shp: cannot create %s\n", ruta.c_str());
        return 1;
    }
    DBFAddField(dbf, "CODIGO", FTString, 6, 0);
    DBFAddField(dbf, "ID", FTInteger, 9, 0);
    std::vector<double> x(vertices), y(vertices);
    unsigned semilla = 12345;
    auto azar = [&semilla] { return (semilla = semilla * 1103515245u + 12345u) % 10000 / 100.0; };
    for (int i = 0; i < lineas; ++i) {
        const double x0 = 400000 + (i % 1000) * 97.31, y0 = 4400000 + (i / 1000) * 101.77;
        for (int v = 0; v < vertices; ++v) {
            x[v] = x0 + v * 1.25 + azar();
            y[v] = y0 + azar();
        }
        SHPObject* o = SHPCreateSimpleObject(tipo, vertices, x.data(), y.data(), nullptr);
        SHPWriteObject(shp, -1, o);
        SHPDestroyObject(o);
        DBFWriteStringAttribute(dbf, i, 0, std::to_string(1000 + i % 50).c_str());
        DBFWriteIntegerAttribute(dbf, i, 1, i + 1);
    }
    DBFClose(dbf);
    SHPClose(shp);
    return 0;
}
