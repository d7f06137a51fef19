#pragma once
// The data folder that holds the registry database, the secrets file and the run/ directory.
// It is `--data DIR`, else $VEXA_DATA, else $XDG_DATA_HOME/vexa, else ~/.local/share/vexa, and
// is created (mode 0700) on first use. Resolution is a pure function of its sources so tests
// never touch the environment. A CDataFolder is opened once by the process's start-up code
// and only read afterwards, from any thread. The file helpers at the end serve the files kept
// there and the hive files.
#include "platform/Types.h"

#include <cstddef>
#include <string>
#include <vector>

struct tagDATA_FOLDER_SOURCES
{
    std::string option;      // the --data argument, "" when not given
    std::string vexaData;    // $VEXA_DATA
    std::string xdgDataHome; // $XDG_DATA_HOME
    std::string home;        // $HOME, else the password database's home directory
};

// The sources as this process sees them.
tagDATA_FOLDER_SOURCES DataFolderSources(const std::string& option);

// The folder by precedence; empty settings count as unset, a relative $XDG_DATA_HOME is
// ignored (the XDG base directory rules), relative --data and $VEXA_DATA are taken from the
// current directory. "" when nothing gives a folder.
std::string ResolveDataFolder(const tagDATA_FOLDER_SOURCES& sources);

// Finds "--data DIR" or "--data=DIR". FALSE when "--data" is the last argument or its value
// is empty; dir stays "" when the option is absent.
BOOL FindDataOption(int argc, const char* const* argv, std::string& dir);

class CDataFolder
{
public:
    // Creates the folder and its run/ directory when missing (mode 0700, missing parents too);
    // existing folders keep their modes.
    BOOL Open(const std::string& path);
    // Open(ResolveDataFolder(DataFolderSources(option))).
    BOOL OpenDefault(const std::string& option);

    const std::string& Path() const { return m_path; }
    std::string RegistryPath() const;
    std::string SecretsPath() const;
    std::string RunPath() const;
    const std::string& ErrorText() const { return m_error; }

private:
    std::string m_path;
    std::string m_error;
};

// Reads a whole file of at most limit bytes. On failure error is the errno (EFBIG when the
// file is larger than the limit).
BOOL ReadWholeFile(const std::string& path, std::size_t limit, std::vector<BYTE>& data, int& error);

// Replaces (replace TRUE) or creates (replace FALSE: EEXIST if the file exists) the file so
// that a reader sees the old contents or the new, never a part: a temporary file in the same
// folder is written and synced, renamed into place, and the folder synced. The file has mode
// 0600. On failure error is the errno and nothing is left behind.
BOOL WriteFileAtomically(const std::string& path, const BYTE* data, std::size_t size, BOOL replace,
                         int& error);
