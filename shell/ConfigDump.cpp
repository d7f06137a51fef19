#include "shell/ConfigDump.h"

#include "shell/RegKey.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace
{

namespace fs = std::filesystem;

struct tagDUMP_FILE
{
    const char* file;
    const char* key;
    BOOL reportMissing;
};

const tagDUMP_FILE DUMP_FILES[] = {
    {"Dump1.data", "software\\Vexa\\Tarn", TRUE},
    {"Dump2.data", "software\\Vexa\\Merrow", TRUE},
    {"Dump3.data", "software\\Nask", FALSE},
};

std::string Join(const std::string& folder, const char* name)
{
    return (fs::path(folder) / name).string();
}

void Fail(std::string* detail, const std::string& why)
{
    if (detail)
        *detail = why;
}

} // namespace

std::string DumpConfiguration(CRegistry& registry, const std::string& folder, std::string* detail)
{
    std::string dumpFolder = Join(folder, DUMP_FOLDER_NAME);
    std::error_code ec;
    fs::create_directory(dumpFolder, ec);
    if (ec && !fs::is_directory(dumpFolder))
    {
        Fail(detail, dumpFolder + ": " + ec.message());
        return DUMP_FAILED_TEXT;
    }
    for (const tagDUMP_FILE& dump : DUMP_FILES)
    {
        std::string path = Join(dumpFolder, dump.file);
        fs::remove(path, ec);
        if (ec)
        {
            Fail(detail, path + ": " + ec.message());
            return DUMP_FAILED_TEXT;
        }
    }
    for (const tagDUMP_FILE& dump : DUMP_FILES)
    {
        CRegKey key;
        if (key.Open(registry, HKEY_LOCAL_MACHINE, dump.key) != ERROR_SUCCESS)
            continue; // a key that does not exist is not dumped
        std::string path = Join(dumpFolder, dump.file);
        LONG rc = RegSaveKey(key.Get(), path.c_str());
        if (rc != ERROR_SUCCESS)
        {
            Fail(detail, path + ": " + RegLastErrorText());
            return DUMP_FAILED_TEXT;
        }
    }
    return DUMP_DONE_TEXT;
}

std::vector<std::string> RestoreConfiguration(CRegistry& registry, const std::string& folder)
{
    std::vector<std::string> texts;
    int missing = 0;     // Dump1 or Dump2 not there
    int notRestored = 0; // of Dump1 and Dump2, missing or refused
    BOOL anyRefused = FALSE;
    for (const tagDUMP_FILE& dump : DUMP_FILES)
    {
        std::string path = Join(folder, dump.file);
        std::error_code ec;
        if (!fs::is_regular_file(path, ec))
        {
            if (dump.reportMissing)
            {
                texts.push_back(std::string("Data file \"") + dump.file +
                                "\" not find in the selected path.");
                ++missing;
                ++notRestored;
            }
            continue;
        }
        CRegKey key;
        LONG rc = key.Create(registry, HKEY_LOCAL_MACHINE, dump.key);
        if (rc == ERROR_SUCCESS)
            rc = RegRestoreKey(key.Get(), path.c_str(), REG_FORCE_RESTORE);
        if (rc != ERROR_SUCCESS)
        {
            anyRefused = TRUE;
            if (dump.reportMissing)
                ++notRestored;
        }
    }
    if (notRestored == 2)
        texts.push_back(RESTORE_NONE_TEXT);
    else if (missing == 0 && !anyRefused)
        texts.push_back(RESTORE_ALL_TEXT);
    else
        texts.push_back(RESTORE_SOME_TEXT);
    return texts;
}

BOOL ListSubFolders(const std::string& folder, std::vector<std::string>& names, std::string& error)
{
    names.clear();
    error.clear();
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
    {
        error = folder + ": " + ec.message();
        return FALSE;
    }
    for (; it != fs::directory_iterator(); it.increment(ec))
    {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.empty() || name[0] == '.' || !it->is_directory(typeError))
            continue;
        names.push_back(name);
    }
    if (ec)
    {
        names.clear();
        error = folder + ": " + ec.message();
        return FALSE;
    }
    std::sort(names.begin(), names.end());
    return TRUE;
}
