#include "platform/DataFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

TEST(DataFolder, ResolvesByPrecedence)
{
    const std::string cwd = fs::current_path().string();
    struct
    {
        tagDATA_FOLDER_SOURCES sources;
        std::string expected;
    } cases[] = {
        {{"/opt/d", "/env/v", "/xdg", "/home/u"}, "/opt/d"},
        {{"rel/d", "/env/v", "/xdg", "/home/u"}, cwd + "/rel/d"},
        {{"", "/env/v", "/xdg", "/home/u"}, "/env/v"},
        {{"", "", "/xdg", "/home/u"}, "/xdg/vexa"},
        {{"", "", "/xdg/", "/home/u"}, "/xdg/vexa"},
        {{"", "", "", "/home/u"}, "/home/u/.local/share/vexa"},
        // A relative XDG_DATA_HOME is invalid by the XDG rules and ignored.
        {{"", "", "xdg", "/home/u"}, "/home/u/.local/share/vexa"},
        {{"", "", "", ""}, ""},
        {{"", "", "", "relative-home"}, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(ResolveDataFolder(c.sources), c.expected);
    }
}

TEST(DataFolder, FindsTheDataOption)
{
    struct
    {
        std::vector<const char*> argv;
        BOOL ok;
        std::string dir;
    } cases[] = {
        {{"tarn-console"}, TRUE, ""},
        {{"tarn-console", "--data", "/d"}, TRUE, "/d"},
        {{"tarn-console", "--port", "1", "--data=/e"}, TRUE, "/e"},
        {{"tarn-console", "--data"}, FALSE, ""},
        {{"tarn-console", "--data="}, FALSE, ""},
        {{"tarn-console", "--data", ""}, FALSE, ""},
    };
    for (const auto& c : cases)
    {
        std::string dir = "stale";
        EXPECT_EQ(FindDataOption(int(c.argv.size()), c.argv.data(), dir), c.ok);
        if (c.ok)
        {
            EXPECT_EQ(dir, c.dir);
        }
    }
}

class DataFolderFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vexa-data-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_base = pattern;
    }
    void TearDown() override { fs::remove_all(m_base); }

    static unsigned ModeOf(const std::string& path)
    {
        struct stat info;
        return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 01000;
    }

    std::string m_base;
};

TEST_F(DataFolderFiles, CreatesTheFolderOwnerOnlyOnFirstUse)
{
    mode_t saved = umask(0);
    CDataFolder folder;
    BOOL opened = folder.Open(m_base + "/share/vexa/");
    umask(saved);
    ASSERT_TRUE(opened) << folder.ErrorText();
    EXPECT_EQ(folder.Path(), m_base + "/share/vexa");
    EXPECT_EQ(folder.RegistryPath(), m_base + "/share/vexa/registry.db");
    EXPECT_EQ(ModeOf(m_base + "/share"), 0700u);
    EXPECT_EQ(ModeOf(folder.Path()), 0700u);
    EXPECT_EQ(ModeOf(folder.RunPath()), 0700u);

    // An existing folder keeps its mode; a file in the way is an error.
    ASSERT_EQ(chmod(folder.Path().c_str(), 0750), 0);
    EXPECT_TRUE(folder.Open(folder.Path()));
    EXPECT_EQ(ModeOf(folder.Path()), 0750u);
    std::ofstream(m_base + "/file") << "x";
    CDataFolder blocked;
    EXPECT_FALSE(blocked.Open(m_base + "/file/vexa"));
    EXPECT_NE(blocked.ErrorText().find("Not a directory"), std::string::npos)
        << blocked.ErrorText();
    EXPECT_FALSE(blocked.Open(""));
}

TEST_F(DataFolderFiles, AtomicWriteCreatesOrReplacesAndLeavesNothingBehind)
{
    const std::string path = m_base + "/f";
    const BYTE first[] = {1, 2, 3};
    const BYTE second[] = {4};
    int error = 0;
    ASSERT_TRUE(WriteFileAtomically(path, first, sizeof first, FALSE, error));
    EXPECT_FALSE(WriteFileAtomically(path, second, sizeof second, FALSE, error));
    EXPECT_EQ(error, EEXIST);
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadWholeFile(path, 100, data, error));
    EXPECT_EQ(data, std::vector<BYTE>(first, first + 3));
    ASSERT_TRUE(WriteFileAtomically(path, second, sizeof second, TRUE, error));
    ASSERT_TRUE(ReadWholeFile(path, 100, data, error));
    EXPECT_EQ(data, std::vector<BYTE>(second, second + 1));
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_FALSE(ReadWholeFile(path, 0, data, error));
    EXPECT_EQ(error, EFBIG);
    EXPECT_FALSE(WriteFileAtomically(m_base + "/none/f", first, 3, TRUE, error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_base), fs::directory_iterator()), 1);
}

} // namespace
