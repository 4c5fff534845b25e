// PS/2 tests.  Each PS/2 connector has a device side (towards the keyboard
// or mouse) and a host side (towards the computer), with one node each:
// /dev/ps2/0 keyboard device side, /dev/ps2/1 mouse device side,
// /dev/ps2/2 keyboard host side, /dev/ps2/3 mouse host side.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "diag/self_tests.h"
#include "platform/ioctls.h"

namespace {

// Keyboard loop-back: what is written to the host side comes back on the
// device side while forwarding between the two is off.
constexpr char kPattern[] = {'Q', 'E', 'R', 'L', '!', '!'};
constexpr int kPatternSize = sizeof kPattern;
constexpr int kReadSize = 4 * kPatternSize;
constexpr int kMatchesNeeded = 5;
// A working loop-back garbles a cycle now and then; one that garbles this
// many is broken.  At 100 ms or more per cycle the test gives up within a
// few seconds instead of running for ever.
constexpr int kMismatchLimit = 20;
constexpr long kEchoWaitNs = 100 * 1000 * 1000;
constexpr unsigned kReadTimeoutSeconds = 1;

// Host-side keyboard port while forwarding is off, for the time-out handler.
volatile sig_atomic_t keyboardHostFd = -1;

int setForwarding(int fd, int on) { return ioctl(fd, PS2D_SET_FORWARDING, &on); }

// A read that blocks means nothing comes back at all.  The keyboard is given
// back to the host before the process ends, so the unit is not left with a
// dead keyboard.  Only async-signal-safe calls here.
void onReadTimeout(int) {
  static const char kFailed[] = "FAILED\n";
  if (keyboardHostFd >= 0) setForwarding(keyboardHostFd, 1);
  ssize_t ignored = write(STDOUT_FILENO, kFailed, sizeof kFailed - 1);
  (void)ignored;
  _exit(1);
}

void waitForEcho() {
  struct timespec wait = {0, kEchoWaitNs};
  nanosleep(&wait, nullptr);
}

// Loop-back cycles until enough of them matched; 0 then, 1 on a fault.
int runLoopBack(int device, int host) {
  char buf[kReadSize];
  int matches = 0;
  int mismatches = 0;
  while (matches < kMatchesNeeded) {
    if (write(host, kPattern, kPatternSize) < 0) testDie("testK", "write");
    waitForEcho();
    alarm(kReadTimeoutSeconds);
    ssize_t n = read(device, buf, sizeof buf);
    if (n < 0) perror("readback");
    if (n < kPatternSize) {
      fprintf(stderr, "FAILED: Got back less than I wrote.\n");
      return 1;
    }
    // Earlier bytes are left-overs from previous cycles or key presses.
    if (memcmp(buf + n - kPatternSize, kPattern, kPatternSize) == 0) {
      ++matches;
      continue;
    }
    fprintf(stderr, "BAD match.\n");
    if (++mismatches == kMismatchLimit) {
      fprintf(stderr, "FAILED: Too many bad matches.\n");
      return 1;
    }
  }
  return 0;
}

}  // namespace

int testK() {
  int device = open("/dev/ps2/0", O_RDONLY);
  if (device < 0) testDie("testK", "open dev kbd");
  int host = open("/dev/ps2/2", O_WRONLY);
  if (host < 0) testDie("testK", "open host kbd");
  if (setForwarding(host, 0) != 0) testDie("testK", "PS2D_SET_FORWARDING");
  keyboardHostFd = host;
  signal(SIGALRM, onReadTimeout);
  int code = runLoopBack(device, host);
  // The last alarm stays armed: the process ends well within its second.
  keyboardHostFd = -1;
  if (setForwarding(host, 1) != 0) testDie("testK", "PS2D_SET_FORWARDING");
  close(device);
  close(host);
  return code;
}

namespace {

// Status byte 0 of the host-side mouse port.
constexpr unsigned kMouseStatusGood = 0xC0;
// Delay the device side puts between the bytes of a command, in its units.
constexpr int kMouseCommandDelay = 52;
constexpr unsigned kMouseSettleSeconds = 1;

}  // namespace

int testM() {
  int device = open("/dev/ps2/1", O_RDONLY);
  if (device < 0) testDie("testM", "open dev ms");
  int host = open("/dev/ps2/3", O_RDONLY);
  if (host < 0) testDie("testM", "open host ms");
  int delay = kMouseCommandDelay;
  if (ioctl(device, PS2D_DELAY_CMD, &delay) != 0) testDie("testM", "ioctl PS2D_DELAY_CMD");
  sleep(kMouseSettleSeconds);
  unsigned char status[3] = {0, 0, 0};
  if (ioctl(host, PS2D_GET_STATUS, status) != 0) testDie("testM", "PS2D_GET_STATUS");
  close(device);
  close(host);
  return (status[0] & kMouseStatusGood) == kMouseStatusGood ? 0 : 1;
}
