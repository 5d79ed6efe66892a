// tidewell-log dump: the manifest of an uninstaller's log, or with --blocks its raw blocks.
#include <cstdio>
#include <iostream>

#include "tools/tidewell-log/codepage.h"
#include "tools/tidewell-log/commands.h"
#include "tools/tidewell-log/execution_level.h"
#include "tools/tidewell-log/log_reader.h"
#include "tools/tidewell-log/manifest.h"

namespace tidewell {
namespace {

const char kGuessedCodePage[] = "windows-1252";

bool AllUtf8(const LogContent& content) {
    for (const std::string* text : ContentTexts(content))
        if (!IsUtf8(*text)) return false;
    return true;
}

void PrintBlocks(const ReadLog& log, size_t fileSize) {
    std::printf("%-12s %-6s %-20s %-5s %s\n", "offset", "tag", "name", "flags", "length");
    for (const BlockInfo& block : log.blocks)
        std::printf("0x%08X   0x%04X %-20s 0x%02X  %u\n", block.offset, block.tag, BlockName(block.tag), block.flags, block.length);
    if (log.accepted)
        std::printf("the log runs from 0x%08X to 0x%08llX; the file ends at 0x%08zX\n", log.offset,
                    static_cast<unsigned long long>(log.end), fileSize);
}

}  // namespace

int DumpCommand(const std::vector<std::string>& args) {
    Arguments arguments = ParseArguments(args, {"codepage"}, {"blocks"});
    if (arguments.files.size() != 1) throw UsageError("dump needs one program file");
    const std::string& path = arguments.files[0];
    Bytes program = ReadInput(path);
    ReadLog log = ReadProgramFile(path, program);

    if (arguments.switches.count("blocks")) PrintBlocks(log, program.size());
    if (!log.accepted) {
        for (const Finding& finding : log.findings)
            if (finding.error) std::cerr << "tidewell-log: " << path << ": the program refuses its log: " << finding.where << ": " << finding.text << "\n";
        return 1;
    }
    if (arguments.switches.count("blocks")) return 0;

    std::string codePage;
    if (arguments.options.count("codepage")) {
        codePage = CodePageName(arguments.options.at("codepage"));
    } else if (log.content.codePage) {
        // The log says its own.
        if (*log.content.codePage != kUtf8CodePage) codePage = CodePageName(std::to_string(*log.content.codePage));
    } else if (!AllUtf8(log.content)) {
        codePage = kGuessedCodePage;
        std::cerr << "tidewell-log: " << path << ": the texts are not UTF-8; read as " << codePage
                  << " (another with --codepage)\n";
    }
    if (log.catalogueTexts > MSG_SLOT_COUNT)
        std::cerr << "tidewell-log: " << path << ": the catalogue's " << log.catalogueTexts - MSG_SLOT_COUNT
                  << " texts after the last slot are left out\n";
    // The scope the package was attached for, as the level in the program's manifest says.
    Scope scope = Scope::Machine;
    try {
        if (std::optional<LevelField> field = FindExecutionLevel(program)) scope = ScopeOfLevel(field->level).value_or(Scope::Machine);
    } catch (const LogError&) {
        // A manifest without a level the tool knows says no scope.
    }
    try {
        std::cout << WriteManifest(log.content, codePage, scope);
    } catch (const LogError& error) {
        throw LogError(path + ": " + error.what());
    }
    return 0;
}

}  // namespace tidewell
