#pragma once
// The IPMI message inside both LAN framings (IPMI v2.0, 13.8), built from a request record
// and its catalogue row, and the reply matcher that turns a response into a reply record.
//
// Request message                         Response message
//   0  rsAddr                                0  rqAddr
//   1  netFn << 2 | rsLUN                    1  netFn << 2 | rqLUN
//   2  checksum 1 over bytes 0..1            2  checksum 1
//   3  rqAddr                                3  rsAddr
//   4  rqSeq << 2 | rqLUN                    4  rqSeq << 2 | rsLUN
//   5  cmd                                   5  cmd
//   6  request data ...                      6  completion code, response data ...
//   n-1 checksum 2 over bytes 3..n-2         n-1 checksum 2
//
// Internally a message travels behind its length: one byte in the IPMI v1.5 form, a
// little-endian 16-bit word in the v2.0 form. Pure functions; any thread.
#include "transport/TransportTypes.h"

#include <cstddef>

enum class IpmiForm
{
    V15, // 8-bit length prefix
    V20, // 16-bit length prefix
};

struct tagIPMI_ADDRESSING
{
    BYTE rsAddr = 0x20; // the BMC's slave address
    BYTE rsLun = 0;
    BYTE rqAddr = 0x81; // remote console software ID
};

constexpr std::size_t IPMI_MESSAGE_HEADER = 6;
constexpr std::size_t IPMI_MESSAGE_MIN = 7;
// The v2.0 form refuses replies whose payload past the header exceeds 255 bytes.
constexpr std::size_t IPMI_MESSAGE_MAX_V20 = 262;

inline std::size_t IpmiPrefixSize(IpmiForm form)
{
    return form == IpmiForm::V15 ? 1 : 2;
}

// Builds the length-prefixed message for a request record into out. Returns the bytes
// written (prefix included), or 0 for an invalid row, a record shorter than its row needs,
// or a message that does not fit the form or the buffer.
std::size_t BuildMessage(IpmiForm form, const BYTE* request, std::size_t requestLength,
                         DWORD sequence, const tagIPMI_ADDRESSING& addressing, BYTE* out,
                         std::size_t capacity);

// Matches a length-prefixed reply to a catalogue row and fills the reply record. Returns
// the row, or 0 when the reply matches no row or its length is out of range.
BYTE ParseReply(IpmiForm form, const BYTE* prefixed, std::size_t available, BYTE requestedRow,
                tagIPMI_REPLY& reply);
