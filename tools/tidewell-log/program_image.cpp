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

// The headers' fields a resource lookup needs, read with every bound checked.
struct Headers {
    size_t optional = 0;
    bool plus = false;  // PE32+
    size_t sections = 0;
    size_t table = 0;
};

Headers ReadHeaders(const Bytes& program) {
    ImageEnd(program);  // refuses what is not a Windows program
    Headers headers;
    size_t pe = Read(program, 0x3C, 4);
    headers.optional = pe + 24;
    headers.plus = Read(program, headers.optional, 2) == 0x20B;
    headers.sections = Read(program, pe + 6, 2);
    headers.table = headers.optional + Read(program, pe + 20, 2);
    return headers;
}

// The file offset of an address in the image, through the section that holds it.
size_t FileOffset(const Bytes& program, const Headers& headers, uint64_t address, uint64_t length) {
    for (size_t i = 0; i < headers.sections; ++i) {
        size_t entry = headers.table + i * 40;
        uint64_t start = Read(program, entry + 12, 4), rawSize = Read(program, entry + 16, 4), raw = Read(program, entry + 20, 4);
        if (address >= start && address + length <= start + rawSize && raw + (address - start) + length <= program.size())
            return static_cast<size_t>(raw + (address - start));
    }
    throw LogError("has a resource table that leads outside its file: the file is damaged");
}

}  // namespace

std::optional<ResourcePlace> ResourceData(const Bytes& program, uint32_t type, uint32_t id) {
    Headers headers = ReadHeaders(program);
    size_t directory = headers.optional + (headers.plus ? 112 : 96) + 2 * 8;  // the resource table's entry
    if (directory + 8 > headers.table || Read(program, headers.optional + (headers.plus ? 108 : 92), 4) < 3) return std::nullopt;
    uint32_t address = Read(program, directory, 4);
    if (address == 0) return std::nullopt;
    const size_t root = FileOffset(program, headers, address, 16);
    // Three levels: type, number, language. Each step looks for the wanted entry (any language).
    size_t level = root;
    const uint32_t wanted[] = {type, id};
    for (int depth = 0; depth < 3; ++depth) {
        size_t named = Read(program, level + 12, 2), numbered = Read(program, level + 14, 2);
        if (level + 16 + 8 * (named + numbered) > program.size()) throw LogError("has a damaged resource table");
        size_t chosen = 0;
        for (size_t i = 0; i < named + numbered && !chosen; ++i) {
            size_t entry = level + 16 + 8 * i;
            uint32_t key = Read(program, entry, 4);
            if (depth == 2 || (!(key & 0x80000000u) && key == wanted[depth])) chosen = entry;
        }
        if (!chosen) return std::nullopt;
        uint32_t target = Read(program, chosen + 4, 4);
        bool subdirectory = (target & 0x80000000u) != 0;
        if (subdirectory != (depth < 2)) throw LogError("has a damaged resource table");
        size_t next = root + (target & 0x7FFFFFFFu);
        if (next + 16 > program.size()) throw LogError("has a damaged resource table");
        if (depth == 2) {
            ResourcePlace place;
            place.size = Read(program, next + 4, 4);
            place.offset = FileOffset(program, headers, Read(program, next, 4), place.size);
            return place;
        }
        level = next;
    }
    return std::nullopt;
}

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
    if (static_cast<uint64_t>(at) + log.size() > 0xFFFFFFFFull) throw LogError("would exceed 4 GB with its log");
    Bytes out = program.substr(0, at);
    for (int i = 0; i < LOG_OFFSET_FIELD_SIZE; ++i) out[layout.fieldAt + i] = static_cast<char>((at >> (8 * i)) & 0xFF);
    return out + log;
}

}  // namespace tidewell
