#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "transport/linux/linux_platform.h"

namespace kzt::linuxtest {
namespace {

// A pseudo-terminal whose slave becomes the controlling terminal of a child process, so that the
// child's /dev/tty is a terminal the test controls.
class Pty {
 public:
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
      std::strncpy(slaveName, ptsname(master), sizeof slaveName - 1);
      slave = open(slaveName, O_RDWR | O_NOCTTY);
    }
  }
  ~Pty() {
    if (slave >= 0) close(slave);
    if (master >= 0) close(master);
  }
  bool ready() const { return slave >= 0; }
  tcflag_t localFlags() const {
    struct termios t;
    return tcgetattr(slave, &t) == 0 ? t.c_lflag : 0;
  }

  int master = -1;
  int slave = -1;
  char slaveName[128] = {};
};

// Runs `body` in a child that is a session leader: with the pty as its controlling terminal when
// one is given, without any terminal otherwise. The child's wait status.
template <typename Body>
int inChild(const Pty* pty, Body body) {
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    if (pty != nullptr) {
      const int fd = open(pty->slaveName, O_RDWR);  // a session leader's first terminal
      if (fd < 0) _exit(90);
    }
    _exit(body());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

constexpr tcflag_t kLineModes = ICANON | ECHO;

TEST(LinuxConsole, NoTerminalMeansNoConsole) {
  const int status = inChild(nullptr, [] {
    return LinuxPlatform().consoleAvailable() == 0 && LinuxPlatform().keyWaiting() == 0 ? 0 : 1;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(LinuxConsole, KeysTypedEarlierAreReadOneByOneWithoutEchoAndTheModeComesBack) {
  Pty pty;
  ASSERT_TRUE(pty.ready());
  const tcflag_t before = pty.localFlags();
  ASSERT_EQ(before & kLineModes, kLineModes);
  // Typed while the program was busy, without Enter.
  ASSERT_EQ(write(pty.master, "xy ", 3), 3);
  const int slave = pty.slave;
  const int status = inChild(&pty, [slave] {
    if (!LinuxPlatform().consoleAvailable()) return 1;
    if (!LinuxPlatform().keyWaiting()) return 2;
    struct termios during;
    tcgetattr(slave, &during);
    if ((during.c_lflag & kLineModes) != 0) return 3;
    int last = 0;
    do last = LinuxPlatform().readKey();
    while (LinuxPlatform().keyWaiting());
    if (last != ' ') return 4;
    struct termios after;
    tcgetattr(slave, &after);
    return (after.c_lflag & kLineModes) == kLineModes ? 0 : 5;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(pty.localFlags(), before);
}

TEST(LinuxConsole, TerminalIsRestoredAtExitAndOnATerminatingSignal) {
  Pty pty;
  ASSERT_TRUE(pty.ready());
  const tcflag_t before = pty.localFlags();

  int status = inChild(&pty, [] {
    LinuxPlatform().keyWaiting();  // leaves the terminal in key mode: nothing is typed
    std::exit(0);
    return 0;
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(pty.localFlags(), before);

  status = inChild(&pty, [] {
    LinuxPlatform().keyWaiting();
    raise(SIGTERM);
    return 7;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(pty.localFlags(), before);
}

}  // namespace
}  // namespace kzt::linuxtest
