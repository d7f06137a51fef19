#pragma once
// CVexaDoc: the document of the console, holding the server list (in insertion order), the
// server tags in use, the current server and the alert queue. It owns the server objects:
// they are created only by AddServer (through the injected factory) and destroyed only by
// RemoveServer and by the destructor, each outside the lock.
// Threads: the user-interface thread, the server threads and the trap thread call it. One
// recursive mutex (m_lock) guards the list, the tag table, the current server and the alert
// queue; every operation waits for it at most the lock time-out (5000 ms). An operation that
// does not get the lock in time fails without touching anything: AddServer and RemoveServer
// return FALSE, the finders return nullptr, GetServerCount returns 0, Snapshot(records)
// returns FALSE and the alert calls return FALSE / the "NO_MESSAGE" record.
// A thread that walks the list by position calls Lock() once, then GetServerAt(i, FALSE)
// inside, then Unlock().
#include "platform/Types.h"
#include "shell/AlertRecord.h"
#include "shell/Server.h"
#include "shell/ShellTypes.h"

#include <array>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

constexpr DWORD DOC_LOCK_TIMEOUT_MS = 5000;

class CVexaDoc
{
public:
    // Makes the server object for a record: a CIPMIServer when the server type is 1, else a
    // CASFServer. May return nullptr, which makes AddServer fail.
    using ServerFactory = std::function<std::unique_ptr<CServer>(const tagSERVER_RECORD&)>;

    // lockTimeoutMs is the wait of every operation for the list lock; tests shorten it.
    explicit CVexaDoc(ServerFactory factory, DWORD lockTimeoutMs = DOC_LOCK_TIMEOUT_MS);
    // Destroys every server (each disconnects as it is destroyed) and empties the alert queue.
    ~CVexaDoc();
    CVexaDoc(const CVexaDoc&) = delete;
    CVexaDoc& operator=(const CVexaDoc&) = delete;

    // Takes the lowest free tag, writes it into record.serverTag, creates the server from the
    // record and appends it. FALSE (record's tag set to 255, nothing created) when all 254
    // tags are in use, the factory fails or the lock is not obtained.
    BOOL AddServer(tagSERVER_RECORD& record);
    // Removes and destroys the server with the tag; the tag is free again in any case (when
    // the lock was obtained). Removing the current server clears the current server.
    BOOL RemoveServer(BYTE tag);
    // The server with the tag, or nullptr. With keepLocked the lock stays held on return
    // when (and only when) a server is returned; the caller then calls Unlock().
    CServer* FindServer(BYTE tag, BOOL keepLocked);
    // The server at the list position (0..count-1), or nullptr; same locking rule.
    CServer* GetServerAt(int position, BOOL keepLocked);
    int GetServerCount();
    // The current server becomes the server with the tag (none when no server has it);
    // SERVER_TAG_NONE (255) clears it.
    void SetCurrentServer(BYTE tag);
    CServer* GetCurrentServer();

    // The recursive list lock, waiting at most the lock time-out. FALSE when not obtained.
    BOOL Lock();
    void Unlock();

    // The records of every server in list order; empty when the lock is not obtained. Use
    // the BOOL form where an empty list must not be mistaken for a failure (saving the list).
    std::vector<tagSERVER_RECORD> Snapshot();
    BOOL Snapshot(std::vector<tagSERVER_RECORD>& records);

    // The alert queue: appended by the trap handling, taken from the front by the SMS
    // polling thread. The front of an empty queue is the record with message "NO_MESSAGE".
    BOOL PushAlert(const tagALERT_RECORD& alert);
    tagALERT_RECORD FrontAlert();
    // Drops the front record; FALSE when the queue was empty or the lock not obtained.
    BOOL PopAlert();
    void ClearAlerts();
    std::size_t GetAlertCount();

private:
    BYTE AllocateTag();

    ServerFactory m_factory;
    const DWORD m_lockTimeoutMs;
    std::recursive_timed_mutex m_lock;
    std::vector<std::unique_ptr<CServer>> m_servers;  // guarded by m_lock
    std::array<bool, SERVER_TAG_LIMIT> m_tagsInUse{}; // guarded by m_lock
    CServer* m_current = nullptr;                     // guarded by m_lock
    std::deque<tagALERT_RECORD> m_alerts;             // guarded by m_lock
};
