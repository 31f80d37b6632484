#pragma once
// The shell's notification-icon record in its first layout: six members and a 64-byte
// tip. Every version of the shell accepts it, and its size tells the shell which layout
// it is given.

#include <windows.h>

#include <cstddef>

namespace trayicon {

struct TNotifyIconDataV1 {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
};

// The tip is the last member: nothing of a later layout follows it.
static_assert(offsetof(TNotifyIconDataV1, szTip) + sizeof(TNotifyIconDataV1::szTip) ==
                  sizeof(TNotifyIconDataV1),
              "the first layout ends with the tip");
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TNotifyIconDataV1) == 88, "the first layout is 88 bytes on 32-bit Windows");
#endif

} // namespace trayicon
