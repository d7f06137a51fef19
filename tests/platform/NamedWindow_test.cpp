#include "platform/NamedWindow.h"

#include "platform/Spawn.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <dirent.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
constexpr const char* RELAY_TITLE = "Vexa SMS Sync Invisible Window";
constexpr UINT WM_TEST = 1327;
constexpr UINT WM_TEST_QUIT = 1329;

int CountWindowFiles(const std::string& directory)
{
    int count = 0;
    if (DIR* dir = ::opendir(directory.c_str()))
    {
        while (dirent* entry = ::readdir(dir))
            if (std::strncmp(entry->d_name, "win-", 4) == 0)
                ++count;
        ::closedir(dir);
    }
    return count;
}

// Reads exactly length bytes, waiting at most timeoutMs for each part.
bool ReadFully(int fd, void* buffer, std::size_t length, int timeoutMs)
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < length)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        ssize_t got = ::read(fd, out + done, length - done);
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

class NamedWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vexa-window-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_base = pattern;
        m_run = m_base + "/run";
    }
    void TearDown() override
    {
        if (DIR* dir = ::opendir(m_run.c_str()))
        {
            while (dirent* entry = ::readdir(dir))
                if (entry->d_name[0] != '.')
                    ::unlink((m_run + "/" + entry->d_name).c_str());
            ::closedir(dir);
        }
        ::rmdir(m_run.c_str());
        ::rmdir(m_base.c_str());
    }

    std::string m_base;
    std::string m_run;
};
} // namespace

TEST_F(NamedWindowTest, FoundByTitleUntilDestroyed)
{
    CNamedWindow window;
    ASSERT_TRUE(window.Create(m_run, RELAY_TITLE)) << window.LastError();
    CNamedWindow other;
    ASSERT_TRUE(other.Create(m_run, "Vexa Remote Console - Microsoft Internet Explorer"));
    CWindowDirectory windows(m_run);

    EXPECT_EQ(windows.FindWindow(RELAY_TITLE), window.Handle());
    EXPECT_EQ(windows.FindWindow("vexa sms sync INVISIBLE window"), window.Handle());
    EXPECT_EQ(windows.FindWindow("Vexa SMS Sync"), NULL_NAMEDWND);
    EXPECT_EQ(windows.FindWindow(""), NULL_NAMEDWND);
    EXPECT_EQ(windows.FindWindow(other.Title()), other.Handle());
    std::string title;
    ASSERT_TRUE(windows.GetWindowText(window.Handle(), title));
    EXPECT_EQ(title, RELAY_TITLE);
    EXPECT_EQ(windows.GetWindowProcessId(window.Handle()), ::getpid());

    ASSERT_TRUE(window.SetTitle("Renamed"));
    EXPECT_EQ(windows.FindWindow(RELAY_TITLE), NULL_NAMEDWND);
    EXPECT_EQ(windows.FindWindow("Renamed"), window.Handle());

    const HNAMEDWND handle = window.Handle();
    window.Destroy();
    EXPECT_EQ(windows.FindWindow("Renamed"), NULL_NAMEDWND);
    EXPECT_FALSE(windows.IsWindow(handle));
    EXPECT_FALSE(windows.GetWindowText(handle, title));
    EXPECT_FALSE(windows.PostMessage(handle, WM_TEST, 1, 2));
    EXPECT_EQ(windows.GetWindowProcessId(handle), -1);
    EXPECT_TRUE(windows.IsWindow(other.Handle()));
    other.Destroy();
    EXPECT_EQ(CountWindowFiles(m_run), 0);
}

TEST_F(NamedWindowTest, MessagesFromAnotherProcessArriveInOrder)
{
    constexpr int COUNT = 200; // well past the kernel's default datagram queue of 10
    CNamedWindow window;
    ASSERT_TRUE(window.Create(m_run, RELAY_TITLE)) << window.LastError();

    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        CWindowDirectory windows(m_run);
        HNAMEDWND target = windows.FindWindow(RELAY_TITLE);
        std::string title;
        if (target == NULL_NAMEDWND)
            ::_exit(10);
        if (!windows.GetWindowText(target, title) || title != RELAY_TITLE)
            ::_exit(11);
        for (int i = 0; i < COUNT; ++i)
            if (!windows.PostMessage(target, WM_TEST + static_cast<UINT>(i % 3),
                                     0xFEDCBA9876543210ull + static_cast<std::uint64_t>(i), -i))
                ::_exit(12);
        ::_exit(0);
    }

    int received = 0;
    for (; received < COUNT; ++received)
    {
        tagWINDOW_MESSAGE message;
        if (!window.GetMessage(message, 5000))
            break;
        ASSERT_EQ(message.message, WM_TEST + static_cast<UINT>(received % 3));
        ASSERT_EQ(message.wParam, 0xFEDCBA9876543210ull + static_cast<std::uint64_t>(received));
        ASSERT_EQ(message.lParam, -received);
    }
    int status = SPAWN_STATUS_UNKNOWN;
    ASSERT_TRUE(WaitForProcess(child, 5000, status));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(received, COUNT);
    EXPECT_FALSE(window.MessageAvailable().IsSet());
}

TEST_F(NamedWindowTest, WindowOfAProcessThatHasGoneIsFoundAsGone)
{
    enum class End
    {
        DestroyThenExit,
        ExitWithoutDestroy,
        Killed,
    };
    for (End end : {End::DestroyThenExit, End::ExitWithoutDestroy, End::Killed})
    {
        SCOPED_TRACE(static_cast<int>(end));
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
        {
            // The owner: reports its handle, then echoes every message until told to quit.
            ::close(pipeFds[0]);
            CNamedWindow window;
            if (!window.Create(m_run, "Remote Owner"))
                ::_exit(10);
            HNAMEDWND handle = window.Handle();
            if (::write(pipeFds[1], &handle, sizeof handle) != sizeof handle)
                ::_exit(11);
            for (int i = 0; i < 100; ++i)
            {
                tagWINDOW_MESSAGE message;
                if (!window.GetMessage(message, 5000))
                    ::_exit(12);
                std::int64_t echo[2] = {message.message, message.lParam};
                if (::write(pipeFds[1], echo, sizeof echo) != sizeof echo)
                    ::_exit(13);
                if (message.message == WM_TEST_QUIT)
                {
                    if (end == End::DestroyThenExit)
                        window.Destroy();
                    ::_exit(0);
                }
            }
            ::_exit(14);
        }
        ::close(pipeFds[1]);

        HNAMEDWND handle = NULL_NAMEDWND;
        ASSERT_TRUE(ReadFully(pipeFds[0], &handle, sizeof handle, 5000));
        CWindowDirectory windows(m_run);
        EXPECT_EQ(windows.FindWindow("remote owner"), handle);
        EXPECT_EQ(windows.GetWindowProcessId(handle), child);
        for (int i = 1; i <= 5; ++i)
            EXPECT_TRUE(windows.PostMessage(handle, WM_TEST, 0, i));
        const UINT last = end == End::Killed ? WM_TEST : WM_TEST_QUIT;
        EXPECT_TRUE(windows.PostMessage(handle, last, 0, 6));
        for (int i = 1; i <= 6; ++i)
        {
            std::int64_t echo[2] = {0, 0};
            ASSERT_TRUE(ReadFully(pipeFds[0], echo, sizeof echo, 5000)) << "message " << i;
            EXPECT_EQ(echo[1], i);
            EXPECT_EQ(echo[0], i == 6 ? last : WM_TEST);
        }
        if (end == End::Killed)
            ::kill(child, SIGKILL);
        int status = SPAWN_STATUS_UNKNOWN;
        ASSERT_TRUE(WaitForProcess(child, 5000, status));
        EXPECT_EQ(status, end == End::Killed ? 128 + SIGKILL : 0);
        ::close(pipeFds[0]);

        std::string title;
        EXPECT_EQ(windows.FindWindow("Remote Owner"), NULL_NAMEDWND);
        EXPECT_FALSE(windows.GetWindowText(handle, title));
        EXPECT_FALSE(windows.PostMessage(handle, WM_TEST, 0, 0));
        EXPECT_EQ(CountWindowFiles(m_run), 0) << "leftover files were not cleaned up";
    }
}

TEST_F(NamedWindowTest, ForeignDatagramsAreDroppedAndCounted)
{
    std::vector<tagWINDOW_MESSAGE> seen;
    CEvent arrived(FALSE, FALSE);
    CNamedWindow window;
    ASSERT_TRUE(window.Create(m_run, "Receiver",
                              [&](const tagWINDOW_MESSAGE& message)
                              {
                                  seen.push_back(message);
                                  arrived.Set();
                              }));

    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(s, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(window.Handle()));
    std::string path = m_run + "/win-" + hex + ".sock";
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string junk[] = {
        std::string("VXWM", 4),                         // short
        std::string(24, 'A'),                           // wrong magic
        std::string("VXWM") + std::string(100, '\x01'), // too long
        std::string(),                                  // empty
    };
    for (const std::string& datagram : junk)
        ASSERT_EQ(::send(s, datagram.data(), datagram.size(), 0),
                  static_cast<ssize_t>(datagram.size()));
    ::close(s);

    CWindowDirectory windows(m_run);
    ASSERT_TRUE(windows.PostMessage(window.Handle(), WM_TEST, 9, -9));
    ASSERT_EQ(arrived.Wait(5000), WAIT_OBJECT_0);
    window.Destroy(); // joins the receive thread before we read what it wrote
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, WM_TEST);
    EXPECT_EQ(seen[0].wParam, 9u);
    EXPECT_EQ(seen[0].lParam, -9);
    EXPECT_EQ(window.RejectedCount(), 4u);
}

TEST_F(NamedWindowTest, CreateFailsCleanlyWhereNoSocketCanBeMade)
{
    CNamedWindow window;
    EXPECT_FALSE(window.Create("", "x"));
    std::string deep = m_base + "/" + std::string(100, 'd');
    EXPECT_FALSE(window.Create(deep, "x"));
    EXPECT_NE(window.LastError().find("too long"), std::string::npos) << window.LastError();
    EXPECT_FALSE(window.IsCreated());
    ::rmdir(deep.c_str());
    EXPECT_FALSE(window.Create(m_base + "/missing/run", "x"));
    EXPECT_FALSE(window.IsCreated());
}
