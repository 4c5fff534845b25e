// The dialogue on a serial port in getty mode: a terminal is asked to press
// Enter; a modem is initialised and then listened to for a call, a PPP
// client, IPMI traffic or the administrator password.
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "login/login.h"
#include "platform/config_store.h"
#include "platform/device_services.h"

bool lineStreamsClosed = false;

namespace {

constexpr char kDefaultModemInit[] = "ATE0S0=1&K3";
// The chat command as one line (the words of argv in initModem) holds at
// most 1023 characters: the init string at most 987.
constexpr char kChatCommand[] = "chat -t 20 -f /etc/ppp/init.chat -T ";
constexpr size_t kChatCommandMax = 1024;
constexpr char kExpectingModem[] =
    "\r\nExpecting a modem, if human, type admin password! (Or start PPP)\r\n\n";
constexpr char kConsolePrompt[] =
    "\r\nPlease press Enter to activate this console... ";
// A blank and a backspace stand between "authentica" and "te": on a
// terminal the word still reads whole.
constexpr char kPppWelcome[] =
    "\r\nWelcome. PPP starts now. Use PAP to authentica \bte.\r\n\n";
constexpr char kTimeoutBye[] = "\r\n\nTimeout - Bye.\r\n";

void say(const char *text) {
  fputs(text, stdout);
  fflush(stdout);
}

// Runs the unit's chat script against the modem on our standard input and
// output; the script takes the init string through -T.  The string goes to
// chat as that one argument, blanks and all: split into words, a value such
// as "ATZ -r FILE" would hand chat options of its own.
void initModem() {
  const char *init = cfgGet("modemInit");
  if (!init[0]) init = kDefaultModemInit;

  const char *const argv[] = {"chat", "-t", "20", "-f", "/etc/ppp/init.chat",
                              "-T", init, nullptr};
  int result = -1;
  if (strlen(kChatCommand) + strlen(init) < kChatCommandMax) {
    fflush(stdout);
    result = runProgram(argv);
  } else {
    // A cut string would send the modem half a command; better none at all.
    logIt(kLogError, "Modem init string too long, not sent.");
  }
  logIt(kLogNotice, result == 0 ? "Modem init okay." : "Modem init chat script failed.");
  // Without a working init the modem may still answer on its own profile.
  say(kExpectingModem);
}

// The line went away under us (end of input or a read error): there is no
// one left to answer, and the port's next start resets it.
[[noreturn]] void lineLost(int port, const char *name) {
  logIt(kLogNotice, "Serial port %d (%s) closed.", port, ttyLabel(name));
  _exit(0);
}

void admit(const struct termios *saved) {
  // The console works line by line with echo: give it the line as main left
  // it.
  tcsetattr(0, TCSANOW, saved);
}

// Acts on a complete modem line; true when it admitted the administrator.
bool modemLine(ModemLine *line, int port, const char *name,
               const struct termios *saved) {
  char text[kModemLineSize];
  memcpy(text, line->text, sizeof text);
  line->count = 0;
  line->text[0] = 0;

  // The password may have been changed by another program since this
  // process loaded the configuration: the line is compared with the
  // current one, and an old one no longer admits.
  readConfigUpdate();
  switch (classifyModemLine(text, cfgGet("passwd"))) {
    case ModemLineKind::kEmpty:
      return false;
    case ModemLineKind::kPassword:
      logIt(kLogNotice, "Got admin password on modem port.");
      admit(saved);
      return true;
    case ModemLineKind::kRing:
      // The modem answers by itself (S0); the ring is only worth noting.
      logIt(kLogNotice, "Phone line rings!");
      return false;
    case ModemLineKind::kNoCarrier:
      // The call ended or failed: the modem may have lost its settings.
      initModem();
      return false;
    case ModemLineKind::kConnect:
      logIt(kLogNotice, "Modem answers: %s", strstr(text, "CONNECT"));
      say(kPppWelcome);
      // Let the caller read the text before PPP frames start arriving.
      sleep(1);
      startPppd(port, name);
      return false;
    case ModemLineKind::kModemNoise:
      logIt(kLogNotice, "Noise from modem: %s", text);
      return false;
    case ModemLineKind::kPortNoise: {
      char shown[kModemLineSize];
      maskUnprintable(text, shown);
      logIt(kLogNotice, "Noise on serial port: %s", shown);
      return false;
    }
  }
  return false;
}

}  // namespace

void loginSignal(int sig) {
  // Only async-signal-safe output here: the signal may interrupt stdio.
  switch (sig) {
    case SIGHUP:
      logIt(kLogNotice, "Modem hang up. Reseting");
      _exit(0);
    case SIGALRM:
      if (!lineStreamsClosed)
        (void)!write(STDOUT_FILENO, kTimeoutBye, sizeof kTimeoutBye - 1);
      logIt(kLogNotice, "Timeout during login process. Give up");
      _exit(0);
    default:
      logIt(kLogNotice, "Unexpected signal: %d", sig);
  }
}

void doSerialLogin(int port, const char *name) {
  const char *configString;
  PortMode mode = decidePortMode(port, &configString);
  struct termios saved;
  setUpSerialLine(port, name, mode, configString, &saved);

  // Bytes are taken one at a time from the line itself, so that whatever
  // follows a hand-over trigger is still there for pppd or ipmi.
  setvbuf(stdin, nullptr, _IONBF, 0);

  ModemLine line = {};
  bool prompt = true;
  time_t promptTime = 0;
  if (mode == PortMode::kModem) initModem();

  for (;;) {
    if (mode == PortMode::kConsole && prompt) {
      promptTime = time(nullptr);
      say(kConsolePrompt);
      prompt = false;
    }

    int c = getchar();
    if (c == EOF) lineLost(port, name);
    unsigned char byte = static_cast<unsigned char>(c);

    if (pppFrameSeen(byte)) {
      logIt(kLogNotice, "Saw PPP startup from client.");
      startPppd(port, name);
    }

    if (mode == PortMode::kConsole) {
      if (byte == '\r' || byte == '\n') {
        admit(&saved);
        return;
      }
      // Repeat the prompt for someone typing at it, but never faster than
      // once a second: a babbling line must not be answered byte for byte.
      if (time(nullptr) != promptTime) prompt = true;
      continue;
    }

    switch (modemLineByte(&line, byte)) {
      case ModemByte::kTaken:
        break;
      case ModemByte::kIpmi:
        startIpmi(1, port);
        break;
      case ModemByte::kEndOfLine:
        if (modemLine(&line, port, name, &saved)) return;
        break;
    }
  }
}
