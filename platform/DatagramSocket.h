#pragma once
// A UDP endpoint over BSD sockets, standing in for the Windows sockets the console was
// written against. Addresses are IPv4 in host byte order; ports in host order.
// One socket is used by one thread at a time (its owner serialises access).
#include "platform/Types.h"

#include <cstddef>
#include <functional>
#include <memory>

enum class DatagramStatus
{
    Ok,
    TimedOut,
    // ICMP port unreachable reported for an earlier datagram (ECONNREFUSED).
    Refused,
    Error,
};

struct tagDATAGRAM_RESULT
{
    DatagramStatus status = DatagramStatus::Error;
    std::size_t length = 0;
    DWORD sourceAddress = 0;
    WORD sourcePort = 0;
};

class IDatagramSocket
{
public:
    virtual ~IDatagramSocket() = default;
    // Creates the socket with both send and receive time-outs set.
    virtual BOOL Open(DWORD timeoutMs) = 0;
    virtual void Close() = 0;
    virtual BOOL IsOpen() const = 0;
    // Binds to a local address and port (0 = any port); optional, the first send picks one.
    virtual BOOL Bind(DWORD address, WORD port) = 0;
    virtual WORD LocalPort() const = 0;
    virtual BOOL SendTo(DWORD address, WORD port, const BYTE* data, std::size_t length) = 0;
    // Waits at most timeoutMs for one datagram.
    virtual tagDATAGRAM_RESULT ReceiveFrom(BYTE* buffer, std::size_t capacity, DWORD timeoutMs) = 0;
    // select() for readability (or writability) with a time-out in microseconds.
    virtual BOOL WaitReady(DWORD timeoutUs, BOOL forWrite) = 0;
};

using DatagramSocketFactory = std::function<std::unique_ptr<IDatagramSocket>()>;

class CUdpSocket final : public IDatagramSocket
{
public:
    CUdpSocket() = default;
    ~CUdpSocket() override;
    CUdpSocket(const CUdpSocket&) = delete;
    CUdpSocket& operator=(const CUdpSocket&) = delete;

    BOOL Open(DWORD timeoutMs) override;
    void Close() override;
    BOOL IsOpen() const override { return m_fd >= 0; }
    BOOL Bind(DWORD address, WORD port) override;
    WORD LocalPort() const override;
    BOOL SendTo(DWORD address, WORD port, const BYTE* data, std::size_t length) override;
    tagDATAGRAM_RESULT ReceiveFrom(BYTE* buffer, std::size_t capacity, DWORD timeoutMs) override;
    BOOL WaitReady(DWORD timeoutUs, BOOL forWrite) override;

private:
    int m_fd = -1;
};

DatagramSocketFactory UdpSocketFactory();

// Dotted-quad text to a host-order address; 0xFFFFFFFF when the text is not one.
DWORD ParseIPv4(const char* text);
