// The uninstaller's file: finding the end of its image, its log marker and its log.
#include "tools/tidewell-log/program_image.h"

#include <cstdio>
#include <string>

namespace tidewell {
namespace {

uint32_t Read(const Bytes& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// The end of the image: its headers and every section's data. Bytes after it belong to no
// section; the log goes there.
size_t ImageEnd(const Bytes& program) {
    if (program.size() < 0x40 || program.compare(0, 2, "MZ") != 0) throw LogError("is not a Windows program (no MZ header)");
    size_t pe = Read(program, 0x3C, 4);
    if (pe > program.size() || program.size() - pe < 24 || program.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        throw LogError("is not a Windows program (no PE header)");
    size_t sections = Read(program, pe + 6, 2);
    size_t optional = pe + 24;
    size_t optionalSize = Read(program, pe + 20, 2);
    size_t table = optional + optionalSize;
    if (optionalSize < 64 || table + sections * 40 > program.size()) throw LogError("ends inside its own headers");

    uint16_t magic = static_cast<uint16_t>(Read(program, optional, 2));
    size_t directories = magic == 0x20B ? 112 : 96;  // PE32+ or PE32
    if (directories + 8 * 5 <= optionalSize && Read(program, optional + directories - 4, 4) > 4 &&
        Read(program, optional + directories + 8 * 4 + 4, 4) != 0)
        throw LogError("is signed: attach the log first and sign the result");

    size_t end = Read(program, optional + 60, 4);  // SizeOfHeaders
    for (size_t i = 0; i < sections; ++i) {
        size_t entry = table + i * 40;
        size_t size = Read(program, entry + 16, 4);
        size_t start = Read(program, entry + 20, 4);
        if (size != 0 && start + size > end) end = start + size;
    }
    if (end > program.size())
        throw LogError("ends inside its own image (" + std::to_string(program.size()) + " of " + std::to_string(end) +
                       " bytes): the file is cut short");
    return end;
}

}  // namespace

ProgramLayout InspectProgram(const Bytes& program) {
    ProgramLayout layout;
    layout.imageEnd = ImageEnd(program);
    // Only the image is searched: a log may hold the marker's bytes in a text.
    const std::string marker = {LOG_MARKER};
    const std::string image = program.substr(0, layout.imageEnd);
    size_t first = image.find(marker);
    if (first == std::string::npos) throw LogError("holds no log marker: it is not an uninstaller stub");
    if (image.find(marker, first + 1) != std::string::npos)
        throw LogError("holds the log marker more than once: its log offset field is ambiguous");
    layout.fieldAt = first + LOG_MARKER_LENGTH;
    if (layout.fieldAt + LOG_OFFSET_FIELD_SIZE > layout.imageEnd) throw LogError("ends its image inside the log offset field");
    layout.logOffset = Read(program, layout.fieldAt, LOG_OFFSET_FIELD_SIZE);

    if (layout.logOffset == 0 && program.size() > layout.imageEnd)
        throw LogError("has " + std::to_string(program.size() - layout.imageEnd) +
                       " bytes behind its image but no log: they are not the tool's to replace");
    if (layout.logOffset != 0 && layout.logOffset < layout.imageEnd)
        throw LogError("has a log offset (" + Hex(layout.logOffset) + ") inside its own image (which ends at " +
                       Hex(layout.imageEnd) + "): the file is damaged");
    if (layout.logOffset > program.size())
        throw LogError("has a log offset (" + Hex(layout.logOffset) + ") past its end (" + Hex(program.size()) +
                       "): the file is damaged");
    return layout;
}

Bytes AttachToProgram(const Bytes& program, const Bytes& log) {
    ProgramLayout layout = InspectProgram(program);
    size_t at = layout.logOffset != 0 ? layout.logOffset : layout.imageEnd;
    if (at + log.size() > 0xFFFFFFFFull) throw LogError("would exceed 4 GB with its log");
    Bytes out = program.substr(0, at);
    for (int i = 0; i < LOG_OFFSET_FIELD_SIZE; ++i) out[layout.fieldAt + i] = static_cast<char>((at >> (8 * i)) & 0xFF);
    return out + log;
}

}  // namespace tidewell
