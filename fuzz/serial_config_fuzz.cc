// A reserved port's configuration string applied to a line's settings.
// Whatever the string, the line gets one of the speeds a reserved device
// may use, the same speed in both directions, and only the speed, character
// size, parity and stop-bit settings change.
#include <termios.h>

#include <cstdint>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "login/login.h"

using fuzzing::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < sizeof(tcflag_t)) return 0;
  // The settings found on the line come from the input too.
  struct termios tio;
  memset(&tio, 0, sizeof tio);
  memcpy(&tio.c_cflag, data, sizeof(tcflag_t));
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CBAUDEX);
  cfsetispeed(&tio, B115200);
  cfsetospeed(&tio, B115200);
  struct termios found = tio;

  char text[256];
  size -= sizeof(tcflag_t);
  if (size >= sizeof text) size = sizeof text - 1;
  memcpy(text, data + sizeof(tcflag_t), size);
  text[size] = 0;
  doReservedPortSetup(text, &tio);

  speed_t speed = cfgetospeed(&tio);
  check(cfgetispeed(&tio) == speed, "the same speed both ways");
  static const speed_t allowed[] = {B1200, B9600, B19200, B38400, B57600, B115200};
  bool known = false;
  for (speed_t s : allowed) known = known || s == speed;
  check(known, "a speed a reserved device may use");

  tcflag_t touched = CBAUD | CBAUDEX | CSIZE | PARENB | PARODD | CSTOPB;
  check((tio.c_cflag & ~touched) == (found.c_cflag & ~touched), "other control flags untouched");
  check(tio.c_iflag == found.c_iflag && tio.c_oflag == found.c_oflag &&
            tio.c_lflag == found.c_lflag &&
            memcmp(tio.c_cc, found.c_cc, sizeof tio.c_cc) == 0,
        "other settings untouched");
  // Parity off leaves the odd-parity bit as it was found.
  if (!(tio.c_cflag & PARENB))
    check((tio.c_cflag & PARODD) == (found.c_cflag & PARODD), "PARODD kept without parity");
  return 0;
}
