// Dump and restore of the three configuration keys through their files, the messages of a
// restore with files missing or damaged, and the folder listing behind the folder chooser.
#include "shell/ConfigDump.h"

#include "tests/shell/ShellTestSupport.h"

#include <filesystem>
#include <fstream>

namespace
{

namespace fs = std::filesystem;

const char* const TARN = "software\\Vexa\\Tarn";
const char* const MERROW = "software\\Vexa\\Merrow";
const char* const NASK = "software\\Nask";

class ConfigDumpTest : public CShellRegistryTest
{
protected:
    void SetUp() override
    {
        CShellRegistryTest::SetUp();
        WriteDword(TARN, "PET number", 300);
        WriteRaw(std::string(TARN) + "\\SERVERS\\0", "SvrName", REG_SZ, std::string("a\0", 2));
        WriteDword(MERROW, "TimeOut", 5);
        WriteRaw(NASK, "Value", REG_SZ, "n");
        m_choice = m_folder + "/chosen";
        fs::create_directory(m_choice);
    }
    std::string Dumped() const { return m_choice + "/TARN_DUMP"; }
    std::string m_choice;
};

TEST_F(ConfigDumpTest, RestoresWhatWasDumped)
{
    ASSERT_EQ(DumpConfiguration(m_registry, m_choice), DUMP_DONE_TEXT);
    for (const char* file : {"Dump1.data", "Dump2.data", "Dump3.data"})
        EXPECT_TRUE(fs::is_regular_file(Dumped() + "/" + file)) << file;
    // A second dump replaces the files.
    WriteDword(TARN, "PET number", 400);
    ASSERT_EQ(DumpConfiguration(m_registry, m_choice), DUMP_DONE_TEXT);

    WriteDword(TARN, "PET number", 10);
    WriteDword(TARN, "Added later", 1);
    WriteDword(MERROW, "TimeOut", 9);
    EXPECT_EQ(RestoreConfiguration(m_registry, Dumped()),
              std::vector<std::string>{RESTORE_ALL_TEXT});
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, TARN, "PET number"), std::string("\x90\x01\0\0", 4));
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, TARN, "Added later"), "<missing>");
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, std::string(TARN) + "\\SERVERS\\0", "SvrName"),
              std::string("a\0", 2));
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, MERROW, "TimeOut"), std::string("\5\0\0\0", 4));
}

TEST_F(ConfigDumpTest, ReportsMissingAndDamagedFiles)
{
    ASSERT_EQ(DumpConfiguration(m_registry, m_choice), DUMP_DONE_TEXT);
    const std::string dump1 = "Data file \"Dump1.data\" not find in the selected path.";
    const std::string dump2 = "Data file \"Dump2.data\" not find in the selected path.";

    // The parent of the dump folder: both reported, nothing restored.
    EXPECT_EQ(RestoreConfiguration(m_registry, m_choice),
              (std::vector<std::string>{dump1, dump2, RESTORE_NONE_TEXT}));

    // A missing Dump3 is not reported; a missing Dump2 is.
    fs::remove(Dumped() + "/Dump3.data");
    EXPECT_EQ(RestoreConfiguration(m_registry, Dumped()),
              std::vector<std::string>{RESTORE_ALL_TEXT});
    fs::remove(Dumped() + "/Dump2.data");
    EXPECT_EQ(RestoreConfiguration(m_registry, Dumped()),
              (std::vector<std::string>{dump2, RESTORE_SOME_TEXT}));

    // A damaged Dump1 is refused, its key stays as it was, and success is not claimed.
    WriteDword(TARN, "PET number", 77);
    {
        std::ofstream damaged(Dumped() + "/Dump1.data", std::ios::binary | std::ios::trunc);
        damaged << "VXHIVE\r\nnot a hive";
    }
    EXPECT_EQ(RestoreConfiguration(m_registry, Dumped()),
              (std::vector<std::string>{dump2, RESTORE_NONE_TEXT}));
    EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, TARN, "PET number"), std::string("\x4d\0\0\0", 4));
}

TEST_F(ConfigDumpTest, SkipsMissingKeysButReportsAFolderItCannotMake)
{
    ASSERT_EQ(RegDeleteTree(m_registry.RootKey(HKEY_LOCAL_MACHINE), NASK), ERROR_SUCCESS);
    ASSERT_EQ(DumpConfiguration(m_registry, m_choice), DUMP_DONE_TEXT);
    EXPECT_FALSE(fs::exists(Dumped() + "/Dump3.data"));

    std::ofstream(m_folder + "/file") << "x";
    std::string detail;
    EXPECT_EQ(DumpConfiguration(m_registry, m_folder + "/file", &detail), DUMP_FAILED_TEXT);
    EXPECT_NE(detail, "");
}

TEST_F(ConfigDumpTest, ListsVisibleSubFoldersInOrder)
{
    for (const char* name : {"zeta", "Alpha", "beta", ".hidden"})
        fs::create_directory(m_choice + "/" + name);
    std::ofstream(m_choice + "/plain-file") << "x";
    fs::create_directory_symlink(m_choice + "/beta", m_choice + "/link-to-beta");

    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(ListSubFolders(m_choice, names, error));
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "link-to-beta", "zeta"}));
    EXPECT_FALSE(ListSubFolders(m_choice + "/missing", names, error));
    EXPECT_TRUE(names.empty());
    EXPECT_NE(error.find("missing"), std::string::npos);
}

} // namespace
