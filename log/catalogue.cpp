// The message catalogue: every text the program shows, looked up by slot.
#include "log/catalogue.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "base/text.h"
#include "log/log_format.h"
#include "log/block_reader.h"

namespace {

char emptyText[1] = {0};

}  // namespace

void FreeCatalogue() {
    if (!run.catalogue) return;
    for (char** entry = run.catalogue; *entry; ++entry) FreeAndNull(entry);
    FreeAndNull(&run.catalogue);
}

int ReadMessageCatalogue(HANDLE file) {
    unsigned short tableCount;
    if (BlockReadU16(file, &tableCount)) return ERR_BAD_LOG;
    if (tableCount < 1) return LOG_OK;

    // Only table 0 is read; the loader passes over the rest of the block.
    unsigned short stringCount;
    if (BlockReadU16(file, &stringCount)) return ERR_BAD_LOG;
    if (stringCount == 0) return LOG_OK;
    // Each string takes at least its length field: a count the block cannot hold is damage,
    // found before the table is sized by it.
    if (!BlockHolds(stringCount, 2)) return ERR_BAD_LOG;

    char** table;
    if (!AllocZeroed((stringCount + 1u) * sizeof(char*), &table)) return ERR_NO_MEMORY;
    FreeCatalogue();
    run.catalogue = table;

    // The strings read before a failure stay, and may report it.
    for (unsigned int j = 0; j < stringCount; ++j) {
        unsigned short length;
        if (BlockReadU16(file, &length) || !BlockHolds(length, 1)) return ERR_BAD_LOG;
        if (!AllocZeroed(length + 1u, &table[j])) return ERR_NO_MEMORY;
        if (BlockRead(file, table[j], length)) return ERR_BAD_LOG;
    }
    return LOG_OK;
}

const char* GetMessageText(int table, int slot) {
    if (table != 0 || !run.catalogue || slot < 0) return emptyText;
    for (int i = 0; run.catalogue[i]; ++i)
        if (i == slot) return run.catalogue[i];
    return emptyText;
}

void FormatMessageText(char* destination, int slot, const char* argument) {
    const char* text = GetMessageText(0, slot);
    int isFormat = 0;
    for (const char* c = text; *c; ++c)
        if (c[0] == '%' && c[1] == 's') isFormat = 1;

    // A text with "%s" is a format: each "%s" takes the argument and "%%" stands for one
    // percent sign. Every other byte is copied as it stands, so no sequence reads anything
    // but the one argument. The result is cut to fit the buffer.
    unsigned int at = 0;
    for (const char* c = text; *c; ++c) {
        if (isFormat && c[0] == '%' && c[1] == 's') {
            for (const char* a = argument; *a && at + 1 < MESSAGE_SIZE; ++a) destination[at++] = *a;
            ++c;
            continue;
        }
        if (isFormat && c[0] == '%' && c[1] == '%') ++c;
        if (at + 1 >= MESSAGE_SIZE) break;
        destination[at++] = *c;
    }
    destination[at] = 0;
}
