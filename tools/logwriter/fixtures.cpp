// Named logs for the tests and the fuzzer's seeds.
#include "tools/logwriter/fixtures.h"

namespace tidewell {
namespace {

constexpr char kPackageFolder[] = ".\\Muestras\\Puerto";
constexpr uint32_t kLocalMachine = 0x80000002u;

Block Frame(uint16_t tag, Bytes payload, uint8_t flags = 0) {
    return {tag, flags, 0, std::move(payload), std::nullopt};
}

Block Catalogue() { return Frame(BLOCK_MESSAGES, MessagesPayload({*ExampleContent().messages})); }

Bytes WithCount(Bytes payload, uint32_t count) {
    Bytes counted;
    PutU32(counted, count);
    return counted + payload.substr(4);
}

std::vector<FileEntry> TwoFiles() { return {{kPackageFolder, "faro.exe", 0}, {kPackageFolder, "leame.txt", 0}}; }

}  // namespace

LogContent ExampleContent() {
    LogContent content;
    // Windows-1252 text, as the package's language has it.
    content.messages = std::vector<std::string>{
        "Faro v2.1",
        "\xbfQuiere quitar por completo Faro del Puerto 2.1 y todos sus componentes de este equipo ahora?",
        "Faro del Puerto 2.1 se ha quitado por completo de este ordenador.",
        "&S\xed",
        "S\xed para &todo",
        "&No",
        "No para &nada",
        "Falta memoria: %s",
        "El registro de desinstalaci\xf3n est\xe1 da\xf1"
        "ado o incompleto. No se puede seguir; vuelva a instalar el programa.",
        "El archivo\n%s\nes de solo lectura. \xbf"
        "Desea quitarlo igualmente?",
        "El archivo compartido\n%s\nya no lo usa ning\xfan programa. \xbfQuiere quitarlo del sistema?",
    };
    content.registry = std::vector<RegistryEntry>{};
    std::vector<FileEntry> files;
    for (const char* name : {"faro.exe", "faro_ayuda.hlp", "faro_ayuda.cnt", "leame.txt", "licencia.txt",
                             "puerto_norte.map", "puerto_sur.map", "mareas_1999.dat", "guia_de_instalacion_v2.pdf"})
        files.push_back({kPackageFolder, name, 0});
    content.files = files;
    content.registryAdded = {{kLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Faro del Puerto 2.1.0"}};
    return content;
}

Bytes ExampleLog() { return BuildLog(ExampleContent()); }

Bytes ExampleStub() {
    Bytes image(kExampleImageSize, '\0');
    auto put = [&image](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) image[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    const size_t pe = 0x80, optional = pe + 24, optionalSize = 0xE0, sections = optional + optionalSize;
    image.replace(0, 2, "MZ");
    put(0x3C, pe, 4);
    image.replace(pe, 4, Bytes("PE\0\0", 4));
    put(pe + 4, 0x14C, 2);  // i386
    put(pe + 6, 2, 2);      // two sections
    put(pe + 20, optionalSize, 2);
    put(pe + 22, 0x0102, 2);
    put(optional, 0x10B, 2);       // PE32
    put(optional + 60, 0x400, 4);  // SizeOfHeaders
    put(optional + 92, 16, 4);     // data directories, all empty
    const struct {
        const char* name;
        uint32_t start, size;
    } kSections[] = {{".text", 0x400, 0x800}, {".data", 0xC00, kExampleImageSize - 0xC00}};
    for (size_t i = 0; i < 2; ++i) {
        size_t entry = sections + 40 * i;
        image.replace(entry, std::char_traits<char>::length(kSections[i].name), kSections[i].name);
        put(entry + 8, kSections[i].size, 4);
        put(entry + 12, 0x1000 * (i + 1), 4);
        put(entry + 16, kSections[i].size, 4);
        put(entry + 20, kSections[i].start, 4);
    }
    const char marker[] = {LOG_MARKER};
    image.replace(0xC40, sizeof marker, marker, sizeof marker);
    return image;
}

std::vector<NamedLog> DamagedLogs() {
    std::vector<NamedLog> logs;
    auto add = [&logs](const std::string& name, const std::string& damage, std::vector<Block> blocks) {
        blocks.insert(blocks.begin(), Catalogue());
        logs.push_back({name, damage, EncodeLog(blocks)});
    };
    Bytes files = FilesPayload(TwoFiles());
    Bytes registry = RegistryPayload({{kLocalMachine, "Software\\Faro"}, {kLocalMachine, "Software\\Puerto"}});

    add("file-strings-too-long", "a file record's folder and name together are 519 bytes",
        {Frame(BLOCK_FILES, FilesPayload({{std::string(260, 'f'), std::string(259, 'n'), 0}}))});
    add("folder-strings-too-long", "a folder record's folder and name together are 519 bytes",
        {Frame(BLOCK_FOLDERS, FoldersPayload({{std::string(519, 'f'), ""}}))});
    add("registry-path-too-long", "a registry path of 520 bytes",
        {Frame(BLOCK_REGISTRY, RegistryPayload({{kLocalMachine, std::string(520, 'k')}}))});
    add("file-count-past-payload", "a file count of 3 over two records",
        {Frame(BLOCK_FILES, WithCount(files, 3)), Frame(BLOCK_REGISTRY, RegistryPayload({}))});
    add("folder-count-past-payload", "a folder count of 3 over two records",
        {Frame(BLOCK_FOLDERS, WithCount(FoldersPayload({{"C:\\Menu", "Faro.lnk"}, {"C:\\Menu", ""}}), 3))});
    add("registry-count-past-payload", "a registry count of 3 over two records",
        {Frame(BLOCK_REGISTRY, WithCount(registry, 3)), Frame(BLOCK_FILES, files)});
    add("file-record-past-block", "the block ends inside its last file record",
        {Frame(BLOCK_FILES, files.substr(0, files.size() - 3)), Frame(BLOCK_REGISTRY, registry)});
    add("registry-record-past-block", "the block ends inside an added registry record",
        {Frame(BLOCK_REGISTRY, RegistryPayload({})),
         Frame(BLOCK_REGISTRY_ADD, RegistryRecord({kLocalMachine, "Software\\Faro"}).substr(0, 8)),
         Frame(BLOCK_FILES, files)});
    add("huge-file-count", "a file count of 4294967295 over one record",
        {Frame(BLOCK_FILES, WithCount(FilesPayload({TwoFiles()[0]}), 0xFFFFFFFFu))});
    add("huge-registry-count", "a registry count of 1073741824 over one record",
        {Frame(BLOCK_REGISTRY, WithCount(RegistryPayload({{kLocalMachine, "Software\\Faro"}}), 0x40000000u))});
    add("registry-add-before-list", "an added registry record before any registry list",
        {Frame(BLOCK_REGISTRY_ADD, RegistryRecord({kLocalMachine, "Software\\Faro"})),
         Frame(BLOCK_REGISTRY, RegistryPayload({}))});
    {
        std::vector<Block> blocks = {Frame(BLOCK_REGISTRY, RegistryPayload({}))};
        for (int i = 1; i <= 4; ++i)
            blocks.push_back(Frame(BLOCK_REGISTRY_ADD, RegistryRecord({kLocalMachine, "Software\\Faro" + std::to_string(i)})));
        add("registry-add-fourth", "four added registry records behind a list of 0", blocks);
    }
    add("patterns-without-end", "a pattern list whose last pattern has no empty pattern after it",
        {Frame(BLOCK_PATTERNS, Bytes("*.tmp\0.bak\0", 11))});
    add("patterns-without-zero", "a pattern list of one pattern without its zero byte",
        {Frame(BLOCK_PATTERNS, Bytes("*.tmp"))});
    add("patterns-flagged", "a pattern block whose header marks it as not accepted",
        {Frame(BLOCK_PATTERNS, PatternsPayload({"*.tmp"}), BLOCK_FLAG_REJECTED)});
    add("catalogue-huge-count", "a second catalogue whose 12-byte block claims 65535 texts",
        {Frame(BLOCK_MESSAGES, MessagesPayload({{"a", "b", "c"}}).substr(0, 2) + Bytes("\xFF\xFF\x01\x00x\x01\x00y\x00\x00", 10))});
    {
        // Twelve texts, the last of which claims more bytes than the block has: the first eleven
        // are read and report the damage.
        std::vector<std::string> texts = *ExampleContent().messages;
        texts.push_back("tail");
        Bytes payload = MessagesPayload({texts});
        payload.resize(payload.size() - 2);
        add("catalogue-text-past-block", "the last text of a catalogue runs past its block", {Frame(BLOCK_MESSAGES, payload)});
    }
    return logs;
}

std::vector<NamedLog> FixtureLogs() {
    std::vector<NamedLog> logs = {{"example", "", ExampleLog()}};
    for (NamedLog& log : DamagedLogs()) logs.push_back(std::move(log));
    return logs;
}

}  // namespace tidewell
