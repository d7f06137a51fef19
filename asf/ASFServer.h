#pragma once
// CASFServer: one managed server reached through an ASF alerting network adapter. Owns its
// CASFSession (and through it the one-shot poll thread); connects and disconnects the secure
// session, runs the four power operations and turns the polled system state into the power
// indication. Owned by the document and driven from the user-interface thread; the frame's
// timer calls StartPoll on every tick. Settings and flags are atomics; the session keeps its
// own locks.
#include "asf/ASFSession.h"
#include "shell/Server.h"

#include <atomic>
#include <ctime>
#include <memory>

constexpr DWORD DEFAULT_ASF_POLL_SECONDS = 30;

extern const char* const ASF_CONNECT_FAILED_TEXT;
extern const char* const ASF_CONNECT_FAILED_CAPTION;
extern const char* const ASF_DISCONNECT_FAILED_TEXT;
extern const char* const ASF_DISCONNECT_FAILED_CAPTION;

// The two settings of the "ASF System State" group, as the shell's settings loader reads
// them ("Polling ASF system state interval", "Polling ASF power enabled").
struct tagASF_SETTINGS
{
    DWORD pollIntervalSeconds = DEFAULT_ASF_POLL_SECONDS;
    DWORD pollPowerEnabled = 0; // 1: the power indication follows the polled state
};

// A stored interval as it is used: 0 or less (as a signed 32-bit value) reads as 30 seconds.
DWORD NormaliseAsfPollInterval(DWORD storedSeconds);

struct tagASF_SERVER_ENV
{
    tagASF_SESSION_ENV session;
    tagASF_SETTINGS settings;
};

class CASFServer final : public CServer
{
public:
    explicit CASFServer(const tagSERVER_RECORD& record, tagASF_SERVER_ENV env = {});
    ~CASFServer() override;

    // Asks for credentials (an empty dialog) and opens the session.
    BOOL Reconnect() override;
    // Opens the session with credentials already asked for.
    BOOL ConnectWith(const tagASF_CREDENTIALS& credentials);
    BOOL Disconnect() override;
    int GetPowerState() override;

    BOOL PowerUp();
    BOOL PowerDown();
    BOOL Reset();
    BOOL PowerCycle();

    // One poll on a new thread when connected; FALSE otherwise or while one still runs.
    BOOL StartPoll();
    void SetSettings(const tagASF_SETTINGS& settings);
    tagASF_SETTINGS GetSettings() const;
    // The timer period of the view: the normalised interval in milliseconds.
    DWORD GetPollPeriodMs() const;

    std::time_t GetConnectTime() const { return m_connectTime.load(); }
    CASFSession& Session() { return *m_session; }

private:
    BOOL AfterPower(BOOL done);

    std::unique_ptr<CASFSession> m_session;
    std::atomic<int> m_powerState{0};
    std::atomic<DWORD> m_pollInterval;
    std::atomic<DWORD> m_pollPowerEnabled;
    std::atomic<std::time_t> m_connectTime{0};
};
