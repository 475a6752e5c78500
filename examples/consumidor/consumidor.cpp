// consumidor FICHERO.bin: walks a Digi BIN file with the installed Brisquel library, prints its
// live elements per kind as `parvenza-cli info` counts them, and turns the first one into an
// entity of the Lumeral model through the Fenoquia utilities.

#include <digi/DigiError.h>
#include <digi/FicheroDigi.h>
#include <digi/Texto1252.h>
#include <entity/Entidad.h>
#include <utilities/Utilidades.h>

#include <cstdint>
#include <exception>
#include <iostream>
#include <string>

namespace {

struct Cuenta {
    int64_t puntos = 0, abiertas = 0, cerradas = 0, textos = 0;
};

// The last record of a walk (nfich 0) holds an element only when its kind is a live one.
bool EsVivo(const brisquel::tipo_entidad& e) {
    const std::string& tipo = e.elemento.cabecera.tipo;
    return e.nfich != 0 || tipo == "C=" || tipo == "T=";
}

void Suma(Cuenta& c, const brisquel::tipo_entidad& e) {
    if (e.Propiedad.EsTexto) {
        ++c.textos;
    } else if (e.Propiedad.EsPunto) {
        ++c.puntos;
    } else if (e.Propiedad.EsCerrado) {
        ++c.cerradas;
    } else {
        ++c.abiertas;
    }
}

// One code table row for the element's code, one palette entry: enough for the conversion
// to style the entity without reading the TABLAS folder.
void Entidad(const brisquel::tipo_entidad& e) {
    brisquel::FicheroDigi digi;
    std::string codigo = e.elemento.cabecera.codigo;
    digi.limpia_texto(codigo);
    brisquel::TablaDigi tabla(1);
    tabla[0].fill("0");
    tabla[0][0] = codigo;
    tabla[0][2] = "1";
    const brisquel::Paleta paleta = {{0, 0, 0, 0}};

    lumeral::Entidad entidad;
    fenoquia::Utilidades().ConvierteDigiOrmanto(e, tabla, paleta, 1, entidad);
    auto& m = entidad.MaxMin();
    std::cout << "primer elemento: código " << brisquel::Utf8DesdeWindows1252(entidad.codigo())
              << ", tipo " << entidad.tipo() << ", " << entidad.Puntos() << " puntos, rango ("
              << m.xmin() << "," << m.ymin() << ")-(" << m.xmax() << "," << m.ymax() << ")";
    if (entidad.tipo() == lumeral::Entidad::kTexto)
        std::cout << ", texto \"" << brisquel::Utf8DesdeWindows1252(entidad.Texto().Texto())
                  << "\"";
    std::cout << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "uso: consumidor FICHERO.bin\n";
        return 2;
    }
    const std::string fichero = argv[1];
    brisquel::FicheroDigi digi;
    int32_t n = 0;
    try {
        digi.AbreFichero(fichero, n);
        Cuenta c;
        brisquel::tipo_entidad e, primero;
        bool hayPrimero = false;
        do {
            digi.DameEntidad(n, e);
            if (!EsVivo(e)) continue;
            Suma(c, e);
            if (!hayPrimero) primero = e, hayPrimero = true;
        } while (e.nfich != 0);
        digi.CierraFichero(fichero, n);
        n = 0;

        // The order of `parvenza-cli info`'s summary line: total, points, open, closed, texts.
        std::cout << "elementos: " << c.puntos + c.abiertas + c.cerradas + c.textos << " (puntos "
                  << c.puntos << ", líneas abiertas " << c.abiertas << ", líneas cerradas "
                  << c.cerradas << ", textos " << c.textos << ")\n";
        if (hayPrimero) Entidad(primero);
    } catch (const std::exception& error) {
        if (n != 0) digi.CierraFichero(fichero, n);
        std::cerr << "consumidor: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
