#pragma once
// CIPMIServer: one managed server reached by IPMI over LAN. Owns its connection, the sensor
// records of its SDR repository, the event-log entries of its SEL, its FRU inventory and five
// worker threads: the SDR load and the manual SEL fetch (one-shot), the sensor poller, the SEL
// poller and the keep-alive thread. Owned by the document; the frame drives it from the
// user-interface thread and the threads report through an IMessageSink (ServersMessages.h).
// Locks: m_sensorLock guards the sensor set and the readings table (readers use
// AccessSensors); m_selLock guards both SEL arrays and the resume point; m_selRoundLock makes
// SEL fetch rounds one at a time; m_fruLock guards the FRU cache; m_threadStartLock makes thread
// starts and stops one at a time. No lock is held across a Send to the sink. Flags are atomics.
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/RegistryTypes.h"
#include "platform/Sync.h"
#include "platform/WorkerThread.h"
#include "servers/FruRecord.h"
#include "servers/SEL.h"
#include "servers/Sensor.h"
#include "servers/ServersMessages.h"
#include "shell/Server.h"
#include "transport/IPMIConnect.h"
#include "transport/LANConnect.h"

#include <array>
#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr DWORD DEFAULT_SENSOR_POLL_SECONDS = 5;
constexpr DWORD DEFAULT_SEL_POLL_SECONDS = 10;
constexpr std::size_t SENSOR_TYPE_TABLES = 255; // sensor types 0..254
constexpr std::size_t SENSOR_READINGS = 255;    // sensor numbers 1..255
constexpr std::size_t FRU_LOCATOR_SIZE = 32;

// What a server object is built with besides its record; tests pass their own.
struct tagIPMI_SERVER_ENV
{
    // The connection; when null, a CLANConnect (over transport) for connection type 0, a
    // CComConnect for type 1, none for other types.
    std::unique_ptr<CIPMIConnect> connection;
    tagTRANSPORT_ENV transport;
    WORD port = CLANConnect::IPMI_LAN_PORT;
    IClock* clock = &SystemClock();
    // Receives the pollers' and keep-alive's messages; null drops them. Must outlive the server.
    IMessageSink* sink = nullptr;
    // Shows "Error Occur, SEL polling stopped."; null shows nothing.
    IMessageBoxService* messageBox = nullptr;
    // Polling intervals in seconds; read from the registry (under registryRoot) when asked.
    BOOL intervalsFromRegistry = TRUE;
    HKEY registryRoot = HKEY_LOCAL_MACHINE;
    DWORD sensorIntervalSeconds = DEFAULT_SENSOR_POLL_SECONDS;
    DWORD selIntervalSeconds = DEFAULT_SEL_POLL_SECONDS;
};

struct tagFRU_LOCATOR
{
    BYTE bytes[FRU_LOCATOR_SIZE] = {}; // the first 32 bytes of a type 11h record
};

// The sensor records of one SDR load, as they are swapped in whole.
struct tagSENSOR_SET
{
    std::vector<CSensor> sensors; // full and compact records, in repository order
    std::vector<tagFRU_LOCATOR> fruLocators;
    // Indices into sensors by sensor type, for full and for compact records.
    std::array<std::vector<int>, SENSOR_TYPE_TABLES> fullByType;
    std::array<std::vector<int>, SENSOR_TYPE_TABLES> compactByType;
};

class CIPMIServer;

// Read access to a server's sensors: holds the server's sensor lock while it lives, so keep it
// for one view update and never across a Send or a command. Pointers it hands out are valid
// only while it lives.
class CSensorAccess
{
public:
    CSensorAccess(CSensorAccess&&) = default;

    std::size_t Count() const { return m_set->sensors.size(); }
    CSensor& At(std::size_t index) { return m_set->sensors[index]; }
    // The first sensor with that number; null when none.
    CSensor* FindSensor(BYTE sensorNumber);
    // From the full (TRUE) or compact table of sensorType: the first sensor of the list when
    // sensorNumber is -1, else the first one with that number; null when none.
    CSensor* FindSensorByType(BOOL full, BYTE sensorType, int sensorNumber);
    const std::vector<int>& IndexOfType(BOOL full, BYTE sensorType) const;
    const std::vector<tagFRU_LOCATOR>& FruLocators() const { return m_set->fruLocators; }
    // The readings table entry of a sensor number (1..255); 0 for sensor number 0.
    BYTE GetReading(BYTE sensorNumber) const;

private:
    friend class CIPMIServer;
    CSensorAccess(std::recursive_mutex& lock, tagSENSOR_SET* set, const BYTE* readings)
        : m_guard(lock), m_set(set), m_readings(readings)
    {
    }

    std::unique_lock<std::recursive_mutex> m_guard;
    tagSENSOR_SET* m_set;
    const BYTE* m_readings;
};

class CIPMIServer final : public CServer
{
public:
    static constexpr DWORD RETRY_PAUSE_MS = 100;
    static constexpr DWORD CONNECT_PAUSE_MS = 300;
    static constexpr DWORD KEEP_ALIVE_PERIOD_MS = 7000;
    static constexpr DWORD WAIT_STEP_MS = 100;
    static constexpr DWORD THREAD_START_WAIT_MS = 5000;
    // How long one attempt to deliver 1435 waits for the user-interface thread before the
    // poller looks at its stop event again.
    static constexpr DWORD SEND_SLICE_MS = 100;

    explicit CIPMIServer(const tagSERVER_RECORD& record, tagIPMI_SERVER_ENV env = {});
    ~CIPMIServer() override;

    // Logs in and starts the pollers (idle until StartPolling) and the keep-alive thread.
    BOOL Connect(const tagLAN_CONNECT_PARAM& param);
    BOOL Reconnect() override;
    BOOL Disconnect() override;
    int GetPowerState() override { return m_powerState.load(); }

    // One command through the connection; FALSE when there is none or no reply came.
    BOOL SendCommand(const BYTE* request, std::size_t length, tagIPMI_REPLY& reply);
    // Get Device GUID, or Get System GUID from a BMC that lacks the first; on success the GUID
    // text is stored (and returned).
    BOOL ReadDeviceGuid(std::string& text);

    // Starts the SDR load thread, which reports to sink (completion message with the tag).
    // When the SDR is already loaded nothing is read: the SEL-shown flag is set instead.
    BOOL LoadSdr(IMessageSink* sink, UINT completionMessage = WM_VEXA_SDR_LOADED);
    // Starts a one-off SEL fetch thread.
    BOOL FetchSel(IMessageSink* sink, UINT completionMessage = WM_VEXA_SEL_FETCHED);
    // Sets the go events of the pollers (the frame does it once the SDR is loaded).
    void StartPolling(BOOL sensors, BOOL sel);
    // Intervals in seconds; a SEL interval of 0 turns event-log polling off.
    void SetSensorInterval(DWORD seconds);
    void SetSelInterval(DWORD seconds);
    DWORD GetSensorInterval() const { return m_sensorInterval.load(); }
    DWORD GetSelInterval() const { return m_selInterval.load(); }

    CSensorAccess AccessSensors();
    // A copy of the sensors as they are now.
    std::vector<CSensor> CopySensors();
    // Rebuilds the per-type index tables of the current sensor set.
    void IndexSensorsByType();
    // Copies the readings table into the sensors' raw readings.
    void ApplyReadings();

    void CopySelForDisplay();
    std::vector<CSEL> GetDisplaySel();
    std::vector<CSEL> GetFetchedSel();
    tagSEL_KEY GetSelResumePoint();
    // Reserve SEL + Clear SEL; on success also forgets the resume point, both arrays and
    // the SEL-changed flag.
    BOOL ClearSel();
    void ResetSelState();

    // The cached inventory of FRU device 0..47, read on first use; null on failure.
    const CFruRecord* ReadFruRecord(UINT deviceId);
    // The request size that worked for a device (48 until a smaller one was needed).
    BYTE GetFruChunkSize(UINT deviceId);

    void PauseKeepAlive();
    void ResumeKeepAlive();

    BOOL HasLogin() const { return m_hasLogin.load(); }
    BOOL IsSdrLoaded() const { return m_sdrLoaded.load(); }
    BOOL AreReadingsAvailable() const { return m_readingsAvailable.load(); }
    BOOL IsSelChanged() const { return m_selChanged.load(); }
    BOOL IsSelShown() const { return m_selShown.load(); }
    void SetSelShown(BOOL shown) { m_selShown.store(shown); }
    BOOL IsFirstRoundDone() const { return m_firstRoundDone.load(); }
    // Whether the pollers read with Get Sensor Reading because the BMC refused the batch.
    BOOL UsesStandardReadings() const { return m_standardReadings.load(); }
    std::time_t GetConnectTime() const { return m_connectTime.load(); }
    tagLAN_CONNECT_PARAM GetLoginParam();
    // For diagnostics (LastReason) and tests; null for connection types without one.
    CIPMIConnect* GetConnection() { return m_connection.get(); }

private:
    enum class ReplyKind
    {
        None,  // no reply at all
        Good,  // completion code 0
        Error, // a reply with another completion code
    };

    ReplyKind Exchange(const BYTE* request, std::size_t length, tagIPMI_REPLY& reply, int attempts,
                       DWORD pauseMs);
    // Waits milliseconds in steps; FALSE when stop was set (at once).
    BOOL WaitInterval(CEvent& stop, DWORD milliseconds);
    void Pause(DWORD milliseconds);
    BOOL StartWorker(CWorkerThread& thread, std::function<void()> body, const char* name);
    // The pollers (idle until their go events) and the keep-alive thread, with the pauses.
    void StartConnectionThreads();
    void RaiseSessionPrivilege(BYTE privilege);
    void StopThreads();
    void PostTo(IMessageSink* sink, UINT message, WPARAM wParam, LPARAM lParam);
    void PostText(IMessageSink* sink, UINT message, WPARAM wParam, const std::string& text);

    // Thread bodies and their steps.
    void SdrLoadBody(IMessageSink* sink, UINT completionMessage);
    void FailSdrLoad(IMessageSink* sink, UINT completionMessage);
    static void AddSdrRecord(tagSENSOR_SET& set, const BYTE* record, std::size_t length);
    // One SDR record read in pieces; record gets its bytes, next the next record's ID.
    BOOL ReadSdrInPieces(const BYTE reservation[2], WORD recordId, std::vector<BYTE>& record,
                         WORD& next);
    static void BuildTypeIndex(tagSENSOR_SET& set);
    void SelRound(IMessageSink* sink, UINT completionMessage);
    void SensorPollerBody();
    void SelPollerBody();
    void KeepAliveBody();
    BOOL ReadBatchReadings(BYTE (&readings)[SENSOR_READINGS]);
    BOOL ReadStandardReadings(BYTE (&readings)[SENSOR_READINGS]);
    void PollChassisStatus();
    BOOL ReadFruBytes(UINT deviceId, std::vector<BYTE>& data);

    std::unique_ptr<CIPMIConnect> m_connection;
    IClock* m_clock;
    IMessageSink* m_sink;
    IMessageBoxService* m_messageBox;
    WORD m_port;

    std::mutex m_loginLock;
    tagLAN_CONNECT_PARAM m_loginParam = {}; // guarded by m_loginLock
    std::atomic<BOOL> m_hasLogin{FALSE};
    std::atomic<std::time_t> m_connectTime{0};
    std::atomic<int> m_powerState{0};
    std::atomic<DWORD> m_sensorInterval;
    std::atomic<DWORD> m_selInterval;

    std::recursive_mutex m_sensorLock;
    std::unique_ptr<tagSENSOR_SET> m_sensors; // guarded by m_sensorLock; never null
    BYTE m_readings[SENSOR_READINGS] = {};    // guarded by m_sensorLock
    // Threshold comparison bits of Get Sensor Reading (standard path), as read and as last
    // applied to the sensors' states; guarded by m_sensorLock.
    BYTE m_comparison[SENSOR_READINGS] = {};
    BYTE m_appliedComparison[SENSOR_READINGS] = {};

    CCriticalSection m_selLock;
    std::vector<CSEL> m_fetchedSel; // guarded by m_selLock
    std::vector<CSEL> m_displaySel; // guarded by m_selLock
    tagSEL_KEY m_resumePoint;       // guarded by m_selLock
    std::mutex m_selRoundLock;

    std::mutex m_fruLock;
    std::array<std::unique_ptr<CFruRecord>, FRU_DEVICE_ID_LIMIT> m_fruCache; // m_fruLock
    std::array<BYTE, FRU_DEVICE_ID_LIMIT> m_fruChunk;                        // m_fruLock

    std::atomic<BOOL> m_sdrLoaded{FALSE};
    std::atomic<BOOL> m_readingsAvailable{FALSE};
    std::atomic<BOOL> m_selChanged{FALSE};
    std::atomic<BOOL> m_selShown{FALSE};
    std::atomic<BOOL> m_firstRoundDone{FALSE};
    std::atomic<BOOL> m_standardReadings{FALSE};

    CEvent m_sensorGo{TRUE, FALSE};
    CEvent m_sensorStop{TRUE, FALSE};
    CEvent m_selGo{TRUE, FALSE};
    CEvent m_selStop{TRUE, FALSE};
    CEvent m_keepAliveStop{TRUE, FALSE};
    CEvent m_keepAliveTrigger{FALSE, FALSE};
    CEvent m_keepAlivePaused{TRUE, FALSE};

    std::mutex m_threadStartLock;
    // Last, so that they are joined before anything they use is destroyed.
    CWorkerThread m_sdrThread;
    CWorkerThread m_selFetchThread;
    CWorkerThread m_sensorPoller;
    CWorkerThread m_selPoller;
    CWorkerThread m_keepAlive;
};

// A polling interval setting in seconds from root\Software\Vexa\Tarn (REG_DWORD): a missing
// value is written back as the default; a stored value of 0 or less reads as the default.
DWORD ReadPollingInterval(HKEY root, const char* valueName, DWORD defaultSeconds);

// "{...}" of the 16 GUID bytes in received order.
std::string FormatDeviceGuid(const BYTE* bytes);
