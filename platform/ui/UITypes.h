#pragma once
// Window handles, message parameters and the message numbers the console's windows use.
// Handles are plain numbers issued by the UI thread that owns the window; 0 is no window.
// Message numbers keep the values of the desktop window system the code was written for.
#include "platform/Types.h"

#include <cstdint>

using HWND = UINT;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;

constexpr HWND NULL_HWND = 0;

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_SETMESSAGESTRING = 0x0362;
constexpr UINT WM_IDLEUPDATECMDUI = 0x0363;
constexpr UINT WM_USER = 0x0400;

constexpr WORD LOWORD(WPARAM value)
{
    return static_cast<WORD>(value & 0xFFFF);
}
constexpr WORD HIWORD(WPARAM value)
{
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high)
{
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}
