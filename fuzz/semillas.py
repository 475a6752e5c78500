#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target (fuzz/corpus/<target>/) from the project's
own test files: the sample sheet, the DXF and shapefile fixtures, and a few small files
written here for what the fixtures lack (code tables, palettes, layer tables, BIN files
with deleted and cut elements). Run it again after the fixtures change."""

import pathlib
import struct

RAIZ = pathlib.Path(__file__).resolve().parent.parent
CORPUS = RAIZ / "fuzz" / "corpus"
DATOS = RAIZ / "tests" / "data"


def escribe(objetivo, nombre, datos):
    carpeta = CORPUS / objetivo
    carpeta.mkdir(parents=True, exist_ok=True)
    if isinstance(datos, str):
        datos = datos.encode("cp1252")
    (carpeta / nombre).write_bytes(datos)


def elemento(tipo, codigo, puntos=(), textos=(), atributos=(), rango=(0,) * 9):
    npuntos = len(puntos) if tipo[0] != "T" else 1 + len(textos)
    natr = len(atributos)
    b = tipo.encode() + codigo.encode().ljust(7, b"\0") + bytes([natr]) + struct.pack("<H", npuntos)
    b += struct.pack("<9i", *rango)
    for p in puntos:
        b += struct.pack("<3i", *p)
    for t in textos:
        b += t.encode("cp1252").ljust(12, b"\0")[:12]
    for (tabla, registro, resto) in atributos:
        b += struct.pack("<Hi", tabla, registro) + resto.encode().ljust(6, b"\0")[:6]
    return b


def semillas_bin():
    hoja = (RAIZ / "examples" / "hoja.bin").read_bytes()
    linea = elemento("C=", "140100", [(0, 0, 0), (100, 0, 5), (100, 100, 5), (0, 0, 0)],
                     atributos=[(1, 7, ""), (2, 0, "ABC")])
    punto = elemento("C=", "9995", [(-5, -7, 3)])
    texto = elemento("T=", "301", [(10, 20, 0)], textos=["Calle Mayor ", "de la Villa"],
                     rango=(0, 0, 0, 0, 0, 0, 150, 3, 4500))
    borrado = b"\x00\x00" + elemento("C=", "1", [(1, 1, 1)])[2:]
    muestras = {
        "hoja.bin": hoja,
        "vacio.bin": b"",
        "borrado_delante.bin": borrado + linea + texto + punto,
        "borrado_en_medio.bin": linea + borrado + texto + borrado + punto,
        "borrado_al_final.bin": linea + punto + borrado,
        "cortado.bin": linea + texto[:30],
        "cuenta_alta.bin": linea + b"C=1\0\0\0\0\0\0\0\x00\x80" + bytes(36),
    }
    for nombre, datos in muestras.items():
        escribe("bin_recorrido", nombre, datos)
        escribe("bin_comprimir", nombre, datos)


def semillas_tablas():
    escribe("tablas", "digi.tab",
            "//@ 7 15\r\n// codigo relleno color x grosor descripcion\r\n"
            "140100 -1 3 0 2 \"Edificio en construccion\"\r\n"
            "9995 0 12 0 1 \"Punto\"\r\n\r\n301 0 1 0 1 \"Texto\"\r\n")
    escribe("tablas", "digi.pal", "255,0,0\n0;255;0\n0 0 255\n\n  128\t128\t128 extra\n")
    escribe("tablas", "malo.pal", "255 0\n")


def semillas_dxf():
    for f in sorted((DATOS / "dxf").glob("*.dxf")):
        escribe("dxf", f.name, f.read_bytes())
    escribe("dxf", "bindxf.tab",
            "// tabla de capas\n\n140100 EDIFICIOS LINEA 1 CONTINUA 0 Edificio\n"
            "301,TEXTOS;TEXTO,3,CONTINUA,2.5,\"Nombre de calle\"\n9995 PUNTOS PUNTO 2\n")


def semillas_dbf():
    for f in sorted((DATOS / "shapefiles").glob("*.dbf")):
        escribe("dbf_campos", f.name, f.read_bytes())


def semillas_shp():
    # 16 bytes of choices, then the lengths of the .shp and the .shx, then the three files.
    elecciones = [
        bytes(16),
        bytes([1 | 2, 0xFF, 0, 1, 2, 3, 1, 1, 2, 0xFE, 0, 0xFF, 1, 0xFF, 0xFF, 0xFF]),
        bytes([4 | 64 | 128, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 1, 0xFE, 2, 2, 0xFE, 0, 0, 1]),
        bytes([8, 0xFF] + [0xFF] * 14),
        bytes([16 | 32, 0xFF] + [0xFF] * 14),
    ]
    for shp in sorted((DATOS / "shapefiles").glob("*.shp")):
        shx = shp.with_suffix(".shx")
        dbf = shp.with_suffix(".dbf")
        if not shx.exists() or not dbf.exists():
            continue
        s, x, d = shp.read_bytes(), shx.read_bytes(), dbf.read_bytes()
        if len(s) + len(x) + len(d) > 8192:
            continue
        for i, e in enumerate(elecciones):
            escribe("shp_bin", f"{shp.stem}-{i}", e + struct.pack("<HH", len(s), len(x)) + s + x + d)


if __name__ == "__main__":
    semillas_bin()
    semillas_tablas()
    semillas_dxf()
    semillas_dbf()
    semillas_shp()
