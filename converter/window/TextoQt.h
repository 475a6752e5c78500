#pragma once
// Where the libraries' texts meet Qt.

#include <QString>
#include <string>

namespace parvenza {

/// A text from the libraries as a QString: UTF-8 when it is valid UTF-8, else the
/// Windows-1252 bytes of a BIN or DBF file.
QString TextoQt(const std::string& texto);

/// A QString as UTF-8 bytes, the form of the port's texts.
std::string TextoUtf8(const QString& texto);

/// A QString as Windows-1252 bytes, the form of the texts a BIN file holds; characters the
/// code page lacks become "?".
std::string Texto1252(const QString& texto);

}  // namespace parvenza
