#pragma once
#include <cstdint>

namespace kzt::linuxos {

// Keys on the controlling terminal (/dev/tty), not on standard input. While keys are awaited the
// terminal is in non-canonical mode without echo, so a single key counts and is not shown; its
// settings come back once the waiting keys have been read, and also at exit or on a terminating
// signal. No controlling terminal: no console.
int consoleAvailable();
int keyWaiting();
int readKey();
// Puts the terminal's own settings back if they are changed.
void restoreConsole();

void sleepMilliseconds(uint32_t milliseconds);

// Opens a file with the desktop's viewer through xdg-open and waits for xdg-open to finish.
// Mapped onto the shell's rule that above 32 is success: 42 when xdg-open succeeded, else
// xdg-open's own exit status (1 bad arguments, 2 file missing, 3 a needed tool missing, 4 the
// action failed), 3 when xdg-open itself cannot be started, 32 when it ended otherwise.
uint32_t shellOpen(const char* fileName);

constexpr uint32_t kShellOpenSucceeded = 42;
constexpr uint32_t kShellToolMissing = 3;
constexpr uint32_t kShellOtherFailure = 32;

}  // namespace kzt::linuxos
