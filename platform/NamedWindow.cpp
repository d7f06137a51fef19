#include "platform/NamedWindow.h"

#include "platform/Random.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

// One message is one datagram of 24 bytes, little-endian:
//   0  4  magic "VXWM"
//   4  4  message number
//   8  8  wParam
//  16  8  lParam
// Anything else arriving on a window's socket is counted and dropped.

namespace
{
constexpr std::size_t MESSAGE_SIZE = 24;
constexpr BYTE MESSAGE_MAGIC[4] = {'V', 'X', 'W', 'M'};
constexpr const char* FILE_PREFIX = "win-";
constexpr const char* SOCKET_SUFFIX = ".sock";
constexpr const char* TITLE_SUFFIX = ".title";
constexpr const char* TEMPORARY_SUFFIX = ".tmp";
constexpr int POST_WAIT_MS = 1000;
constexpr int RECEIVE_POLL_MS = 500;

std::string ErrnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

std::string HandleText(HNAMEDWND window)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(window));
    return text;
}

std::string WindowPath(const std::string& directory, HNAMEDWND window, const char* suffix)
{
    return directory + "/" + FILE_PREFIX + HandleText(window) + suffix;
}

// Reads the handle out of "win-<16 hex digits><suffix>".
bool ParseFileName(const char* name, const char* suffix, HNAMEDWND& window)
{
    const std::size_t prefixLength = std::strlen(FILE_PREFIX);
    const std::size_t suffixLength = std::strlen(suffix);
    const std::size_t length = std::strlen(name);
    if (length != prefixLength + 16 + suffixLength ||
        std::strncmp(name, FILE_PREFIX, prefixLength) != 0 ||
        std::strcmp(name + prefixLength + 16, suffix) != 0)
        return false;
    HNAMEDWND value = 0;
    for (std::size_t i = prefixLength; i < prefixLength + 16; ++i)
    {
        char c = name[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else
            return false;
        value = (value << 4) | digit;
    }
    if (value == NULL_NAMEDWND)
        return false;
    window = value;
    return true;
}

bool MakeAddress(const std::string& path, sockaddr_un& address)
{
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

enum class Liveness
{
    Alive,
    Gone,       // no socket, or nobody bound to it any more
    Unreachable // some other failure (rights, resources): neither used nor removed
};

// Connects a datagram socket to the path; the connected descriptor is returned in fd when asked.
Liveness Connect(const std::string& path, int* fd = nullptr)
{
    sockaddr_un address;
    if (!MakeAddress(path, address))
        return Liveness::Unreachable;
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return Liveness::Unreachable;
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        int error = errno;
        ::close(s);
        return (error == ECONNREFUSED || error == ENOENT) ? Liveness::Gone : Liveness::Unreachable;
    }
    if (fd)
        *fd = s;
    else
        ::close(s);
    return Liveness::Alive;
}

bool ReadTitleFile(const std::string& path, int& pid, std::string& title)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string content;
    char buffer[512];
    for (;;)
    {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > 65536)
            break;
    }
    ::close(fd);
    std::size_t newline = content.find('\n');
    if (newline == std::string::npos || newline == 0)
        return false;
    pid = 0;
    for (std::size_t i = 0; i < newline; ++i)
    {
        if (content[i] < '0' || content[i] > '9' || pid > 100000000)
            return false;
        pid = pid * 10 + (content[i] - '0');
    }
    title = content.substr(newline + 1);
    return true;
}

void RemoveWindowFiles(const std::string& directory, HNAMEDWND window)
{
    ::unlink(WindowPath(directory, window, TITLE_SUFFIX).c_str());
    ::unlink(WindowPath(directory, window, SOCKET_SUFFIX).c_str());
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

void PutLittleEndian(BYTE* out, std::uint64_t value, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<BYTE>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const BYTE* in, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = (value << 8) | in[i];
    return value;
}

void EncodeMessage(const tagWINDOW_MESSAGE& message, BYTE* out)
{
    std::memcpy(out, MESSAGE_MAGIC, sizeof MESSAGE_MAGIC);
    PutLittleEndian(out + 4, message.message, 4);
    PutLittleEndian(out + 8, message.wParam, 8);
    PutLittleEndian(out + 16, static_cast<std::uint64_t>(message.lParam), 8);
}

bool DecodeMessage(const BYTE* in, std::size_t length, tagWINDOW_MESSAGE& message)
{
    if (length != MESSAGE_SIZE || std::memcmp(in, MESSAGE_MAGIC, sizeof MESSAGE_MAGIC) != 0)
        return false;
    message.message = static_cast<UINT>(GetLittleEndian(in + 4, 4));
    message.wParam = GetLittleEndian(in + 8, 8);
    message.lParam = static_cast<std::int64_t>(GetLittleEndian(in + 16, 8));
    return true;
}

HNAMEDWND NewHandle()
{
    HNAMEDWND window = NULL_NAMEDWND;
    BYTE bytes[8];
    if (SystemRandom().Fill(bytes, sizeof bytes))
        window = GetLittleEndian(bytes, sizeof bytes);
    if (window == NULL_NAMEDWND)
    {
        // The kernel's generator failed: fall back to something unique to this process and call.
        static std::atomic<std::uint32_t> counter{0};
        auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
        window = (static_cast<std::uint64_t>(::getpid()) << 32) ^
                 static_cast<std::uint64_t>(ticks) ^ (++counter);
        if (window == NULL_NAMEDWND)
            window = 1;
    }
    return window;
}
} // namespace

CNamedWindow::~CNamedWindow()
{
    Destroy();
}

void CNamedWindow::Fail(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lastError = text;
}

std::string CNamedWindow::LastError() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastError;
}

std::string CNamedWindow::Title() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_title;
}

std::uint64_t CNamedWindow::RejectedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rejected;
}

BOOL CNamedWindow::WriteTitleFile(const std::string& title)
{
    // Written aside and renamed, so a reader sees the old title or the new, never a part.
    const std::string temporary = WindowPath(m_runDirectory, m_handle, TEMPORARY_SUFFIX);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        Fail(ErrnoText("cannot write the window's title file"));
        return FALSE;
    }
    const std::string content = std::to_string(::getpid()) + "\n" + title;
    std::size_t done = 0;
    while (done < content.size())
    {
        ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
        {
            Fail(ErrnoText("cannot write the window's title file"));
            ::close(fd);
            ::unlink(temporary.c_str());
            return FALSE;
        }
        done += static_cast<std::size_t>(wrote);
    }
    ::close(fd);
    if (::rename(temporary.c_str(), m_titlePath.c_str()) != 0)
    {
        Fail(ErrnoText("cannot publish the window's title file"));
        ::unlink(temporary.c_str());
        return FALSE;
    }
    return TRUE;
}

BOOL CNamedWindow::Create(const std::string& runDirectory, const std::string& title,
                          Receiver receiver)
{
    if (IsCreated())
    {
        Fail("the window already exists");
        return FALSE;
    }
    if (runDirectory.empty())
    {
        Fail("no run directory given");
        return FALSE;
    }
    if (::mkdir(runDirectory.c_str(), 0700) != 0 && errno != EEXIST)
    {
        Fail(ErrnoText("cannot create the run directory"));
        return FALSE;
    }

    m_runDirectory = runDirectory;
    m_handle = NewHandle();
    m_socketPath = WindowPath(m_runDirectory, m_handle, SOCKET_SUFFIX);
    m_titlePath = WindowPath(m_runDirectory, m_handle, TITLE_SUFFIX);
    auto abandon = [this]
    {
        if (m_socket >= 0)
        {
            ::close(m_socket);
            ::unlink(m_socketPath.c_str());
        }
        if (m_wake >= 0)
            ::close(m_wake);
        m_socket = m_wake = -1;
        m_handle = NULL_NAMEDWND;
        return FALSE;
    };

    sockaddr_un address;
    if (!MakeAddress(m_socketPath, address))
    {
        Fail("the run directory's path is too long for a socket: " + m_runDirectory);
        return abandon();
    }
    CWindowDirectory(m_runDirectory).RemoveStale();

    m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
    {
        Fail(ErrnoText("cannot create the window's socket"));
        return abandon();
    }
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        Fail(ErrnoText("cannot bind the window's socket"));
        ::close(m_socket);
        m_socket = -1;
        return abandon();
    }
    // Posting needs write access to the socket file: only this user may post.
    ::chmod(m_socketPath.c_str(), 0600);
    m_wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wake < 0)
    {
        Fail(ErrnoText("cannot create the window's wake descriptor"));
        return abandon();
    }
    if (!WriteTitleFile(title))
        return abandon();

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_title = title;
        m_queue.clear();
        m_rejected = 0;
        m_lastError.clear();
    }
    m_available.Reset();
    m_receiver = std::move(receiver);
    if (!m_thread.Start([this](CEvent& stopEvent) { return ReceiveLoop(stopEvent); },
                        "named-window"))
    {
        Fail("cannot start the window's receive thread");
        ::unlink(m_titlePath.c_str());
        return abandon();
    }
    return TRUE;
}

void CNamedWindow::Destroy()
{
    if (!IsCreated())
        return;
    // Unpublish first so that nobody finds the window while it is being taken down.
    ::unlink(m_titlePath.c_str());
    m_thread.RequestStop();
    const std::uint64_t one = 1;
    if (::write(m_wake, &one, sizeof one) < 0)
    {
        // The counter is far from full; a failed write still leaves the bounded poll to notice.
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queueChanged.notify_all();
    }
    // The receive loop ends within one poll interval, or when a receiver callback returns.
    // Called from the callback itself, the join cannot be done here: the socket stays open
    // until the owner's next Destroy or the destructor, so the loop never reads a closed one.
    if (!m_thread.Join(INFINITE))
        return;

    ::close(m_socket);
    ::unlink(m_socketPath.c_str());
    ::close(m_wake);
    m_socket = m_wake = -1;
    m_handle = NULL_NAMEDWND;
    m_receiver = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_queueChanged.notify_all();
    }
    m_available.Reset();
}

BOOL CNamedWindow::SetTitle(const std::string& title)
{
    if (!IsCreated() || !WriteTitleFile(title))
        return FALSE;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_title = title;
    return TRUE;
}

DWORD CNamedWindow::ReceiveLoop(CEvent& stopEvent)
{
    pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_wake, POLLIN, 0}};
    while (stopEvent.Wait(0) != WAIT_OBJECT_0)
    {
        int ready = ::poll(fds, 2, RECEIVE_POLL_MS);
        if (ready < 0)
        {
            if (errno == EINTR)
                continue;
            Fail(ErrnoText("window receive failed"));
            return 1;
        }
        if (fds[1].revents != 0)
            break;
        if ((fds[0].revents & (POLLIN | POLLERR)) == 0)
            continue;

        BYTE buffer[64];
        ssize_t got = ::recv(m_socket, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
        if (got < 0)
        {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            Fail(ErrnoText("window receive failed"));
            return 1;
        }
        tagWINDOW_MESSAGE message;
        if (!DecodeMessage(buffer, static_cast<std::size_t>(got), message))
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_rejected;
            continue;
        }
        if (!Deliver(message, stopEvent))
            break;
    }
    return 0;
}

BOOL CNamedWindow::Deliver(const tagWINDOW_MESSAGE& message, CEvent& stopEvent)
{
    if (m_receiver)
    {
        m_receiver(message);
        return TRUE;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    // A full queue stops the draining of the socket, so senders wait and then fail rather
    // than have their messages dropped unseen.
    while (m_queue.size() >= QUEUE_LIMIT)
    {
        if (stopEvent.IsSet())
            return FALSE;
        m_queueChanged.wait_for(lock, std::chrono::milliseconds(100));
    }
    m_queue.push_back(message);
    m_available.Set();
    m_queueChanged.notify_all();
    return TRUE;
}

BOOL CNamedWindow::GetMessage(tagWINDOW_MESSAGE& message, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto hasMessage = [this] { return !m_queue.empty(); };
    if (timeoutMs == INFINITE)
        m_queueChanged.wait(lock, hasMessage);
    else if (!m_queueChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), hasMessage))
        return FALSE;
    message = m_queue.front();
    m_queue.pop_front();
    if (m_queue.empty())
        m_available.Reset();
    m_queueChanged.notify_all();
    return TRUE;
}

HNAMEDWND CWindowDirectory::FindWindow(const std::string& title) const
{
    DIR* dir = ::opendir(m_runDirectory.c_str());
    if (!dir)
        return NULL_NAMEDWND;
    HNAMEDWND found = NULL_NAMEDWND;
    while (dirent* entry = ::readdir(dir))
    {
        HNAMEDWND window;
        if (!ParseFileName(entry->d_name, TITLE_SUFFIX, window))
            continue;
        if (found != NULL_NAMEDWND && window > found)
            continue;
        int pid = 0;
        std::string candidate;
        if (!ReadTitleFile(WindowPath(m_runDirectory, window, TITLE_SUFFIX), pid, candidate) ||
            !EqualsIgnoringCase(candidate, title))
            continue;
        Liveness liveness = Connect(WindowPath(m_runDirectory, window, SOCKET_SUFFIX));
        if (liveness == Liveness::Gone)
            RemoveWindowFiles(m_runDirectory, window);
        else if (liveness == Liveness::Alive)
            found = window;
    }
    ::closedir(dir);
    return found;
}

BOOL CWindowDirectory::GetWindowText(HNAMEDWND window, std::string& title) const
{
    if (window == NULL_NAMEDWND)
        return FALSE;
    int pid = 0;
    std::string text;
    if (!ReadTitleFile(WindowPath(m_runDirectory, window, TITLE_SUFFIX), pid, text))
        return FALSE;
    Liveness liveness = Connect(WindowPath(m_runDirectory, window, SOCKET_SUFFIX));
    if (liveness == Liveness::Gone)
        RemoveWindowFiles(m_runDirectory, window);
    if (liveness != Liveness::Alive)
        return FALSE;
    title = std::move(text);
    return TRUE;
}

BOOL CWindowDirectory::IsWindow(HNAMEDWND window) const
{
    std::string title;
    return GetWindowText(window, title);
}

int CWindowDirectory::GetWindowProcessId(HNAMEDWND window) const
{
    int pid = 0;
    std::string title;
    if (window == NULL_NAMEDWND ||
        !ReadTitleFile(WindowPath(m_runDirectory, window, TITLE_SUFFIX), pid, title) ||
        Connect(WindowPath(m_runDirectory, window, SOCKET_SUFFIX)) != Liveness::Alive)
        return -1;
    return pid;
}

BOOL CWindowDirectory::PostMessage(HNAMEDWND window, UINT message, std::uint64_t wParam,
                                   std::int64_t lParam) const
{
    if (window == NULL_NAMEDWND)
        return FALSE;
    // A destroyed window drops its title file before its socket: treat it as gone already.
    if (::access(WindowPath(m_runDirectory, window, TITLE_SUFFIX).c_str(), F_OK) != 0)
        return FALSE;
    int fd = -1;
    Liveness liveness = Connect(WindowPath(m_runDirectory, window, SOCKET_SUFFIX), &fd);
    if (liveness == Liveness::Gone)
        RemoveWindowFiles(m_runDirectory, window);
    if (liveness != Liveness::Alive)
        return FALSE;

    BYTE datagram[MESSAGE_SIZE];
    EncodeMessage(tagWINDOW_MESSAGE{message, wParam, lParam}, datagram);
    BOOL sent = FALSE;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(POST_WAIT_MS);
    for (;;)
    {
        ssize_t wrote = ::send(fd, datagram, sizeof datagram, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (wrote == static_cast<ssize_t>(sizeof datagram))
        {
            sent = TRUE;
            break;
        }
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            break;
        // The owner's socket queue is full: wait a bounded time for it to drain.
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    ::close(fd);
    return sent;
}

void CWindowDirectory::RemoveStale() const
{
    DIR* dir = ::opendir(m_runDirectory.c_str());
    if (!dir)
        return;
    while (dirent* entry = ::readdir(dir))
    {
        HNAMEDWND window;
        // A socket whose owner has gone refuses connections; a title or temporary file without
        // a socket is left from a crash between the steps of putting a window up or down.
        if (ParseFileName(entry->d_name, SOCKET_SUFFIX, window) ||
            ParseFileName(entry->d_name, TITLE_SUFFIX, window) ||
            ParseFileName(entry->d_name, TEMPORARY_SUFFIX, window))
        {
            if (Connect(WindowPath(m_runDirectory, window, SOCKET_SUFFIX)) == Liveness::Gone)
            {
                RemoveWindowFiles(m_runDirectory, window);
                ::unlink(WindowPath(m_runDirectory, window, TEMPORARY_SUFFIX).c_str());
            }
        }
    }
    ::closedir(dir);
}
