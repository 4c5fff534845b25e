// Hand-over of a serial port to the PPP daemon or the IPMI serial process.
// The program replaces this process and inherits the port as its standard
// input and output; nothing else of ours may leak into it.
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "login/login.h"
#include "platform/config_store.h"
#include "platform/device_services.h"

namespace {

// Standard error and whatever else is open (log socket, store files) stays
// with us: the daemons open their own.
void closeInheritedDescriptors() {
  for (int fd = 2; fd <= 39; fd++) close(fd);
}

}  // namespace

void startIpmi(int requested, int port) {
  // Decided on what is saved now, not on what was saved when this process
  // started: another program may have switched IPMI or moved its port.
  readConfigUpdate();
  if (!cfgGetN("ipmiEnable")) {
    // At start-up every port asks; only framing bytes on the line are worth
    // a word.
    if (requested) logIt(kLogNotice, "IPMI is disabled, not starting it.");
    return;
  }
  if (cfgGetN("ipmisPort") != port) {
    if (!requested) return;
    // IPMI traffic arrived here: this port is the IPMI port from now on, so
    // that the next start hands it over at once.
    cfgSetN("ipmisPort", port);
    updateCfgSave();
  }

  logIt(kLogNotice, "Starting IPMI (serial) on port %d (%s)", port,
        ttyLabel(ttyname(0)));
  printf("\nNow starting IPMI on this serial port.\n\n");
  fflush(stdout);
  // The text must be on the wire before the IPMI process owns the line.
  tcdrain(1);
  closeInheritedDescriptors();
  execlp("/bin/ipmi", "ipmi", "-S", static_cast<char *>(nullptr));
  logIt(kLogError, "IPMI failed to start.");
}

int startPppd(int port, const char *name) {
  // A time-out meant for the login dialogue must not kill the PPP link.
  alarm(0);
  logIt(kLogNotice, "Starting PPP (for auth) on port %d (%s)", port,
        ttyLabel(name));
  fflush(stdout);
  closeInheritedDescriptors();
  execlp("/bin/pppd", "pppd", static_cast<char *>(nullptr));
  logIt(kLogError, "PPPd failed to start.");
  return -1;
}
