// Writes uninstall logs and attaches them to a copy of the program: the one place where the
// authoring tool and the tests encode the log.
#pragma once
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/log_format.h"

namespace tidewell {

using Bytes = std::string;

// Raised for every input the writer refuses; the text says why in one line.
struct LogError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct FileEntry {
    std::string folder;
    std::string name;
    uint8_t flags = 0;
};

struct FolderEntry {
    std::string folder;
    std::string name;
};

struct RegistryEntry {
    uint32_t root = 0;
    std::string path;
};

// What a log holds. Absent parts write no block.
struct LogContent {
    std::optional<std::vector<std::string>> messages;  // table 0, by slot
    std::optional<std::vector<RegistryEntry>> registry;
    std::optional<std::vector<FileEntry>> files;
    std::optional<std::vector<FolderEntry>> folders;
    std::vector<RegistryEntry> registryAdded;  // each one BLOCK_REGISTRY_ADD
    std::optional<std::vector<std::string>> patterns;
    std::optional<uint32_t> codePage;  // BLOCK_CODE_PAGE: the code page the texts are in
};

// One frame of the log, written as given (the tests use it for logs that are not sound).
struct Block {
    uint16_t tag = 0;
    uint8_t flags = 0;
    uint8_t reserved = 0;
    Bytes payload;
    std::optional<uint32_t> declaredLength;  // the payload's length unless set
};

void PutU16(Bytes& out, uint32_t value);
void PutU32(Bytes& out, uint32_t value);

Bytes MessagesPayload(const std::vector<std::vector<std::string>>& tables);
Bytes FilesPayload(const std::vector<FileEntry>& files);
Bytes FoldersPayload(const std::vector<FolderEntry>& folders);
Bytes RegistryRecord(const RegistryEntry& entry);
Bytes RegistryPayload(const std::vector<RegistryEntry>& entries);
Bytes PatternsPayload(const std::vector<std::string>& patterns);
Bytes CodePagePayload(uint32_t codePage);

Bytes EncodeBlock(const Block& block);
// The blocks, then BLOCK_END.
Bytes EncodeLog(const std::vector<Block>& blocks);
// The blocks of the content in the order the installation tool writes them: messages, the code
// page (a program of another one stops there, and says so in the catalogue's words), the
// registry list, files, folders, patterns, the added registry records, then BLOCK_END.
std::vector<Block> ContentBlocks(const LogContent& content);
Bytes BuildLog(const LogContent& content);

// The offset of LOG_MARKER in a program image; refuses an image without it or with it twice.
size_t FindMarker(const Bytes& program);
uint32_t ReadLogOffset(const Bytes& program);
// A copy of the program with the log appended and its offset written behind the marker. A
// program that already carries a log has that log replaced.
Bytes Attach(const Bytes& program, const Bytes& log);

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);

}  // namespace tidewell
