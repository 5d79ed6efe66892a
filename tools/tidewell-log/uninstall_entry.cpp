// The entry in the list of installed programs: its values and their writing.
#include "tools/tidewell-log/uninstall_entry.h"

#include "tools/logwriter/log_writer.h"

namespace tidewell {

const char kUninstallList[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

const char kDisplayName[] = "DisplayName";

}  // namespace

std::vector<EntryValue> EntryValues(const Product& product, const std::string& program, uint64_t installedBytes,
                                    const std::string& installDate) {
    std::vector<EntryValue> values;
    auto text = [&values](const char* name, const std::string& value) {
        if (!value.empty()) values.push_back({name, value, std::nullopt});
    };
    text("DisplayVersion", product.version);
    text("Publisher", product.publisher);
    text("HelpLink", product.help);
    text("URLInfoAbout", product.about);
    text("Contact", product.contact);
    // The uninstaller's own icon; the list takes "path,index" without quotes.
    text("DisplayIcon", program + ",0");
    text("UninstallString", "\"" + program + "\"");
    // Quiet: no box, each question its safe answer, and the uninstaller deleted afterwards.
    text("QuietUninstallString", "\"" + program + "\" /Q");
    size_t slash = program.rfind('\\');
    text("InstallDate", installDate);
    text("InstallLocation", slash == std::string::npos ? program : program.substr(0, slash == 2 ? 3 : slash));
    // In kilobytes, rounded up.
    uint64_t kilobytes = (installedBytes + 1023) / 1024;
    values.push_back({"EstimatedSize", "", static_cast<uint32_t>(kilobytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : kilobytes)});
    values.push_back({"NoModify", "", 1u});
    values.push_back({"NoRepair", "", 1u});
    values.push_back({kDisplayName, product.name, std::nullopt});
    return values;
}

const std::vector<std::string>& EntryValueNames() {
    static const std::vector<std::string> names = {
        "DisplayVersion", "Publisher", "HelpLink", "URLInfoAbout", "Contact", "DisplayIcon", "UninstallString",
        "QuietUninstallString", "InstallDate", "InstallLocation", "EstimatedSize", "NoModify", "NoRepair", kDisplayName};
    return names;
}

void WriteEntry(RegistryPort& list, const std::string& key, const std::vector<EntryValue>& values) {
    const std::string full = list.Name() + "\\" + key;
    bool made = false;
    if (!list.OpenEntry(key, &made)) throw LogError("cannot open or make the key " + full);
    std::vector<std::string> written;
    auto fail = [&](const std::string& what) {
        // Without its DisplayName (gone first, written last) the entry is never shown half made.
        bool undone = made && list.DeleteEntry(key);
        if (!undone)
            for (auto name = written.rbegin(); name != written.rend(); ++name) list.DeleteValue(*name);
        throw LogError(what + " of the key " + full + "; what was written is taken out again");
    };
    if (!list.DeleteValue(kDisplayName)) fail("cannot take out the value DisplayName");
    for (const EntryValue& value : values) {
        if (value.name == kDisplayName) continue;
        if (!(value.number ? list.SetNumber(value.name, *value.number) : list.SetText(value.name, value.text)))
            fail("cannot write the value " + value.name);
        written.push_back(value.name);
    }
    // The values an earlier entry had that this product leaves out.
    for (const std::string& name : EntryValueNames()) {
        bool given = false;
        for (const EntryValue& value : values) given = given || value.name == name;
        if (!given && !list.DeleteValue(name)) fail("cannot take out the earlier value " + name);
    }
    for (const EntryValue& value : values)
        if (value.name == kDisplayName) {
            if (!list.SetText(value.name, value.text)) fail("cannot write the value DisplayName");
            written.push_back(value.name);
        }
}

}  // namespace tidewell
