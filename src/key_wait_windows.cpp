// The key wait on a Windows console: key events read from the console's own
// input buffer, never through standard input, with the console's input mode
// restored on every way out that runs code.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "key_wait.h"

namespace fare {
namespace {

HANDLE console = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;
volatile LONG in_key_mode = 0;

void restore_console() {
    if (InterlockedExchange(&in_key_mode, 0) != 0) {
        SetConsoleMode(console, saved_mode);
    }
}

// Ctrl+Break, closing the console and logging off still end the process (the
// next handler, the default one, does that); the console gets its mode back
// first. The system calls this on a thread of its own.
BOOL WINAPI end_by_console_event(DWORD /*event*/) {
    restore_console();
    return FALSE;
}

void close_console() {
    CloseHandle(console);
    console = INVALID_HANDLE_VALUE;
}

// A key going down that types a character or is a function or cursor key;
// not a key coming up, nor Shift, Ctrl, Alt or a lock key on its own.
bool is_key_press(const INPUT_RECORD& record) {
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
        return false;
    }
    if (record.Event.KeyEvent.uChar.UnicodeChar != 0) {
        return true;
    }
    const WORD key = record.Event.KeyEvent.wVirtualKeyCode;
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE ||
           (key >= VK_F1 && key <= VK_F24);
}

}  // namespace

void prepare_key_wait() {
    // CONIN$ is the console even when standard input is redirected. A process
    // without a console (detached, a service, CI) has no keyboard to press.
    console = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        return;
    }
    if (GetConsoleMode(console, &saved_mode) == 0) {
        close_console();
        return;
    }
    SetConsoleCtrlHandler(end_by_console_event, TRUE);
    in_key_mode = 1;
    // No line editing, no echo, and Ctrl+C arrives as an ordinary key press.
    const DWORD key_mode = saved_mode & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT |
                                                            ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    if (SetConsoleMode(console, key_mode) == 0) {
        in_key_mode = 0;
        SetConsoleCtrlHandler(end_by_console_event, FALSE);
        close_console();
        return;
    }
    // Keys typed before the wait began are dropped.
    FlushConsoleInputBuffer(console);
}

void wait_for_key() {
    if (console == INVALID_HANDLE_VALUE) {
        return;
    }
    // A failed read (the console is gone) ends the wait too.
    INPUT_RECORD record{};
    DWORD count = 0;
    while (ReadConsoleInputW(console, &record, 1, &count) != 0 &&
           (count == 0 || !is_key_press(record))) {
    }
    restore_console();
    SetConsoleCtrlHandler(end_by_console_event, FALSE);
    close_console();
}

}  // namespace fare
