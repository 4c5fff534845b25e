// Line input from the operator's terminal or a protocol stream.
//
// Bytes are taken one read(2) at a time, never through stdio's input
// buffer: the serial port service reads the same descriptor raw, and a
// buffered read-ahead would swallow bytes meant for it or for a program the
// line is handed to.
//
// A line ends at LF.  A CR directly before the LF (terminals and peers
// that send CR LF) or right before the end of input belongs to the line
// end; a CR anywhere else is kept as text.  Of a line longer than n
// characters the first n are returned and the rest, up to and including its
// line end, is read and dropped, so the next call starts on the next line.
// Input that ends in the middle of a line returns that partial line; the
// call after it reports the end.  A read error drops what was read of the
// line and is reported like the end.
#include "platform/util/line_input.h"

#include <errno.h>
#include <unistd.h>

#include <cstdio>

#include "platform/device_services.h"

namespace {

// One byte: 1 read, 0 end of input, -1 error.  A signal whose handler
// returns does not end the line.
int readByte(int fd, char *c) {
  for (;;) {
    ssize_t got = read(fd, c, 1);
    if (got == 1) return 1;
    if (got == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

}  // namespace

int readLineFrom(int fd, char *buf, int n) {
  if (n < 0) n = 0;
  int length = 0;
  bool pendingCr = false;
  bool any = false;
  buf[0] = '\0';
  for (;;) {
    char c;
    int status = readByte(fd, &c);
    if (status <= 0) {
      if (status < 0 || !any) {
        buf[0] = '\0';
        return -1;
      }
      break;
    }
    any = true;
    if (c == '\n') break;
    if (pendingCr && length < n) buf[length++] = '\r';
    pendingCr = c == '\r';
    if (!pendingCr && length < n) buf[length++] = c;
  }
  buf[length] = '\0';
  return length;
}

int readline(char *buf, int n) {
  // Prompts are printed with stdio; they must be on the line before the
  // operator is waited for.
  fflush(stdout);
  return readLineFrom(0, buf, n);
}
