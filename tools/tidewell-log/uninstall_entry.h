// The package's entry in the system's list of installed programs: its values, from the
// manifest's "product" section and the place of the uninstaller, and the one way they are
// written, which never leaves half an entry behind.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// The list's key below HKEY_LOCAL_MACHINE (a machine's package) or HKEY_CURRENT_USER (a user's).
extern const char kUninstallList[];

// The "product" section, in UTF-8.
struct Product {
    std::string name;  // DisplayName
    std::string version;
    std::string publisher;
    std::string help;     // HelpLink
    std::string about;    // URLInfoAbout
    std::string contact;  // Contact
    std::string key;      // the entry's key below the list; the display name unless given
};

struct EntryValue {
    std::string name;
    std::string text;               // a string value, unless
    std::optional<uint32_t> number;  // a DWORD value
};

// The entry's values for an uninstaller at `program` (absolute) whose package's installed files
// take `installedBytes`, installed on `installDate` (yyyyMMdd). DisplayName comes last: the list shows no entry without one, so the
// entry appears only once everything else is in place.
std::vector<EntryValue> EntryValues(const Product& product, const std::string& program, uint64_t installedBytes,
                                    const std::string& installDate);

// The names of every value the tool may write; those a product leaves out are taken out of an
// entry made earlier, so that attaching again replaces the values.
const std::vector<std::string>& EntryValueNames();

// The list of installed programs as the entry's writer uses it. Implemented on Windows by the
// registry (system_windows.cpp), and by the tests with injected failures.
class RegistryPort {
public:
    virtual ~RegistryPort() = default;
    // The list's full name, for messages: HKEY_LOCAL_MACHINE\Software\...\Uninstall.
    virtual std::string Name() const = 0;
    // Opens the entry's key, making it when there is none (`made` then says so).
    virtual bool OpenEntry(const std::string& key, bool* made) = 0;
    virtual bool SetText(const std::string& name, const std::string& text) = 0;
    virtual bool SetNumber(const std::string& name, uint32_t number) = 0;
    // True also when the value was not there.
    virtual bool DeleteValue(const std::string& name) = 0;
    // Closes the entry's key and deletes it.
    virtual bool DeleteEntry(const std::string& key) = 0;
};

// Writes the entry. An entry made earlier loses its DisplayName first, so that the list does not
// show it while its values change, and gets it back last. On any failure what this call wrote is taken out again (the key
// too when this call made it) and LogError is raised.
void WriteEntry(RegistryPort& list, const std::string& key, const std::vector<EntryValue>& values);

}  // namespace tidewell
