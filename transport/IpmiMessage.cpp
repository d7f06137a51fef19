#include "transport/IpmiMessage.h"

#include "transport/ByteIo.h"
#include "transport/CommandTable.h"

#include <cstring>

namespace
{
BYTE Checksum(const BYTE* data, std::size_t length)
{
    BYTE sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum = static_cast<BYTE>(sum + data[i]);
    return static_cast<BYTE>(-sum);
}
} // namespace

std::size_t BuildMessage(IpmiForm form, const BYTE* request, std::size_t requestLength,
                         DWORD sequence, const tagIPMI_ADDRESSING& addressing, BYTE* out,
                         std::size_t capacity)
{
    int dataLength = IpmiRequestDataLength(request, requestLength);
    if (dataLength < 0 || static_cast<std::size_t>(dataLength) + 1 > requestLength)
        return 0;
    const tagIPMI_COMMAND* row = IpmiCommandRow(request[0]);
    std::size_t messageLength = static_cast<std::size_t>(dataLength) + IPMI_MESSAGE_MIN;
    if (form == IpmiForm::V15 && messageLength > 0xFF)
        return 0;

    CByteWriter w(out, capacity);
    if (form == IpmiForm::V15)
        w.Put8(static_cast<BYTE>(messageLength));
    else
        w.PutLe16(static_cast<WORD>(messageLength));
    std::size_t start = w.Size();
    w.Put8(addressing.rsAddr);                                           // rsAddr
    w.Put8(static_cast<BYTE>(row->netFn << 2 | (addressing.rsLun & 3))); // netFn/rsLUN
    w.Put8(Checksum(out + start, 2));                                    // checksum 1
    w.Put8(addressing.rqAddr);                                           // rqAddr
    w.Put8(static_cast<BYTE>((sequence << 2) | (row->lun & 3)));         // rqSeq/rqLUN
    w.Put8(row->command);                                                // cmd
    w.PutBytes(request + 1, static_cast<std::size_t>(dataLength));       // request data
    if (!w.Ok())
        return 0;
    w.Put8(Checksum(out + start + 3, messageLength - 4)); // checksum 2
    return w.Ok() ? w.Size() : 0;
}

BYTE ParseReply(IpmiForm form, const BYTE* prefixed, std::size_t available, BYTE requestedRow,
                tagIPMI_REPLY& reply)
{
    CByteReader r(prefixed, available);
    std::size_t length = form == IpmiForm::V15 ? r.Get8() : r.GetLe16();
    if (!r.Ok() || length < IPMI_MESSAGE_MIN || length > r.Remaining())
        return 0;
    if (form == IpmiForm::V20 && length > IPMI_MESSAGE_MAX_V20)
        return 0;
    const BYTE* message = r.Here();

    BYTE netFn = static_cast<BYTE>(message[1] >> 2);
    BYTE command = message[5];
    BYTE row = 0;
    const tagIPMI_COMMAND* requested = IpmiCommandRow(requestedRow);
    if (requested != nullptr && requested->netFn + 1 == netFn && requested->command == command)
        row = requestedRow;
    else
        row = IpmiCommandRowOfReply(netFn, command);
    if (row == 0)
        return 0;

    std::memset(&reply, 0, sizeof reply);
    reply.data[0] = row;
    // Completion code, response data and checksum 2: the message past its 6-byte header.
    std::memcpy(reply.data + 1, message + IPMI_MESSAGE_HEADER, length - IPMI_MESSAGE_HEADER);
    reply.length = static_cast<WORD>(length - 5);
    if (row == ROW_OEM_BATCH_READINGS)
    {
        // Pairs of (sensor number, reading) after the first response data byte.
        std::size_t pairs = length >= 9 ? (length - 9) / 2 : 0;
        reply.data[IPMI_REPLY_BATCH_COUNT] = static_cast<BYTE>(pairs & 0x7F);
    }
    return row;
}
