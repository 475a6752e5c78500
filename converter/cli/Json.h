#pragma once
// The pieces of the JSON that info and dxfinfo print for other programs to read.

#include <string>

namespace parvenza::cli {

/// The shortest text that reads back as the same double.
std::string NumeroJson(double v);

/// `s1252` (Windows-1252 bytes, the libraries' texts) as a quoted JSON string in UTF-8.
std::string CadenaJson(const std::string& s1252);

}  // namespace parvenza::cli
