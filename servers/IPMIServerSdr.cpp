// The SDR load thread, the sensor set and the sensor poller of CIPMIServer.
#include "servers/IPMIServer.h"

#include "transport/CommandTable.h"

#include <algorithm>
#include <cstring>

namespace
{
constexpr WORD SDR_LAST_RECORD = 0xFFFF;
// Batches one round may ask for before the round is taken as broken: the start index is one
// byte, so a BMC that answers sensibly ends well within this.
constexpr int BATCH_REQUEST_LIMIT = 256;
constexpr BYTE READING_UNAVAILABLE = SENSOR_NO_READING;
// Completion codes by which a BMC refuses to return a whole record in one reply (IPMI v2.0,
// 33.12 and table 5-2): "cannot return the number of requested data bytes" and "request
// data field length exceeded".
constexpr BYTE IPMI_CC_CANNOT_RETURN_BYTES = 0xCA;
constexpr BYTE IPMI_CC_LENGTH_EXCEEDED = 0xC8;
constexpr std::size_t SDR_HEADER_SIZE = 5;
constexpr BYTE SDR_PIECE = 16;
constexpr BYTE SENSOR_READING_SCANNING_DISABLED = 0x20; // response byte 1 bit 5 (IPMI v2.0, 35.14)

// Response data bytes of a reply: completion code and checksum excluded.
std::size_t ResponseLength(const tagIPMI_REPLY& reply)
{
    return reply.length >= 3 ? static_cast<std::size_t>(reply.length) - 3 : 0;
}

WORD ResponseWord(const tagIPMI_REPLY& reply, std::size_t offset)
{
    return static_cast<WORD>(reply.data[2 + offset] | reply.data[3 + offset] << 8);
}
} // namespace

CSensorAccess CIPMIServer::AccessSensors()
{
    return CSensorAccess(m_sensorLock, m_sensors.get(), m_readings);
}

std::vector<CSensor> CIPMIServer::CopySensors()
{
    std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
    return m_sensors->sensors;
}

void CIPMIServer::BuildTypeIndex(tagSENSOR_SET& set)
{
    for (auto& list : set.fullByType)
        list.clear();
    for (auto& list : set.compactByType)
        list.clear();
    for (std::size_t i = 0; i < set.sensors.size(); ++i)
    {
        const CSensor& sensor = set.sensors[i];
        BYTE type = sensor.GetSensorType();
        if (type >= SENSOR_TYPE_TABLES)
            continue;
        BYTE recordType = sensor.GetByte(SDR_OFFSET_RECORD_TYPE);
        if (recordType == SDR_TYPE_FULL)
            set.fullByType[type].push_back(static_cast<int>(i));
        else if (recordType == SDR_TYPE_COMPACT)
            set.compactByType[type].push_back(static_cast<int>(i));
    }
}

void CIPMIServer::IndexSensorsByType()
{
    std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
    BuildTypeIndex(*m_sensors);
}

void CIPMIServer::ApplyReadings()
{
    // Threshold comparison bits 0-5 (below lower non-critical, critical, non-recoverable;
    // above upper non-critical, critical, non-recoverable; IPMI v2.0, 35.14) and the event
    // offsets that assert and deassert each (IPMI v2.0, table 42-2).
    static const BYTE asserted[6] = {0x00, 0x02, 0x04, 0x07, 0x09, 0x0B};
    static const BYTE deasserted[6] = {0x01, 0x03, 0x05, 0x06, 0x08, 0x0A};
    std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
    for (CSensor& sensor : m_sensors->sensors)
    {
        BYTE number = sensor.GetSensorNumber();
        if (number == 0)
            continue;
        sensor.SetRawReading(m_readings[number - 1]);
        // A standard BMC reports threshold crossings with each reading: apply them to the
        // sensor's state as the events they stand for, so its status follows the BMC's.
        BYTE now = m_comparison[number - 1];
        BYTE before = m_appliedComparison[number - 1];
        if (now == before || GetEventTypeClass(sensor.GetEventType()) != EVENT_CLASS_THRESHOLD)
            continue;
        for (int bit = 5; bit >= 0; --bit)
            if ((before & ~now) & (1 << bit))
                sensor.ApplyEventOffset(deasserted[bit]);
        for (int bit = 0; bit < 6; ++bit)
            if ((now & ~before) & (1 << bit))
                sensor.ApplyEventOffset(asserted[bit]);
        m_appliedComparison[number - 1] = now;
    }
}

void CIPMIServer::AddSdrRecord(tagSENSOR_SET& set, const BYTE* record, std::size_t length)
{
    if (length <= SDR_OFFSET_RECORD_TYPE)
        return;
    BYTE type = record[SDR_OFFSET_RECORD_TYPE];
    if (type == SDR_TYPE_FULL || type == SDR_TYPE_COMPACT)
    {
        set.sensors.emplace_back(record, std::min(length, SDR_RECORD_SIZE));
    }
    else if (type == SDR_TYPE_FRU_LOCATOR)
    {
        tagFRU_LOCATOR locator;
        std::memcpy(locator.bytes, record, std::min(length, FRU_LOCATOR_SIZE));
        set.fruLocators.push_back(locator);
    }
}

BOOL CIPMIServer::LoadSdr(IMessageSink* sink, UINT completionMessage)
{
    if (m_sdrLoaded)
    {
        m_selShown = TRUE;
        return TRUE;
    }
    return StartWorker(
        m_sdrThread, [this, sink, completionMessage] { SdrLoadBody(sink, completionMessage); },
        "sdr-load");
}

void CIPMIServer::FailSdrLoad(IMessageSink* sink, UINT completionMessage)
{
    {
        std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
        m_sensors = std::make_unique<tagSENSOR_SET>();
    }
    m_sdrLoaded = FALSE;
    PostTo(sink, completionMessage, 0, GetServerTag());
}

void CIPMIServer::SdrLoadBody(IMessageSink* sink, UINT completionMessage)
{
    if (m_sensorStop.IsSet())
        return;
    tagIPMI_REPLY reply;
    BYTE infoRequest[1] = {ROW_GET_SDR_REPOSITORY_INFO};
    if (Exchange(infoRequest, sizeof infoRequest, reply, 2, RETRY_PAUSE_MS) != ReplyKind::Good ||
        ResponseLength(reply) < 3)
    {
        FailSdrLoad(sink, completionMessage);
        return;
    }
    const WORD count = ResponseWord(reply, 1);
    PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_SET_RANGE, count);
    PostText(sink, WM_VEXA_PROGRESS, PROGRESS_STATUS_TEXT, "Get SDR from the server....");

    BYTE reserveRequest[1] = {ROW_RESERVE_SDR_REPOSITORY};
    if (Exchange(reserveRequest, sizeof reserveRequest, reply, 2, RETRY_PAUSE_MS) !=
            ReplyKind::Good ||
        ResponseLength(reply) < 2)
    {
        FailSdrLoad(sink, completionMessage);
        return;
    }

    // The new set is built aside and swapped in whole, so readers never see part of it.
    auto set = std::make_unique<tagSENSOR_SET>();
    BYTE request[7] = {ROW_GET_SDR, reply.data[2], reply.data[3], 0x00, 0x00, 0x00, 0xFF};
    WORD recordId = 0x0000;
    std::vector<BYTE> piecewise;
    WORD next = 0;
    bool piecesOnly = false;
    for (WORD n = 0; n < count; ++n)
    {
        if (m_sensorStop.IsSet())
            return;
        request[3] = static_cast<BYTE>(recordId);
        request[4] = static_cast<BYTE>(recordId >> 8);
        // Once the BMC has refused a whole record for its length, read every record in
        // pieces: asking again would cost a refusal and a retry pause per record.
        if (piecesOnly)
        {
            if (!ReadSdrInPieces(request + 1, recordId, piecewise, next))
            {
                PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_FINISHED, 0);
                PostText(sink, WM_VEXA_LOG_TEXT, 0, "Get SDR failed, try connect once again!\n");
                FailSdrLoad(sink, completionMessage);
                return;
            }
            AddSdrRecord(*set, piecewise.data(), piecewise.size());
            PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_STEP, 0);
            recordId = next;
            if (recordId == SDR_LAST_RECORD)
                break;
            continue;
        }
        // Two attempts 100 ms apart, except when the first answer says the record is too
        // long for one reply: it is then read in pieces at once.
        ReplyKind kind = Exchange(request, sizeof request, reply, 1, 0);
        if (kind == ReplyKind::None ||
            (kind == ReplyKind::Error && reply.data[1] != IPMI_CC_CANNOT_RETURN_BYTES &&
             reply.data[1] != IPMI_CC_LENGTH_EXCEEDED))
        {
            Pause(RETRY_PAUSE_MS);
            kind = Exchange(request, sizeof request, reply, 1, 0);
        }
        if (kind == ReplyKind::Good && ResponseLength(reply) >= 2)
        {
            AddSdrRecord(*set, reply.data + 4, ResponseLength(reply) - 2);
            PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_STEP, 0);
            recordId = ResponseWord(reply, 0);
            // The repository ended before its count did (it shrank since Get SDR
            // Repository Info): what was read is the whole repository.
            if (recordId == SDR_LAST_RECORD)
                break;
        }
        else if (kind == ReplyKind::Error && reply.data[1] == IPMI_CC_INVALID_DATA_FIELD)
        {
            PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_STEP, 0);
            recordId = static_cast<WORD>((recordId & 0xFF00) | ((recordId + 1) & 0x00FF));
        }
        else if (kind == ReplyKind::Error &&
                 (reply.data[1] == IPMI_CC_CANNOT_RETURN_BYTES ||
                  reply.data[1] == IPMI_CC_LENGTH_EXCEEDED) &&
                 ReadSdrInPieces(request + 1, recordId, piecewise, next))
        {
            // ipmi_sim refuses whole-record reads of records longer than about 33 bytes
            // with CAh, as BMCs with small message buffers do: the record was read in pieces.
            AddSdrRecord(*set, piecewise.data(), piecewise.size());
            PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_STEP, 0);
            piecesOnly = true;
            recordId = next;
            if (recordId == SDR_LAST_RECORD)
                break;
        }
        else
        {
            PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_FINISHED, 0);
            PostText(sink, WM_VEXA_LOG_TEXT, 0, "Get SDR failed, try connect once again!\n");
            FailSdrLoad(sink, completionMessage);
            return;
        }
    }

    BuildTypeIndex(*set);
    {
        std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
        m_sensors = std::move(set);
        // The new sensors start with no asserted state.
        std::memset(m_appliedComparison, 0, sizeof m_appliedComparison);
    }
    ApplyReadings();
    m_sdrLoaded = TRUE;
    SetConnected(TRUE);
    PostText(sink, WM_VEXA_LOG_TEXT, 0, "Get SDR successfully fininshed!\n");
    PostTo(sink, WM_VEXA_PROGRESS, PROGRESS_FINISHED, 0);
    PostTo(sink, completionMessage, 0, GetServerTag());
}

BOOL CIPMIServer::ReadSdrInPieces(const BYTE reservation[2], WORD recordId,
                                  std::vector<BYTE>& record, WORD& next)
{
    record.clear();
    BYTE request[7] = {ROW_GET_SDR,
                       reservation[0],
                       reservation[1],
                       static_cast<BYTE>(recordId),
                       static_cast<BYTE>(recordId >> 8),
                       0,
                       static_cast<BYTE>(SDR_HEADER_SIZE)};
    tagIPMI_REPLY reply;
    // The header first: it gives the record's length (byte 4 counts the bytes after it).
    if (Exchange(request, sizeof request, reply, 2, RETRY_PAUSE_MS) != ReplyKind::Good ||
        ResponseLength(reply) < 2 + SDR_HEADER_SIZE)
        return FALSE;
    next = ResponseWord(reply, 0);
    record.assign(reply.data + 4, reply.data + 4 + SDR_HEADER_SIZE);
    const std::size_t total = SDR_HEADER_SIZE + record[4];
    while (record.size() < total)
    {
        if (m_sensorStop.IsSet())
            return FALSE;
        const std::size_t want = std::min<std::size_t>(SDR_PIECE, total - record.size());
        request[5] = static_cast<BYTE>(record.size());
        request[6] = static_cast<BYTE>(want);
        if (Exchange(request, sizeof request, reply, 2, RETRY_PAUSE_MS) != ReplyKind::Good ||
            ResponseLength(reply) < 3)
            return FALSE;
        // Never more than was asked for, and at least one byte, so the loop always advances.
        const std::size_t got = std::min(want, ResponseLength(reply) - 2);
        record.insert(record.end(), reply.data + 4, reply.data + 4 + got);
    }
    return TRUE;
}

BOOL CIPMIServer::ReadBatchReadings(BYTE (&readings)[SENSOR_READINGS])
{
    BYTE request[2] = {ROW_OEM_BATCH_READINGS, 0x00};
    tagIPMI_REPLY reply;
    for (int batch = 0; batch < BATCH_REQUEST_LIMIT; ++batch)
    {
        if (m_sensorStop.IsSet())
            return FALSE;
        if (!SendCommand(request, sizeof request, reply))
            return FALSE;
        if (reply.data[1] != IPMI_CC_SUCCESS)
        {
            // A standard BMC has no such command (ipmi_sim answers C1h, invalid command):
            // from now on this server is read sensor by sensor.
            if (batch == 0)
            {
                m_standardReadings = TRUE;
                return ReadStandardReadings(readings);
            }
            return FALSE;
        }
        std::size_t available = ResponseLength(reply);
        std::size_t pairs = reply.data[IPMI_REPLY_BATCH_COUNT];
        if (available == 0)
            return FALSE;
        pairs = std::min(pairs, (available - 1) / 2);
        for (std::size_t i = 0; i < pairs; ++i)
        {
            BYTE number = reply.data[3 + 2 * i];
            if (number != 0)
                readings[number - 1] = reply.data[4 + 2 * i];
        }
        BYTE next = reply.data[2];
        if (next == 0xFF)
            return TRUE;
        request[1] = next;
    }
    return FALSE;
}

BOOL CIPMIServer::ReadStandardReadings(BYTE (&readings)[SENSOR_READINGS])
{
    struct tagTARGET
    {
        BYTE number;
        BOOL threshold;
    };
    std::vector<tagTARGET> targets;
    {
        std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
        for (const CSensor& sensor : m_sensors->sensors)
        {
            if (sensor.GetSensorNumber() != 0)
                targets.push_back(
                    {sensor.GetSensorNumber(),
                     GetEventTypeClass(sensor.GetEventType()) == EVENT_CLASS_THRESHOLD});
        }
    }
    BYTE request[2] = {ROW_GET_SENSOR_READING, 0x00};
    tagIPMI_REPLY reply;
    BYTE comparison[SENSOR_READINGS] = {};
    for (const tagTARGET& target : targets)
    {
        if (m_sensorStop.IsSet())
            return FALSE;
        request[1] = target.number;
        if (!SendCommand(request, sizeof request, reply))
            return FALSE;
        BYTE value = READING_UNAVAILABLE;
        std::size_t available = ResponseLength(reply);
        // Response: reading, flags, state bits 0-7, state bits 8-14 (IPMI v2.0, 35.14).
        if (reply.data[1] == IPMI_CC_SUCCESS && available >= 2 &&
            (reply.data[3] & SENSOR_READING_SCANNING_DISABLED) == 0)
        {
            if (target.threshold)
            {
                value = reply.data[2];
                if (available >= 3)
                    comparison[target.number - 1] = reply.data[4] & 0x3F;
            }
            else if (available >= 3)
                value = reply.data[4];
        }
        readings[target.number - 1] = value;
    }
    std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
    std::memcpy(m_comparison, comparison, sizeof m_comparison);
    return TRUE;
}

void CIPMIServer::SensorPollerBody()
{
    for (;;)
    {
        WaitForAnyEvent({&m_sensorGo, &m_sensorStop}, INFINITE);
        if (m_sensorStop.IsSet() || !IsConnected())
            return;
        BYTE readings[SENSOR_READINGS];
        {
            std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
            std::memcpy(readings, m_readings, sizeof readings);
        }
        BOOL ok = m_standardReadings ? ReadStandardReadings(readings) : ReadBatchReadings(readings);
        {
            std::lock_guard<std::recursive_mutex> guard(m_sensorLock);
            std::memcpy(m_readings, readings, sizeof readings);
        }
        if (ok && m_sdrLoaded)
            ApplyReadings();
        m_readingsAvailable = TRUE;
        // Sent, so that the poller goes on only once the views have read the readings; in
        // slices, so that a user-interface thread busy stopping this poller is not waited for.
        if (m_sink != nullptr)
        {
            LRESULT result = 0;
            while (!m_sensorStop.IsSet() &&
                   m_sink->Send(WM_VEXA_READINGS_UPDATED, reinterpret_cast<WPARAM>(this), 0,
                                SEND_SLICE_MS, &result) == SinkResult::TimedOut)
            {
            }
        }
        if (m_firstRoundDone)
        {
            if (!WaitInterval(m_sensorStop, m_sensorInterval.load() * 1000))
                return;
        }
        m_firstRoundDone = TRUE;
    }
}
