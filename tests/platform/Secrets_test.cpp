#include "platform/Secrets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace
{

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SecretsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/vexa-secrets-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        m_path = m_folder + "/secrets";
    }
    void TearDown() override { fs::remove_all(m_folder); }

    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string m_folder;
    std::string m_path;
};

TEST_F(SecretsTest, StoresRetrievesAndDeletesByKey)
{
    CSecrets secrets(m_path);
    const std::string binary("0\x00\x01\xff"
                             "05admin",
                             11);
    ASSERT_TRUE(secrets.Store("192.168.0.7", binary)) << secrets.LastErrorText();
    ASSERT_TRUE(secrets.Store("192.168.0.8", "1"));
    ASSERT_TRUE(secrets.Store("192.168.0.8", "second"));

    // Another object (another process, in practice) reads what was stored.
    CSecrets other(m_path);
    std::string value;
    ASSERT_TRUE(other.Retrieve("192.168.0.7", value));
    EXPECT_EQ(value, binary);
    ASSERT_TRUE(other.Retrieve("192.168.0.8", value));
    EXPECT_EQ(value, "second");
    EXPECT_FALSE(other.Retrieve("192.168.0.9", value));
    EXPECT_EQ(other.LastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(other.Retrieve("192.168.0.7 ", value));

    // An empty value deletes, and deleting what is gone is not an error.
    ASSERT_TRUE(secrets.Store("192.168.0.7", ""));
    EXPECT_FALSE(other.Retrieve("192.168.0.7", value));
    EXPECT_TRUE(secrets.Delete("192.168.0.7"));
    EXPECT_TRUE(secrets.Delete("192.168.0.8"));
    EXPECT_FALSE(other.Retrieve("192.168.0.8", value));

    EXPECT_FALSE(secrets.Store("", "x"));
    EXPECT_EQ(secrets.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(secrets.Store("k", std::string(SECRET_MAX_VALUE + 1, 'v')));
    EXPECT_EQ(secrets.LastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(SecretsTest, FileIsOwnerOnlyAndReplacedWhole)
{
    mode_t saved = umask(0);
    CSecrets secrets(m_path);
    ASSERT_TRUE(secrets.Store("a", "1"));
    umask(saved);
    struct stat first;
    ASSERT_EQ(stat(m_path.c_str(), &first), 0);
    EXPECT_EQ(first.st_mode & 0777, 0600u);
    struct stat lock;
    ASSERT_EQ(stat((m_path + ".lock").c_str(), &lock), 0);
    EXPECT_EQ(lock.st_mode & 0777, 0600u);

    // A change writes a new file and renames it over the old one: a new inode, same mode,
    // and no temporary file left behind.
    ASSERT_TRUE(secrets.Store("b", "2"));
    struct stat second;
    ASSERT_EQ(stat(m_path.c_str(), &second), 0);
    EXPECT_NE(first.st_ino, second.st_ino);
    EXPECT_EQ(second.st_mode & 0777, 0600u);
    EXPECT_EQ(FolderEntries(), (std::vector<std::string>{"secrets", "secrets.lock"}));
}

constexpr int ROUNDS = 40;

// Stores ROUNDS keys of its own and flips a shared key between two long values.
int Writer(const std::string& path, char fill)
{
    CSecrets secrets(path);
    for (int i = 0; i < ROUNDS; ++i)
    {
        if (!secrets.Store(std::string(1, fill) + std::to_string(i), "v"))
            return 1;
        if (!secrets.Store("shared", std::string(20000 + i, fill)))
            return 2;
    }
    return 0;
}

TEST_F(SecretsTest, ConcurrentWritersLoseNothingAndReadersSeeWholeValues)
{
    std::vector<pid_t> children;
    for (char fill : {'x', 'y'})
    {
        pid_t pid = fork();
        if (pid == 0)
        {
            alarm(60);
            _exit(Writer(m_path, fill));
        }
        ASSERT_GT(pid, 0);
        children.push_back(pid);
    }
    CSecrets reader(m_path);
    for (int i = 0; i < 4 * ROUNDS; ++i)
    {
        std::string value;
        if (!reader.Retrieve("shared", value))
        {
            ASSERT_EQ(reader.LastError(), ERROR_FILE_NOT_FOUND) << reader.LastErrorText();
            continue;
        }
        ASSERT_GE(value.size(), 20000u);
        EXPECT_EQ(value.find_first_not_of(value[0]), std::string::npos);
    }
    for (pid_t pid : children)
    {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::string value;
    for (char fill : {'x', 'y'})
        for (int i = 0; i < ROUNDS; ++i)
            EXPECT_TRUE(reader.Retrieve(std::string(1, fill) + std::to_string(i), value))
                << fill << i;
}

TEST_F(SecretsTest, DamagedFileIsReportedAndKeptAsItIs)
{
    {
        CSecrets secrets(m_path);
        ASSERT_TRUE(secrets.Store("192.168.0.7", "credential"));
        ASSERT_TRUE(secrets.Store("192.168.0.8", "another"));
    }
    const std::string sound = ReadFile(m_path);
    std::string flipped = sound;
    flipped[20] ^= 0x40;
    const std::string damaged[] = {
        "",
        "not a secrets file at all",
        sound.substr(0, sound.size() - 1),
        sound.substr(0, 16),
        flipped,
        sound + "x",
    };
    for (const std::string& content : damaged)
    {
        SCOPED_TRACE(content.size());
        std::ofstream(m_path, std::ios::binary | std::ios::trunc) << content;
        CSecrets secrets(m_path);
        std::string value;
        EXPECT_FALSE(secrets.Retrieve("192.168.0.7", value));
        EXPECT_EQ(secrets.LastError(), ERROR_FILE_CORRUPT);
        EXPECT_FALSE(secrets.Store("192.168.0.9", "new"));
        EXPECT_EQ(secrets.LastError(), ERROR_FILE_CORRUPT);
        EXPECT_FALSE(secrets.Delete("192.168.0.7"));
        EXPECT_NE(secrets.LastErrorText().find("left as it is"), std::string::npos);
        EXPECT_EQ(ReadFile(m_path), content);
    }
}

} // namespace
