#pragma once
// Window messages the IPMI server object's threads deliver to the frame (through its
// IMessageSink). Texts travel as heap std::string in lParam, owned by the receiver (see
// TakeMessageText in shell/ShellTypes.h and docs/messages.md).
#include "platform/ui/UITypes.h"

// Progress of a repository or event-log read: wParam one of the PROGRESS_* values.
constexpr UINT WM_VEXA_PROGRESS = 1225;    // 0x4C9
constexpr WPARAM PROGRESS_SET_RANGE = 1;   // lParam: number of steps
constexpr WPARAM PROGRESS_STEP = 2;        // lParam: 0
constexpr WPARAM PROGRESS_FINISHED = 3;    // lParam: 0
constexpr WPARAM PROGRESS_STATUS_TEXT = 4; // lParam: text, owned by the receiver

// A log line for the frame's message area: wParam 0, lParam text owned by the receiver.
constexpr UINT WM_VEXA_LOG_TEXT = 866; // 0x362

// The sensor data records were read (or not: the SDR-loaded flag tells): wParam 0,
// lParam the server tag.
constexpr UINT WM_VEXA_SDR_LOADED = 1224; // 0x4C8

// An event-log fetch ended: wParam 1 success / 0 failure, lParam the server tag.
constexpr UINT WM_VEXA_SEL_FETCHED = 1427; // 0x593

// New sensor readings (sent, not posted): wParam the CIPMIServer*, lParam 0.
constexpr UINT WM_VEXA_READINGS_UPDATED = 1435; // 0x59B
