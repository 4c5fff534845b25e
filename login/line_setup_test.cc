#include <gtest/gtest.h>
#include <termios.h>

#include "login/login.h"

namespace {

struct Expected {
  const char *config;
  speed_t speed;
  tcflag_t size;
  bool parity;
  bool odd;
  bool twoStopBits;
};

// A record that starts with every bit the grammar may change set the "wrong"
// way, so that each field has to be written to come out right.
struct termios startRecord() {
  struct termios tio = {};
  tio.c_iflag = IXON | ICRNL;
  tio.c_cflag = CS6 | PARENB | PARODD | CSTOPB | CRTSCTS | CREAD;
  cfsetispeed(&tio, B4800);
  cfsetospeed(&tio, B4800);
  return tio;
}

TEST(ReservedPortGrammar, AppliesSpeedSizeParityAndStopBits) {
  const Expected cases[] = {
      {"19200", B19200, CS8, false, true, false},
      {"9600 7E1", B9600, CS7, true, false, false},
      {"38400 8o2", B38400, CS8, true, true, true},
      {"115200\t6e1", B115200, CS6, true, false, false},
      // The blank after the size is taken as the parity character and the
      // 'N' as the stop-bit character.
      {"9600 8 N 2", B9600, CS8, false, true, false},
      {"9600 7E", B9600, CS7, true, false, false},
      // Unknown speeds fall back to 9600; the format still applies.
      {"230400 7O2", B9600, CS7, true, true, true},
      {"fast", B9600, CS8, false, true, false},
      // Read in 32 bits as on the appliance: a '-' wraps round to 115200,
      // and past 32 bits nothing matches.
      {"-4294852096 7E1", B115200, CS7, true, false, false},
      {"4294976896 7E1", B9600, CS7, true, false, false},
      {"", B9600, CS8, false, true, false},
  };
  for (const Expected &e : cases) {
    SCOPED_TRACE(e.config);
    struct termios tio = startRecord();
    doReservedPortSetup(e.config, &tio);
    EXPECT_EQ(cfgetispeed(&tio), e.speed);
    EXPECT_EQ(cfgetospeed(&tio), e.speed);
    EXPECT_EQ(tio.c_cflag & CSIZE, e.size);
    EXPECT_EQ((tio.c_cflag & PARENB) != 0, e.parity);
    EXPECT_EQ((tio.c_cflag & PARODD) != 0, e.odd);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, e.twoStopBits);
    // Nothing beyond the line format is the string's business.
    EXPECT_EQ(tio.c_cflag & (CRTSCTS | CREAD), tcflag_t(CRTSCTS | CREAD));
    EXPECT_EQ(tio.c_iflag, tcflag_t(IXON | ICRNL));
  }
}

}  // namespace
