#include "shell/VexaDoc.h"

#include <chrono>
#include <utility>

CVexaDoc::CVexaDoc(ServerFactory factory, DWORD lockTimeoutMs)
    : m_factory(std::move(factory)), m_lockTimeoutMs(lockTimeoutMs)
{
}

CVexaDoc::~CVexaDoc()
{
    // Nobody else may use a document being destroyed, so this one wait is not bounded.
    std::vector<std::unique_ptr<CServer>> servers;
    {
        std::lock_guard<std::recursive_timed_mutex> guard(m_lock);
        servers.swap(m_servers);
        m_current = nullptr;
        m_alerts.clear();
    }
    // Each server disconnects and joins its threads as it is destroyed.
    servers.clear();
}

BOOL CVexaDoc::Lock()
{
    return m_lock.try_lock_for(std::chrono::milliseconds(m_lockTimeoutMs)) ? TRUE : FALSE;
}

void CVexaDoc::Unlock()
{
    m_lock.unlock();
}

BYTE CVexaDoc::AllocateTag()
{
    for (std::size_t tag = 0; tag < m_tagsInUse.size(); ++tag)
    {
        if (!m_tagsInUse[tag])
        {
            m_tagsInUse[tag] = true;
            return static_cast<BYTE>(tag);
        }
    }
    return SERVER_TAG_NONE;
}

BOOL CVexaDoc::AddServer(tagSERVER_RECORD& record)
{
    if (!Lock())
    {
        record.serverTag = SERVER_TAG_NONE;
        return FALSE;
    }
    std::unique_lock<std::recursive_timed_mutex> guard(m_lock, std::adopt_lock);
    BYTE tag = AllocateTag();
    record.serverTag = tag;
    if (tag == SERVER_TAG_NONE)
        return FALSE;
    std::unique_ptr<CServer> server = m_factory ? m_factory(record) : nullptr;
    if (!server)
    {
        m_tagsInUse[tag] = false;
        record.serverTag = SERVER_TAG_NONE;
        return FALSE;
    }
    m_servers.push_back(std::move(server));
    return TRUE;
}

BOOL CVexaDoc::RemoveServer(BYTE tag)
{
    std::unique_ptr<CServer> removed;
    {
        if (!Lock())
            return FALSE;
        std::unique_lock<std::recursive_timed_mutex> guard(m_lock, std::adopt_lock);
        if (tag < m_tagsInUse.size())
            m_tagsInUse[tag] = false;
        for (auto it = m_servers.begin(); it != m_servers.end(); ++it)
        {
            if ((*it)->GetServerTag() == tag)
            {
                removed = std::move(*it);
                m_servers.erase(it);
                break;
            }
        }
        if (removed && m_current == removed.get())
            m_current = nullptr;
    }
    // Destroyed outside the lock: its threads may still ask the document for servers.
    return removed ? TRUE : FALSE;
}

CServer* CVexaDoc::FindServer(BYTE tag, BOOL keepLocked)
{
    if (!Lock())
        return nullptr;
    CServer* found = nullptr;
    for (auto& server : m_servers)
    {
        if (server->GetServerTag() == tag)
        {
            found = server.get();
            break;
        }
    }
    if (!found || !keepLocked)
        Unlock();
    return found;
}

CServer* CVexaDoc::GetServerAt(int position, BOOL keepLocked)
{
    if (!Lock())
        return nullptr;
    CServer* found = nullptr;
    if (position >= 0 && static_cast<std::size_t>(position) < m_servers.size())
        found = m_servers[static_cast<std::size_t>(position)].get();
    if (!found || !keepLocked)
        Unlock();
    return found;
}

int CVexaDoc::GetServerCount()
{
    if (!Lock())
        return 0;
    int count = static_cast<int>(m_servers.size());
    Unlock();
    return count;
}

void CVexaDoc::SetCurrentServer(BYTE tag)
{
    if (!Lock())
        return;
    m_current = tag == SERVER_TAG_NONE ? nullptr : FindServer(tag, FALSE);
    Unlock();
}

CServer* CVexaDoc::GetCurrentServer()
{
    if (!Lock())
        return nullptr;
    CServer* current = m_current;
    Unlock();
    return current;
}

std::vector<tagSERVER_RECORD> CVexaDoc::Snapshot()
{
    std::vector<tagSERVER_RECORD> records;
    Snapshot(records);
    return records;
}

BOOL CVexaDoc::Snapshot(std::vector<tagSERVER_RECORD>& records)
{
    records.clear();
    if (!Lock())
        return FALSE;
    records.reserve(m_servers.size());
    for (auto& server : m_servers)
        records.push_back(server->GetRecord());
    Unlock();
    return TRUE;
}

BOOL CVexaDoc::PushAlert(const tagALERT_RECORD& alert)
{
    if (!Lock())
        return FALSE;
    m_alerts.push_back(alert);
    Unlock();
    return TRUE;
}

tagALERT_RECORD CVexaDoc::FrontAlert()
{
    tagALERT_RECORD front;
    if (!Lock())
        return front;
    if (!m_alerts.empty())
        front = m_alerts.front();
    Unlock();
    return front;
}

BOOL CVexaDoc::PopAlert()
{
    if (!Lock())
        return FALSE;
    BOOL popped = m_alerts.empty() ? FALSE : TRUE;
    if (popped)
        m_alerts.pop_front();
    Unlock();
    return popped;
}

void CVexaDoc::ClearAlerts()
{
    if (!Lock())
        return;
    m_alerts.clear();
    Unlock();
}

std::size_t CVexaDoc::GetAlertCount()
{
    if (!Lock())
        return 0;
    std::size_t count = m_alerts.size();
    Unlock();
    return count;
}
