#pragma once
// BIN files hold text as Windows-1252 bytes; terminals, Qt and the converter's port speak
// UTF-8. These two conversions are the only place where the two meet.

#include <string>
#include <string_view>

namespace brisquel {

/// Each byte as its Windows-1252 character, in UTF-8. The five bytes the code page leaves
/// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same value.
std::string Utf8DesdeWindows1252(std::string_view texto);

/// Back to Windows-1252 bytes. Characters the code page lacks, and malformed UTF-8 bytes,
/// become `sustituto`; `exacto`, when given, says whether none had to.
std::string Windows1252DesdeUtf8(std::string_view texto, char sustituto = '?',
                                 bool* exacto = nullptr);

}  // namespace brisquel
