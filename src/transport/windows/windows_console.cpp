// The console keyboard for the final prompt, the pause between key polls, and the shell's "open".
#include "transport/windows/windows_platform.h"

#include <conio.h>
#include <shellapi.h>

namespace kzt {

// Without a console (a program started detached, or with its console input gone) no key can ever
// arrive.
int WindowsPlatform::consoleAvailable() {
  const HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
  if (input == INVALID_HANDLE_VALUE) return 0;
  DWORD mode = 0;
  const BOOL isConsole = GetConsoleMode(input, &mode);
  CloseHandle(input);
  return isConsole ? 1 : 0;
}

int WindowsPlatform::keyWaiting() { return _kbhit(); }

int WindowsPlatform::readKey() { return _getch(); }

void WindowsPlatform::sleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t WindowsPlatform::shellOpen(const char* fileName) {
  const HINSTANCE result = ShellExecuteA(nullptr, "open", fileName, nullptr, nullptr, SW_SHOW);
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(result));
}

}  // namespace kzt
