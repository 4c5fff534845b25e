#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "platform/device_services.h"
#include "platform/unit/log_internal.h"
#include "platform/testing/test_files.h"

namespace {

// A stand-in for the log daemon: a datagram socket in a scratch directory.
class Log : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path("log");
    bindDaemon();
    logUseSocket(path_.c_str());
  }
  void TearDown() override {
    logUseSocket("/nonexistent/log");
    close(daemon_);
  }
  void bindDaemon() {
    daemon_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a = {};
    a.sun_family = AF_UNIX;
    path_.copy(a.sun_path, sizeof a.sun_path - 1);
    ASSERT_EQ(bind(daemon_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  }
  // The next datagram, "" when none is waiting.
  std::string received() {
    char buf[4096];
    ssize_t n = recv(daemon_, buf, sizeof buf, MSG_DONTWAIT);
    return n < 0 ? "" : std::string(buf, static_cast<size_t>(n));
  }
  // What the classic syslog() call writes for this process at time t.
  static std::string expected(int priority, time_t t, const std::string &text,
                              pid_t pid = getpid()) {
    char stamp[32];
    struct tm tm;
    strftime(stamp, sizeof stamp, "%h %e %T", localtime_r(&t, &tm));
    return "<" + std::to_string(priority) + ">" + stamp + " setup[" +
           std::to_string(pid) + "]: " + text;
  }
  // The line, allowing for the clock to tick while it was written.
  void expectLine(int priority, time_t before, const std::string &text,
                  pid_t pid = getpid()) {
    std::string line = received();
    time_t after = time(nullptr);
    if (line != expected(priority, after, text, pid)) {
      EXPECT_EQ(line, expected(priority, before, text, pid));
    }
  }

  TempDir dir_;
  std::string path_;
  int daemon_ = -1;
};

TEST_F(Log, LinesInTheClassicFormatWithTheirPriority) {
  time_t t = time(nullptr);
  logIt(kLogNotice, "SNMP: doUsers: oid='%s' (%d,%d) next=%d value=%s\n",
        "1.1.3.2", 3, 2, 0, "(GET)");
  expectLine(0x85, t, "SNMP: doUsers: oid='1.1.3.2' (3,2) next=0 value=(GET)\n");
  logIt(kLogError, "PPPd failed to start.");
  expectLine(0x83, t, "PPPd failed to start.");
  // A bare level goes out under local0; bits beyond the facility are cut.
  logIt(3, "x");
  expectLine(0x83, t, "x");
  logIt(0x10000 | 0x85, "y");
  expectLine(0x85, t, "y");
  // Numbers at their limits, an empty text and a literal percent sign, as
  // the C library writes them; other conversions too.
  logIt(kLogNotice, "%d %d %d %% %s.", 0, -2147483647 - 1, 2147483647, "");
  expectLine(0x85, t, "0 -2147483648 2147483647 % .");
  logIt(kLogNotice, "%s=%d|%x|%5s|%-3d|%c", "k", -4, 255, "ab", 7, 'z');
  expectLine(0x85, t, "k=-4|ff|   ab|7  |z");
  // An over-long message is cut, not sent past the buffer.
  logIt(kLogNotice, "%s", std::string(5000, 'v').c_str());
  EXPECT_EQ(received().size(), 2047u);
  logIt(kLogNotice, "%s%d", std::string(3000, 'v').c_str(), 12345);
  EXPECT_EQ(received().size(), 2047u);
}

TEST_F(Log, LeavesErrnoAsItWas) {
  errno = ENOENT;
  logIt(kLogNotice, "a");
  EXPECT_EQ(errno, ENOENT);
  logUseSocket("/nonexistent/log");  // failing sends too
  errno = EINTR;
  logIt(kLogNotice, "b");
  EXPECT_EQ(errno, EINTR);
}

TEST_F(Log, AChildLogsUnderItsOwnPid) {
  logIt(kLogNotice, "parent");  // the parent's header is made
  received();
  pid_t child = fork();
  if (child == 0) {
    logIt(kLogNotice, "child");
    _exit(0);
  }
  int status;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  time_t t = time(nullptr);
  expectLine(0x85, t, "child", child);
  logIt(kLogNotice, "parent");
  expectLine(0x85, t, "parent");
}

TEST_F(Log, ReconnectsWhenTheDaemonComesBack) {
  logIt(kLogNotice, "one");
  EXPECT_NE(received(), "");
  close(daemon_);
  unlink(path_.c_str());
  logIt(kLogNotice, "lost");  // nobody listens: dropped
  bindDaemon();
  time_t t = time(nullptr);
  logIt(kLogNotice, "two");
  expectLine(0x85, t, "two");
}

// The descriptors closed before a hand-over take the log socket with them;
// when the hand-over fails, the next line must not reconnect on the free
// standard error descriptor, or what is written there would go to the log.
TEST_F(Log, NeverTakesAStandardDescriptor) {
  logIt(kLogNotice, "before");
  received();
  pid_t child = fork();
  if (child == 0) {
    for (int fd = 2; fd <= 39; fd++)
      if (fd != daemon_) close(fd);
    logIt(kLogError, "after");
    bool stderrClosed = fcntl(2, F_GETFD) < 0;
    int fd = open("/dev/null", O_WRONLY);  // takes the lowest free descriptor
    _exit(stderrClosed && fd == 2 ? 0 : 1);
  }
  int status;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_NE(received().find("after"), std::string::npos);
}

}  // namespace
