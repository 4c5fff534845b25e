// Entry point: picks the mode from the command line and the name the program
// was started under.  Batch, diagnostics and SNMP options end the process
// from inside the option loop; getty mode and the console share the start-up
// below and end in the console's menu loop.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "diag/diag.h"
#include "login/login.h"
#include "main/batch.h"
#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/ioctls.h"  // checks the TIOCSCTTY number for the appliance
#include "snmp/snmp.h"

namespace {

[[noreturn]] void usage(const char *argv0) {
  const char *slash = strrchr(argv0, '/');
  fprintf(stderr,
          "Use: %s \t\t(it's an interactive program)\n"
          "\t-x\tSetup config values into place and apply them.\n"
          "\t-W\tWrite EEPROM and setup config values.\n"
          "\t-Z\tZap contents of EEPROM (no new defaults).\n"
          "\t-D\tCopy DHCP lease into into static config.\n"
          "\t-V\tPrint some version info.\n"
          "\t-t test\tRun system 'test'.\n"
          "\t-I\tRun in special getty mode (for IPMI, PPP).\n"
          "\t-S\tStart SNMP processing.\n\n",
          slash ? slash + 1 : argv0);
  exit(1);
}

// Backspace erases and Ctrl-U kills the line on the serial console, whatever
// the terminal was left with; 115200 is the console's speed.
void setUpTerminal() {
  struct termios tio;
  tcgetattr(0, &tio);
  tio.c_cc[VERASE] = 0x08;
  tio.c_cc[VKILL] = 0x15;
  cfsetspeed(&tio, B115200);
  tcsetattr(0, TCSANOW, &tio);
}

// The port number is what follows "/dev/ttyS" in the terminal's name.
int portFromTtyName(const char *name) {
  if (!name) return 0;
  return strlen(name) > 9 ? atoi(name + 9) : 0;
}

// Written under a new name of its own and renamed into place: a link
// planted at the pid file's name is replaced, never written through, and
// the file is readable by all whatever the umask.
void writePidFile(int port) {
  char path[40];
  char temp[48];
  snprintf(path, sizeof path, "/var/run/setup%d.pid", port);
  snprintf(temp, sizeof temp, "%s.XXXXXX", path);
  int fd = mkostemp(temp, O_CLOEXEC);
  if (fd < 0) return;
  char text[16];
  int n = snprintf(text, sizeof text, "%d\n", static_cast<int>(getpid()));
  bool ok = write(fd, text, n) == n && fchmod(fd, 0644) == 0;
  if (close(fd) != 0) ok = false;
  if (!ok || rename(temp, path) != 0) unlink(temp);
}

}  // namespace

int main(int argc, char **argv) {
  oemSetup();
  bool getty = argv[0] && argv[0][0] == '-';

  int opt;
  while ((opt = getopt(argc, argv, "ZIWt:VSDxh?")) != -1) {
    switch (opt) {
      case 'x':
        rtcToSystemTime();
        readConfig();
        // Run at boot: when the stored settings cannot be read, the unit's
        // files keep the last ones rendered rather than factory settings,
        // and the failure shows in the exit status.
        if (updateCfgFiles(0) == kCfgNotRead) exit(1);
        setUsbDiskType();
        exit(0);
      case 'W':
        readConfig();
        if (updateCfgSave() != 0) exit(99);
        updateCfgFiles(0);
        exit(0);
      case 'Z':
        eepromSetup();
        if (eepromWrite("", 1) != 0) {
          printf("EEPROM wipe failed.\n");
          exit(1);
        }
        printf("EEPROM wiped.\n");
        exit(0);
      case 'D':
        readConfig();
        if (cfgGetN("dhcpEnable")) {
          // A lease that does not fit is not copied at all, and the unit's
          // files stay as they are.
          cfgBeginGroup();
          dhcpUpdate(1);
          if (cfgEndGroup() != 0) {
            printf("The configuration is full; nothing was stored.\n");
            exit(0);
          }
          updateCfgFiles(0);
        }
        exit(0);
      case 'V':
        exit(printVersion() != 0 ? 1 : 0);
      case 't':
        exit(runSelfTest(optarg));
      case 'S':
        doSnmp();
        exit(0);
      case 'I':
        getty = true;
        break;
      default:
        usage(argv[0]);
    }
  }

  setUpTerminal();
  oemSetup();
  readConfig();

  if (getty) {
    const char *name = ttyname(0);
    int port = portFromTtyName(name);
    startIpmi(0, port);
    writePidFile(port);
    setsid();
    ioctl(0, TIOCSCTTY, 0);
    doSerialLogin(port, name);
  }

  printf("\e[H\e[J\r");
  menuLoop();
}
