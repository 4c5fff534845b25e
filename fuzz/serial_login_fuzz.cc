// Getty mode's whole dialogue on port 0, fed from a buffer: the line set-up,
// the modem initialisation, the read loop with its PPP detector, line
// assembly and classification, up to the administrator's admission or the
// end of the line.  The line's terminal requests, signals, pauses and the
// clock are stood in for (below) while the dialogue runs, so that nothing
// touches this machine's terminal or waits.
//
// Input: a flags byte (bit 0: a modem port), the administrator password up
// to a newline, the modem init string up to a newline, then the line's
// bytes.  The line hears only the dialogue's own texts; a console port
// admits exactly when Enter comes; a modem port is initialised once more
// for every "Expecting a modem" text; an empty password admits no one.
#include <setjmp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "fuzz/stand_ins.h"
#include "login/login.h"
#include "platform/config_store.h"

using fuzzing::check;

namespace {

bool standingIn = false;
jmp_buf lineGone;
long clockCalls;

}  // namespace

// Stand-ins for the C library, active only while the dialogue runs (the
// fuzzer and the sanitizers call the same functions for themselves).
extern "C" {
unsigned __real_sleep(unsigned seconds);
void __real__exit(int status);
time_t __real_time(time_t *t);
int __real_tcgetattr(int fd, struct termios *tio);
int __real_tcsetattr(int fd, int when, const struct termios *tio);
int __real_ioctl(int fd, unsigned long request, void *arg);
int __real_sigaction(int sig, const struct sigaction *action, struct sigaction *old);
sighandler_t __real_signal(int sig, sighandler_t handler);

unsigned __wrap_sleep(unsigned seconds) {
  return standingIn ? 0 : __real_sleep(seconds);
}
void __wrap__exit(int status) {
  if (standingIn) longjmp(lineGone, 1);
  __real__exit(status);
}
// A clock that moves on a second every third look.
time_t __wrap_time(time_t *t) {
  if (!standingIn) return __real_time(t);
  time_t now = 1700000000 + clockCalls++ / 3;
  if (t) *t = now;
  return now;
}
int __wrap_tcgetattr(int fd, struct termios *tio) {
  if (!standingIn) return __real_tcgetattr(fd, tio);
  memset(tio, 0, sizeof *tio);
  return 0;
}
int __wrap_tcsetattr(int fd, int when, const struct termios *tio) {
  return standingIn ? 0 : __real_tcsetattr(fd, when, tio);
}
int __wrap_ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void *arg = va_arg(args, void *);
  va_end(args);
  if (!standingIn) return __real_ioctl(fd, request, arg);
  if (request == TIOCMGET) *static_cast<int *>(arg) = 0;
  return 0;
}
int __wrap_sigaction(int sig, const struct sigaction *action, struct sigaction *old) {
  return standingIn ? 0 : __real_sigaction(sig, action, old);
}
sighandler_t __wrap_signal(int sig, sighandler_t handler) {
  return standingIn ? SIG_DFL : __real_signal(sig, handler);
}
}

namespace {

constexpr char kExpecting[] =
    "\r\nExpecting a modem, if human, type admin password! (Or start PPP)\r\n\n";
constexpr char kPrompt[] = "\r\nPlease press Enter to activate this console... ";
constexpr char kWelcome[] =
    "\r\nWelcome. PPP starts now. Use PAP to authentica \bte.\r\n\n";

bool admitted;
void runDialogue() {
  admitted = false;
  standingIn = true;
  if (setjmp(lineGone) == 0) {
    doSerialLogin(0, "/dev/ttyS0");
    admitted = true;
  }
  standingIn = false;
}

// Takes text up to a newline from the input; advances past it.
void field(const uint8_t **data, size_t *size, char *out, size_t outSize) {
  const uint8_t *end = static_cast<const uint8_t *>(memchr(*data, '\n', *size));
  size_t n = end ? static_cast<size_t>(end - *data) : *size;
  size_t kept = n < outSize - 1 ? n : outSize - 1;
  memcpy(out, *data, kept);
  out[kept] = 0;
  size_t used = end ? n + 1 : n;
  *data += used;
  *size -= used;
}

char output[1 << 20];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  bool modem = data[0] & 1;
  data++;
  size--;
  char passwd[128];
  char init[1200];
  field(&data, &size, passwd, sizeof passwd);
  field(&data, &size, init, sizeof init);

  // The dialogue reads the configuration and never changes it: the four
  // keys it depends on are all that need setting.
  static bool ready = false;
  if (!ready) fuzzing::resetUnit();
  ready = true;
  fuzzing::counts = {};
  cfgDelete("serial0");
  cfgSet("pppEnable", modem ? "1" : "0");
  cfgSet("passwd", passwd);
  cfgSet("modemInit", init);
  pppFrameSeen(0x00);
  clockCalls = 0;
  size_t length = fuzzing::withStreams(data, size, runDialogue, output, sizeof output);
  if (length >= sizeof output) return 0;

  // Nothing but the dialogue's own texts.
  long expecting = 0, prompts = 0;
  for (const char *p = output; *p;) {
    if (strncmp(p, kExpecting, sizeof kExpecting - 1) == 0) {
      expecting++;
      p += sizeof kExpecting - 1;
    } else if (strncmp(p, kPrompt, sizeof kPrompt - 1) == 0) {
      prompts++;
      p += sizeof kPrompt - 1;
    } else {
      check(strncmp(p, kWelcome, sizeof kWelcome - 1) == 0, "only the dialogue's texts");
      p += sizeof kWelcome - 1;
    }
  }

  const auto &counts = fuzzing::counts;
  bool enter = memchr(data, '\r', size) || memchr(data, '\n', size);
  if (!modem) {
    check(admitted == enter, "a console port admits exactly at Enter");
    check(prompts >= 1 && expecting == 0 && counts.programsRun == 0, "a console port's texts");
    return 0;
  }
  check(prompts == 0 && expecting >= 1, "a modem port is initialised");
  // An init string too long for chat's command line is not sent at all.
  bool fits = strlen(init[0] ? init : "ATE0S0=1&K3") <= 987;
  check(counts.programsRun == (fits ? expecting : 0), "one chat run per initialisation");
  if (admitted) check(passwd[0] != 0, "an empty password admits no one");
  return 0;
}
