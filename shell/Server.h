#pragma once
// CServer: one entry of the server list, the base of the IPMI and ASF server objects. Holds
// the server's record, its connected flag, its dotted address text, its GUID text and the
// heartbeat values the trap thread writes. Owned by the document, which destroys it; the
// derived class owns the connection and the worker threads.
// Threads: the record, name and GUID text belong to the user-interface thread (m_textLock
// guards the name and GUID so that workers may read them); the connected flag and the
// heartbeat values are atomics read and written from any thread.
#include "platform/Types.h"
#include "shell/ShellTypes.h"

#include <atomic>
#include <mutex>
#include <string>

class CUIThread;

constexpr const char* SERVER_GUID_UNKNOWN = "Unknown GUID";

class CServer
{
public:
    explicit CServer(const tagSERVER_RECORD& record);
    virtual ~CServer() = default;
    CServer(const CServer&) = delete;
    CServer& operator=(const CServer&) = delete;

    // Opens the connection again with the last login; non-zero on success.
    virtual BOOL Reconnect() = 0;
    // Ends the session and the server's threads; non-zero on success.
    virtual BOOL Disconnect() = 0;
    // 0 off, 1 on, 2 unknown.
    virtual int GetPowerState() = 0;

    // A copy of the record (the name as it is now).
    tagSERVER_RECORD GetRecord() const;
    BYTE GetServerTag() const { return m_record.serverTag; }
    BYTE GetServerType() const { return m_record.serverType; }
    BYTE GetConnectionType() const { return m_record.connectionType; }
    DWORD GetIpAddress() const { return m_record.ipAddress; }
    const BYTE* GetMacAddress() const { return m_record.macAddress; }
    void SetMacAddress(const BYTE mac[6]);
    const char* GetIpText() const { return m_ipText; }
    std::string GetName() const;
    // Cut to the record's 24 characters.
    void SetName(const std::string& name);

    BOOL IsConnected() const { return m_connected.load(); }
    void SetConnected(BOOL connected) { m_connected.store(connected ? TRUE : FALSE); }

    std::string GetGuidText() const;
    void SetGuidText(const std::string& text);

    DWORD GetLastHeartbeat() const { return m_lastHeartbeat.load(); }
    void SetLastHeartbeat(DWORD time) { m_lastHeartbeat.store(time); }
    DWORD GetHeartbeatState() const { return m_heartbeatState.load(); }
    void SetHeartbeatState(DWORD state) { m_heartbeatState.store(state); }

private:
    mutable std::mutex m_textLock;
    tagSERVER_RECORD m_record; // name guarded by m_textLock; the rest fixed after construction
    std::atomic<BOOL> m_connected{FALSE};
    char m_ipText[16] = {};
    std::string m_guidText = SERVER_GUID_UNKNOWN; // guarded by m_textLock
    std::atomic<DWORD> m_lastHeartbeat{0};
    std::atomic<DWORD> m_heartbeatState{0};
};

// "a.b.c.d" of an address in host order.
std::string FormatIpText(DWORD address);

// The sink that delivers to a window of the user-interface thread. Posting to a window that
// no longer exists fails, so the poster keeps (and frees) the payload.
class CWindowMessageSink final : public IMessageSink
{
public:
    CWindowMessageSink(CUIThread& thread, HWND window) : m_thread(thread), m_window(window) {}
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) override;
    SinkResult Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                    LRESULT* result) override;

private:
    CUIThread& m_thread;
    HWND m_window;
};
