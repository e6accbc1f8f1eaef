#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "transport/linux/console_shell.h"

extern char** environ;

namespace kzt::linuxos {

uint32_t shellOpen(const char* fileName) {
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

}  // namespace kzt::linuxos
