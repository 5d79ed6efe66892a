// Reads a log block by block as the program's loader and record readers do. Every limit here is
// the program's own (log/log_format.h); a refusal is reported as the first error, as the
// program stops at it.
#include "tools/tidewell-log/log_reader.h"

#include <cstdio>

#include "tools/tidewell-log/program_image.h"

namespace tidewell {
namespace {

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

// The payload of one block as its reader may take it: bounded by the declared length and by
// the end of the file.
struct Payload {
    const Bytes& file;
    size_t at;
    size_t left;

    bool Take(size_t n, std::string* out) {
        if (n > left) return false;
        if (out) *out = file.substr(at, n);
        at += n;
        left -= n;
        return true;
    }
    bool Number(int size, uint32_t* value) {
        std::string bytes;
        if (!Take(static_cast<size_t>(size), &bytes)) return false;
        *value = 0;
        for (int i = size - 1; i >= 0; --i) *value = *value << 8 | static_cast<uint8_t>(bytes[i]);
        return true;
    }
    bool Holds(uint32_t count, size_t itemSize) const { return count <= left / itemSize; }
};

struct Walk {
    const Bytes& file;
    ReadLog& log;
    std::string where;  // the current block, for findings
    size_t registryRoom = 0;
    std::vector<int64_t> seen;  // offset of the last block of each tag, -1 for none: for replacement warnings

    void Fail(const std::string& what, const std::string& text) {
        log.findings.push_back({true, what.empty() ? where : what, text});
    }
    void Warn(const std::string& text) { log.findings.push_back({false, where, text}); }

    bool Messages(Payload& in) {
        uint32_t tables = 0, count = 0;
        if (!in.Number(2, &tables)) return Fail("", "the block ends inside its table count"), false;
        if (tables == 0) return Warn("holds no table: the catalogue stays as it was"), true;
        if (!in.Number(2, &count)) return Fail("", "the block ends inside its text count"), false;
        if (count == 0) return Warn("its first table holds no text: the catalogue stays as it was"), true;
        if (!in.Holds(count, 2)) return Fail("", std::to_string(count) + " texts claimed, more than the block can hold"), false;
        if (log.content.messages) Warn("replaces the texts of an earlier catalogue");
        std::vector<std::string> texts(count);
        log.content.messages = texts;  // replaced as soon as the table is made, as the program does
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t length = 0;
            if (!in.Number(2, &length) || !in.Take(length, &(*log.content.messages)[i]))
                return Fail("", "text " + std::to_string(i) + " runs past the end of the block"), false;
        }
        log.catalogueTexts = count;
        if (tables > 1) Warn(std::to_string(tables - 1) + " tables after the first are never read");
        return true;
    }

    // The two strings of a file or folder record, each after its u16 length.
    bool Strings(Payload& in, const std::string& record, std::string* folder, std::string* name) {
        uint32_t length = 0;
        if (!in.Number(2, &length)) return Fail(record, "the block ends inside the record"), false;
        if (length > MAX_RECORD_STRINGS)
            return Fail(record, "a folder of " + std::to_string(length) + " bytes; the program takes at most " +
                                    std::to_string(MAX_RECORD_STRINGS) + " for folder and name together"), false;
        if (!in.Take(length, folder)) return Fail(record, "the block ends inside the record"), false;
        if (!in.Number(2, &length)) return Fail(record, "the block ends inside the record"), false;
        if (folder->size() + length > MAX_RECORD_STRINGS)
            return Fail(record, "folder and name together are " + std::to_string(folder->size() + length) +
                                    " bytes; the program takes at most " + std::to_string(MAX_RECORD_STRINGS)), false;
        if (!in.Take(length, name)) return Fail(record, "the block ends inside the record"), false;
        return true;
    }

    bool Files(Payload& in) {
        uint32_t count = 0;
        if (!in.Number(4, &count)) return Fail("", "the block ends inside its record count"), false;
        if (!in.Holds(count, FILE_RECORD_MIN)) return Fail("", std::to_string(count) + " records claimed, more than the block can hold"), false;
        log.content.files.emplace();
        for (uint32_t i = 0; i < count; ++i) {
            FileEntry entry;
            std::string flags;
            std::string record = "files[" + std::to_string(i) + "]";
            if (!Strings(in, record, &entry.folder, &entry.name)) return false;
            if (!in.Take(1, &flags)) return Fail(record, "the block ends inside the record"), false;
            entry.flags = static_cast<uint8_t>(flags[0]);
            log.content.files->push_back(entry);
        }
        return true;
    }

    bool Folders(Payload& in) {
        uint32_t count = 0;
        if (!in.Number(4, &count)) return Fail("", "the block ends inside its record count"), false;
        if (!in.Holds(count, FOLDER_RECORD_MIN)) return Fail("", std::to_string(count) + " records claimed, more than the block can hold"), false;
        log.content.folders.emplace();
        for (uint32_t i = 0; i < count; ++i) {
            FolderEntry entry;
            if (!Strings(in, "folders[" + std::to_string(i) + "]", &entry.folder, &entry.name)) return false;
            log.content.folders->push_back(entry);
        }
        return true;
    }

    bool Registry(Payload& in, const std::string& record, RegistryEntry* entry) {
        uint32_t length = 0;
        if (!in.Number(4, &entry->root) || !in.Number(2, &length)) return Fail(record, "the block ends inside the record"), false;
        if (length > MAX_REGISTRY_PATH)
            return Fail(record, "a path of " + std::to_string(length) + " bytes; the program takes at most " +
                                    std::to_string(MAX_REGISTRY_PATH)), false;
        if (!in.Take(length, &entry->path)) return Fail(record, "the block ends inside the record"), false;
        return true;
    }

    bool RegistryList(Payload& in) {
        uint32_t count = 0;
        if (!in.Number(4, &count)) return Fail("", "the block ends inside its record count"), false;
        if (!in.Holds(count, REGISTRY_RECORD_MIN)) return Fail("", std::to_string(count) + " records claimed, more than the block can hold"), false;
        // A new list replaces the old one with the records added behind it.
        log.content.registry.emplace();
        log.content.registryAdded.clear();
        registryRoom = ADDED_REGISTRY_ROOM;
        for (uint32_t i = 0; i < count; ++i) {
            RegistryEntry entry;
            if (!Registry(in, "registry[" + std::to_string(i) + "]", &entry)) return false;
            log.content.registry->push_back(entry);
        }
        return true;
    }

    bool RegistryAdded(Payload& in) {
        std::string record = "registry_added[" + std::to_string(log.content.registryAdded.size()) + "]";
        if (!log.content.registry) return Fail(record, "an added registry record before any registry list"), false;
        if (registryRoom == 0)
            return Fail(record, "more than " + std::to_string(ADDED_REGISTRY_ROOM) +
                                    " added registry records behind the registry list; the program has room for " +
                                    std::to_string(ADDED_REGISTRY_ROOM)), false;
        RegistryEntry entry;
        if (!Registry(in, record, &entry)) return false;
        --registryRoom;
        log.content.registryAdded.push_back(entry);
        return true;
    }

    bool Patterns(Payload& in, const BlockInfo& block) {
        if (block.flags & BLOCK_FLAG_REJECTED) return Fail("", "its header marks the payload as not accepted (flag bit 0)"), false;
        std::string payload;
        if (!in.Take(block.length, &payload)) return Fail("", "the payload runs past the end of the file"), false;
        std::vector<std::string> patterns;
        size_t at = 0;
        bool ended = false;
        while (at < payload.size()) {
            if (payload[at] == 0) {
                ended = true;  // the empty pattern that ends the list
                break;
            }
            size_t end = payload.find('\0', at);
            if (end == std::string::npos) break;
            patterns.push_back(payload.substr(at, end - at));
            at = end + 1;
        }
        if (!ended) return Fail("", "the pattern list has no empty pattern to end it"), false;
        if (at + 1 < payload.size()) Warn(std::to_string(payload.size() - at - 1) + " bytes after the list's end are never read");
        log.content.patterns = patterns;
        return true;
    }

    bool CodePage(Payload& in) {
        uint32_t codePage = 0;
        if (!in.Number(4, &codePage)) return Fail("", "the block ends inside its code page"), false;
        if (in.left > 0) Warn(std::to_string(in.left) + " bytes after its code page are never read");
        log.content.codePage = codePage;
        return true;
    }

    bool Dispatch(const BlockInfo& block, Payload& in) {
        switch (block.tag) {
        case BLOCK_MESSAGES: return Messages(in);
        case BLOCK_FILES: return Files(in);
        case BLOCK_FOLDERS: return Folders(in);
        case BLOCK_REGISTRY: return RegistryList(in);
        case BLOCK_REGISTRY_ADD: return RegistryAdded(in);
        case BLOCK_PATTERNS: return Patterns(in, block);
        case BLOCK_CODE_PAGE: return CodePage(in);
        case BLOCK_END: return true;
        default:
            Warn("an unknown tag " + Hex(block.tag) + ": the program passes over the block");
            return true;
        }
    }

    void Notes(const BlockInfo& block, const Payload& in) {
        if (block.tag < BLOCK_FILES || block.tag > BLOCK_PATTERNS) return;
        if (block.tag != BLOCK_PATTERNS && (block.flags & BLOCK_FLAG_REJECTED))
            Warn("flag bit 0 marks the payload as not accepted, but the program reads this kind of block regardless");
        if (in.left > 0 && block.tag != BLOCK_PATTERNS) Warn(std::to_string(in.left) + " bytes after its records are never read");
        int64_t& last = seen[block.tag - BLOCK_FILES];
        if (last >= 0 && block.tag != BLOCK_REGISTRY_ADD)
            Warn("replaces what the " + std::string(BlockName(block.tag)) + " block at " + Hex(last) + " held");
        last = block.offset;
    }

    void Run(uint32_t start) {
        seen.assign(BLOCK_PATTERNS - BLOCK_FILES + 1, -1);
        uint64_t position = start;
        for (;;) {
            where = "the block at " + Hex(position);
            if (position > file.size() || file.size() - position < BLOCK_HEADER_SIZE) {
                Fail("", position >= file.size() ? "the log ends here, before its end block" : "the log ends inside this block's header");
                return;
            }
            BlockInfo block;
            block.offset = static_cast<uint32_t>(position);
            block.tag = static_cast<uint16_t>(static_cast<uint8_t>(file[position]) | static_cast<uint8_t>(file[position + 1]) << 8);
            block.flags = static_cast<uint8_t>(file[position + 2]);
            block.reserved = static_cast<uint8_t>(file[position + 3]);
            for (int i = 3; i >= 0; --i) block.length = block.length << 8 | static_cast<uint8_t>(file[position + 4 + i]);
            log.blocks.push_back(block);
            where += " (" + std::string(BlockName(block.tag)) + ")";
            position += BLOCK_HEADER_SIZE;
            if (block.length != 0) {
                uint64_t next = position + block.length;
                if (next > 0xFFFFFFFFull) return Fail("", "its length runs past the 32-bit file positions");
                size_t inFile = position < file.size() ? file.size() - position : 0;
                Payload in{file, static_cast<size_t>(position), block.length < inFile ? block.length : inFile};
                if (!Dispatch(block, in)) return;
                Notes(block, in);
                position = next;
            }
            if (block.tag == BLOCK_END) break;
        }
        log.accepted = true;
        log.end = position;
        where = "the log";
        if (position < file.size()) Warn(std::to_string(file.size() - position) + " bytes after the end block are never read");
        if (log.catalogueTexts > MSG_SLOT_COUNT)
            Warn("the catalogue holds " + std::to_string(log.catalogueTexts) + " texts; only the first " +
                 std::to_string(MSG_SLOT_COUNT) + " are ever shown");
        for (size_t i = 0; i < log.blocks.size(); ++i) {
            if (log.blocks[i].tag == BLOCK_MESSAGES) {
                if (i > 0) Warn("the catalogue is not the first block: damage found before it would be reported in empty boxes");
                break;
            }
        }
    }
};

}  // namespace

const char* BlockName(uint16_t tag) {
    switch (tag) {
    case BLOCK_MESSAGES: return "BLOCK_MESSAGES";
    case BLOCK_FILES: return "BLOCK_FILES";
    case BLOCK_FOLDERS: return "BLOCK_FOLDERS";
    case BLOCK_REGISTRY: return "BLOCK_REGISTRY";
    case BLOCK_REGISTRY_ADD: return "BLOCK_REGISTRY_ADD";
    case BLOCK_PATTERNS: return "BLOCK_PATTERNS";
    case BLOCK_CODE_PAGE: return "BLOCK_CODE_PAGE";
    case BLOCK_END: return "BLOCK_END";
    default: return "unknown";
    }
}

ReadLog ReadLogAt(const Bytes& file, uint32_t offset) {
    ReadLog log;
    log.offset = offset;
    Walk walk{file, log, "", 0, {}};
    walk.Run(offset);
    return log;
}

ReadLog ReadProgramLog(const Bytes& program) {
    ProgramLayout layout = InspectProgram(program);
    if (layout.logOffset == 0) throw LogError("carries no log (its log offset is 0)");
    return ReadLogAt(program, layout.logOffset);
}

}  // namespace tidewell
