// Names no other account can foresee.
#include "base/random_name.h"
#include "base/buffer_sizes.h"
#include "base/platform.h"
#include "base/system_call.h"
#include "base/text.h"

namespace {

void FetchRandom(DWORD* value, int tries) {
    typedef BOOLEAN(WINAPI * RandomCall)(void*, ULONG);
    RandomCall random = reinterpret_cast<RandomCall>(SystemCall("advapi32.dll", "SystemFunction036"));
    if (random && random(value, 2 * sizeof(DWORD))) return;
    value[0] = GetTickCount();
    value[1] = static_cast<DWORD>(tries);
}

int AppendHex(char* text, DWORD value) {
    char digits[9];
    for (int i = 7; i >= 0; --i, value >>= 4) digits[i] = "0123456789abcdef"[value & 15];
    digits[8] = 0;
    return AppendText(text, PATH_SIZE, digits);
}

}  // namespace

int AppendRandomName(char* path, int tries) {
    DWORD random[2];
    FetchRandom(random, tries);
    return AppendText(path, PATH_SIZE, "tw") && AppendHex(path, random[0]) && AppendHex(path, random[1]);
}
