// The event-log side of CIPMIServer: the fetch round (run by the SEL poller and by FetchSel),
// the display copy and Clear SEL.
#include "servers/IPMIServer.h"

#include "transport/CommandTable.h"

#include <cstdio>
#include <exception>

namespace
{
std::size_t ResponseLength(const tagIPMI_REPLY& reply)
{
    return reply.length >= 3 ? static_cast<std::size_t>(reply.length) - 3 : 0;
}

WORD ResponseWord(const tagIPMI_REPLY& reply, std::size_t offset)
{
    return static_cast<WORD>(reply.data[2 + offset] | reply.data[3 + offset] << 8);
}

bool IsLastRecordId(WORD id)
{
    return id == 0xFFFF || id == 0xFFFE;
}

// Next record ID (2 bytes) and the 16-byte entry (IPMI v2.0, 31.5).
constexpr std::size_t SEL_ENTRY_RESPONSE = 2 + SEL_ENTRY_SIZE;
constexpr int SEL_ENTRY_ATTEMPTS = 3;
} // namespace

BOOL CIPMIServer::FetchSel(IMessageSink* sink, UINT completionMessage)
{
    return StartWorker(
        m_selFetchThread, [this, sink, completionMessage] { SelRound(sink, completionMessage); },
        "sel-fetch");
}

void CIPMIServer::SelRound(IMessageSink* sink, UINT completionMessage)
{
    // The poller and a manual fetch may both want a round; they share the resume point and
    // the fetched array, so one runs after the other.
    std::lock_guard<std::mutex> round(m_selRoundLock);
    if (m_selStop.IsSet())
        return;
    tagIPMI_REPLY reply;
    BYTE infoRequest[1] = {ROW_GET_SEL_INFO};
    if (Exchange(infoRequest, sizeof infoRequest, reply, 2, RETRY_PAUSE_MS) != ReplyKind::Good ||
        ResponseLength(reply) < 3)
    {
        PostTo(sink, completionMessage, 0, GetServerTag());
        return;
    }
    const WORD entries = ResponseWord(reply, 1);
    if (entries == 0)
    {
        {
            CCriticalSectionLock lock(m_selLock);
            m_fetchedSel.clear();
        }
        PostTo(sink, completionMessage, 0, GetServerTag());
        return;
    }
    BYTE reserveRequest[1] = {ROW_RESERVE_SEL};
    if (Exchange(reserveRequest, sizeof reserveRequest, reply, 2, RETRY_PAUSE_MS) !=
            ReplyKind::Good ||
        ResponseLength(reply) < 2)
    {
        PostTo(sink, completionMessage, 0, GetServerTag());
        return;
    }
    BYTE request[7] = {ROW_GET_SEL_ENTRY, reply.data[2], reply.data[3], 0x00, 0x00, 0x00, 0xFF};
    auto readEntry = [&](WORD recordId)
    {
        request[3] = static_cast<BYTE>(recordId);
        request[4] = static_cast<BYTE>(recordId >> 8);
        return Exchange(request, sizeof request, reply, SEL_ENTRY_ATTEMPTS, 0) == ReplyKind::Good &&
               ResponseLength(reply) >= SEL_ENTRY_RESPONSE;
    };

    tagSEL_KEY resume = GetSelResumePoint();
    DWORD start = 0;
    WORD previousNext = 0;
    BOOL previousRead = FALSE;
    if (!IsLastRecordId(resume.GetRecordId()) && readEntry(resume.GetRecordId()))
    {
        CSEL entry(reply.data + 4, SEL_ENTRY_SIZE, this);
        if (entry.GetKey() == resume)
        {
            WORD next = ResponseWord(reply, 0);
            if (IsLastRecordId(next))
                return; // nothing new since the last round
            if (next <= entries)
            {
                start = next;
                previousNext = next;
                previousRead = TRUE;
            }
        }
    }
    if (start == 0)
    {
        CCriticalSectionLock lock(m_selLock);
        m_fetchedSel.clear();
    }

    const BOOL quiet = m_selShown.load();
    if (!quiet)
    {
        PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_SET_RANGE, entries);
        char text[80];
        std::snprintf(text, sizeof text, "Get SEL From  %s...", GetName().c_str());
        PostText(sink, WM_VEXA_PROGRESS, PROGRESS_STATUS_TEXT, text);
    }
    for (DWORD i = start; i <= entries; ++i)
    {
        if (m_selStop.IsSet())
            return;
        WORD recordId = i == 0 ? 0 : previousRead ? previousNext : static_cast<WORD>(i);
        if (!readEntry(recordId))
        {
            previousRead = FALSE;
            continue;
        }
        previousRead = TRUE;
        previousNext = ResponseWord(reply, 0);
        if (!IsLastRecordId(ResponseWord(reply, 2)))
        {
            CSEL entry(reply.data + 4, SEL_ENTRY_SIZE, this);
            CCriticalSectionLock lock(m_selLock);
            // Appended under the lock: the views copy this array on their own thread.
            m_fetchedSel.push_back(entry);
            m_resumePoint = entry.GetKey();
            m_selChanged = TRUE;
        }
        if (IsLastRecordId(previousNext))
            break;
        if (!quiet)
        {
            PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_STEP, 0);
            char text[40];
            std::snprintf(text, sizeof text, "Get SEL record : %u", static_cast<unsigned>(i));
            PostText(sink, WM_VEXA_PROGRESS, PROGRESS_STATUS_TEXT, text);
        }
    }
    if (!quiet)
        PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_FINISHED, 0);
    PostTo(sink, completionMessage, 1, GetServerTag());
    PostText(sink, WM_VEXA_LOG_TEXT, 0, "Get SEL sucessfully finished!");
}

void CIPMIServer::SelPollerBody()
{
    for (;;)
    {
        WaitForAnyEvent({&m_selGo, &m_selStop}, INFINITE);
        if (m_selStop.IsSet() || !IsConnected())
            return;
        DWORD interval = m_selInterval.load();
        if (interval != 0)
        {
            try
            {
                SelRound(m_sink, WM_VEXA_SEL_FETCHED);
            }
            catch (const std::exception&)
            {
                if (m_messageBox != nullptr)
                    m_messageBox->MessageBox("Error Occur, SEL polling stopped.", "Error",
                                             MB_OK | MB_ICONERROR);
                return;
            }
        }
        // Polling turned off (interval 0): look again after a second.
        DWORD waitMs = interval != 0 ? interval * 1000 : 1000;
        if (m_firstRoundDone && !WaitInterval(m_selStop, waitMs))
            return;
        m_firstRoundDone = TRUE;
    }
}

void CIPMIServer::CopySelForDisplay()
{
    CCriticalSectionLock lock(m_selLock);
    m_displaySel = m_fetchedSel;
}

std::vector<CSEL> CIPMIServer::GetDisplaySel()
{
    CCriticalSectionLock lock(m_selLock);
    return m_displaySel;
}

std::vector<CSEL> CIPMIServer::GetFetchedSel()
{
    CCriticalSectionLock lock(m_selLock);
    return m_fetchedSel;
}

tagSEL_KEY CIPMIServer::GetSelResumePoint()
{
    CCriticalSectionLock lock(m_selLock);
    return m_resumePoint;
}

void CIPMIServer::ResetSelState()
{
    CCriticalSectionLock lock(m_selLock);
    m_resumePoint = tagSEL_KEY();
    m_fetchedSel.clear();
    m_displaySel.clear();
    m_selChanged = FALSE;
}

BOOL CIPMIServer::ClearSel()
{
    tagIPMI_REPLY reply;
    BYTE reserveRequest[1] = {ROW_RESERVE_SEL};
    if (!SendCommand(reserveRequest, sizeof reserveRequest, reply) ||
        reply.data[1] != IPMI_CC_SUCCESS || ResponseLength(reply) < 2)
        return FALSE;
    // Reservation ID, 'C' 'L' 'R', AAh: initiate erase (IPMI v2.0, 31.9).
    BYTE request[7] = {ROW_CLEAR_SEL, reply.data[2], reply.data[3], 'C', 'L', 'R', 0xAA};
    if (!SendCommand(request, sizeof request, reply) || reply.data[1] != IPMI_CC_SUCCESS)
        return FALSE;
    ResetSelState();
    return TRUE;
}
