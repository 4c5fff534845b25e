// Getty mode on one serial port.
#pragma once

#include <termios.h>

// Replaces the process with the IPMI serial process when IPMI is enabled and
// `port` is (or, when requested, becomes) the IPMI port; otherwise returns.
void startIpmi(int requested, int port);
// Sets the port up and answers it; returns only when a human is to be given
// the console.  `name` is the terminal's name, or null.
void doSerialLogin(int port, const char *name);

// Replaces the process with the PPP daemon on the port; returns -1 only when
// the daemon could not be started.
int startPppd(int port, const char *name);

// Non-zero when the port may carry a modem: PPP is enabled and the unit does
// not restrict modems to port 0 (or this is port 0).
int pppEnabledOnPort(int port);

// Applies a port configuration string such as "1200 8N1" (speed, then
// character size, parity and stop bits) to a settings record.  Touches only
// the speeds, CSIZE, PARENB, PARODD and CSTOPB.
void doReservedPortSetup(const char *configString, struct termios *tio);

// What the port is used for; decided once per start.
enum class PortMode { kReserved, kModem, kConsole };

// Decides the port's mode and, for a reserved port, its configuration string
// (left null otherwise).  The string points into the store's working copy
// or at port 1's fixed string.
PortMode decidePortMode(int port, const char **configString);

// Turns the settings found on the port into the mode's working settings:
// raw, at the mode's speed, ignoring the modem status lines; a modem line
// paced by RTS/CTS instead of XON/XOFF, a reserved port in its string's
// format.  Every other field stays as found.
void makeLineSettings(PortMode mode, const char *configString, struct termios *tio);

// Puts the line into the mode's working settings and installs loginSignal;
// `saved` receives the settings as they were found.  A reserved port is then
// held for ever: the call does not return for it.
void setUpSerialLine(int port, const char *name, PortMode mode,
                     const char *configString, struct termios *saved);

// Feeds one received byte to the PPP start detector; true when the byte
// completes the opening bytes of a PPP client's first LCP frame.
bool pppFrameSeen(unsigned char byte);

// Handler of SIGHUP and SIGALRM for the whole life of getty mode.
void loginSignal(int sig);

// Set once a reserved port has closed its standard streams: from then on
// nothing may be written to the line's descriptors.
extern bool lineStreamsClosed;

// How a possibly absent terminal name is shown in log lines.
inline const char *ttyLabel(const char *name) { return name ? name : "unknown"; }

// Modem line assembly.  The buffer holds at most 79 characters and its
// terminating zero.
constexpr int kModemLineSize = 80;
struct ModemLine {
  char text[kModemLineSize];
  int count;
};

enum class ModemByte { kTaken, kEndOfLine, kIpmi };
// Applies one received byte to the line: editing keys edit, line ends and a
// full buffer end the line, IPMI framing bytes are reported and not stored.
ModemByte modemLineByte(ModemLine *line, unsigned char byte);

enum class ModemLineKind {
  kEmpty,
  kPassword,
  kRing,
  kNoCarrier,
  kConnect,
  kModemNoise,  // upper-case text: the modem talking
  kPortNoise,   // anything else: line noise or a stray terminal
};
// Sorts a complete line.  The password is tried first; an empty password
// never matches because an empty line never gets that far.
ModemLineKind classifyModemLine(const char *line, const char *passwd);

// Copies `line` into `out` (kModemLineSize bytes) with every byte that is
// not printable ASCII shown as '.'.
void maskUnprintable(const char *line, char *out);
