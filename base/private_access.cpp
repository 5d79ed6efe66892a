// The private rights, written in the system's descriptor language and made by the system: the
// calls exist from Windows 2000 on and are found at run time.
#include "base/private_access.h"
#include "base/text.h"

namespace {

typedef BOOL(WINAPI* OpenTokenCall)(HANDLE, DWORD, HANDLE*);
typedef BOOL(WINAPI* TokenInformationCall)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*);
typedef BOOL(WINAPI* SidTextCall)(PSID, char**);
typedef BOOL(WINAPI* DescriptorCall)(const char*, DWORD, PSECURITY_DESCRIPTOR*, ULONG*);

enum { TOKEN_USER_WORDS = 32, ACCESS_TEXT_SIZE = 256, DESCRIPTOR_REVISION = 1 };

// Protected (nothing inherited from the parent); full control for the system, the
// administrators and the running account, passed on to files and folders made inside.
const char ACCESS_HEAD[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;";

void* SecurityCall(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), name));
}

// Appends the running account's identifier, as text, to the access text.
int AppendAccount(char* text) {
    OpenTokenCall openToken = reinterpret_cast<OpenTokenCall>(SecurityCall("OpenProcessToken"));
    TokenInformationCall tokenInformation =
        reinterpret_cast<TokenInformationCall>(SecurityCall("GetTokenInformation"));
    SidTextCall sidText = reinterpret_cast<SidTextCall>(SecurityCall("ConvertSidToStringSidA"));
    HANDLE token;
    if (!openToken || !tokenInformation || !sidText || !openToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
    DWORD user[TOKEN_USER_WORDS];  // a TOKEN_USER and the identifier it points to
    DWORD size = 0;
    char* account = nullptr;
    int appended = tokenInformation(token, TokenUser, user, sizeof user, &size) &&
                   sidText(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &account);
    CloseHandle(token);
    if (!appended) return 0;
    appended = AppendText(text, ACCESS_TEXT_SIZE, account) && AppendText(text, ACCESS_TEXT_SIZE, ")");
    LocalFree(account);
    return appended;
}

}  // namespace

int MakePrivateAccess(SECURITY_ATTRIBUTES* attributes) {
    FillZero(attributes, sizeof *attributes);
    attributes->nLength = sizeof *attributes;
    char text[ACCESS_TEXT_SIZE];
    DescriptorCall descriptor =
        reinterpret_cast<DescriptorCall>(SecurityCall("ConvertStringSecurityDescriptorToSecurityDescriptorA"));
    if (!descriptor || !CopyText(text, ACCESS_TEXT_SIZE, ACCESS_HEAD) || !AppendAccount(text)) return 0;
    return descriptor(text, DESCRIPTOR_REVISION, &attributes->lpSecurityDescriptor, nullptr) &&
           attributes->lpSecurityDescriptor;
}

void FreePrivateAccess(SECURITY_ATTRIBUTES* attributes) {
    if (attributes->lpSecurityDescriptor) LocalFree(attributes->lpSecurityDescriptor);
    attributes->lpSecurityDescriptor = nullptr;
}
