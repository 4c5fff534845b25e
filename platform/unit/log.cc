// The system log.  Lines carry the tag "setup" and the process id, so that
// the lines of the several setup processes on a unit (console, one per
// serial port, the SNMP extension) can be told apart.  The priority goes
// out exactly as the caller gives it: the program's own priorities carry
// their facility (local0); a bare level falls back to local0 as well.
//
// The SNMP agent logs two lines per table request, so a line must cost
// little: the header's time stamp and process id are formatted at most once
// per second, the process id is asked for once per process, the line is
// built in a static buffer and leaves in one send on a socket connected
// once.  Lines are those of the classic BSD format that the unit's log
// daemon reads: "<PRI>Mmm dd hh:mm:ss setup[PID]: message".
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/device_services.h"
#include "platform/unit/log_internal.h"

namespace {

constexpr int kFacilityLocal0 = 16 << 3;
constexpr int kPriorityBits = 0x3ff;  // facility and level
constexpr int kFacilityBits = 0x3f8;
// Descriptors below this are the standard streams: the log socket must not
// take the place of one that was closed, or a program's error output would
// end up in the log (and the socket in a program started later).
constexpr int kFirstLogDescriptor = 3;

const char *socketPath = "/dev/log";
int logSocket = -1;

// The header after the priority, "Mmm dd hh:mm:ss setup[PID]: ", valid for
// one second of one process.
pid_t ownPid = 0;  // 0: not known in this process
time_t headerSecond = -1;
char header[48];
int headerLength = 0;

// One line: "<PRI>", the header and the message.  Messages are at most a
// set request's value and a little text.
char line[2048];

void forgetPid() {
  ownPid = 0;
  headerSecond = -1;
}

void formatHeader(time_t now) {
  static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  if (!ownPid) {
    static bool watchingForks = false;
    if (!watchingForks) {
      pthread_atfork(nullptr, nullptr, forgetPid);
      watchingForks = true;
    }
    ownPid = getpid();
  }
  struct tm local;
  localtime_r(&now, &local);
  char *at = header;
  memcpy(at, months + 3 * local.tm_mon, 3);
  at += 3;
  *at++ = ' ';
  at = putDecimal(at, local.tm_mday, 2, ' ');
  *at++ = ' ';
  at = putDecimal(at, local.tm_hour, 2, '0');
  *at++ = ':';
  at = putDecimal(at, local.tm_min, 2, '0');
  *at++ = ':';
  at = putDecimal(at, local.tm_sec, 2, '0');
  memcpy(at, " setup[", 7);
  at += 7;
  at = putDecimal(at, static_cast<unsigned>(ownPid), 0, ' ');
  memcpy(at, "]: ", 3);
  at += 3;
  headerLength = static_cast<int>(at - header);
  headerSecond = now;
}

void closeSocket() {
  if (logSocket >= 0) close(logSocket);
  logSocket = -1;
}

void connectSocket() {
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  if (fd < kFirstLogDescriptor) {
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, kFirstLogDescriptor);
    close(fd);
    if (moved < 0) return;
    fd = moved;
  }
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, socketPath, sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) !=
      0) {
    close(fd);
    return;
  }
  logSocket = fd;
}

// The program's log texts use only %s and %d: those are put in here, which
// costs a fraction of the C library's formatter; a text with any other
// conversion is handed to the formatter.  The result is the length the
// whole message would have, like vsnprintf's.
int formatMessage(char *out, int room, const char *format, va_list args) {
  va_list again;
  va_copy(again, args);
  char *at = out;
  char *end = out + room - 1;
  int skipped = 0;  // what did not fit
  for (const char *p = format; *p; p++) {
    if (*p != '%' || p[1] == '%') {
      if (*p == '%') p++;
      if (at < end)
        *at++ = *p;
      else
        skipped++;
      continue;
    }
    const char *text;
    char number[12];
    int length;
    p++;
    if (*p == 's') {
      text = va_arg(args, const char *);
      if (!text) text = "(null)";
      length = static_cast<int>(strlen(text));
    } else if (*p == 'd') {
      int value = va_arg(args, int);
      unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value)
                                     : static_cast<unsigned>(value);
      number[0] = '-';
      char *digitsEnd = putDecimal(number + 1, magnitude, 0, ' ');
      text = value < 0 ? number : number + 1;
      length = static_cast<int>(digitsEnd - text);
    } else {
      int whole = vsnprintf(out, room, format, again);
      va_end(again);
      return whole;
    }
    int fits = static_cast<int>(end - at);
    if (length > fits) {
      skipped += length - fits;
      length = fits;
    }
    memcpy(at, text, length);
    at += length;
  }
  va_end(again);
  *at = '\0';
  return static_cast<int>(at - out) + skipped;
}

bool sendLine(int length) {
  if (logSocket < 0) return false;
  if (send(logSocket, line, length, MSG_NOSIGNAL) >= 0) return true;
  // A descriptor that is gone or no longer a socket was closed behind our
  // back (the descriptors closed before a hand-over); its number may belong
  // to someone else by now.
  if (errno == EBADF || errno == ENOTSOCK)
    logSocket = -1;
  else
    closeSocket();
  return false;
}

}  // namespace

void logIt(int priority, const char *format, ...) {
  int savedErrno = errno;
  priority &= kPriorityBits;
  if (!(priority & kFacilityBits)) priority |= kFacilityLocal0;

  time_t now = time(nullptr);
  if (now != headerSecond || !ownPid) formatHeader(now);

  char *at = line;
  *at++ = '<';
  at = putDecimal(at, static_cast<unsigned>(priority), 0, ' ');
  *at++ = '>';
  memcpy(at, header, headerLength);
  at += headerLength;
  int used = static_cast<int>(at - line);

  va_list args;
  va_start(args, format);
  int wanted = formatMessage(at, static_cast<int>(sizeof line) - used, format,
                             args);
  va_end(args);
  if (wanted < 0) wanted = 0;
  int length = used + wanted;
  if (length > static_cast<int>(sizeof line) - 1)
    length = static_cast<int>(sizeof line) - 1;

  // The log daemon may have been restarted since the last line: one new
  // connection, one more try, and the line is dropped if that fails too.
  if (logSocket < 0) {
    connectSocket();
    sendLine(length);
  } else if (!sendLine(length)) {
    connectSocket();
    sendLine(length);
  }
  errno = savedErrno;
}

void logUseSocket(const char *path) {
  closeSocket();
  socketPath = path;
}
