// Conversions between a manifest's UTF-8 and a log's code page, through the C library's iconv.
#include "tools/tidewell-log/codepage.h"

#include <iconv.h>

#include <cerrno>

#include "tools/logwriter/log_writer.h"

namespace tidewell {
namespace {

// Converts the whole text or reports false; iconv stops at the first byte it cannot map.
bool Convert(const std::string& text, const std::string& from, const std::string& to, std::string* out) {
    iconv_t converter = iconv_open(to.c_str(), from.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) throw LogError("unknown code page " + (from == "UTF-8" ? to : from));
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

}  // namespace

std::string CodePageName(const std::string& given) {
    bool number = !given.empty() && given.find_first_not_of("0123456789") == std::string::npos;
    std::string name = number ? "CP" + given : given;
    iconv_t converter = iconv_open(name.c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) throw LogError("unknown code page \"" + given + "\" (for example windows-1252)");
    iconv_close(converter);
    return name;
}

std::string ToCodePage(const std::string& utf8, const std::string& codePage, const std::string& where) {
    if (!IsUtf8(utf8)) throw LogError(where + ": the text is not UTF-8");
    std::string out;
    if (!Convert(utf8, "UTF-8", codePage, &out))
        throw LogError(where + ": the text holds a character that code page " + codePage + " cannot show");
    return out;
}

std::string FromCodePage(const std::string& bytes, const std::string& codePage, const std::string& where) {
    std::string out;
    if (!Convert(bytes, codePage, "UTF-8", &out))
        throw LogError(where + ": the text holds a byte that code page " + codePage + " leaves undefined");
    return out;
}

bool IsAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

bool IsUtf8(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The lead byte gives the length and the range of the second byte, which excludes
        // overlong forms, surrogates and code points past U+10FFFF.
        size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) length = 2;
        else if (c == 0xE0) length = 3, low = 0xA0;
        else if (c == 0xED) length = 3, high = 0x9F;
        else if (c >= 0xE1 && c <= 0xEF) length = 3;
        else if (c == 0xF0) length = 4, low = 0x90;
        else if (c >= 0xF1 && c <= 0xF3) length = 4;
        else if (c == 0xF4) length = 4, high = 0x8F;
        else return false;
        if (i + length > text.size()) return false;
        unsigned char second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high) return false;
        for (size_t k = 2; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

}  // namespace tidewell
