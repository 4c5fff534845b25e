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
#include "platform/host/log_internal.h"
#include "platform/host/test_files.h"

// The log's clock, held still by the tests of this program that set it:
// time() here stands in for the C library's (the program's own definition
// comes first), and reads the real clock while no instant is set.
time_t fixedNow = -1;

extern "C" time_t time(time_t *out) noexcept {
  time_t now = fixedNow;
  if (now < 0) {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    now = ts.tv_sec;
  }
  if (out) *out = now;
  return now;
}

namespace {

// 2026-03-09 07:08:09 UTC: a one-digit day, a one-digit hour.
constexpr time_t kMarch9 = 1773040089;

// A stand-in for the log daemon: a datagram socket in a scratch directory.
class Log : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.path("log");
    bindDaemon();
    logUseSocket(path_.c_str());
    setenv("TZ", "UTC0", 1);
    tzset();
    fixedNow = kMarch9;
  }
  void TearDown() override {
    fixedNow = -1;
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
  // The line as the classic syslog() call writes it for this process at
  // the fixture's instant.
  void expectLine(int priority, const std::string &text, pid_t pid = getpid()) {
    EXPECT_EQ(received(), "<" + std::to_string(priority) + ">Mar  9 07:08:09 setup[" +
                              std::to_string(pid) + "]: " + text);
  }

  TempDir dir_;
  std::string path_;
  int daemon_ = -1;
};

TEST_F(Log, LinesInTheClassicFormatWithTheirPriority) {
  logIt(kLogNotice, "SNMP: doUsers: oid='%s' (%d,%d) next=%d value=%s\n",
        "1.1.3.2", 3, 2, 0, "(GET)");
  expectLine(0x85, "SNMP: doUsers: oid='1.1.3.2' (3,2) next=0 value=(GET)\n");
  logIt(kLogError, "PPPd failed to start.");
  expectLine(0x83, "PPPd failed to start.");
  // A bare level goes out under local0; bits beyond the facility are cut.
  logIt(3, "x");
  expectLine(0x83, "x");
  logIt(0x10000 | 0x85, "y");
  expectLine(0x85, "y");
  // Numbers at their limits, an empty text and a literal percent sign, as
  // the C library writes them; other conversions too.
  logIt(kLogNotice, "%d %d %d %% %s.", 0, -2147483647 - 1, 2147483647, "");
  expectLine(0x85, "0 -2147483648 2147483647 % .");
  logIt(kLogNotice, "%s=%d|%x|%5s|%-3d|%c", "k", -4, 255, "ab", 7, 'z');
  expectLine(0x85, "k=-4|ff|   ab|7  |z");
  // An over-long message is cut, not sent past the buffer.
  logIt(kLogNotice, "%s", std::string(5000, 'v').c_str());
  EXPECT_EQ(received().size(), 2047u);
  logIt(kLogNotice, "%s%d", std::string(3000, 'v').c_str(), 12345);
  EXPECT_EQ(received().size(), 2047u);
}

// The stamp of every line: month name, the day padded with a blank (a
// two-digit day fills both places), time of day with zeros; made anew when
// the second changes, and only then.
TEST_F(Log, TheStampFollowsTheClockWithOneAndTwoDigitDays) {
  const struct {
    time_t at;
    const char *stamp;
  } instants[] = {
      {1767225600, "Jan  1 00:00:00"}, {1709251199, "Feb 29 23:59:59"},
      {kMarch9, "Mar  9 07:08:09"},    {1814356800, "Jun 30 12:00:00"},
      {1783192821, "Jul  4 19:20:21"}, {1793437501, "Oct 31 09:05:01"},
      {1796908455, "Dec 10 13:14:15"}, {1796908456, "Dec 10 13:14:16"},
  };
  const std::string pid = std::to_string(getpid());
  for (const auto &i : instants) {
    fixedNow = i.at;
    for (int twice = 0; twice < 2; twice++) {
      logIt(kLogNotice, "at %ld", static_cast<long>(i.at));
      EXPECT_EQ(received(), "<133>" + std::string(i.stamp) + " setup[" + pid + "]: at " +
                                std::to_string(i.at));
    }
  }
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
  expectLine(0x85, "child", child);
  logIt(kLogNotice, "parent");
  expectLine(0x85, "parent");
}

TEST_F(Log, ReconnectsWhenTheDaemonComesBack) {
  logIt(kLogNotice, "one");
  EXPECT_NE(received(), "");
  close(daemon_);
  unlink(path_.c_str());
  logIt(kLogNotice, "lost");  // nobody listens: dropped
  bindDaemon();
  logIt(kLogNotice, "two");
  expectLine(0x85, "two");
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
