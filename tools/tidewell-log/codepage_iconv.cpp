// The code page converter of the host build: the C library's iconv.
#include <iconv.h>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/codepage.h"

namespace tidewell {

const char kUtf8[] = "UTF-8";

std::string CodePageName(const std::string& given) {
    bool number = !given.empty() && given.find_first_not_of("0123456789") == std::string::npos;
    std::string name = number ? "CP" + given : given;
    iconv_t converter = iconv_open(name.c_str(), kUtf8);
    if (converter == reinterpret_cast<iconv_t>(-1)) throw LogError("unknown code page \"" + given + "\" (for example windows-1252)");
    iconv_close(converter);
    return name;
}

// Converts the whole text or reports false; iconv stops at the first byte it cannot map.
bool ConvertText(const std::string& text, const std::string& from, const std::string& to, std::string* out) {
    iconv_t converter = iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) throw LogError("unknown code page " + (from == kUtf8 ? to : from));
    std::string input = text;
    char* in = input.empty() ? nullptr : &input[0];
    size_t inLeft = input.size();
    out->assign(input.size() * 4 + 4, '\0');
    char* at = &(*out)[0];
    size_t outLeft = out->size();
    bool converted = iconv(converter, &in, &inLeft, &at, &outLeft) != static_cast<size_t>(-1) &&
                     iconv(converter, nullptr, nullptr, &at, &outLeft) != static_cast<size_t>(-1);
    iconv_close(converter);
    out->resize(out->size() - outLeft);
    return converted;
}

}  // namespace tidewell
