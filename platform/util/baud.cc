// Terminal speed codes of the baud rates this host's terminal driver knows.
#include <termios.h>

#include <array>

#include "platform/device_services.h"

namespace {

struct BaudCode {
  int baud;
  speed_t code;
};

constexpr std::array kBaudCodes = {
    BaudCode{50, B50},         BaudCode{75, B75},
    BaudCode{110, B110},       BaudCode{134, B134},
    BaudCode{150, B150},       BaudCode{200, B200},
    BaudCode{300, B300},       BaudCode{600, B600},
    BaudCode{1200, B1200},     BaudCode{1800, B1800},
    BaudCode{2400, B2400},     BaudCode{4800, B4800},
    BaudCode{9600, B9600},     BaudCode{19200, B19200},
    BaudCode{38400, B38400},   BaudCode{57600, B57600},
    BaudCode{115200, B115200}, BaudCode{230400, B230400},
#ifdef B460800
    BaudCode{460800, B460800},
#endif
#ifdef B921600
    BaudCode{921600, B921600},
#endif
};

}  // namespace

// 0 (B0, "hang up") is never a speed a line is set to, so it doubles as
// "no such rate"; a baud of 0 is refused for the same reason.
unsigned baudToTermios(int baud) {
  if (baud <= 0) return 0;
  for (const BaudCode &entry : kBaudCodes)
    if (entry.baud == baud) return entry.code;
  return 0;
}
