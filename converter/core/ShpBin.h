#pragma once
// One shapefile to a Digi BIN file: the run behind the reverse band's "Procesar" and
// `parvenza-cli shp2bin`. Every part of every record becomes one element appended to the
// BIN file; codes, texts, Z and attribute links come from the chosen attribute-table
// fields (SeleccionShp) or from the default boxes.

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "converter/core/Omision.h"
#include "converter/core/Puerto.h"
#include "converter/core/SeleccionShp.h"
#include "converter/formas/Formas.h"

namespace brisquel {
class AnexoBin;
}

namespace parvenza {

class Shapefile;

/// Choices of one run, as the window's controls or the command line give them. Texts are
/// Windows-1252 bytes, as the BIN file holds them: the window converts its boxes' texts.
struct OpcionesShpBin {
    std::string ficheroShp;        ///< the chosen shapefile (.shp path)
    std::string ficheroBin;        ///< the output BIN file; elements are appended to it
    int32_t factorUnidades = 100;  ///< 100 for "cm", 1000 for "mm"
    SeleccionShp seleccion;        ///< the recorded field choices
    std::string txtCodigo = "140100";
    std::string txtTextoRotulo = "NoTexto";
    std::string txtTextoAltura = "1.50";
    std::string txtTextoJustificacion = "0";
    std::string txtTextoGiro = "0";
    bool chkTextos = false;  ///< "Convertir a textos en Bin": every part becomes a text element
    bool chkCotas = false;   ///< "Transmitir Z desde Dbf"
    /// Code page of the attribute table, instead of the one it declares (see NombrePagina);
    /// empty: the declared one. Its texts reach the BIN file in Windows-1252.
    std::string paginaCodigos;
    /// Convert even when the coordinates are degrees (see ReadShape).
    bool forzarGrados = false;
    /// Read a shapefile whose ".shx" is missing through an index rebuilt in a private
    /// temporary folder (Shapefile::RestoreIndex); SHAPE_RESTORE_SHX=YES asks the same.
    bool restaurarShx = false;
};

/// What a run did.
struct ResultadoShpBin {
    bool escrito = false;   ///< the elements were appended (true also when there were none)
    int32_t registros = 0;  ///< records visited
    int64_t elementos = 0;  ///< elements appended
    std::vector<int32_t> registrosErroneos;  ///< as listed in the summary message
    /// Records left out ("registro N: why", N as in the summary), without geometry, with
    /// holes written as filled polygons, or with characters Windows-1252 lacks.
    Omisiones omisiones;
    std::string error;      ///< why nothing was written, when `escrito` is false
    bool enGrados = false;  ///< refused: the coordinates are degrees
};

/// File dialog of `cmdElegirShp_Click`: filter and title.
inline constexpr const char* kFiltroShp = "ShapeFiles (*.shp)|*.shp";
inline constexpr const char* kTituloShp = "Elegir fichero";
/// File dialog of `cmdElegirBinSalida_Click`: filter and title.
inline constexpr const char* kFiltroBinSalida = "Fichero BIN de Digi (*.bin)|*.bin";
inline constexpr const char* kTituloBinSalida = "Elegir fichero BIN de salida";

/// Message shown, before the program ends, for a part of more than 32767 vertices.
using formas::kMensajeMaximoPuntos;

/// `ReadShape`: converts `opciones.ficheroShp` and appends the elements to
/// `opciones.ficheroBin` in one all-or-nothing write.
///
/// The code of a record is its code field's value (trimmed; "9995" when null), else the
/// trimmed `txtCodigo`, or "9995" when both are unset. With `chkTextos`, a record with a
/// non-empty text gives text elements. Each element carries the record's attribute links
/// (attributes 1 to m + 1 of the selection, in order). Coordinates are scaled by
/// `factorUnidades` and rounded halves to even; a y that would overflow is taken from
/// 4,000,000 lower; Z comes from the vertex unless the Z field gives a non-zero value.
///
/// A record the shapefile component cannot read (its errors 5 and 458), or whose values do
/// not fit the BIN file (a coordinate, text height, rotation or link out of range, a code
/// longer than 7 characters), is left out and listed in the summary "Se han encontrado N
/// errores en la conversión" by its record number counted from 0 (the counter minus one).
/// A part with more than 32767 vertices throws FinDePrograma with kMensajeMaximoPuntos and
/// the element's number, writing nothing.
/// Coordinates in degrees would collapse onto a grid of hundredths of a degree: a shapefile
/// whose ".prj" is geographic, or whose extent lies within -180..180 by -90..90 while the
/// rounding makes consecutive vertices meet, is refused (`enGrados`, critical message, nothing
/// written) unless `forzarGrados`, which converts it after a warning.
/// The elements go to the BIN file through one brisquel::AnexoBin, opened before the first
/// record and written into as each record is converted (memory stays flat whatever the
/// shapefile's size): the file is locked against other runs for the whole run and is left
/// wholly as it was or wholly with the new elements, even when the process is killed.
/// A shapefile that cannot be opened, a chosen field the table does not have, an output that
/// is one of the run's input files or is not a BIN file, an output another run keeps locked,
/// or a failed write is reported through `puerto` (critical message) and leaves the BIN file
/// as it was;
/// "Proceso Terminado" follows only a run that wrote its elements. Never throws for bad
/// input; the result says what happened.
ResultadoShpBin ReadShape(const OpcionesShpBin& opciones, Puerto& puerto);

/// ReadShape's run with its elements going into `anexo`, an append of `opciones.ficheroBin`
/// (or of a scratch file standing for it) that the caller confirms or abandons: several
/// shapefiles then land in one write. A shapefile that fails takes its elements back out of
/// the append when it still can. "Proceso Terminado" is the caller's to say.
ResultadoShpBin AnadeShape(const OpcionesShpBin& opciones, brisquel::AnexoBin& anexo,
                           Puerto& puerto);

/// "No se ha podido grabar el fichero BIN; queda como estaba." and why.
std::string MensajeNoGrabado(const std::exception& e);

/// What the reverse band shows once a shapefile is chosen.
struct VistaShpElegido {
    std::string lblFicheroShp;  ///< the chosen path
    /// Entries of `cmbTablaDbf1`(0) to (9); none where the table name was refused (the
    /// selector keeps its entries).
    std::array<std::optional<std::vector<std::string>>, 10> cmbTablaDbf1;
    int16_t tipoShp = 0;  ///< from ChequeaTipoShp
    bool chkTextosVisible = false;
    std::string cmbLabel17;  ///< the text of `cmbLabel17`: "Atributo 3"
};

/// `cmdElegirShp_Click` after the dialog: records the shapefile `ruta` chosen in folder
/// `directorio` (ShpElegido), fills the ten selectors with RellenaCampos and their filters
/// (a refused table name shows its message once per selector), reads the shape type and
/// says whether "Convertir a textos en Bin" is offered. The window then shows `frmCodigo`,
/// `cmdElegirBinSalida`, `frameAtributos` and `chkCotas`. Throws as RellenaCampos when the
/// table cannot be read.
VistaShpElegido EligeShp(SeleccionShp& s, const std::string& ruta, const std::string& directorio,
                         Puerto& puerto);

/// `ChequeaTipoShp`: the ESRI shape type of `fich_entrada`, or 0 when it cannot be opened;
/// `restaurarShx` as in OpcionesShpBin.
int16_t ChequeaTipoShp(const std::string& fich_entrada, bool restaurarShx = false);

/// Default boxes of the text properties, used when no field is chosen for one.
struct CajasTexto {
    std::string txtTextoRotulo = "NoTexto";
    std::string txtTextoAltura = "1.50";
    std::string txtTextoJustificacion = "0";
    std::string txtTextoGiro = "0";
};

/// `ObtengoDatosTextos`: the text properties of the current record of `shp`, worked out in
/// the order text, height, justification, rotation. A field index of -1 or less takes the
/// box: its trimmed text, or "NoTexto", 1.5, 0, 0 when the box is empty. A chosen field
/// gives its trimmed value, or those defaults when it is null (text) or not a number (the
/// others). Justification is rounded halves to even. Throws at the first output that fails
/// (ShpBinError 13 for a box that is not a number, 6 out of range; ShapefileError from the
/// component); the outputs worked out before it keep their new values.
void ObtengoDatosTextos(Shapefile& shp, int16_t indexCampoTexto_Rotulo,
                        int16_t indexCampoTexto_Altura, int16_t indexCampoTexto_Justificacion,
                        int16_t indexCampoTexto_Giro, const CajasTexto& cajas,
                        std::string& RotuloTexto, double& RotuloAltura,
                        int32_t& RotuloJustificacion, double& RotuloGiro);

/// `ObtengoDatosZ`: with an index of -1 or less leaves `ZConstante` as it is; otherwise the
/// field's value on the current record of `shp` when it is a number, else 0. Throws
/// ShapefileError from the component.
void ObtengoDatosZ(Shapefile& shp, int16_t indexCampoZ, double& ZConstante);

using formas::SinFalsoNorte;

/// Throws the ShpBinError 6 of Redondea32 for `valor`.
[[noreturn]] void DesbordaEntero32(double valor);

/// Rounds to the nearest integer, halves to even. Throws ShpBinError 6 when the result is
/// not a value the BIN file can hold (-2147483647 to 2147483647; NaN). In line: every
/// coordinate of a shp2bin run passes here.
inline int32_t Redondea32(double valor) {
    if (const auto r = formas::Entero32(valor)) return *r;
    DesbordaEntero32(valor);
}

/// A number's text as the window shows it: up to 15 significant digits, no trailing zeros,
/// exponent form ("1E+15") only for very large or small values.
std::string TextoNumero(double valor);

/// Parses a number typed in a box or held in a text field (trimmed; "." as decimal mark,
/// optional sign and exponent). Throws ShpBinError 13 when the text is not a number.
double NumeroDeTexto(const std::string& texto);

}  // namespace parvenza
