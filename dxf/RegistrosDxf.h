#pragma once
// Plain records of the DXF entities the reader understands, and of the layer table.
// Strings hold Windows-1252 bytes (the file's texts are converted to it); arrays are 0-based
// here. Coordinates are world coordinates, arcs already turned into vertices.

#include <cstdint>
#include <string>
#include <vector>

namespace dornavel {

struct GCoord {
    double X = 0.0, Y = 0.0, Z = 0.0;
};

/// Text characteristics.
struct GCtexto {
    double G40_ancho = 0.0;  ///< group 40: the text height, which the conversion uses
    double G41_alto = 0.0;   ///< group 41: the relative width factor (0 when absent)
    uint8_t G72_justH = 0;   ///< group 72
    uint8_t G73_justV = 0;   ///< group 73
    double G50_rotac = 0.0;  ///< group 50, degrees
};

struct VERTEX_dxf {
    std::string G8_capa;
    GCoord G10_Coord;
};

struct LINE_dxf {
    std::string G8_capa;
    GCoord G10_Coord;  ///< start point
    GCoord G11_Coord;  ///< end point
};

struct POLYLINE_dxf {
    std::string G8_capa;
    /// "1" closed (lowest bit of group 70 set), "0" any other group 70, "" no group 70.
    std::string G70_Cerrada;
    /// The vertices; a polyline with no VERTEX keeps the one reset vertex (empty layer, 0,0,0).
    std::vector<VERTEX_dxf> Gvertices = std::vector<VERTEX_dxf>(1);
};

/// A POINT entity.
struct POINT_dxf {
    std::string G8_capa;
    GCoord G10_Coord;
};

struct TEXT_dxf {
    std::string G8_capa;
    GCoord G10_Coord;  ///< insertion point
    std::string G1_texto;
    GCtexto G40_caract;
    /// Alignment point (groups 11, 21, 31); the insertion point when the file has no group 11,
    /// when the text is left-aligned on its baseline (72 and 73 both 0), where 11 means
    /// nothing, and for aligned and fitted texts (72 is 3 or 5), which start there.
    GCoord G11_Coord;
};

/// One DXF entity: only the member named by `Tipo` ("LINE", "POLYLINE", "TEXT", "POINT") is
/// meaningful. LWPOLYLINE, ARC and CIRCLE are read as POLYLINE, MTEXT as TEXT.
struct tipo_ElementoDxf {
    std::string Tipo;
    LINE_dxf Line;
    POLYLINE_dxf Polyline;
    TEXT_dxf Text;
    POINT_dxf Point;
};

/// One entry of the layer table that ties Digi codes to DXF layers.
struct BinDxfTab {
    std::string codigobin;  ///< the Digi element code
    std::string capa;       ///< the DXF layer
    std::string Tipo;       ///< element type
    std::string color;
    std::string estilo;       ///< line style
    std::string tamTexto;     ///< text size
    std::string descripcion;  ///< first word of the description
};

}  // namespace dornavel
