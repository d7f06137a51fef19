#include "servers/IPMIServer.h"

#include "platform/Registry.h"
#include "transport/ComConnect.h"
#include "transport/CommandTable.h"

#include <cstdio>
#include <cstring>

namespace
{
constexpr const char* SETTINGS_KEY = "Software\\Vexa\\Tarn";
} // namespace

CSensor* CSensorAccess::FindSensor(BYTE sensorNumber)
{
    for (CSensor& sensor : m_set->sensors)
    {
        if (sensor.GetSensorNumber() == sensorNumber)
            return &sensor;
    }
    return nullptr;
}

CSensor* CSensorAccess::FindSensorByType(BOOL full, BYTE sensorType, int sensorNumber)
{
    const std::vector<int>& list = IndexOfType(full, sensorType);
    for (int index : list)
    {
        if (index < 0 || static_cast<std::size_t>(index) >= m_set->sensors.size())
            continue;
        CSensor& sensor = m_set->sensors[static_cast<std::size_t>(index)];
        if (sensorNumber == -1 || sensor.GetSensorNumber() == sensorNumber)
            return &sensor;
    }
    return nullptr;
}

const std::vector<int>& CSensorAccess::IndexOfType(BOOL full, BYTE sensorType) const
{
    static const std::vector<int> none;
    if (sensorType >= SENSOR_TYPE_TABLES)
        return none;
    return full ? m_set->fullByType[sensorType] : m_set->compactByType[sensorType];
}

BYTE CSensorAccess::GetReading(BYTE sensorNumber) const
{
    return sensorNumber == 0 ? 0 : m_readings[sensorNumber - 1];
}

CIPMIServer::CIPMIServer(const tagSERVER_RECORD& record, tagIPMI_SERVER_ENV env)
    : CServer(record), m_connection(std::move(env.connection)), m_clock(env.clock),
      m_sink(env.sink), m_messageBox(env.messageBox), m_port(env.port),
      m_sensorInterval(env.sensorIntervalSeconds), m_selInterval(env.selIntervalSeconds),
      m_sensors(std::make_unique<tagSENSOR_SET>())
{
    if (!m_connection)
    {
        if (record.connectionType == CONNECTION_TYPE_LAN)
            m_connection = std::make_unique<CLANConnect>(env.transport);
        else if (record.connectionType == CONNECTION_TYPE_COM)
            m_connection = std::make_unique<CComConnect>();
    }
    if (m_clock == nullptr)
        m_clock = &SystemClock();
    if (env.intervalsFromRegistry)
    {
        m_sensorInterval = ReadPollingInterval(env.registryRoot, "Polling Sensors interval",
                                               DEFAULT_SENSOR_POLL_SECONDS);
        m_selInterval =
            ReadPollingInterval(env.registryRoot, "Polling SEL interval", DEFAULT_SEL_POLL_SECONDS);
    }
    m_fruChunk.fill(FRU_READ_CHUNK);
}

CIPMIServer::~CIPMIServer()
{
    // Threads first: they use the connection and every member below.
    StopThreads();
    if (m_connection && IsConnected())
        m_connection->Disconnect();
}

BOOL CIPMIServer::Connect(const tagLAN_CONNECT_PARAM& param)
{
    {
        std::lock_guard<std::mutex> guard(m_loginLock);
        m_loginParam = param;
    }
    m_hasLogin = TRUE;
    if (!m_connection)
        return FALSE;
    // Connect changes the session state, which the threads must not use meanwhile.
    if (IsConnected())
        StopThreads();
    if (!m_connection->Connect(GetIpAddress(), m_port, param))
        return FALSE;
    RaiseSessionPrivilege(param.privilegeLevel);
    m_connectTime = std::time(nullptr);
    m_standardReadings = FALSE;
    SetConnected(TRUE);

    StartConnectionThreads();
    return TRUE;
}

// An RMCP+ session starts at User privilege (IPMI v2.0, 13.17 and 22.18): a standard BMC
// (ipmi_sim among them) refuses Chassis Control, Clear SEL and Set Sensor Thresholds with
// D4h until the console asks for more. Ask once for the level the operator logged in with;
// a refusal leaves the session as it is, and the commands report their own failures.
void CIPMIServer::RaiseSessionPrivilege(BYTE privilege)
{
    if (privilege <= PRIVILEGE_USER)
        return;
    const BYTE request[] = {ROW_SET_SESSION_PRIVILEGE, privilege};
    tagIPMI_REPLY reply;
    Exchange(request, sizeof request, reply, 1, 0);
}

void CIPMIServer::StartConnectionThreads()
{
    {
        std::lock_guard<std::mutex> guard(m_threadStartLock);
        m_sensorPoller.Start(
            [this](CEvent&)
            {
                SensorPollerBody();
                return DWORD{0};
            },
            "sensor-poller");
        m_selPoller.Start(
            [this](CEvent&)
            {
                SelPollerBody();
                return DWORD{0};
            },
            "sel-poller");
    }
    Pause(CONNECT_PAUSE_MS);
    {
        std::lock_guard<std::mutex> guard(m_threadStartLock);
        m_keepAlive.Start(
            [this](CEvent&)
            {
                KeepAliveBody();
                return DWORD{0};
            },
            "keep-alive");
    }
    Pause(CONNECT_PAUSE_MS);
}

BOOL CIPMIServer::Reconnect()
{
    if (!m_hasLogin || !m_connection)
        return FALSE;
    tagLAN_CONNECT_PARAM param = GetLoginParam();
    // The connection may not change its session while another thread sends on it, so the
    // threads are stopped around the new login and then carry on as they were.
    BOOL running = m_sensorPoller.IsRunning() || m_selPoller.IsRunning() || m_keepAlive.IsRunning();
    BOOL sensorGo = m_sensorGo.IsSet();
    BOOL selGo = m_selGo.IsSet();
    BOOL paused = m_keepAlivePaused.IsSet();
    if (running)
        StopThreads();
    BOOL connected = m_connection->Connect(GetIpAddress(), m_port, param);
    if (connected)
    {
        RaiseSessionPrivilege(param.privilegeLevel);
        m_connectTime = std::time(nullptr);
    }
    if (running)
    {
        if (paused)
            PauseKeepAlive();
        StartConnectionThreads();
        StartPolling(sensorGo, selGo);
    }
    return connected;
}

BOOL CIPMIServer::Disconnect()
{
    // The threads are stopped before the session is closed: the connection may not be
    // disconnected while another thread sends on it. No thread is ever terminated (every
    // wait is bounded or ends on its stop event, every command is bounded by the
    // transport), so no exchange lock can be left abandoned and it is never replaced.
    StopThreads();
    if (m_connection && !m_connection->Disconnect())
        return FALSE;
    SetConnected(FALSE);
    m_firstRoundDone = FALSE;
    return TRUE;
}

BOOL CIPMIServer::SendCommand(const BYTE* request, std::size_t length, tagIPMI_REPLY& reply)
{
    if (!m_connection)
        return FALSE;
    return m_connection->SendCommand(request, length, reply);
}

std::string FormatDeviceGuid(const BYTE* b)
{
    char text[64];
    std::snprintf(text, sizeof text,
                  "{%.2X%.2X%.2X%.2X-%.2X%.2X-%.2X%.2X-%.2X%.2X-%.2X%.2X%.2X%.2X%.2X%.2X}", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}

BOOL CIPMIServer::ReadDeviceGuid(std::string& text)
{
    BYTE request[1] = {ROW_GET_DEVICE_GUID};
    tagIPMI_REPLY reply;
    if (!SendCommand(request, sizeof request, reply))
        return FALSE;
    // A BMC without the device GUID (IPMI v2.0, 20.8 is optional) answers C1h; its system GUID
    // (22.14) names the managed system just as well.
    if (reply.data[1] == IPMI_CC_INVALID_COMMAND)
    {
        request[0] = ROW_GET_SYSTEM_GUID;
        if (!SendCommand(request, sizeof request, reply))
            return FALSE;
    }
    // Completion code, 16 bytes and the checksum.
    if (reply.data[1] != IPMI_CC_SUCCESS || reply.length < 19)
        return FALSE;
    text = FormatDeviceGuid(reply.data + 2);
    SetGuidText(text);
    return TRUE;
}

CIPMIServer::ReplyKind CIPMIServer::Exchange(const BYTE* request, std::size_t length,
                                             tagIPMI_REPLY& reply, int attempts, DWORD pauseMs)
{
    ReplyKind kind = ReplyKind::None;
    for (int attempt = 0; attempt < attempts; ++attempt)
    {
        if (attempt > 0 && pauseMs > 0)
            Pause(pauseMs);
        if (!SendCommand(request, length, reply))
            continue;
        if (reply.data[1] == IPMI_CC_SUCCESS)
            return ReplyKind::Good;
        kind = ReplyKind::Error;
    }
    return kind;
}

void CIPMIServer::Pause(DWORD milliseconds)
{
    m_clock->Sleep(milliseconds);
}

BOOL CIPMIServer::WaitInterval(CEvent& stop, DWORD milliseconds)
{
    // With the system clock each step waits on the stop event itself, so a stop ends the
    // wait at once; an injected clock is stepped through its Sleep.
    const bool realTime = m_clock == &SystemClock();
    for (DWORD waited = 0; waited < milliseconds; waited += WAIT_STEP_MS)
    {
        if (stop.IsSet())
            return FALSE;
        DWORD step = milliseconds - waited < WAIT_STEP_MS ? milliseconds - waited : WAIT_STEP_MS;
        if (realTime)
        {
            if (stop.Wait(step) == WAIT_OBJECT_0)
                return FALSE;
        }
        else
        {
            m_clock->Sleep(step);
        }
    }
    return stop.IsSet() ? FALSE : TRUE;
}

BOOL CIPMIServer::StartWorker(CWorkerThread& thread, std::function<void()> body, const char* name)
{
    std::lock_guard<std::mutex> guard(m_threadStartLock);
    auto started = std::make_shared<CEvent>(FALSE, FALSE);
    BOOL ok = thread.Start(
        [started, body = std::move(body)](CEvent&)
        {
            started->Set();
            body();
            return DWORD{0};
        },
        name);
    if (!ok)
        return FALSE;
    started->Wait(THREAD_START_WAIT_MS);
    return TRUE;
}

void CIPMIServer::StopThreads()
{
    std::lock_guard<std::mutex> guard(m_threadStartLock);
    // Joins without a limit are safe here: each body ends within one bounded wait or one
    // bounded command of its stop event being set.
    m_sensorStop.Set();
    m_sdrThread.Join(INFINITE);
    m_selStop.Set();
    m_selFetchThread.Join(INFINITE);

    m_sensorGo.Set();
    m_sensorStop.Set();
    m_sensorPoller.Join(INFINITE);
    m_selGo.Set();
    m_selStop.Set();
    m_selPoller.Join(INFINITE);
    m_sensorGo.Reset();
    m_sensorStop.Reset();
    m_selGo.Reset();
    m_selStop.Reset();

    m_keepAliveStop.Set();
    ResumeKeepAlive();
    m_keepAlive.Join(INFINITE);
    m_keepAliveStop.Reset();
}

void CIPMIServer::PostTo(IMessageSink* sink, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (sink != nullptr)
        sink->Post(message, wParam, lParam);
}

void CIPMIServer::PostText(IMessageSink* sink, UINT message, WPARAM wParam, const std::string& text)
{
    if (sink == nullptr)
        return;
    LPARAM payload = MakeMessageText(text);
    if (!sink->Post(message, wParam, payload))
        TakeMessageText(payload); // not queued: still ours to free
}

void CIPMIServer::StartPolling(BOOL sensors, BOOL sel)
{
    if (sensors)
        m_sensorGo.Set();
    if (sel)
        m_selGo.Set();
}

void CIPMIServer::SetSensorInterval(DWORD seconds)
{
    m_sensorInterval = seconds;
}

void CIPMIServer::SetSelInterval(DWORD seconds)
{
    m_selInterval = seconds;
}

tagLAN_CONNECT_PARAM CIPMIServer::GetLoginParam()
{
    std::lock_guard<std::mutex> guard(m_loginLock);
    return m_loginParam;
}

void CIPMIServer::PauseKeepAlive()
{
    m_keepAlivePaused.Set();
}

void CIPMIServer::ResumeKeepAlive()
{
    m_keepAlivePaused.Reset();
    m_keepAliveTrigger.Set();
}

void CIPMIServer::KeepAliveBody()
{
    while (!m_keepAliveStop.IsSet())
    {
        if (!m_keepAlivePaused.IsSet())
        {
            PollChassisStatus();
            WaitInterval(m_keepAliveStop, KEEP_ALIVE_PERIOD_MS);
        }
        else
        {
            WaitForAnyEvent({&m_keepAliveTrigger, &m_keepAliveStop}, INFINITE);
            if (m_keepAliveStop.IsSet())
                break;
            PollChassisStatus();
        }
    }
}

void CIPMIServer::PollChassisStatus()
{
    BYTE request[1] = {ROW_GET_CHASSIS_STATUS};
    tagIPMI_REPLY reply;
    if (SendCommand(request, sizeof request, reply) && reply.data[1] == IPMI_CC_SUCCESS &&
        reply.length >= 4)
        m_powerState = reply.data[2] & 0x01;
}

DWORD ReadPollingInterval(HKEY root, const char* valueName, DWORD defaultSeconds)
{
    HKEY key = nullptr;
    if (RegCreateKeyEx(root, SETTINGS_KEY, KEY_QUERY_VALUE | KEY_SET_VALUE, &key, nullptr) !=
        ERROR_SUCCESS)
        return defaultSeconds;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    LONG result = RegQueryValueEx(key, valueName, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (result == ERROR_FILE_NOT_FOUND)
    {
        value = defaultSeconds;
        RegSetValueEx(key, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                      sizeof value);
    }
    else if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value ||
             static_cast<LONG>(value) <= 0)
    {
        value = defaultSeconds;
    }
    RegCloseKey(key);
    return value;
}
