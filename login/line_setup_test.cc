#include <gtest/gtest.h>
#include <termios.h>

#include <cstring>
#include <string>

#include "login/login.h"
#include "platform/config_store.h"

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

// What a mode's line settings do to each word of the record: the bits
// cleared, then the bits set; every other bit must come out as it went in.
struct Change {
  tcflag_t clear, set;
};
struct LineCase {
  const char *what;
  PortMode mode;
  const char *config;
  speed_t speed;
  Change iflag, oflag, cflag, lflag;
};

// Raw mode: no input or output processing, no echo, no canonical input and
// no signal characters, 8 bits without parity.
constexpr tcflag_t kRawI = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON;
constexpr tcflag_t kRawL = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
constexpr tcflag_t kRawC = CSIZE | PARENB;
// The speed's own bits are checked as the speed.
#ifdef CIBAUD
constexpr tcflag_t kSpeedBits = CBAUD | CBAUDEX | CIBAUD;
#else
constexpr tcflag_t kSpeedBits = CBAUD | CBAUDEX;
#endif

// Every flag the set-up sets or clears, from a record that starts the other
// way: all bits set, then all clear.  So a flag left out (IXOFF on a modem
// line, CLOCAL anywhere) shows from one of the two starts, and so does a
// flag touched that must stay as found (CRTSCTS, IXOFF and the stop bits of
// a console line).
TEST(LineSettings, EveryFlagSetOrClearedFromTheOppositeStart) {
  ASSERT_EQ(cfgSetN("pppBaud", 57600), 0);
  const LineCase cases[] = {
      {"console", PortMode::kConsole, nullptr, B115200,
       {kRawI, 0}, {OPOST, 0}, {kRawC, CS8 | CLOCAL}, {kRawL, 0}},
      {"modem", PortMode::kModem, nullptr, B57600,
       {kRawI | IXOFF, 0}, {OPOST, 0}, {kRawC, CS8 | CLOCAL | CRTSCTS}, {kRawL, 0}},
      {"reserved 9600 7E1", PortMode::kReserved, "9600 7E1", B9600,
       {kRawI, 0}, {OPOST, 0}, {kRawC | PARODD | CSTOPB, CS7 | PARENB | CLOCAL}, {kRawL, 0}},
      {"reserved 38400 5o2", PortMode::kReserved, "38400 5o2", B38400,
       {kRawI, 0}, {OPOST, 0}, {kRawC, CS5 | PARENB | PARODD | CSTOPB | CLOCAL}, {kRawL, 0}},
  };
  for (const LineCase &c : cases) {
    for (unsigned char fill : {0xFF, 0x00}) {
      SCOPED_TRACE(std::string(c.what) + (fill ? ", all bits set" : ", all bits clear"));
      struct termios start;
      memset(&start, fill, sizeof start);
      cfsetispeed(&start, B300);
      cfsetospeed(&start, B300);
      struct termios tio = start;
      makeLineSettings(c.mode, c.config, &tio);
      auto expect = [](tcflag_t before, const Change &change) {
        return (before & ~change.clear) | change.set;
      };
      EXPECT_EQ(tio.c_iflag, expect(start.c_iflag, c.iflag));
      EXPECT_EQ(tio.c_oflag, expect(start.c_oflag, c.oflag));
      EXPECT_EQ(tio.c_cflag & ~kSpeedBits, expect(start.c_cflag, c.cflag) & ~kSpeedBits);
      EXPECT_EQ(tio.c_lflag, expect(start.c_lflag, c.lflag));
      EXPECT_EQ(cfgetispeed(&tio), c.speed);
      EXPECT_EQ(cfgetospeed(&tio), c.speed);
      // Reads return after one byte, without a timer; the control
      // characters stay as found.
      EXPECT_EQ(tio.c_cc[VMIN], 1);
      EXPECT_EQ(tio.c_cc[VTIME], 0);
      for (int i = 0; i < NCCS; i++) {
        if (i == VMIN || i == VTIME) continue;
        EXPECT_EQ(tio.c_cc[i], start.c_cc[i]) << "c_cc " << i;
      }
      EXPECT_EQ(tio.c_line, start.c_line);
    }
  }
  // A speed the modem table does not know leaves the line at 115200.
  ASSERT_EQ(cfgSetN("pppBaud", 12345), 0);
  struct termios tio = {};
  makeLineSettings(PortMode::kModem, nullptr, &tio);
  EXPECT_EQ(cfgetospeed(&tio), speed_t(B115200));
}

}  // namespace
