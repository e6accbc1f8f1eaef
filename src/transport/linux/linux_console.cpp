// The console keyboard of the final prompt on the controlling terminal, the pause between key
// polls, and the report opened with xdg-open.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "transport/linux/linux_platform.h"

extern char** environ;

namespace kzt {

namespace linuxos {

namespace {

int terminal = -1;
struct termios saved;
volatile sig_atomic_t keyMode = 0;
unsigned keysRead = 0;
bool guardsInstalled = false;

constexpr int kTerminatingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void restoreAtExit() { restoreConsole(); }

// Puts the terminal back and lets the signal end the process as it would have.
void restoreOnSignal(int signal) {
  if (keyMode) {
    tcsetattr(terminal, TCSANOW, &saved);
    keyMode = 0;
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void installGuards() {
  if (guardsInstalled) return;
  guardsInstalled = true;
  std::atexit(restoreAtExit);
  for (int signal : kTerminatingSignals) {
    struct sigaction current;
    if (sigaction(signal, nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN) continue;  // leave an ignored signal ignored
    struct sigaction action = {};
    action.sa_handler = restoreOnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

int openTerminal() {
  if (terminal < 0) terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  return terminal >= 0;
}

int enterKeyMode() {
  if (keyMode) return 1;
  if (!openTerminal() || tcgetattr(terminal, &saved) != 0) return 0;
  installGuards();
  struct termios keys = saved;
  keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keys.c_cc[VMIN] = 0;
  keys.c_cc[VTIME] = 0;
  keysRead = 0;
  keyMode = 1;
  if (tcsetattr(terminal, TCSANOW, &keys) != 0) {
    keyMode = 0;
    return 0;
  }
  return 1;
}

}  // namespace

void restoreConsole() {
  if (!keyMode) return;
  tcsetattr(terminal, TCSANOW, &saved);
  keyMode = 0;
}

}  // namespace linuxos

int LinuxPlatform::consoleAvailable() {
  using namespace linuxos;
  return openTerminal() && isatty(terminal);
}

int LinuxPlatform::keyWaiting() {
  using namespace linuxos;
  if (!enterKeyMode()) return 0;
  struct pollfd watch = {terminal, POLLIN, 0};
  const int waiting = poll(&watch, 1, 0) > 0 && (watch.revents & POLLIN) != 0;
  // Once keys have been read and none is left, the wait is over.
  if (!waiting && keysRead > 0) restoreConsole();
  return waiting;
}

int LinuxPlatform::readKey() {
  using namespace linuxos;
  if (!enterKeyMode()) return 0;
  unsigned char key = 0;
  if (read(terminal, &key, 1) != 1) return 0;
  ++keysRead;
  return key;
}

void LinuxPlatform::sleepMilliseconds(uint32_t milliseconds) {
  struct timespec pause;
  pause.tv_sec = static_cast<time_t>(milliseconds / 1000);
  pause.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (nanosleep(&pause, &pause) != 0) {
  }
}

uint32_t LinuxPlatform::shellOpen(const char* fileName) {
  using namespace linuxos;
  restoreConsole();  // the viewer may want the terminal as the user left it
  char program[] = "xdg-open";
  char* argv[] = {program, const_cast<char*>(fileName), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) return kShellToolMissing;
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return kShellOtherFailure;
  }
  if (!WIFEXITED(status)) return kShellOtherFailure;
  const int code = WEXITSTATUS(status);
  if (code == 0) return kShellOpenSucceeded;
  return code <= static_cast<int>(kShellOtherFailure) ? static_cast<uint32_t>(code)
                                                      : kShellOtherFailure;
}

}  // namespace kzt
