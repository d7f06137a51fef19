#pragma once
// The vocabulary of the System State Response (ASF 2.0, 3.2.4.4): the text of each ACPI
// system state code and of the watchdog bit, and the power indication (0 off, 1 on,
// 2 unknown) each state stands for. Tables live in AsfStates.cpp.
#include "platform/Types.h"

constexpr BYTE ASF_STATE_INVALID = 0x0F;

// Text of the low nibble of a system state byte.
const char* AsfSystemStateText(BYTE state);
// Text of bit 0 of a watchdog state byte.
const char* AsfWatchdogText(BYTE watchdog);
// 0, 1 or 2 for the low nibble of a system state byte.
int AsfPowerIndication(BYTE state);
