#pragma once
// Records and seams shared by the server objects and the console shell: the fixed description
// of one managed server, the server tag values, and the sink that worker threads hand their
// window messages to. Plain data and one interface; no locks.
#include "platform/Types.h"
#include "platform/ui/UITypes.h"

#include <cstddef>
#include <memory>
#include <string>

constexpr std::size_t SERVER_NAME_SIZE = 25;
constexpr std::size_t SERVER_PHONE_SIZE = 260;
constexpr std::size_t SERVER_RECORD_SIZE = 298; // as stored and handed to the constructors

constexpr BYTE SERVER_TAG_NONE = 255;
constexpr BYTE SERVER_TAG_LIMIT = 254; // tags 0..253

constexpr BYTE CONNECTION_TYPE_LAN = 0;
constexpr BYTE CONNECTION_TYPE_COM = 1;

constexpr BYTE SERVER_TYPE_IPMI = 1; // any other value: an ASF server

// One managed server as the list keeps it. The text fields are NUL-terminated.
struct tagSERVER_RECORD
{
    char name[SERVER_NAME_SIZE] = {};
    BYTE connectionType = CONNECTION_TYPE_LAN;
    BYTE macAddress[6] = {}; // first octet first; all zero when unknown
    DWORD ipAddress = 0;     // host order: the first octet in the most significant byte
    BYTE serverTag = SERVER_TAG_NONE;
    char phone[SERVER_PHONE_SIZE] = {};
    BYTE serverType = 0;
};

// What became of a message handed to IMessageSink::Send.
enum class SinkResult
{
    Delivered,  // the receiver handled it
    TimedOut,   // the receiver did not start on it within the limit; it was withdrawn
    NoReceiver, // nobody to deliver to (window gone, loop stopped)
};

// Where a server object's threads deliver their window messages: the frame's window on the
// user-interface thread in the console, a recorder in tests. Post queues and returns at once;
// Send returns once the receiver has handled the message, or gives up when the receiver has
// not started on it within timeoutMs (a handler already running is always waited for).
// Implementations are called from any thread and must outlive every server object using them.
class IMessageSink
{
public:
    virtual ~IMessageSink() = default;
    // FALSE when the message could not be queued; the caller still owns its payload then.
    virtual BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual SinkResult Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                            LRESULT* result) = 0;
};

// A text posted with a message travels as a heap std::string in lParam: the poster makes it
// with MakeMessageText and the receiver takes ownership with TakeMessageText (which accepts 0).
inline LPARAM MakeMessageText(const std::string& text)
{
    return reinterpret_cast<LPARAM>(new std::string(text));
}
inline std::unique_ptr<std::string> TakeMessageText(LPARAM lParam)
{
    return std::unique_ptr<std::string>(reinterpret_cast<std::string*>(lParam));
}
