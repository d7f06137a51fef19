#pragma once
// Pure rules of the console's frame, kept apart from the window code so that they can be
// checked on their own: which addresses the add-server dialog refuses, the connection-time
// text of status pane 102, the wake-on-LAN magic packet. No state, any thread.
#include "platform/Types.h"

#include <array>
#include <ctime>
#include <string>

constexpr std::size_t MAGIC_PACKET_SIZE = 102;
constexpr WORD WAKE_ON_LAN_PORT = 2304;

// FALSE for the addresses a new server may not have (host order): 0.0.0.0,
// 255.255.255.255, 127.0.0.1, the inside of the multicast range (224.0.0.1 and
// 239.255.255.255 exclusive) and the inside of the link-local range (169.254.0.1 and
// 169.254.255.255 exclusive).
BOOL IsAcceptableServerAddress(DWORD address);

// "hh:mm:ss" since `start`, both local broken-down times: seconds, minutes and hours are
// taken field by field, borrowing 60 into seconds and minutes; the hours wrap into 0..24,
// so a connection from before midnight still shows its running time.
std::string FormatConnectionTime(const std::tm& now, const std::tm& start);

// Six 0xFF bytes and sixteen copies of the MAC address.
std::array<BYTE, MAGIC_PACKET_SIZE> BuildMagicPacket(const BYTE mac[6]);

// Parses "a.b.c.d" into a host-order number; FALSE for anything else.
BOOL ParseDottedAddress(const std::string& text, DWORD* address);
