#include "shell/Server.h"

#include "platform/ui/UIThread.h"

#include <cstdio>
#include <cstring>

CServer::CServer(const tagSERVER_RECORD& record) : m_record(record)
{
    m_record.name[SERVER_NAME_SIZE - 1] = '\0';
    m_record.phone[SERVER_PHONE_SIZE - 1] = '\0';
    std::string ip = FormatIpText(record.ipAddress);
    std::snprintf(m_ipText, sizeof m_ipText, "%s", ip.c_str());
}

tagSERVER_RECORD CServer::GetRecord() const
{
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_record;
}

void CServer::SetMacAddress(const BYTE mac[6])
{
    std::memcpy(m_record.macAddress, mac, sizeof m_record.macAddress);
}

std::string CServer::GetName() const
{
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_record.name;
}

void CServer::SetName(const std::string& name)
{
    std::lock_guard<std::mutex> guard(m_textLock);
    std::memset(m_record.name, 0, sizeof m_record.name);
    std::snprintf(m_record.name, sizeof m_record.name, "%s", name.c_str());
}

std::string CServer::GetGuidText() const
{
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_guidText;
}

void CServer::SetGuidText(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_textLock);
    m_guidText = text.substr(0, 63);
}

std::string FormatIpText(DWORD address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF,
                  (address >> 8) & 0xFF, address & 0xFF);
    return text;
}

BOOL CWindowMessageSink::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_thread.PostMessage(m_window, message, wParam, lParam);
}

SinkResult CWindowMessageSink::Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                                    LRESULT* result)
{
    if (!m_thread.IsRunning() || !m_thread.IsWindow(m_window))
        return SinkResult::NoReceiver;
    if (m_thread.SendMessageTimeout(m_window, message, wParam, lParam, timeoutMs, result))
        return SinkResult::Delivered;
    return m_thread.IsRunning() ? SinkResult::TimedOut : SinkResult::NoReceiver;
}
