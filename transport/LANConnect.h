#pragma once
// CLANConnect: an IPMI connection over LAN. Connect probes the BMC with Get Channel
// Authentication Capabilities in IPMI v1.5 framing, then opens an RMCP+ session (Open
// Session, RAKP 1-4) and from then on frames every message in RMCP+ (IPMI v2.0, 13),
// encrypted with AES-CBC-128 when asked for. Disconnect closes the session.
//
// Owned by a server object or a console session. Connect and Disconnect run on the thread
// that asked for them while no other thread sends on the connection; SendCommand may be
// called from any thread. m_sequenceLock guards the session sequence counter and is taken
// inside the exchange lock. Security material comes from the injected random source and
// is wiped when the session ends.
#include "platform/Clock.h"
#include "platform/DatagramSocket.h"
#include "platform/MessageBox.h"
#include "platform/Random.h"
#include "transport/IPMIConnect.h"
#include "transport/LANPacket.h"
#include "transport/LanPort.h"
#include "transport/RakpMessages.h"

#include <memory>
#include <mutex>

class KAES;

// The outside world a connection talks through; tests pass fakes.
struct tagTRANSPORT_ENV
{
    IClock* clock = &SystemClock();
    IRandom* random = &SystemRandom();
    IMessageBoxService* messageBox = nullptr; // no box shown when null
    DatagramSocketFactory sockets = UdpSocketFactory();
};

class CLANConnect : public CIPMIConnect
{
public:
    static constexpr WORD IPMI_LAN_PORT = 623;
    static constexpr int PROBE_ATTEMPTS = 3;
    static constexpr DWORD PROBE_PAUSE_MS = 1000;
    static constexpr int SETUP_ATTEMPTS = 3;
    static constexpr DWORD SETUP_PAUSE_MS = 300;
    static constexpr int CLOSE_ATTEMPTS = 3;
    static constexpr DWORD CLOSE_PAUSE_MS = 200;

    explicit CLANConnect(tagTRANSPORT_ENV env = {});
    ~CLANConnect() override;

    BOOL Connect(DWORD address, WORD port, const tagLAN_CONNECT_PARAM& param) override;
    BOOL Disconnect() override;
    DWORD NextSequence() override;
    BOOL BuildPacket(const BYTE* message, BYTE* packet, std::size_t& length,
                     DWORD sequence) override;
    BOOL ExtractMessage(const BYTE* packet, std::size_t length, BYTE* message,
                        std::size_t capacity) override;
    BOOL SendPacket(const BYTE* packet, std::size_t length) override;
    BOOL ReceivePacket(BYTE* packet, std::size_t& length) override;

    CLanPort& Port() { return m_port; }
    // What the session negotiated, for diagnostics.
    const tagRAKP_STATE& Session() const { return m_rakp; }
    BOOL Encrypted() const { return m_crypto.encrypt; }
    BYTE Integrity() const { return m_crypto.integrity; }

private:
    BOOL Probe();
    BOOL SetupSession();
    BOOL OpenSession(tagRMCP_PAYLOAD& reply);
    BOOL ConfirmCipherKey();
    void UseSessionKeys();
    void EndSession();

    tagTRANSPORT_ENV m_env;
    CLanPort m_port;
    tagLAN_CONNECT_PARAM m_param = {};
    tagRAKP_STATE m_rakp;
    std::unique_ptr<KAES> m_cipher;
    tagRMCPPLUS_CRYPTO m_crypto;
    BOOL m_proposeIntegrity = FALSE;
    std::mutex m_sequenceLock;
    DWORD m_sequence = 0;
};

// The text of the box shown when the BMC does not answer the probe.
extern const char* const CONNECT_FAILED_TEXT;
extern const char* const CONNECT_FAILED_CAPTION;
