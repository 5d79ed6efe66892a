// Writes uninstall logs and attaches them to a copy of the program.
#include "tools/logwriter/log_writer.h"

#include <fstream>
#include <iterator>

namespace tidewell {
namespace {

void PutString16(Bytes& out, const std::string& text, const char* what) {
    if (text.size() > 0xFFFF) throw LogError(std::string(what) + " is longer than 65535 bytes");
    PutU16(out, static_cast<uint32_t>(text.size()));
    out += text;
}

const char kMarker[] = {LOG_MARKER};

}  // namespace

void PutU16(Bytes& out, uint32_t value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void PutU32(Bytes& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

Bytes MessagesPayload(const std::vector<std::vector<std::string>>& tables) {
    Bytes out;
    PutU16(out, static_cast<uint32_t>(tables.size()));
    for (const auto& table : tables) {
        if (table.size() > 0xFFFF) throw LogError("a message table holds more than 65535 texts");
        PutU16(out, static_cast<uint32_t>(table.size()));
        for (const std::string& text : table) PutString16(out, text, "a message text");
    }
    return out;
}

Bytes FilesPayload(const std::vector<FileEntry>& files) {
    Bytes out;
    PutU32(out, static_cast<uint32_t>(files.size()));
    for (const FileEntry& file : files) {
        PutString16(out, file.folder, "a file's folder");
        PutString16(out, file.name, "a file's name");
        out += static_cast<char>(file.flags);
    }
    return out;
}

Bytes FoldersPayload(const std::vector<FolderEntry>& folders) {
    Bytes out;
    PutU32(out, static_cast<uint32_t>(folders.size()));
    for (const FolderEntry& folder : folders) {
        PutString16(out, folder.folder, "a folder entry's folder");
        PutString16(out, folder.name, "a folder entry's name");
    }
    return out;
}

Bytes RegistryRecord(const RegistryEntry& entry) {
    Bytes out;
    PutU32(out, entry.root);
    PutString16(out, entry.path, "a registry path");
    return out;
}

Bytes RegistryPayload(const std::vector<RegistryEntry>& entries) {
    Bytes out;
    PutU32(out, static_cast<uint32_t>(entries.size()));
    for (const RegistryEntry& entry : entries) out += RegistryRecord(entry);
    return out;
}

Bytes PatternsPayload(const std::vector<std::string>& patterns) {
    Bytes out;
    for (const std::string& pattern : patterns) {
        if (pattern.empty()) throw LogError("an empty pattern would end the pattern list early");
        if (pattern.find('\0') != std::string::npos) throw LogError("a pattern holds a zero byte");
        out += pattern;
        out += '\0';
    }
    out += '\0';
    return out;
}

Bytes CodePagePayload(uint32_t codePage) {
    Bytes out;
    PutU32(out, codePage);
    return out;
}

Bytes EncodeBlock(const Block& block) {
    Bytes out;
    PutU16(out, block.tag);
    out += static_cast<char>(block.flags);
    out += static_cast<char>(block.reserved);
    PutU32(out, block.declaredLength ? *block.declaredLength : static_cast<uint32_t>(block.payload.size()));
    out += block.payload;
    return out;
}

Bytes EncodeLog(const std::vector<Block>& blocks) {
    Bytes out;
    for (const Block& block : blocks) out += EncodeBlock(block);
    out += EncodeBlock({BLOCK_END, 0, 0, {}, std::nullopt});
    return out;
}

std::vector<Block> ContentBlocks(const LogContent& content) {
    std::vector<Block> blocks;
    auto add = [&blocks](uint16_t tag, Bytes payload) { blocks.push_back({tag, 0, 0, std::move(payload), std::nullopt}); };
    if (content.messages) add(BLOCK_MESSAGES, MessagesPayload({*content.messages}));
    if (content.codePage) add(BLOCK_CODE_PAGE, CodePagePayload(*content.codePage));
    if (content.registry) add(BLOCK_REGISTRY, RegistryPayload(*content.registry));
    if (content.files) add(BLOCK_FILES, FilesPayload(*content.files));
    if (content.folders) add(BLOCK_FOLDERS, FoldersPayload(*content.folders));
    if (content.patterns) add(BLOCK_PATTERNS, PatternsPayload(*content.patterns));
    if (!content.registryAdded.empty() && !content.registry)
        throw LogError("added registry records need a registry list before them");
    for (const RegistryEntry& entry : content.registryAdded) add(BLOCK_REGISTRY_ADD, RegistryRecord(entry));
    return blocks;
}

Bytes BuildLog(const LogContent& content) { return EncodeLog(ContentBlocks(content)); }

size_t FindMarker(const Bytes& program) {
    const std::string marker(kMarker, sizeof kMarker);
    size_t first = program.find(marker);
    if (first == std::string::npos) throw LogError("the program holds no log marker: it is not an uninstaller stub");
    if (program.find(marker, first + 1) != std::string::npos)
        throw LogError("the program holds the log marker more than once: its log offset field is ambiguous");
    if (first + marker.size() + LOG_OFFSET_FIELD_SIZE > program.size())
        throw LogError("the program ends inside its log offset field");
    return first;
}

uint32_t ReadLogOffset(const Bytes& program) {
    size_t field = FindMarker(program) + LOG_MARKER_LENGTH;
    uint32_t offset = 0;
    for (int i = LOG_OFFSET_FIELD_SIZE - 1; i >= 0; --i) offset = (offset << 8) | static_cast<uint8_t>(program[field + i]);
    return offset;
}

Bytes Attach(const Bytes& program, const Bytes& log) {
    uint32_t existing = ReadLogOffset(program);
    size_t field = FindMarker(program) + LOG_MARKER_LENGTH;
    if (existing != 0 && (existing > program.size() || existing <= field))
        throw LogError("the program's log offset points outside the program file");
    Bytes out = existing != 0 ? program.substr(0, existing) : program;
    if (out.size() > 0xFFFFFFFFull - log.size()) throw LogError("the program with its log would exceed 4 GB");
    uint32_t offset = static_cast<uint32_t>(out.size());
    for (int i = 0; i < LOG_OFFSET_FIELD_SIZE; ++i) out[field + i] = static_cast<char>((offset >> (8 * i)) & 0xFF);
    return out + log;
}

Bytes ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LogError("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !out.flush())
        throw LogError("cannot write " + path);
}

}  // namespace tidewell
