// Conversions between a manifest's UTF-8 and a log's code page; the converter itself is the
// platform's (codepage_iconv.cpp, codepage_windows.cpp).
#include "tools/tidewell-log/codepage.h"

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/known_folders.h"

namespace tidewell {
namespace {

// Names both converters know, for the code pages packages use.
const struct {
    const char* name;
    unsigned number;
} kNames[] = {
    {"UTF-8", kUtf8CodePage},  {"UTF8", kUtf8CodePage},    {"US-ASCII", 20127},      {"ASCII", 20127},
    {"ISO-8859-1", 28591},     {"LATIN1", 28591},          {"ISO-8859-2", 28592},    {"LATIN2", 28592},
    {"ISO-8859-5", 28595},     {"ISO-8859-7", 28597},      {"ISO-8859-9", 28599},    {"ISO-8859-15", 28605},
    {"KOI8-R", 20866},         {"KOI8-U", 21866},          {"SHIFT_JIS", 932},       {"SHIFT-JIS", 932},
    {"SJIS", 932},             {"EUC-JP", 20932},          {"GBK", 936},             {"GB2312", 936},
    {"BIG5", 950},             {"EUC-KR", 949},            {"UHC", 949},             {"MACINTOSH", 10000},
};

bool Digits(const std::string& text) { return !text.empty() && text.size() <= 5 && text.find_first_not_of("0123456789") == std::string::npos; }

}  // namespace

unsigned CodePageNumber(const std::string& name) {
    for (const auto& known : kNames)
        if (EqualsIgnoringCase(name, known.name)) return known.number;
    std::string digits;
    for (const char* prefix : {"", "CP", "windows-", "IBM", "IBM-"}) {
        std::string start = prefix;
        if (name.size() > start.size() && EqualsIgnoringCase(name.substr(0, start.size()), start) && Digits(name.substr(start.size())))
            digits = name.substr(start.size());
    }
    return digits.empty() ? 0 : static_cast<unsigned>(std::stoul(digits));
}

bool IsAnsiCodePage(unsigned number) {
    return number == 874 || number == 932 || number == 936 || number == 949 || number == 950 ||
           (number >= 1250 && number <= 1258) || number == kUtf8CodePage;
}

std::string ToCodePage(const std::string& utf8, const std::string& codePage, const std::string& where) {
    if (!IsUtf8(utf8)) throw LogError(where + ": the text is not UTF-8");
    std::string out;
    if (!ConvertText(utf8, kUtf8, codePage, &out))
        throw LogError(where + ": the text holds a character that code page " + codePage + " cannot show");
    return out;
}

std::string FromCodePage(const std::string& bytes, const std::string& codePage, const std::string& where) {
    std::string out;
    if (!ConvertText(bytes, codePage, kUtf8, &out))
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
