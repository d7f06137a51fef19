#pragma once
// For the shell's tests: a fresh registry in a temporary data folder, raw value reads, and a
// fault injected into the registry database (a trigger that makes one kind of row change
// fail), so that failure paths run against the real registry.
#include "platform/Registry.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <vector>

class CShellRegistryTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        m_folder = MakeTempDir("vexa-shell");
        ASSERT_FALSE(m_folder.empty());
        m_dbPath = m_folder + "/registry.db";
        ASSERT_EQ(m_registry.Open(m_dbPath), ERROR_SUCCESS);
    }
    void TearDown() override
    {
        m_registry.Close();
        RemoveTree(m_folder);
    }

    // Makes every statement of the kind fail while the condition holds, e.g.
    // InjectFault("INSERT ON reg_keys", "NEW.name = '1'").
    void InjectFault(const std::string& event, const std::string& condition)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(m_dbPath.c_str(), &db), SQLITE_OK);
        std::string sql = "CREATE TRIGGER injected_fault_" + std::to_string(++m_faults) +
                          " BEFORE " + event + " WHEN " + condition +
                          " BEGIN SELECT RAISE(ABORT, 'injected fault'); END;";
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    // The raw bytes of a value, or nullopt-like FALSE when missing.
    BOOL RawValue(HKEY hive, const std::string& path, const char* name, DWORD& type,
                  std::vector<BYTE>& data)
    {
        HKEY key = nullptr;
        if (RegOpenKeyEx(m_registry.RootKey(hive), path.c_str(), KEY_READ, &key) != ERROR_SUCCESS)
            return FALSE;
        DWORD size = 0;
        LONG rc = RegQueryValueEx(key, name, &type, nullptr, &size);
        data.assign(size, 0);
        if (rc == ERROR_SUCCESS)
            rc = RegQueryValueEx(key, name, &type, data.data(), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS;
    }
    std::string RawText(HKEY hive, const std::string& path, const char* name)
    {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (!RawValue(hive, path, name, type, data))
            return "<missing>";
        return std::string(data.begin(), data.end());
    }
    BOOL KeyExists(HKEY hive, const std::string& path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyEx(m_registry.RootKey(hive), path.c_str(), KEY_READ, &key) != ERROR_SUCCESS)
            return FALSE;
        RegCloseKey(key);
        return TRUE;
    }
    void WriteRaw(const std::string& path, const char* name, DWORD type, const std::string& bytes)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyEx(m_registry.RootKey(HKEY_LOCAL_MACHINE), path.c_str(),
                                 KEY_ALL_ACCESS, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueEx(key, name, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void WriteDword(const std::string& path, const char* name, DWORD value)
    {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i)
            bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
        WriteRaw(path, name, REG_DWORD, bytes);
    }

    std::string m_folder;
    std::string m_dbPath;
    CRegistry m_registry;
    int m_faults = 0;
};
