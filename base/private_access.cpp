// An access list that lets only the running account, the administrators and the system change
// what it is given.
#include "base/private_access.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"

namespace {

// The SIDs of the Administrators group (S-1-5-32-544), the system account (S-1-5-18) and
// everyone (S-1-1-0), as the system lays a SID out: revision, count of sub-authorities, the
// six-byte authority, then each sub-authority (little-endian).
const BYTE kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
const BYTE kSystem[] = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
const BYTE kEveryone[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};

enum {
    ACE_INHERITED_BELOW = 0x03,  // by the files and the folders made inside
    ALL_ACCESS = 0x1F01FF,       // FILE_ALL_ACCESS
    READ_ACCESS = 0x120089,      // FILE_GENERIC_READ: read, list, attributes, the access list
    LIST_REVISION = 2,
    SID_LARGEST = 8 + 4 * 15,
};

unsigned int SidLength(const BYTE* sid) { return 8 + 4u * sid[1]; }

void PutWord(BYTE* at, unsigned int value) {
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
}

// Appends one entry allowing the access to the SID: type, flags, size, access mask, the SID. The
// list's size (bytes 2 and 3) and count (bytes 4 and 5) grow with it.
void AddEntry(BYTE* list, const BYTE* sid, DWORD access) {
    unsigned int used = list[2] | list[3] << 8;
    BYTE* entry = list + used;
    unsigned int length = SidLength(sid);
    entry[0] = 0;  // allowed
    entry[1] = ACE_INHERITED_BELOW;
    PutWord(entry + 2, 8 + length);
    PutWord(entry + 4, access & 0xFFFF);
    PutWord(entry + 6, access >> 16);
    CopyBytes(entry + 8, sid, length);
    PutWord(list + 2, used + 8 + length);
    ++list[4];
}

// The running account's SID, from the process's token: found at run time, as the 95 family's
// advapi32 has no tokens.
const BYTE* RunningAccount(DWORD_PTR* buffer, DWORD size) {
    typedef BOOL(WINAPI * OpenTokenCall)(HANDLE, DWORD, HANDLE*);
    typedef BOOL(WINAPI * TokenInformationCall)(HANDLE, int, void*, DWORD, DWORD*);
    OpenTokenCall openToken = reinterpret_cast<OpenTokenCall>(SystemCall("advapi32.dll", "OpenProcessToken"));
    TokenInformationCall information =
        reinterpret_cast<TokenInformationCall>(SystemCall("advapi32.dll", "GetTokenInformation"));
    HANDLE token;
    if (!openToken || !information || !openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
    DWORD needed = 0;
    BOOL got = information(token, TokenUser, buffer, size, &needed);
    CloseHandle(token);
    if (!got) return nullptr;
    const BYTE* sid = static_cast<const BYTE*>(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
    // A SID the list could not hold whole is no account's.
    if (!sid || sid[0] != 1 || SidLength(sid) > SID_LARGEST) return nullptr;
    return sid;
}

}  // namespace

namespace {

// The list with the account's entry first, when there is one.
int MakeSecurity(PrivateSecurity* out, int withAccount) {
    FillZero(out, sizeof *out);
    if (!run.isNT) return 1;
    const BYTE* account = withAccount ? RunningAccount(out->account, sizeof out->account) : nullptr;
    if (withAccount && !account) return 0;
    BYTE* list = reinterpret_cast<BYTE*>(out->list);
    list[0] = LIST_REVISION;
    list[2] = 8;  // the header's size; each entry adds its own
    if (account) AddEntry(list, account, ALL_ACCESS);
    AddEntry(list, kAdministrators, ALL_ACCESS);
    AddEntry(list, kSystem, ALL_ACCESS);
    AddEntry(list, kEveryone, READ_ACCESS);
    // The descriptor in its absolute form, as InitializeSecurityDescriptor and
    // SetSecurityDescriptorDacl would make it; protected, so that no entry the folder passes on
    // to what is made in it is added.
    out->descriptor.Revision = SECURITY_DESCRIPTOR_REVISION;
    out->descriptor.Control = SE_DACL_PRESENT | SE_DACL_PROTECTED;
    out->descriptor.Dacl = reinterpret_cast<ACL*>(list);
    out->made.nLength = sizeof out->made;
    out->made.lpSecurityDescriptor = &out->descriptor;
    out->attributes = &out->made;
    return 1;
}

}  // namespace

int MakePrivateSecurity(PrivateSecurity* out) { return MakeSecurity(out, 1); }

int MakeAdministratorsSecurity(PrivateSecurity* out) { return MakeSecurity(out, 0); }
