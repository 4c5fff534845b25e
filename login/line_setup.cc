// Serial line set-up: what a port is for, and putting its line into the
// matching mode before anything is said on it.
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cctype>

#include "login/login.h"
#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/ioctls.h"

namespace {

// Port 1 always serves a fixed device at this setting; its `serial1` key is
// not consulted.
constexpr char kPort1Config[] = "1200 8N1";

struct BaudEntry {
  unsigned long baud;
  speed_t code;
};
// The speeds a reserved port's device may ask for.  Deliberately not
// baudToTermios: 2400, 4800 and the fast rates are refused here.
constexpr BaudEntry kReservedBauds[] = {
    {1200, B1200},   {9600, B9600},   {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200},
};

void setSpeed(struct termios *tio, speed_t code) {
  cfsetispeed(tio, code);
  cfsetospeed(tio, code);
}

// Drops DTR for a second: a modem set to follow DTR hangs up and reloads its
// stored profile, so every start begins with the modem in a known state.
void pulseDtr() {
  // Losing DTR makes some modems drop carrier, which must not end us here.
  signal(SIGHUP, SIG_IGN);
  int lines = 0;
  ioctl(0, TIOCMGET, &lines);
  lines &= ~TIOCM_DTR;
  ioctl(0, TIOCMSET, &lines);
  sleep(1);
  lines |= TIOCM_DTR;
  ioctl(0, TIOCMSET, &lines);
  // Give the modem time to come back before chat talks to it.
  sleep(1);
}

void routeSignals() {
  struct sigaction action = {};
  action.sa_handler = loginSignal;
  sigemptyset(&action.sa_mask);
  // loginSignal returns only for a signal it does not know; the read it
  // interrupted then carries on.
  action.sa_flags = SA_RESTART;
  sigaction(SIGHUP, &action, nullptr);
  sigaction(SIGALRM, &action, nullptr);
}

// The port belongs to another device: the line keeps the settings made for
// it, and this process lets go of it and stays, silent, rather than end and
// be started on the port again, until it is told to go.
[[noreturn]] void holdReservedPort(int port, const char *name,
                                   const char *configString) {
  logIt(kLogNotice, "Serial port %d (%s) setup for %s.", port, ttyLabel(name),
        configString);
  fflush(nullptr);
  lineStreamsClosed = true;
  fclose(stdout);
  fclose(stdin);
  fclose(stderr);
  for (;;) sleep(86400);
}

}  // namespace

int pppEnabledOnPort(int port) {
  if (!cfgGetN("pppEnable")) return 0;
  // Some boards wire modem control lines to the first port only.
  if (qerl_plek && port != 0) return 0;
  return 1;
}

void doReservedPortSetup(const char *configString, struct termios *tio) {
  if (!configString)
    __my_assert("configString", "login", "doReservedPortSetup", __LINE__);

  char *p;
  unsigned long baud = strtoul(configString, &p, 10);
  speed_t code = 0;
  for (const BaudEntry &entry : kReservedBauds)
    if (entry.baud == baud) code = entry.code;
  if (!code) {
    // The device still gets a line it can be re-configured from.
    logIt(kLogError, "Bad baud rate: %d, using 9600 instead.",
          static_cast<int>(baud));
    code = B9600;
  }
  setSpeed(tio, code);

  // Blanks may separate the speed from the format, but not the three format
  // characters from each other.
  while (isspace(static_cast<unsigned char>(*p))) p++;

  tcflag_t size = CS8;
  if (*p == '5') size = CS5;
  if (*p == '6') size = CS6;
  if (*p == '7') size = CS7;
  tio->c_cflag = (tio->c_cflag & ~CSIZE) | size;
  if (*p) p++;

  if (*p == 'E' || *p == 'e') {
    tio->c_cflag = (tio->c_cflag | PARENB) & ~PARODD;
  } else if (*p == 'O' || *p == 'o') {
    tio->c_cflag |= PARENB | PARODD;
  } else {
    tio->c_cflag &= ~PARENB;
  }
  if (*p) p++;

  if (*p == '2') {
    tio->c_cflag |= CSTOPB;
  } else {
    tio->c_cflag &= ~CSTOPB;
  }
}

PortMode decidePortMode(int port, const char **configString) {
  int modem = pppEnabledOnPort(port);
  const char *config = kPort1Config;
  if (port != 1) {
    char key[24];
    snprintf(key, sizeof key, "serial%d", port);
    config = cfgGet(key);
  }
  *configString = nullptr;
  // A port given to another device never answers a modem.
  if (config[0]) {
    *configString = config;
    return PortMode::kReserved;
  }
  return modem ? PortMode::kModem : PortMode::kConsole;
}

void makeLineSettings(PortMode mode, const char *configString, struct termios *tio) {
  cfmakeraw(tio);
  setSpeed(tio, B115200);
  if (mode == PortMode::kReserved) doReservedPortSetup(configString, tio);
  // Nothing on this line may depend on carrier detect: a modem without
  // carrier must still be talked to, and a terminal has no such line.
  tio->c_cflag |= CLOCAL;
  if (mode == PortMode::kModem) {
    speed_t code = baudToTermios(cfgGetN("pppBaud"));
    if (code) setSpeed(tio, code);
    // PPP is 8-bit clean: XON/XOFF would eat bytes of its frames, so the
    // modem paces us by RTS/CTS instead.
    tio->c_iflag &= ~(IXON | IXOFF);
    tio->c_cflag |= CRTSCTS;
  }
}

void setUpSerialLine(int port, const char *name, PortMode mode,
                     const char *configString, struct termios *saved) {
  // Results unchecked throughout: a line that refuses a setting is used as it
  // is, and a standard input that is no terminal keeps its record unchanged.
  struct termios tio = {};
  tcgetattr(0, &tio);
  *saved = tio;

  if (mode == PortMode::kModem) pulseDtr();
  routeSignals();

  makeLineSettings(mode, configString, &tio);
  tcsetattr(0, TCSANOW, &tio);

  if (mode == PortMode::kReserved) holdReservedPort(port, name, configString);
}
