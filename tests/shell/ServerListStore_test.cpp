// The stored server list value by value, the load rules (MAC text, the gap, missing values,
// COM records), the save as one transaction, and the add dialog's remembered default.
#include "shell/ServerListStore.h"

#include "tests/shell/ShellTestSupport.h"

#include <cstring>

namespace
{

tagSERVER_RECORD Record(const char* name, DWORD address, BYTE type)
{
    tagSERVER_RECORD record;
    SetRecordName(record, name);
    record.ipAddress = address;
    record.serverType = type;
    record.serverTag = 3;
    const BYTE mac[6] = {0x00, 0x0E, 0x0C, 0x01, 0x02, 0xFF};
    std::memcpy(record.macAddress, mac, 6);
    return record;
}

std::string Server(int index)
{
    return std::string(SERVERS_KEY) + "\\" + std::to_string(index);
}

using ServerListStoreTest = CShellRegistryTest;

TEST_F(ServerListStoreTest, SavesEachValueAsLaidOutAndLoadsItBack)
{
    tagSERVER_RECORD first = Record("web1", 0xC0A80101, SERVER_TYPE_IPMI);
    std::strcpy(first.phone, "+4412345");
    tagSERVER_RECORD second = Record("db", 0x0A000002, 0);
    ASSERT_EQ(SaveServerList(m_registry, {first, second}), ERROR_SUCCESS);

    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(RawValue(HKEY_LOCAL_MACHINE, Server(0), "CNNType", type, data));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(data, std::vector<BYTE>{0});
    ASSERT_TRUE(RawValue(HKEY_LOCAL_MACHINE, Server(0), "SvrType", type, data));
    EXPECT_EQ(data, std::vector<BYTE>{1});
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, Server(0), "SvrTag"), std::string(1, '\3'));
    // Texts with or without the terminator, as each was always written.
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, Server(0), "dwUIp"), "3232235777");
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, Server(0), "SvrMac"), "0:e:c:1:2:ff");
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, Server(0), "SvrName"), std::string("web1\0", 5));
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, Server(0), "SMSPhoneNum"), std::string("+4412345\0", 9));
    EXPECT_TRUE(HasStoredServerList(m_registry));

    std::vector<tagSERVER_RECORD> loaded = LoadServerList(m_registry);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(std::memcmp(&loaded[0], &first, sizeof first), 0);
    EXPECT_STREQ(loaded[1].name, "db");
    EXPECT_EQ(loaded[1].ipAddress, 0x0A000002u);
    EXPECT_EQ(loaded[1].serverType, 0);

    // Saving an empty list deletes the stored one.
    ASSERT_EQ(SaveServerList(m_registry, {}), ERROR_SUCCESS);
    EXPECT_FALSE(HasStoredServerList(m_registry));
    EXPECT_TRUE(LoadServerList(m_registry).empty());
}

TEST_F(ServerListStoreTest, LoadsUpToTheFirstGapWithMissingValuesLeftZero)
{
    // Index 0: written by hand with the type under another case; a COM record.
    WriteRaw(Server(0), "CNNType", REG_BINARY, std::string(1, '\1'));
    WriteRaw(Server(0), "SVRTYPE", REG_BINARY, std::string(1, '\1'));
    WriteRaw(Server(0), "SvrMac", REG_SZ, "0:e:c:1:2:ff");
    WriteRaw(Server(0), "dwUIp", REG_SZ, "16909060");
    // Index 1: a key with no values at all. Index 3: beyond the gap at 2.
    WriteRaw(Server(1), "Other", REG_SZ, "x");
    WriteRaw(Server(3), "SvrName", REG_SZ, std::string("late\0", 5));

    std::vector<tagSERVER_RECORD> loaded = LoadServerList(m_registry);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].connectionType, CONNECTION_TYPE_COM); // offered; the tree refuses it
    EXPECT_EQ(loaded[0].serverType, SERVER_TYPE_IPMI);
    EXPECT_EQ(loaded[0].ipAddress, 0x01020304u);
    const BYTE mac[6] = {0x00, 0x0E, 0x0C, 0x01, 0x02, 0xFF};
    EXPECT_EQ(std::memcmp(loaded[0].macAddress, mac, 6), 0);
    EXPECT_STREQ(loaded[0].name, "");

    EXPECT_EQ(loaded[1].connectionType, 0);
    EXPECT_EQ(loaded[1].serverType, 0);
    EXPECT_EQ(loaded[1].serverTag, 0);
    EXPECT_EQ(loaded[1].ipAddress, 0u);
    EXPECT_STREQ(loaded[1].name, "");
    EXPECT_STREQ(loaded[1].phone, "");
    // Only a "CNNType" at index 0 makes the overwrite question due.
    EXPECT_TRUE(HasStoredServerList(m_registry));
    ASSERT_EQ(RegDeleteValue(m_registry.RootKey(HKEY_LOCAL_MACHINE), (Server(0)).c_str()),
              ERROR_FILE_NOT_FOUND);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(m_registry.RootKey(HKEY_LOCAL_MACHINE), Server(0).c_str(),
                           KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValue(key, "cnntype"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_FALSE(HasStoredServerList(m_registry));
}

TEST_F(ServerListStoreTest, MacAndAddressTextsParseCharacterByCharacter)
{
    struct
    {
        const char* text;
        BYTE mac[6];
    } const cases[] = {
        {"0:e:c:1:2:ff", {0x00, 0x0E, 0x0C, 0x01, 0x02, 0xFF}},
        {"", {0, 0, 0, 0, 0, 0}},
        {"AB:cd", {0xAB, 0xCD, 0, 0, 0, 0}},
        {"123:4", {0x23, 0x04, 0, 0, 0, 0}},     // each digit shifts the byte
        {"1:2:3:4:5:6:7:8", {1, 2, 3, 4, 5, 6}}, // bytes past the sixth dropped
        {"0 e-1:x", {0xE1, 0, 0, 0, 0, 0}},      // other characters ignored
    };
    for (const auto& c : cases)
    {
        BYTE mac[6] = {9, 9, 9, 9, 9, 9};
        ParseMacText(c.text, mac);
        EXPECT_EQ(std::memcmp(mac, c.mac, 6), 0) << c.text;
    }
    EXPECT_EQ(ParseDecimalAddress("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseDecimalAddress("4294967296"), 0u);
    EXPECT_EQ(ParseDecimalAddress("12abc"), 12u);
    EXPECT_EQ(ParseDecimalAddress(""), 0u);
}

TEST_F(ServerListStoreTest, AFailedSaveLeavesTheOldListWhole)
{
    ASSERT_EQ(SaveServerList(m_registry, {Record("a", 1, 1), Record("b", 2, 1)}), ERROR_SUCCESS);
    // The second server's key of the new list cannot be made.
    InjectFault("INSERT ON reg_keys", "NEW.name = '1'");
    EXPECT_NE(SaveServerList(m_registry, {Record("x", 7, 0), Record("y", 8, 0)}), ERROR_SUCCESS);

    std::vector<tagSERVER_RECORD> loaded = LoadServerList(m_registry);
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_STREQ(loaded[0].name, "a");
    EXPECT_STREQ(loaded[1].name, "b");
    // The registry still works after the aborted transaction.
    EXPECT_EQ(SaveServerList(m_registry, {Record("z", 9, 0)}), ERROR_SUCCESS);
    EXPECT_EQ(LoadServerList(m_registry).size(), 1u);
}

TEST_F(ServerListStoreTest, NamesKeepTwentyFourCharactersAndTheDefaultNameFitsSixteenBytes)
{
    tagSERVER_RECORD record;
    SetRecordName(record, "abcdefghijklmnopqrstuvwxy"); // 25 characters
    EXPECT_STREQ(record.name, "abcdefghijklmnopqrstuvwx");
    ASSERT_EQ(SaveServerList(m_registry, {record}), ERROR_SUCCESS);
    EXPECT_STREQ(LoadServerList(m_registry)[0].name, "abcdefghijklmnopqrstuvwx");

    tagDEFAULT_CONNECTION none = ReadDefaultConnection(m_registry);
    EXPECT_FALSE(none.hasName);
    EXPECT_FALSE(none.hasAddress);

    ASSERT_EQ(WriteDefaultConnection(m_registry, "fifteen-charsXY", 0xC0A80001), ERROR_SUCCESS);
    tagDEFAULT_CONNECTION stored = ReadDefaultConnection(m_registry);
    EXPECT_TRUE(stored.hasName);
    EXPECT_EQ(stored.name, "fifteen-charsXY");
    EXPECT_TRUE(stored.hasAddress);
    EXPECT_EQ(stored.address, 0xC0A80001u);

    ASSERT_EQ(WriteDefaultConnection(m_registry, "sixteen-chars-XY", 1), ERROR_SUCCESS);
    stored = ReadDefaultConnection(m_registry);
    EXPECT_FALSE(stored.hasName);
    EXPECT_EQ(stored.address, 1u);
}

} // namespace
