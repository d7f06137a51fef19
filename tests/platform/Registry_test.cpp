#include "platform/Registry.h"

#include "platform/DataFolder.h"
#include "platform/RegistryFile.h"
#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;

const BYTE* Bytes(const char* text)
{
    return reinterpret_cast<const BYTE*>(text);
}

std::vector<BYTE> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<BYTE>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string MakeTempFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vexa-registry-XXXXXX";
    char* made = mkdtemp(pattern.data());
    return made ? std::string(made) : std::string();
}

std::string CompactHex(const BYTE* data, std::size_t size)
{
    std::string out;
    for (char c : ToHex(data, size))
        if (c != ' ')
            out += c;
    return out;
}

// A canonical text of a key's subtree, for comparing whole trees.
std::string Dump(HKEY key, const std::string& indent = "")
{
    std::string out;
    char name[256];
    BYTE data[512];
    for (DWORD i = 0;; ++i)
    {
        DWORD nameChars = sizeof name;
        DWORD type = 0;
        DWORD size = sizeof data;
        if (RegEnumValue(key, i, name, &nameChars, &type, data, &size) != ERROR_SUCCESS)
            break;
        out +=
            indent + "'" + name + "' " + std::to_string(type) + " " + CompactHex(data, size) + "\n";
    }
    for (DWORD i = 0;; ++i)
    {
        DWORD nameChars = sizeof name;
        if (RegEnumKeyEx(key, i, name, &nameChars) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyEx(key, name, KEY_READ, &child) != ERROR_SUCCESS)
            return out + "<cannot open " + name + ">";
        out += indent + "[" + name + "]\n" + Dump(child, indent + "  ");
        RegCloseKey(child);
    }
    return out;
}

class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_folder = MakeTempFolder();
        ASSERT_FALSE(m_folder.empty());
        m_dbPath = m_folder + "/registry.db";
        ASSERT_EQ(m_registry.Open(m_dbPath), ERROR_SUCCESS) << RegLastErrorText();
        SetProcessRegistry(&m_registry);
    }
    void TearDown() override
    {
        SetProcessRegistry(nullptr);
        m_registry.Close();
        fs::remove_all(m_folder);
    }

    HKEY Create(const char* path, HKEY parent = HKEY_LOCAL_MACHINE)
    {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyEx(parent, path, KEY_ALL_ACCESS, &key, nullptr), ERROR_SUCCESS)
            << path << ": " << RegLastErrorText();
        return key;
    }

    void SetString(HKEY key, const char* name, const char* text, BOOL withNul)
    {
        DWORD size = static_cast<DWORD>(std::strlen(text) + (withNul ? 1 : 0));
        ASSERT_EQ(RegSetValueEx(key, name, REG_SZ, Bytes(text), size), ERROR_SUCCESS);
    }

    void SetDword(HKEY key, const char* name, DWORD value)
    {
        ASSERT_EQ(RegSetValueEx(key, name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4),
                  ERROR_SUCCESS);
    }

    // Fills a key with values of every kind and two levels of subkeys.
    void Populate(HKEY key)
    {
        BYTE one = 7;
        ASSERT_EQ(RegSetValueEx(key, "CNNType", REG_BINARY, &one, 1), ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueEx(key, "Empty", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
        SetString(key, "SvrName", "alpha", TRUE);
        SetString(key, "dwUIp", "3232235777", FALSE);
        SetString(key, nullptr, "the default", TRUE);
        SetDword(key, "Polling SEL interval", 10);
        ASSERT_EQ(RegSetValueEx(key, "Multi", REG_MULTI_SZ, Bytes("a\0b\0"), 5), ERROR_SUCCESS);
        HKEY sub = Create("SMS_Phone\\Phone 0", key);
        SetDword(sub, "Phone Enabled", 1);
        SetString(sub, "SMS Phone Num", "5551234", FALSE);
        RegCloseKey(sub);
        RegCloseKey(Create("SMS_Phone\\Phone 1", key));
    }

    std::string m_folder;
    std::string m_dbPath;
    CRegistry m_registry;
};

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase)
{
    HKEY created = Create("Software\\Vexa\\Tarn");
    SetString(created, "SvrType", "x", FALSE);

    HKEY opened = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\vexa\\TARN", KEY_ALL_ACCESS, &opened,
                             &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    // Overwriting under another spelling replaces the value and keeps the first spelling.
    SetString(opened, "SVRTYPE", "yz", FALSE);
    EXPECT_EQ(Dump(created), "'SvrType' 1 797a\n");

    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "software", KEY_READ, &software), ERROR_SUCCESS);
    EXPECT_EQ(Dump(software), "[Vexa]\n  [Tarn]\n    'SvrType' 1 797a\n");

    // Only ASCII letters fold: these two are different keys.
    RegCloseKey(Create("Software\\\xC3\x84"));
    RegCloseKey(Create("Software\\\xC3\xA4"));
    DWORD subKeys = 0;
    ASSERT_EQ(RegQueryInfoKey(software, &subKeys, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 3u);
    for (HKEY key : {created, opened, software})
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, QueryFollowsTheSizeRules)
{
    HKEY key = Create("Software\\Vexa\\Tarn");
    SetString(key, "SvrName", "alpha", TRUE);
    SetString(key, "SvrMac", "0:1b:21:a:b:c", FALSE);
    ASSERT_EQ(RegSetValueEx(key, "Nothing", REG_BINARY, nullptr, 0), ERROR_SUCCESS);

    struct
    {
        const char* name;
        BOOL withBuffer;
        DWORD bufferSize;
        LONG result;
        DWORD sizeAfter;
    } cases[] = {
        {"SvrName", FALSE, 0, ERROR_SUCCESS, 6},         // size query counts the stored NUL
        {"SvrName", TRUE, 6, ERROR_SUCCESS, 6},          // exact fit
        {"SvrName", TRUE, 5, ERROR_MORE_DATA, 6},        // too small by the terminator
        {"svrmac", TRUE, 64, ERROR_SUCCESS, 13},         // stored without NUL, returned without
        {"SvrMac", TRUE, 12, ERROR_MORE_DATA, 13},       //
        {"Nothing", TRUE, 0, ERROR_SUCCESS, 0},          // zero-length value
        {"Missing", TRUE, 64, ERROR_FILE_NOT_FOUND, 64}, // missing: size untouched
        {nullptr, TRUE, 64, ERROR_FILE_NOT_FOUND, 64},   // no default value yet
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name ? c.name : "(default)");
        BYTE buffer[64];
        std::memset(buffer, 0xCC, sizeof buffer);
        DWORD type = 99;
        DWORD size = c.bufferSize;
        if (!c.withBuffer)
            size = 0;
        LONG result = RegQueryValueEx(key, c.name, &type, c.withBuffer ? buffer : nullptr, &size);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(size, c.sizeAfter);
        if (result != ERROR_SUCCESS)
        {
            // A failed query writes nothing into the buffer, so nothing stale is read as data.
            EXPECT_EQ(buffer[0], 0xCC);
            EXPECT_EQ(type, result == ERROR_FILE_NOT_FOUND ? 99u : DWORD(REG_SZ));
        }
    }
    BYTE buffer[8];
    EXPECT_EQ(RegQueryValueEx(key, "SvrName", nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);

    // The same rules when enumerating; a name that does not fit leaves the count as it was.
    char name[4];
    DWORD nameChars = sizeof name;
    DWORD size = sizeof buffer;
    EXPECT_EQ(RegEnumValue(key, 0, name, &nameChars, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(nameChars, 4u);
    char longName[16];
    nameChars = sizeof longName;
    size = 2;
    EXPECT_EQ(RegEnumValue(key, 1, longName, &nameChars, nullptr, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 13u);
    nameChars = sizeof longName;
    EXPECT_EQ(RegEnumValue(key, 3, longName, &nameChars, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(RegistryTest, RejectsMalformedPathsAndValues)
{
    HKEY key = nullptr;
    struct
    {
        std::string path;
        LONG result;
    } paths[] = {
        {"\\Software", ERROR_BAD_PATHNAME},
        {"Software\\\\Vexa", ERROR_BAD_PATHNAME},
        {std::string(256, 'k'), ERROR_INVALID_PARAMETER},
        {std::string(255, 'k'), ERROR_SUCCESS},
        {"Software\\Vexa\\", ERROR_SUCCESS},
    };
    for (const auto& p : paths)
    {
        SCOPED_TRACE(p.path);
        EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, p.path.c_str(), KEY_ALL_ACCESS, &key, nullptr),
                  p.result);
        if (p.result == ERROR_SUCCESS)
            RegCloseKey(key);
        else
            EXPECT_EQ(key, nullptr);
    }
    key = Create("Software\\Vexa");
    BYTE three[3] = {1, 2, 3};
    EXPECT_EQ(RegSetValueEx(key, "d", REG_DWORD, three, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "n", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key, "d", nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Nowhere", KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, HandlesAreCheckedAndKeepTheirRights)
{
    HKEY key = Create("Software\\Vexa");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueEx(key, "v", REG_BINARY, nullptr, 0), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(std::uintptr_t{12345})), ERROR_INVALID_HANDLE);

    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Vexa", KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(reader, "v", REG_BINARY, nullptr, 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(reader, "v"), ERROR_ACCESS_DENIED);
    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Vexa", KEY_SET_VALUE, &writer),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(writer, "v", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(writer, "v", nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegQueryValueEx(reader, "v", nullptr, nullptr, nullptr), ERROR_SUCCESS);

    // Handles die with their registry; the hive constants then have no registry to refer to.
    m_registry.Close();
    EXPECT_EQ(RegCloseKey(reader), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software", KEY_READ, &key), ERROR_INVALID_HANDLE);
    SetProcessRegistry(nullptr);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software", KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_NE(RegLastErrorText().find("no registry"), std::string::npos);
}

TEST_F(RegistryTest, DeletesKeysAndTreesAndForgetsDeletedKeys)
{
    HKEY tarn = Create("Software\\Vexa\\Tarn");
    Populate(tarn);
    HKEY servers = Create("Software\\Vexa\\Tarn\\SERVERS");
    RegCloseKey(Create("Software\\Vexa\\Tarn\\SERVERS\\0"));

    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Software\\Vexa\\Tarn"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, nullptr), ERROR_ACCESS_DENIED);

    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "software\\vexa\\tarn\\servers"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Vexa\\Tarn\\SERVERS"),
              ERROR_FILE_NOT_FOUND);
    // A handle to a deleted key stays deleted, even after a key of the same name is made;
    // it must not be able to leave a value behind without a key.
    EXPECT_EQ(RegSetValueEx(servers, "v", REG_BINARY, nullptr, 0), ERROR_KEY_DELETED);
    HKEY again = Create("Software\\Vexa\\Tarn\\SERVERS");
    EXPECT_EQ(RegQueryValueEx(servers, "v", nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyEx(servers, "0", KEY_ALL_ACCESS, &child, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(Dump(again), "");

    // Emptying a key keeps the key itself.
    EXPECT_EQ(RegDeleteTree(tarn, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Dump(tarn), "");
    EXPECT_EQ(RegSetValueEx(tarn, "still", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(tarn, "still"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(tarn, "still"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(tarn, ""), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(tarn, "still"), ERROR_KEY_DELETED);
    for (HKEY key : {tarn, servers, again})
        RegCloseKey(key);
}

TEST_F(RegistryTest, EnumeratesKeysByNameAndValuesInCreationOrder)
{
    HKEY key = Create("Software\\Order");
    for (const char* name : {"b", "C", "a"})
    {
        RegCloseKey(Create(name, key));
        SetDword(key, name, 1);
    }
    SetDword(key, "B", 2); // an update keeps its place
    EXPECT_EQ(Dump(key), "'b' 4 02000000\n'C' 4 01000000\n'a' 4 01000000\n"
                         "[a]\n[b]\n[C]\n");
    DWORD subKeys = 0, maxSubKey = 0, values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKey(key, &subKeys, &maxSubKey, &values, &maxName, &maxData),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxData, 4u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, WritesOutliveTheProcessAndBatchesCommitOrAbortAsAWhole)
{
    HKEY key = Create("Software\\Vexa\\Tarn");
    SetDword(key, "PET number", 256);
    {
        CRegBatch batch;
        ASSERT_EQ(batch.Status(), ERROR_SUCCESS);
        SetDword(key, "SMS Enabled", 1);
        RegCloseKey(Create("Software\\Vexa\\Tarn\\SERVERS\\0"));
        // A failing call inside the batch does not spoil the rest of it.
        EXPECT_EQ(RegDeleteKey(key, "Missing"), ERROR_FILE_NOT_FOUND);
    }
    {
        CRegBatch batch(m_registry);
        SetDword(key, "Aborted", 1);
        RegCloseKey(Create("Software\\Vexa\\Tarn\\SERVERS\\1"));
        batch.Abort();
    }
    RegCloseKey(key);
    m_registry.Close();

    CRegistry reopened;
    ASSERT_EQ(reopened.Open(m_dbPath), ERROR_SUCCESS);
    HKEY tarn = nullptr;
    ASSERT_EQ(reopened.OpenKey(reopened.RootKey(HKEY_LOCAL_MACHINE), "Software\\Vexa\\Tarn",
                               KEY_READ, &tarn),
              ERROR_SUCCESS);
    EXPECT_EQ(Dump(tarn), "'PET number' 4 00010000\n'SMS Enabled' 4 01000000\n"
                          "[SERVERS]\n  [0]\n");
    RegCloseKey(tarn);
}

TEST_F(RegistryTest, UserOrMachineValues)
{
    const char* path = "Software\\Vexa\\Tarn\\SMS_Phone\\Phone 0";
    DWORD machine = 1, user = 2, fallback = 9;
    ASSERT_EQ(SHRegSetUSValue(path, "Phone Enabled", REG_DWORD, &machine, 4, SHREGSET_FORCE_HKLM),
              ERROR_SUCCESS);
    HKEY userKey = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, path, KEY_READ, &userKey), ERROR_FILE_NOT_FOUND);

    auto get = [&](const char* name, BOOL ignoreUser, LONG expected, DWORD expectedValue)
    {
        DWORD value = 0, type = REG_DWORD, size = sizeof value;
        EXPECT_EQ(SHRegGetUSValue(path, name, &type, &value, &size, ignoreUser, &fallback, 4),
                  expected)
            << name;
        EXPECT_EQ(value, expectedValue) << name;
        EXPECT_EQ(type, DWORD(REG_DWORD));
    };
    get("Phone Enabled", FALSE, ERROR_SUCCESS, 1); // no user key: the machine's
    ASSERT_EQ(SHRegSetUSValue(path, "Phone Enabled", REG_DWORD, &user, 4, SHREGSET_FORCE_HKCU),
              ERROR_SUCCESS);
    get("Phone Enabled", FALSE, ERROR_SUCCESS, 2); // the user's first
    get("Phone Enabled", TRUE, ERROR_SUCCESS, 1);  // unless told to ignore it
    get("Missing", FALSE, ERROR_SUCCESS, 9);       // neither: the default

    // Without FORCE an existing value stays; SHREGSET_DEFAULT forces the user's only.
    DWORD other = 5;
    ASSERT_EQ(SHRegSetUSValue(path, "Phone Enabled", REG_DWORD, &other, 4, SHREGSET_DEFAULT),
              ERROR_SUCCESS);
    get("Phone Enabled", FALSE, ERROR_SUCCESS, 5);
    get("Phone Enabled", TRUE, ERROR_SUCCESS, 1);
    EXPECT_EQ(SHRegSetUSValue(path, "x", REG_DWORD, &other, 4, 0), ERROR_INVALID_PARAMETER);

    // A real failure is reported, not papered over with the default.
    char small[2];
    DWORD size = sizeof small;
    ASSERT_EQ(SHRegSetUSValue(path, "SMS Phone Num", REG_SZ, "5551234", 7, SHREGSET_FORCE_HKLM),
              ERROR_SUCCESS);
    EXPECT_EQ(SHRegGetUSValue(path, "SMS Phone Num", nullptr, small, &size, FALSE, "", 1),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
}

TEST_F(RegistryTest, SaveAndRestoreRoundTripATree)
{
    HKEY tarn = Create("Software\\Vexa\\Tarn");
    Populate(tarn);
    const std::string before = Dump(tarn);
    const std::string file = m_folder + "/Dump1.data";
    ASSERT_EQ(RegSaveKey(tarn, file.c_str()), ERROR_SUCCESS) << RegLastErrorText();
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(RegSaveKey(tarn, file.c_str()), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(RegSaveKey(tarn, (m_folder + "/no/such/dir/x").c_str()), ERROR_PATH_NOT_FOUND);

    // Into a new key of another name and hive: the tree is the same, the name is the target's.
    HKEY copy = Create("Software\\Copy", HKEY_CURRENT_USER);
    ASSERT_EQ(RegRestoreKey(copy, file.c_str(), REG_FORCE_RESTORE), ERROR_SUCCESS)
        << RegLastErrorText();
    EXPECT_EQ(Dump(copy), before);
    EXPECT_NE(before.find("'dwUIp' 1 33323332323335373737\n"), std::string::npos);
    EXPECT_NE(before.find("'SvrName' 1 616c70686100\n"), std::string::npos);

    // Into an existing key: what was there is gone, what the file holds is there.
    HKEY target = Create("Software\\Vexa\\Merrow", HKEY_LOCAL_MACHINE);
    SetDword(target, "TimeOut", 5);
    RegCloseKey(Create("Old\\Deep\\Key", target));
    HKEY oldChild = Create("Old", target);
    ASSERT_EQ(RegRestoreKey(target, file.c_str(), 0), ERROR_SUCCESS);
    EXPECT_EQ(Dump(target), before);
    EXPECT_EQ(RegQueryValueEx(oldChild, "x", nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(Dump(tarn), before); // the source is untouched

    EXPECT_EQ(RegRestoreKey(target, (m_folder + "/missing.data").c_str(), 0), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegRestoreKey(HKEY_LOCAL_MACHINE, file.c_str(), 0), ERROR_ACCESS_DENIED);
    for (HKEY key : {tarn, copy, target, oldChild})
        RegCloseKey(key);
}

TEST_F(RegistryTest, RefusesDamagedHiveFilesBeforeChangingAnything)
{
    HKEY tarn = Create("Software\\Vexa\\Tarn");
    Populate(tarn);
    const std::string good = m_folder + "/good.data";
    ASSERT_EQ(RegSaveKey(tarn, good.c_str()), ERROR_SUCCESS);
    const std::vector<BYTE> bytes = ReadFile(good);
    ASSERT_GT(bytes.size(), 40u);

    // Files whose frame is damaged.
    std::vector<std::pair<const char*, std::vector<BYTE>>> files;
    files.emplace_back("empty", std::vector<BYTE>{});
    files.emplace_back("truncated by one", std::vector<BYTE>(bytes.begin(), bytes.end() - 1));
    files.emplace_back("half", std::vector<BYTE>(bytes.begin(), bytes.begin() + bytes.size() / 2));
    std::vector<BYTE> extended = bytes;
    extended.push_back(0);
    files.emplace_back("extended", extended);
    std::vector<BYTE> flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x01;
    files.emplace_back("one bit flipped", flipped);
    std::vector<BYTE> magic = bytes;
    magic[0] = 'W';
    files.emplace_back("bad magic", magic);
    std::vector<BYTE> version = bytes;
    version[8] = 2;
    files.emplace_back("newer version", version);

    // Files with a sound frame around bad records.
    auto encoded = [](std::vector<tagHIVE_KEY> keys)
    {
        tagHIVE_IMAGE image;
        image.keys = std::move(keys);
        return EncodeHiveFile(image);
    };
    tagHIVE_VALUE shortDword{"d", REG_DWORD, {1, 2, 3}};
    tagHIVE_VALUE twice{"V", REG_BINARY, {}};
    tagHIVE_VALUE twiceAgain{"v", REG_BINARY, {}};
    files.emplace_back("forward parent",
                       encoded({{"r", HIVE_NO_PARENT, {}}, {"a", 2, {}}, {"b", 0, {}}}));
    files.emplace_back("two roots",
                       encoded({{"r", HIVE_NO_PARENT, {}}, {"a", HIVE_NO_PARENT, {}}}));
    files.emplace_back("siblings differing in case",
                       encoded({{"r", HIVE_NO_PARENT, {}}, {"Ab", 0, {}}, {"aB", 0, {}}}));
    files.emplace_back("backslash in name", encoded({{"r", HIVE_NO_PARENT, {}}, {"a\\b", 0, {}}}));
    files.emplace_back("empty subkey name", encoded({{"r", HIVE_NO_PARENT, {}}, {"", 0, {}}}));
    files.emplace_back("short REG_DWORD", encoded({{"r", HIVE_NO_PARENT, {shortDword}}}));
    files.emplace_back("duplicate value", encoded({{"r", HIVE_NO_PARENT, {twice, twiceAgain}}}));
    files.emplace_back("no keys", encoded({}));
    // A sound frame whose only key record stops before its value count.
    std::vector<BYTE> cut =
        FromHex("5658484956450d0a 01000000 01000000 0a000000 ffffffff 0400 54617261");
    DWORD crc = Crc32(cut.data(), cut.size());
    for (int shift = 0; shift < 32; shift += 8)
        cut.push_back(static_cast<BYTE>(crc >> shift));
    files.emplace_back("record cut short", cut);

    HKEY target = Create("Software\\Target");
    SetDword(target, "Keep", 1);
    RegCloseKey(Create("KeepMe", target));
    const std::string targetBefore = Dump(target);
    for (const auto& [what, content] : files)
    {
        SCOPED_TRACE(what);
        const std::string path = m_folder + "/bad.data";
        WriteFile(path, content);
        EXPECT_EQ(RegRestoreKey(target, path.c_str(), 0), ERROR_REGISTRY_CORRUPT);
        EXPECT_NE(RegLastErrorText().find("refused"), std::string::npos);
        EXPECT_EQ(Dump(target), targetBefore);
    }
    RegCloseKey(tarn);
    RegCloseKey(target);
}

TEST_F(RegistryTest, RefusesDamagedOrForeignDatabasesAndLeavesThemAlone)
{
    HKEY key = Create("Software\\Vexa\\Tarn");
    Populate(key);
    RegCloseKey(key);
    m_registry.Close();
    const std::vector<BYTE> sound = ReadFile(m_dbPath);
    ASSERT_GE(sound.size(), 3u * 4096u);

    std::vector<std::pair<const char*, std::vector<BYTE>>> files;
    files.emplace_back("text file", std::vector<BYTE>(5000, 'x'));
    std::vector<BYTE> damaged = sound;
    for (std::size_t i = 4096; i < 2 * 4096; ++i)
        damaged[i] = static_cast<BYTE>(i * 31);
    files.emplace_back("damaged page", damaged);
    std::vector<BYTE> header = sound;
    header[0] = 'X';
    files.emplace_back("damaged header", header);

    const std::string foreign = m_folder + "/foreign.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE t(a); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    files.emplace_back("another program's database", ReadFile(foreign));

    for (const auto& [what, content] : files)
    {
        SCOPED_TRACE(what);
        const std::string path = m_folder + "/case.db";
        WriteFile(path, content);
        CRegistry registry;
        EXPECT_EQ(registry.Open(path), ERROR_BADDB);
        EXPECT_FALSE(registry.IsOpen());
        EXPECT_NE(RegLastErrorText().find("left unchanged"), std::string::npos)
            << RegLastErrorText();
        EXPECT_EQ(ReadFile(path), content);
        EXPECT_FALSE(fs::exists(path + "-wal"));
        HKEY none = nullptr;
        EXPECT_EQ(registry.OpenKey(HKEY_LOCAL_MACHINE, "Software", KEY_READ, &none),
                  ERROR_INVALID_HANDLE);
        fs::remove(path);
    }
    CRegistry registry;
    EXPECT_EQ(registry.Open(m_folder + "/no/such/folder/registry.db"), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(m_registry.Open(m_dbPath), ERROR_SUCCESS);
}

TEST_F(RegistryTest, ThreadsShareOneRegistryAndWaitForABatch)
{
    HKEY key = Create("Software\\Threads");
    auto writer = [key](char prefix, BOOL batched, LONG* result)
    {
        std::unique_ptr<CRegBatch> batch;
        if (batched)
            batch = std::make_unique<CRegBatch>();
        *result = batch ? batch->Status() : ERROR_SUCCESS;
        for (DWORD i = 0; i < 100 && *result == ERROR_SUCCESS; ++i)
        {
            std::string name = std::string(1, prefix) + std::to_string(i);
            *result = RegSetValueEx(key, name.c_str(), REG_DWORD, reinterpret_cast<BYTE*>(&i), 4);
        }
        if (batch && *result == ERROR_SUCCESS)
            *result = batch->Commit();
    };
    LONG batched = -1, single = -1;
    std::thread first(writer, 'b', TRUE, &batched);
    std::thread second(writer, 's', FALSE, &single);
    first.join();
    second.join();
    EXPECT_EQ(batched, ERROR_SUCCESS);
    EXPECT_EQ(single, ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKey(key, nullptr, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(values, 200u);
    RegCloseKey(key);
}

// Runs body in a child process with its own registry on the same database; the child is
// killed by an alarm if it hangs, so the wait for it is bounded.
pid_t Spawn(const std::string& dbPath, int (*body)(CRegistry&, int), int argument)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    alarm(60);
    CRegistry registry;
    int code = registry.Open(dbPath) == ERROR_SUCCESS ? body(registry, argument) : 90;
    registry.Close();
    _exit(code);
}

int WaitExitCode(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

constexpr int WRITES_PER_CHILD = 150;

int WriteMany(CRegistry& registry, int child)
{
    HKEY shared = nullptr;
    if (registry.CreateKey(HKEY_LOCAL_MACHINE, "Software\\Shared", KEY_ALL_ACCESS, &shared,
                           nullptr) != ERROR_SUCCESS)
        return 91;
    for (int i = 0; i < WRITES_PER_CHILD; ++i)
    {
        std::string name = "c" + std::to_string(child) + "-" + std::to_string(i);
        DWORD value = DWORD(child * 1000 + i);
        if (registry.SetValue(shared, name.c_str(), REG_DWORD, reinterpret_cast<BYTE*>(&value),
                              4) != ERROR_SUCCESS)
            return 92;
        HKEY own = nullptr;
        if (registry.CreateKey(shared, name.c_str(), KEY_ALL_ACCESS, &own, nullptr) !=
            ERROR_SUCCESS)
            return 93;
        RegCloseKey(own);
    }
    return 0;
}

TEST_F(RegistryTest, TwoProcessesWriteAtOnceAndLoseNothing)
{
    pid_t first = Spawn(m_dbPath, WriteMany, 1);
    pid_t second = Spawn(m_dbPath, WriteMany, 2);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_EQ(WaitExitCode(first), 0);
    EXPECT_EQ(WaitExitCode(second), 0);

    HKEY shared = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Shared", KEY_READ, &shared),
              ERROR_SUCCESS);
    DWORD subKeys = 0, values = 0;
    ASSERT_EQ(RegQueryInfoKey(shared, &subKeys, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(subKeys, DWORD(2 * WRITES_PER_CHILD));
    EXPECT_EQ(values, DWORD(2 * WRITES_PER_CHILD));
    for (int child : {1, 2})
        for (int i = 0; i < WRITES_PER_CHILD; i += 37)
        {
            std::string name = "c" + std::to_string(child) + "-" + std::to_string(i);
            DWORD value = 0, size = 4;
            ASSERT_EQ(RegQueryValueEx(shared, name.c_str(), nullptr,
                                      reinterpret_cast<BYTE*>(&value), &size),
                      ERROR_SUCCESS);
            EXPECT_EQ(value, DWORD(child * 1000 + i));
        }
    RegCloseKey(shared);
}

constexpr int RESTORE_ROUNDS = 30;

// Restores the two generation files in turn into Software\Flip.
int FlipGenerations(CRegistry& registry, int)
{
    HKEY flip = nullptr;
    if (registry.OpenKey(HKEY_LOCAL_MACHINE, "Software\\Flip", KEY_ALL_ACCESS, &flip) !=
        ERROR_SUCCESS)
        return 91;
    const std::string folder = registry.Path().substr(0, registry.Path().rfind('/'));
    for (int i = 0; i < RESTORE_ROUNDS; ++i)
    {
        std::string file = folder + (i % 2 ? "/gen1.data" : "/gen2.data");
        if (registry.RestoreKey(flip, file.c_str(), 0) != ERROR_SUCCESS)
            return 92;
    }
    return 0;
}

TEST_F(RegistryTest, ASaveNeverSeesHalfARestoreFromAnotherProcess)
{
    // Two generations of one tree; every value in generation g holds g.
    for (DWORD generation : {1u, 2u})
    {
        HKEY source = Create(("Software\\Gen" + std::to_string(generation)).c_str());
        for (int k = 0; k < 20; ++k)
        {
            HKEY sub = Create(("S" + std::to_string(k) + "\\T").c_str(), source);
            SetDword(sub, "g", generation);
            RegCloseKey(sub);
        }
        std::string file = m_folder + "/gen" + std::to_string(generation) + ".data";
        ASSERT_EQ(RegSaveKey(source, file.c_str()), ERROR_SUCCESS);
        RegCloseKey(source);
    }
    HKEY flip = Create("Software\\Flip");
    ASSERT_EQ(RegRestoreKey(flip, (m_folder + "/gen1.data").c_str(), 0), ERROR_SUCCESS);

    pid_t child = Spawn(m_dbPath, FlipGenerations, 0);
    ASSERT_GT(child, 0);
    for (int i = 0; i < RESTORE_ROUNDS; ++i)
    {
        std::string file = m_folder + "/snap" + std::to_string(i) + ".data";
        ASSERT_EQ(RegSaveKey(flip, file.c_str()), ERROR_SUCCESS) << RegLastErrorText();
        std::vector<BYTE> bytes = ReadFile(file);
        tagHIVE_IMAGE image;
        std::string reason;
        ASSERT_TRUE(DecodeHiveFile(bytes.data(), bytes.size(), image, reason)) << reason;
        ASSERT_EQ(image.keys.size(), 41u);
        DWORD seen = 0;
        for (const tagHIVE_KEY& key : image.keys)
            for (const tagHIVE_VALUE& value : key.values)
            {
                DWORD g = 0;
                std::memcpy(&g, value.data.data(), 4);
                if (seen == 0)
                    seen = g;
                EXPECT_EQ(g, seen) << "snapshot " << i << " mixes generations";
            }
    }
    EXPECT_EQ(WaitExitCode(child), 0);
    RegCloseKey(flip);
}

TEST(RegistryFile, EncodesLittleEndianWithATrailingChecksum)
{
    tagHIVE_IMAGE image;
    image.keys.push_back({"R", HIVE_NO_PARENT, {{"", REG_BINARY, {0xAB}}}});
    std::vector<BYTE> file = EncodeHiveFile(image);
    EXPECT_EQ(ToHex(std::vector<BYTE>(file.begin(), file.end() - 4)),
              ToHex(FromHex("5658484956450d0a 01000000 01000000 16000000"
                            "ffffffff 0100 52 01000000 0000 03000000 01000000 ab")));
    // The check value of CRC-32 (ISO-HDLC) over "123456789".
    EXPECT_EQ(Crc32(reinterpret_cast<const BYTE*>("123456789"), 9), 0xCBF43926u);
}

} // namespace
