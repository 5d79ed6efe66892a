// The leftover-file patterns: the pattern block's payload, kept as it stands.
#include "log/pattern_list.h"
#include "base/memory.h"
#include "base/run_context.h"
#include "log/log_format.h"

int EndsPatternList(const char* patterns, unsigned int length) {
    unsigned int at = 0;
    while (at < length) {
        if (patterns[at] == 0) return 1;  // the empty pattern that ends the list
        while (at < length && patterns[at] != 0) ++at;
        ++at;  // past the pattern's zero byte
    }
    return 0;
}

int ReadPatternList(HANDLE file, const BlockHeader* header) {
    char* patterns = nullptr;
    int code = ReadBlockPayload(file, header, &patterns, nullptr);
    if (code != LOG_OK) return code;
    // Matching walks the list to its empty pattern; a list without one would lead it past the
    // buffer. The block is refused rather than mended, as the writer never makes one.
    if (!EndsPatternList(patterns, header->length)) {
        FreeAndNull(&patterns);
        return ERR_BAD_LOG;
    }
    FreeAndNull(&run.patterns);
    run.patterns = patterns;
    return LOG_OK;
}
