// The lookup of system calls newer than the 95 family and the first NT versions.
#include "base/system_call.h"

void* SystemCall(const char* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name));
}
