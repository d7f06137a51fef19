#include "tests/support/RecordingSink.h"

#include <chrono>

CRecordingSink::CRecordingSink(TextRule isText) : m_isText(std::move(isText)) {}

BOOL CRecordingSink::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_refuse)
        return FALSE;
    tagRECORDED_MESSAGE record{message, wParam, lParam, {}, FALSE};
    if (m_isText && m_isText(message, wParam))
    {
        std::unique_ptr<std::string> text = TakeMessageText(lParam);
        record.lParam = 0;
        record.text = text ? *text : std::string();
    }
    m_messages.push_back(record);
    m_changed.notify_all();
    return TRUE;
}

SinkResult CRecordingSink::Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD, LRESULT* result)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messages.push_back({message, wParam, lParam, {}, TRUE});
    m_changed.notify_all();
    if (result != nullptr)
        *result = 0;
    return SinkResult::Delivered;
}

void CRecordingSink::RefusePosts(BOOL refuse)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_refuse = refuse;
}

std::vector<tagRECORDED_MESSAGE> CRecordingSink::Messages()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_messages;
}

std::size_t CRecordingSink::CountLocked(UINT message) const
{
    std::size_t count = 0;
    for (const auto& m : m_messages)
        count += m.message == message ? 1 : 0;
    return count;
}

std::size_t CRecordingSink::CountOf(UINT message)
{
    std::lock_guard<std::mutex> guard(m_lock);
    return CountLocked(message);
}

void CRecordingSink::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messages.clear();
}

BOOL CRecordingSink::WaitFor(UINT message, std::size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return CountLocked(message) >= count; })
               ? TRUE
               : FALSE;
}
