#pragma once
// Coordinate systems of the layers: the ".prj" written beside each layer of a BIN-to-shapefile
// run, and the check that keeps shp2bin from rounding coordinates in degrees to centimetres.

#include <string>

namespace parvenza {

/// The ESRI WKT of a coordinate system given as "EPSG:N" (or any definition PROJ accepts), as
/// a ".prj" file holds it. Throws Error kLlamadaNoValida naming `srs` when PROJ does not know it.
std::string WktEsri(const std::string& srs);

/// The text of the file `ruta`; empty when there is none. Throws Error naming the file when it
/// exists but cannot be read.
std::string LeePrj(const std::string& ruta);

/// The ".prj" of a sheet: BaseHoja(`ficheroBin`) + ".prj" (or ".PRJ").
std::string RutaPrjHoja(const std::string& ficheroBin);

/// The ".prj" beside the shapefile `shp` (its name with ".prj" or ".PRJ").
std::string RutaPrjShape(const std::string& shp);

/// Writes `wkt` to `ruta` (a temporary file of the run), checked. Throws Error with the
/// system's reason.
void EscribePrj(const std::string& ruta, const std::string& wkt);

/// True when the coordinate system `wkt` (a ".prj"'s text) is geographic: its coordinates are
/// degrees.
bool EsGeografico(const std::string& wkt);

/// Frees PROJ's process-wide caches, its open database above all. For a process about to fork
/// workers: each child would otherwise close that database on its start, copying page after
/// page of it. No PROJ object of the caller may be alive.
void SueltaProj();

/// True when an extent lies within -180..180 by -90..90, where coordinates may be degrees.
bool ExtensionDeGrados(double xmin, double ymin, double xmax, double ymax);

}  // namespace parvenza
