// FRU inventory reading of CIPMIServer: Read FRU Data in chunks, with smaller requests for
// BMCs that refuse 48 bytes at a time.
#include "servers/IPMIServer.h"

#include "transport/CommandTable.h"

namespace
{
constexpr BYTE IPMI_CC_REQUEST_LENGTH_EXCEEDED = 0xC8;
constexpr BYTE IPMI_CC_CANNOT_RETURN_BYTES = 0xCA;
constexpr BYTE IPMI_CC_PARAMETER_OUT_OF_RANGE = 0xC9;

// The next smaller request size to try after a refusal of size; 0 when there is none.
BYTE SmallerChunk(BYTE size)
{
    if (size > 32)
        return 32;
    if (size > 16)
        return 16;
    if (size > 8)
        return 8;
    return 0;
}
} // namespace

BYTE CIPMIServer::GetFruChunkSize(UINT deviceId)
{
    if (deviceId >= FRU_DEVICE_ID_LIMIT)
        return 0;
    std::lock_guard<std::mutex> guard(m_fruLock);
    return m_fruChunk[deviceId];
}

BOOL CIPMIServer::ReadFruBytes(UINT deviceId, std::vector<BYTE>& data)
{
    BYTE chunk = GetFruChunkSize(deviceId);
    const BYTE startChunk = chunk;
    tagIPMI_REPLY reply;
    std::size_t offset = 0;
    while (offset < FRU_READ_LENGTH)
    {
        // Device ID, offset (little-endian), count (IPMI v2.0, 34.2).
        BYTE request[5] = {ROW_READ_FRU_DATA, static_cast<BYTE>(deviceId),
                           static_cast<BYTE>(offset), static_cast<BYTE>(offset >> 8), chunk};
        if (!SendCommand(request, sizeof request, reply))
            return FALSE;
        BYTE code = reply.data[1];
        if (code == IPMI_CC_REQUEST_LENGTH_EXCEEDED || code == IPMI_CC_CANNOT_RETURN_BYTES)
        {
            // ipmi_sim, like many BMCs, takes at most 32 bytes and answers C8h for more.
            chunk = SmallerChunk(chunk);
            if (chunk == 0)
                return FALSE;
            continue;
        }
        // A device whose inventory area is smaller than 256 bytes (ipmi_sim's 128-byte FRU
        // devices, for one) answers C9h for an offset past its end: what was read is all
        // there is. The decoder checks the areas against the bytes it gets.
        if (code == IPMI_CC_PARAMETER_OUT_OF_RANGE && offset > 0)
            break;
        if (code != IPMI_CC_SUCCESS)
            return FALSE;
        std::size_t available = reply.length >= 3 ? reply.length - 3u : 0u;
        if (available == 0)
            return FALSE;
        // The count byte, then the data; never trust the count beyond what arrived.
        std::size_t count = reply.data[2];
        if (count > available - 1)
            count = available - 1;
        if (count == 0)
            return FALSE; // a read that returns nothing would never advance
        data.insert(data.end(), reply.data + 3, reply.data + 3 + count);
        offset += count;
    }
    if (chunk != startChunk)
    {
        std::lock_guard<std::mutex> guard(m_fruLock);
        m_fruChunk[deviceId] = chunk;
    }
    return TRUE;
}

const CFruRecord* CIPMIServer::ReadFruRecord(UINT deviceId)
{
    if (deviceId >= FRU_DEVICE_ID_LIMIT)
        return nullptr;
    {
        std::lock_guard<std::mutex> guard(m_fruLock);
        if (m_fruCache[deviceId])
            return m_fruCache[deviceId].get();
    }
    // Read without the lock (the commands take their time); the first record stored wins.
    std::vector<BYTE> data;
    if (!ReadFruBytes(deviceId, data))
        return nullptr;
    auto record = std::make_unique<CFruRecord>(data.data(), data.size());
    std::lock_guard<std::mutex> guard(m_fruLock);
    if (!m_fruCache[deviceId])
        m_fruCache[deviceId] = std::move(record);
    return m_fruCache[deviceId].get();
}
