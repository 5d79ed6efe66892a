// The code page converter of the Windows build: the system's own conversions, through UTF-16.
#include <windows.h>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/codepage.h"

namespace tidewell {
namespace {

// The number of a name the system can convert. 0 for none.
UINT Number(const std::string& name) {
    UINT number = CodePageNumber(name);
    return number != 0 && (number == CP_UTF8 || IsValidCodePage(number)) ? number : 0;
}

bool Digits(const std::string& text) { return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos; }

UINT Known(const std::string& name) {
    UINT number = Number(name);
    if (number == 0) throw LogError("unknown code page " + name);
    return number;
}

bool ToWide(const std::string& text, UINT codePage, std::wstring* wide) {
    wide->clear();
    if (text.empty()) return true;
    // Only some code pages take the flag; the others are checked by the round trip below.
    DWORD flags = codePage == CP_UTF8 || codePage < 50000 ? MB_ERR_INVALID_CHARS : 0;
    int length = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return false;
    wide->resize(static_cast<size_t>(length));
    return MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &(*wide)[0], length) == length;
}

bool FromWide(const std::wstring& wide, UINT codePage, std::string* text) {
    text->clear();
    if (wide.empty()) return true;
    int length = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
    text->resize(static_cast<size_t>(length));
    if (WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &(*text)[0], length, nullptr, nullptr) != length)
        return false;
    // A character the code page lacks comes out as a default or a look-alike: only a text that
    // converts back to the same characters was converted.
    std::wstring back;
    return ToWide(*text, codePage, &back) && back == wide;
}

}  // namespace

const char kUtf8[] = "UTF-8";

std::string CodePageName(const std::string& given) {
    if (Number(given) == 0) throw LogError("unknown code page \"" + given + "\" (for example windows-1252)");
    return Digits(given) ? "CP" + given : given;
}

bool ConvertText(const std::string& text, const std::string& from, const std::string& to, std::string* out) {
    UINT source = Known(from), target = Known(to);
    std::wstring wide;
    return ToWide(text, source, &wide) && FromWide(wide, target, out);
}

}  // namespace tidewell
