#include "transport/LANConnect.h"

#include "transport/CommandTable.h"
#include "transport/crypto/KAES.h"
#include "transport/crypto/Secure.h"

#include <atomic>
#include <cstring>

const char* const CONNECT_FAILED_TEXT =
    "Fail to connect to the destination server.\nPlease check the following issues:\t\n"
    "1. Is your internet connection  correct?\n"
    "2. Can you access  the destination host by the just IP?\n"
    "3. Does the destination host support IPMI protocol?\n"
    "4. Are your account and password correct?\n"
    "5. Do you have the access privilige as you have requested?\n"
    "6. Are there too many connections to the destination host?\n"
    "7. Can you find the destination host's IP address in the ARP table of your machine?";
const char* const CONNECT_FAILED_CAPTION = "Connection failed";

namespace
{
// Tags the three requests of one setup attempt; shared by every connection of the process.
std::atomic<BYTE> g_messageTag{0};

BYTE NextMessageTag()
{
    return static_cast<BYTE>(g_messageTag.fetch_add(1) + 1);
}

// The integrity algorithm of the same family as the authentication algorithm, proposed
// when the BMC refuses encryption without integrity.
BYTE IntegrityFor(BYTE authAlgorithm)
{
    return authAlgorithm == RAKP_HMAC_MD5 ? INTEGRITY_MD5_128 : INTEGRITY_HMAC_SHA1_96;
}
} // namespace

BOOL MakeConnectParam(tagLAN_CONNECT_PARAM& param, const char* user, const char* password,
                      BYTE authAlgorithm, BOOL encrypt, BYTE privilegeLevel)
{
    std::memset(&param, 0, sizeof param);
    std::size_t userLength = user ? std::strlen(user) : 0;
    std::size_t passwordLength = password ? std::strlen(password) : 0;
    if (userLength > sizeof param.userName || passwordLength > sizeof param.password)
        return FALSE;
    std::memcpy(param.userName, user, userLength);
    std::memcpy(param.password, password, passwordLength);
    param.userNameLength = static_cast<DWORD>(userLength);
    param.passwordLength = static_cast<DWORD>(passwordLength);
    param.headerAuthType = IPMI_AUTHTYPE_RMCPPLUS;
    param.authAlgorithm = authAlgorithm;
    param.encryptPayload = encrypt ? 1 : 0;
    param.privilegeLevel = privilegeLevel;
    return TRUE;
}

CLANConnect::CLANConnect(tagTRANSPORT_ENV env)
    : m_env(std::move(env)), m_port(m_env.sockets, m_env.clock)
{
}

CLANConnect::~CLANConnect()
{
    if (IsConnected())
        Disconnect();
    EndSession();
    SecureZero(&m_param, sizeof m_param);
}

DWORD CLANConnect::NextSequence()
{
    std::lock_guard<std::mutex> guard(m_sequenceLock);
    if (IsConnected())
        ++m_sequence;
    return m_sequence;
}

BOOL CLANConnect::BuildPacket(const BYTE* message, BYTE* packet, std::size_t& length,
                              DWORD sequence)
{
    float version = m_version.load();
    std::size_t built = 0;
    if (version == 1.5f)
    {
        built = BuildV15Packet(message, packet, length);
    }
    else if (version == 2.0f)
    {
        tagRMCPPLUS_FIELDS fields;
        fields.authType = m_param.headerAuthType;
        fields.payloadType = PAYLOAD_TYPE_IPMI;
        fields.sessionId = m_rakp.bmcSessionId;
        fields.sequence = sequence;
        std::size_t messageLength = message[0] | static_cast<std::size_t>(message[1]) << 8;
        BYTE iv[AES_BLOCK] = {};
        if (m_crypto.encrypt && !m_env.random->Fill(iv, sizeof iv))
            return FALSE;
        built =
            BuildRmcpPlusPacket(fields, message + 2, messageLength, &m_crypto, iv, packet, length);
    }
    length = built;
    return built != 0 ? TRUE : FALSE;
}

BOOL CLANConnect::ExtractMessage(const BYTE* packet, std::size_t length, BYTE* message,
                                 std::size_t capacity)
{
    const char* reason = "";
    float version = m_version.load();
    BOOL ok = FALSE;
    if (version == 1.5f)
        ok = ExtractV15Message(packet, length, message, capacity, &reason);
    else if (version == 2.0f)
        ok = ExtractRmcpPlusMessage(packet, length, &m_crypto, message, capacity, &reason);
    else
        reason = "connection in no IPMI version";
    if (!ok)
        SetReason(reason);
    return ok;
}

BOOL CLANConnect::SendPacket(const BYTE* packet, std::size_t length)
{
    return m_port.Send(packet, length);
}

BOOL CLANConnect::ReceivePacket(BYTE* packet, std::size_t& length)
{
    return m_port.Receive(packet, length);
}

BOOL CLANConnect::Connect(DWORD address, WORD port, const tagLAN_CONNECT_PARAM& param)
{
    if (IsConnected())
        Disconnect();
    EndSession();
    m_param = param;
    if (!m_port.SetAddress(port, address) || !m_port.Open())
    {
        SetReason("cannot open the connection's socket");
        return FALSE;
    }
    m_version.store(1.5f);
    if (!Probe())
        return FALSE;

    // Console session ID: a 15-bit value in network byte order, so that its first two
    // bytes on the wire are zero. Zero is not a valid session ID (IPMI v2.0, 13.17).
    BYTE seed[2];
    if (!m_env.random->Fill(seed, sizeof seed))
    {
        SetReason("random source failed");
        return FALSE;
    }
    DWORD value = (static_cast<DWORD>(seed[0]) << 8 | seed[1]) & 0x7FFF;
    if (value == 0)
        value = 1;
    m_rakp.consoleSessionId = (value >> 8) << 16 | (value & 0xFF) << 24;

    m_proposeIntegrity = FALSE;
    for (int attempt = 0; attempt < SETUP_ATTEMPTS; ++attempt)
    {
        if (attempt > 0)
            m_env.clock->Sleep(SETUP_PAUSE_MS);
        if (SetupSession())
        {
            m_version.store(2.0f);
            if (m_crypto.encrypt && m_rakp.authAlgorithm == RAKP_HMAC_MD5)
                ConfirmCipherKey();
            return TRUE;
        }
    }
    m_version.store(1.5f);
    return FALSE;
}

BOOL CLANConnect::Probe()
{
    // Get Channel Authentication Capabilities: this channel, Administrator.
    const BYTE request[] = {ROW_GET_CHANNEL_AUTH_CAPABILITIES, 0x0E, PRIVILEGE_ADMINISTRATOR};
    for (int attempt = 0; attempt < PROBE_ATTEMPTS; ++attempt)
    {
        if (attempt > 0)
            m_env.clock->Sleep(PROBE_PAUSE_MS);
        tagIPMI_REPLY reply;
        if (SendCommand(request, sizeof request, reply))
        {
            if (reply.data[1] != IPMI_CC_SUCCESS)
            {
                SetReason("BMC refused Get Channel Authentication Capabilities");
                return FALSE;
            }
            return TRUE;
        }
    }
    SetReason("no reply from the BMC");
    if (m_env.messageBox != nullptr)
        m_env.messageBox->MessageBox(CONNECT_FAILED_TEXT, CONNECT_FAILED_CAPTION,
                                     MB_OK | MB_ICONERROR);
    return FALSE;
}

BOOL CLANConnect::OpenSession(tagRMCP_PAYLOAD& reply)
{
    BYTE payload[32];
    std::size_t length = BuildOpenSessionRequest(m_rakp, payload, sizeof payload);
    return ExchangePayload(PAYLOAD_TYPE_OPEN_SESSION_REQUEST, payload, length, reply);
}

BOOL CLANConnect::SetupSession()
{
    const char* reason = "";
    BYTE status = 0;
    m_rakp.tag = NextMessageTag();
    m_rakp.authAlgorithm = m_param.authAlgorithm;
    m_rakp.privilege = m_param.privilegeLevel;
    if (m_rakp.authAlgorithm != RAKP_HMAC_SHA1 && m_rakp.authAlgorithm != RAKP_HMAC_MD5)
    {
        SetReason("unsupported authentication algorithm");
        return FALSE;
    }
    m_rakp.confidentiality =
        m_param.encryptPayload ? CONFIDENTIALITY_AES_CBC_128 : CONFIDENTIALITY_NONE;
    m_rakp.integrity = m_proposeIntegrity ? IntegrityFor(m_rakp.authAlgorithm) : INTEGRITY_NONE;

    tagRMCP_PAYLOAD reply;
    if (!OpenSession(reply))
        return FALSE;
    if (!CheckOpenSessionResponse(m_rakp, reply.data, reply.length, &status, &reason))
    {
        // A standards-conformant BMC (ipmi_sim among them) refuses AES-CBC-128 without an
        // integrity algorithm with "no cipher suite match": propose again with integrity.
        if (status != RMCPPLUS_STATUS_NO_CIPHER_SUITE_MATCH || !m_param.encryptPayload ||
            m_proposeIntegrity)
        {
            SetReason(status == RMCPPLUS_STATUS_NO_CIPHER_SUITE_MATCH
                          ? "BMC refused the algorithms (no cipher suite match)"
                          : reason);
            return FALSE;
        }
        m_proposeIntegrity = TRUE;
        m_rakp.integrity = IntegrityFor(m_rakp.authAlgorithm);
        if (!OpenSession(reply))
            return FALSE;
        if (!CheckOpenSessionResponse(m_rakp, reply.data, reply.length, &status, &reason))
        {
            SetReason(status == RMCPPLUS_STATUS_NO_CIPHER_SUITE_MATCH
                          ? "BMC refused the algorithms (no cipher suite match)"
                          : reason);
            return FALSE;
        }
    }

    if (!m_env.random->Fill(m_rakp.consoleRandom, sizeof m_rakp.consoleRandom))
    {
        SetReason("random source failed");
        return FALSE;
    }
    m_rakp.userNameLength = static_cast<BYTE>(m_param.userNameLength);
    std::memcpy(m_rakp.userName, m_param.userName, sizeof m_rakp.userName);
    std::memset(m_rakp.kuid, 0, sizeof m_rakp.kuid);
    std::memcpy(m_rakp.kuid, m_param.password, m_param.passwordLength);

    BYTE payload[64];
    std::size_t length = BuildRakp1(m_rakp, payload, sizeof payload);
    if (!ExchangePayload(PAYLOAD_TYPE_RAKP_1, payload, length, reply))
        return FALSE;
    if (!CheckRakp2(m_rakp, reply.data, reply.length, &status, &reason))
    {
        if (status == RMCPPLUS_STATUS_UNAUTHORIZED_NAME)
            reason = "unknown user name or privilege not allowed";
        SetReason(reason);
        return FALSE;
    }

    DeriveSessionKeys(m_rakp);
    length = BuildRakp3(m_rakp, payload, sizeof payload);
    if (!ExchangePayload(PAYLOAD_TYPE_RAKP_3, payload, length, reply))
        return FALSE;
    if (!CheckRakp4(m_rakp, reply.data, reply.length, &status, &reason))
    {
        SetReason(status == RMCPPLUS_STATUS_INVALID_INTEGRITY_CHECK
                      ? "wrong password: BMC refused RAKP Message 3"
                      : reason);
        return FALSE;
    }

    UseSessionKeys();
    {
        std::lock_guard<std::mutex> guard(m_sequenceLock);
        m_sequence = 0;
    }
    m_connected.store(TRUE);
    return TRUE;
}

void CLANConnect::UseSessionKeys()
{
    m_cipher = std::make_unique<KAES>(16, m_rakp.k2);
    m_crypto.integrity = m_rakp.integrity;
    m_crypto.encrypt = m_rakp.confidentiality == CONFIDENTIALITY_AES_CBC_128;
    m_crypto.cipher = m_cipher.get();
    std::memcpy(m_crypto.k1, m_rakp.k1, sizeof m_crypto.k1);
    std::memcpy(m_crypto.kuid, m_rakp.kuid, sizeof m_crypto.kuid);
}

// OpenIPMI's ipmi_sim (2.0.33) derives K1 and K2 of RAKP-HMAC-MD5 sessions over 16-byte
// constants where IPMI v2.0, 13.32 gives 20, so it cannot decrypt what a conformant console
// sends and stays silent to every encrypted request (FreeIPMI's cipher suite 12 hangs the
// same way). Confirm the AES key with one harmless in-session command; on silence switch to
// that BMC's keys, and keep the standard ones if those fail too.
BOOL CLANConnect::ConfirmCipherKey()
{
    const BYTE probe[] = {ROW_GET_CHANNEL_AUTH_CAPABILITIES, 0x0E, PRIVILEGE_ADMINISTRATOR};
    tagIPMI_REPLY reply;
    if (SendCommand(probe, sizeof probe, reply))
        return TRUE;
    DeriveSessionKeys(m_rakp, 16);
    UseSessionKeys();
    if (SendCommand(probe, sizeof probe, reply))
        return TRUE;
    DeriveSessionKeys(m_rakp);
    UseSessionKeys();
    return FALSE;
}

BOOL CLANConnect::Disconnect()
{
    if (!IsConnected())
        return TRUE;
    BYTE request[5] = {ROW_CLOSE_SESSION};
    DWORD id = m_rakp.bmcSessionId;
    for (int i = 0; i < 4; ++i)
        request[1 + i] = static_cast<BYTE>(id >> (8 * i));
    BOOL closed = FALSE;
    for (int attempt = 0; attempt < CLOSE_ATTEMPTS && !closed; ++attempt)
    {
        if (attempt > 0)
            m_env.clock->Sleep(CLOSE_PAUSE_MS);
        tagIPMI_REPLY reply;
        closed = SendCommand(request, sizeof request, reply) && reply.data[1] == IPMI_CC_SUCCESS;
    }
    if (!closed)
    {
        SetReason("BMC did not confirm Close Session");
        return FALSE;
    }
    EndSession();
    m_port.Close();
    return TRUE;
}

void CLANConnect::EndSession()
{
    m_connected.store(FALSE);
    m_version.store(1.5f);
    {
        std::lock_guard<std::mutex> guard(m_sequenceLock);
        m_sequence = 0;
    }
    m_crypto = tagRMCPPLUS_CRYPTO{};
    m_cipher.reset();
    ClearRakpSecrets(m_rakp);
    m_rakp.bmcSessionId = 0;
}
