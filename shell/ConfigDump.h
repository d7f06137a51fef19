#pragma once
// Dump and restore of the whole registry configuration: HKEY_LOCAL_MACHINE "software\Vexa\Tarn",
// "software\Vexa\Merrow" and "software\Nask" saved as the registry's key files "Dump1.data",
// "Dump2.data" and "Dump3.data" in the folder "TARN_DUMP" of a chosen folder, and restored
// from a chosen folder holding those files. Plus the listing that serves the page's folder
// chooser. Stateless functions, called on the user-interface thread.
#include "platform/Registry.h"
#include "platform/Types.h"

#include <string>
#include <vector>

constexpr const char* DUMP_FOLDER_NAME = "TARN_DUMP";
constexpr const char* DUMP_DONE_TEXT = "The configurations are dumped out.";
constexpr const char* DUMP_FAILED_TEXT = "The configurations could not be dumped out.";
constexpr const char* RESTORE_QUESTION =
    "All the current settings will be overwrite, continue anyway?";
constexpr const char* RESTORE_ALL_TEXT = "All the configurations are restored.";
constexpr const char* RESTORE_SOME_TEXT = "The configurations are restored.";
constexpr const char* RESTORE_NONE_TEXT = "No configuration is restored.";

// Creates <folder>/TARN_DUMP, deletes the three files there and saves the three keys into
// them. A key that does not exist is skipped silently. Returns DUMP_DONE_TEXT, or
// DUMP_FAILED_TEXT when the folder cannot be made, an old file cannot be deleted or a key
// that exists cannot be saved (detail, when given, then says why).
std::string DumpConfiguration(CRegistry& registry, const std::string& folder,
                              std::string* detail = nullptr);

// Restores the files of the folder (the dump folder itself) into their keys, forcing the
// restore. Returns the texts to show, in order: "Data file \"Dump1.data\" not find in the
// selected path." and the same for Dump2 when missing (a missing Dump3 is not reported),
// then the closing text: RESTORE_ALL_TEXT when every file present was restored and Dump1 and
// Dump2 were both there; RESTORE_NONE_TEXT when neither Dump1 nor Dump2 was restored (both
// missing, for example from the parent of the dump folder); else RESTORE_SOME_TEXT. A file
// that is present but refused (damaged) counts as not restored and leaves its key as it was.
std::vector<std::string> RestoreConfiguration(CRegistry& registry, const std::string& folder);

// The names of the sub-folders of a folder of the console machine, sorted, without hidden
// ones (names starting with '.'). FALSE with error set when the folder cannot be read.
BOOL ListSubFolders(const std::string& folder, std::vector<std::string>& names, std::string& error);
