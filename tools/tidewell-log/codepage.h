// The texts of a log are bytes in the system's ANSI code page; a manifest is UTF-8. A manifest
// that names its package's code page has its texts converted on the way in and out.
#pragma once
#include <string>

namespace tidewell {

// The code page's name as the converter knows it: "windows-1252" as given, 1252 as "CP1252".
// Raises LogError for a name the converter does not know. The platform's converter.
std::string CodePageName(const std::string& given);

// The name of UTF-8 for ConvertText.
extern const char kUtf8[];
// Converts the whole text between two code pages, or reports false when a byte or character has
// no counterpart; raises LogError for a code page the converter does not know. The platform's:
// iconv on the host, the system's conversions through UTF-16 on Windows.
bool ConvertText(const std::string& text, const std::string& from, const std::string& to, std::string* out);

// UTF-8 to the code page; raises LogError naming `where` for a character the page lacks or
// text that is not UTF-8.
std::string ToCodePage(const std::string& utf8, const std::string& codePage, const std::string& where);
// The code page's bytes to UTF-8; raises LogError naming `where` for a byte the page leaves
// undefined.
std::string FromCodePage(const std::string& bytes, const std::string& codePage, const std::string& where);

// The number of a code page's name: 1252, CP1252, windows-1252, IBM437, utf-8 (65001) or one of
// the names the converters share, such as SHIFT_JIS; 0 for any other.
unsigned CodePageNumber(const std::string& name);
// 1 for a code page Windows runs programs in as their ANSI code page (UTF-8 among them): the only
// ones a log records, as a program's run is compared with it.
bool IsAnsiCodePage(unsigned number);
enum : unsigned { kUtf8CodePage = 65001 };

bool IsUtf8(const std::string& text);
bool IsAscii(const std::string& text);

}  // namespace tidewell
