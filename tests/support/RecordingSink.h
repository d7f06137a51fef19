#pragma once
// An IMessageSink that records every message for tests, taking over the texts that 1225/4 and
// 866 carry (so a leak or a double free shows under the sanitizers), and lets a test wait for
// a message with a bound. Sends are answered at once. Any thread; m_lock guards the record.
#include "shell/ShellTypes.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct tagRECORDED_MESSAGE
{
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0; // 0 for texts, which are in text
    std::string text;
    BOOL sent = FALSE;
};

class CRecordingSink final : public IMessageSink
{
public:
    // Messages whose lParam is a text the receiver owns.
    using TextRule = std::function<bool(UINT message, WPARAM wParam)>;
    explicit CRecordingSink(TextRule isText);

    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) override;
    SinkResult Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    LRESULT* result) override;
    // Later Posts fail (the receiver is gone); the poster keeps its payload.
    void RefusePosts(BOOL refuse);

    std::vector<tagRECORDED_MESSAGE> Messages();
    std::size_t CountOf(UINT message);
    void Clear();
    // Waits until count messages of that number arrived; FALSE after the limit.
    BOOL WaitFor(UINT message, std::size_t count, DWORD timeoutMs);

private:
    std::size_t CountLocked(UINT message) const;

    TextRule m_isText;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<tagRECORDED_MESSAGE> m_messages;
    BOOL m_refuse = FALSE;
};
