// The package author's manifest: a readable JSON description of what the log is to hold.
#pragma once
#include <optional>
#include <string>

#include "tools/logwriter/log_writer.h"
#include "tools/tidewell-log/findings.h"
#include "tools/tidewell-log/folder_names.h"
#include "tools/tidewell-log/uninstall_entry.h"

namespace tidewell {

struct Manifest {
    LogContent content;              // folder names resolved, texts already in the code page
    std::string codePage;            // empty: the texts go into the log as the manifest's UTF-8 bytes
    bool utf8 = false;               // the texts are UTF-8 by choice: the copy is to run in UTF-8
    Scope scope = Scope::Machine;    // whom the package was installed for
    std::optional<Product> product;  // the entry in the list of installed programs, in UTF-8
    Findings findings;               // about the manifest itself: its folder names, its texts
};

struct ManifestOptions {
    // What the records' folder names stand for. By default none stands for anything: a name is an
    // error.
    FolderNames folders;
    // attach --register: the entry's key joins the added registry records (unless it is there),
    // so that the removal takes the entry out of the list.
    bool registerEntry = false;
    // The code page of the machine the log is written on (system.h SystemCodePage), which a
    // manifest without "codepage" gets: its texts go into the log in it, UTF-8 for 65001. 0 (a
    // build machine): they go in as the manifest's UTF-8 bytes, with a warning when any is not
    // ASCII.
    unsigned systemCodePage = 0;
};

// The English texts an author gets for every slot the manifest leaves out.
const std::vector<std::string>& DefaultMessages();
const char* SlotName(int slot);
// "HKLM" and the like for a predefined root key; empty for any other value.
std::string RootShortName(uint32_t root);
// The predefined root key of a name such as "HKEY_LOCAL_MACHINE" or "HKLM"; 0 for any other.
uint32_t RootOfName(const std::string& name);

// Reads a manifest; raises LogError, in one line, with the offending entry named, among them a
// text its code page cannot hold. A folder name that stands for nothing is an error finding,
// naming its record. A log whose texts are not all ASCII records their code page, where it is
// one Windows runs programs in.
Manifest ReadManifest(const std::string& json, const ManifestOptions& options = {});
LogContent ParseManifest(const std::string& json);

// The manifest of a log's content, such that attaching it gives the same log again. Texts are
// read in the code page given (empty: as UTF-8; a log that records UTF-8 says "utf-8"); only the slots that differ from the English
// defaults are written, those past the catalogue's end as null, and the scope only when it is a
// user's.
std::string WriteManifest(const LogContent& content, const std::string& codePage, Scope scope = Scope::Machine);

// Every text and path of the content, in the order of its blocks.
std::vector<const std::string*> ContentTexts(const LogContent& content);

// The entry's key as a registry record of the log.
RegistryEntry EntryRecord(Scope scope, const std::string& key);

}  // namespace tidewell
