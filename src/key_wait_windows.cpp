// The key wait on a Windows console: the console's own _getch, which reads
// one key stroke from the keyboard without echo, whatever standard input is.

#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <conio.h>
#include <windows.h>

#include <algorithm>
#include <chrono>

#include "key_burst.h"
#include "key_wait.h"

namespace fare {
namespace {

HANDLE console = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;

// _getch switches the console to raw input while it waits; Ctrl+Break,
// closing the window or logging off still end the process (the default
// handler, next in line, does that), and the console gets its mode back
// first. The system calls this on a thread of its own.
BOOL WINAPI restore_on_console_event(DWORD /*event*/) {
    SetConsoleMode(console, saved_mode);
    return FALSE;
}

// The burst after the key is dropped from the console's buffer, or the
// command prompt would run it.
void drop_rest_of_burst() {
    using std::chrono::milliseconds;
    using burst_clock = std::chrono::steady_clock;
    constexpr milliseconds burst_gap{burst_gap_ms};
    const burst_clock::time_point end = burst_clock::now() + milliseconds(longest_burst_ms);
    DWORD dropped = 0;
    while (dropped < most_burst_input) {
        const auto left = std::chrono::duration_cast<milliseconds>(end - burst_clock::now());
        if (left <= milliseconds::zero() ||
            WaitForSingleObject(console, static_cast<DWORD>(std::min(left, burst_gap).count())) !=
                WAIT_OBJECT_0) {
            return;
        }
        DWORD waiting = 0;
        if (GetNumberOfConsoleInputEvents(console, &waiting) == 0 ||
            FlushConsoleInputBuffer(console) == 0) {
            return;
        }
        dropped += waiting;
    }
}

}  // namespace

void prepare_key_wait() {
    // CONIN$ is the console even when standard input is redirected. Without
    // one (detached, a service, CI) there is no keyboard to press, and _getch
    // would not return.
    console = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        return;
    }
    if (GetConsoleMode(console, &saved_mode) == 0) {
        CloseHandle(console);
        console = INVALID_HANDLE_VALUE;
        return;
    }
    SetConsoleCtrlHandler(restore_on_console_event, TRUE);
    // Keys typed before the report do not count; one pressed from here on
    // waits in the console's buffer for _getch.
    FlushConsoleInputBuffer(console);
}

void wait_for_key() {
    if (console == INVALID_HANDLE_VALUE) {
        return;
    }
    // An arrow or function key arrives as two codes at once, 0 or 0xE0 and
    // then the key's own: take both, so the second is not left for the next
    // reader. A letter in 0xE0 (à in code page 1252, Ó in 850) comes alone.
    const int key = _getch();
    if ((key == 0 || key == 0xE0) && _kbhit() != 0) {
        _getch();
    }
    drop_rest_of_burst();
    SetConsoleCtrlHandler(restore_on_console_event, FALSE);
    CloseHandle(console);
    console = INVALID_HANDLE_VALUE;
}

}  // namespace fare
