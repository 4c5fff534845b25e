// The network setup console: redraw the status screen, read one command,
// carry it out, and again.  Edits go to the working configuration and mark
// it pending; only W saves and applies them, R drops them.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "console/console_internal.h"
#include "platform/config_store.h"
#include "platform/device_services.h"

unsigned char pendingChanges;

namespace {

// A command is one or two characters; only the first two of a line are
// looked at, and the line reader drops what goes beyond three.
constexpr int kCommandLineMax = 3;

// What the console does once a command is done.
enum class Ending {
  kRedraw,  // show the status screen again
  kPrompt,  // ask for the next command straight away
};

// Counts the Z command's lines.
int healthCounter = 1;

// LAN and WAN forms of the address commands, indexed by the WAN selector.
struct AddressCommand {
  const char *key[2];
  const char *label[2];
};
constexpr AddressCommand kIpCommand = {
    {"ip", "ip2"}, {"IP Address", "Secondary (WAN) IP Address"}};
constexpr AddressCommand kNetmaskCommand = {
    {"netmask", "netmask2"}, {"Netmask", "Secondary (WAN) Netmask"}};
constexpr AddressCommand kGatewayCommand = {
    {"gateway1", "gateway2"},
    {"Network gateway (or 0.0.0.0 for none)",
     "Secondary (WAN) Gateway (or 0.0.0.0)"}};
constexpr AddressCommand kBroadcastCommand = {
    {"bcast", "bcast2"}, {"Broadcast", "Secondary (WAN) Broadcast"}};

void editAddressOf(const AddressCommand &command, int wan) {
  editAddress(command.key[wan], command.label[wan], 0);
}

Ending message(const char *text) {
  pressEnter(text);
  return Ending::kRedraw;
}

Ending toggleDhcp() {
  int enable = cfgGetN("dhcpEnable") == 0 ? 1 : 0;
  // The switch and the address taken over from the lease go in together or
  // not at all.
  cfgBeginGroup();
  cfgSetN("dhcpEnable", enable);
  // The address the port holds now becomes its fixed address.
  if (!enable) dhcpUpdate(0);
  if (cfgEndGroup() != 0) return message(kConfigFull);
  pendingChanges = 1;
  return message(enable ? "DHCP has been enabled." : "DHCP has been disabled.");
}

// The netmask and the addresses that follow from it go in together or not
// at all: a mask stored without them fails the next commit's checks.
Ending editNetmask(int wan) {
  cfgBeginGroup();
  // The inner group tells whether the editor's own set fitted (it then said
  // so itself); only the outer one puts back.
  cfgBeginGroup();
  editAddressOf(kNetmaskCommand, wan);
  bool maskFitted = cfgEndGroup() == 0;
  // Recomputed even when the netmask was kept: the broadcast address may
  // have been edited by hand since.
  recalcBCast(wan);
  if (cfgEndGroup() != 0 && maskFitted) fputs(kConfigFullLine, stdout);
  return Ending::kPrompt;
}

Ending toggleBridging() {
  if (cfgSetN("bridgeEnable", cfgGetN("bridgeEnable") == 0 ? 1 : 0) != 0)
    return message(kConfigFull);
  pendingChanges = 1;
  return Ending::kRedraw;
}

Ending resetNetworkServices() {
  if (confirmAction("erase firewall, network ports, RADIUS config")) {
    // A reset half done would leave services half configured.
    cfgBeginGroup();
    netRecover(0);
    if (cfgEndGroup() != 0) return message(kConfigFull);
    pendingChanges = 1;
  }
  return Ending::kRedraw;
}

Ending resetEverything() {
  if (!confirmAction("erase all settings, user accounts, everything")) {
    return Ending::kRedraw;
  }
  factoryDefaults();
  pendingChanges = 1;
  return message(
      "Restored all settings to factory defaults (but you\n"
      "can still restore old settings, until committed).");
}

Ending revert() {
  readConfig();
  pendingChanges = 0;
  return message("All changes have been undone.");
}

// The checks' reason as the commit's message; nothing was saved.
Ending refuseCommit(char (&reason)[kVerifyReasonSize]) {
  // The store keeps its reason short enough for the suffix to fit.
  static constexpr char kSuffix[] = "\nPlease correct...";
  static_assert(kVerifyReasonMax + sizeof kSuffix <= kVerifyReasonSize,
                "reason and suffix must fit the reason buffer");
  reason[kVerifyReasonMax] = 0;
  strcat(reason, kSuffix);
  return message(reason);
}

Ending commit() {
  if (!pendingChanges) return message("Nothing to commit yet. Doing nothing.");
  char reason[kVerifyReasonSize] = "";
  if (!verifyNetworkConfig(reason)) return refuseCommit(reason);
  int rc = commitChanges(reason);
  // Checked once more on what the save would write: another program may
  // have saved since, and the merge of both must pass as well.
  if (rc > 0) return refuseCommit(reason);
  return message(rc == 0 ? "Changes commited." : "Unchanged!");
}

Ending runShell() {
  fflush(stdout);
  systemX("/bin/sh");
  return Ending::kRedraw;
}

Ending writeConfigFile() {
  cfgWriteFile(0);
  return message("Done.");
}

[[noreturn]] void reportHealthForever() {
  for (;;) {
    printf("\nSystem is working fine: %04d\n", healthCounter);
    fflush(stdout);
    ++healthCounter;
    sleep(1);
  }
}

// Carries out one command line.  A second character '2' selects the WAN
// form of I, N, G and B; the selector then stays on until the next redraw.
Ending runCommand(const char *line, int *wan) {
  char first = line[0];
  // Only these mean "no command"; a tab is dispatched like any other
  // character and so is an unknown command.
  if (first == 0 || first == ' ' || first == '\r' || first == '\n') {
    return Ending::kRedraw;
  }
  if (line[1] == '2') *wan = 1;

  switch (tolower(static_cast<unsigned char>(first))) {
    case 'd':
      return toggleDhcp();
    case 'i':
      editAddressOf(kIpCommand, *wan);
      return Ending::kPrompt;
    case 'n':
      return editNetmask(*wan);
    case 'g':
      // GW is the default gateway whatever the selector says.
      if (tolower(static_cast<unsigned char>(line[1])) == 'w') {
        editAddress("gateway", "Default gateway (or 0.0.0.0 for none)", 0);
      } else {
        editAddressOf(kGatewayCommand, *wan);
      }
      return Ending::kPrompt;
    case 'b':
      editAddressOf(kBroadcastCommand, *wan);
      return Ending::kPrompt;
    case 'e':
      return toggleBridging();
    case 'm':
      editString("hostname", 32, "Machine name", 1);
      return Ending::kPrompt;
    case 'h':
      return resetNetworkServices();
    case 'f':
      return resetEverything();
    case 's':
      changePassword();
      return Ending::kRedraw;
    case 'p':
      pingHost();
      return Ending::kRedraw;
    case '?':
      showPorts();
      return message("");
    case 'r':
      return revert();
    case 'w':
      return commit();
    case 'q':
      exit(0);
    case '!':
      return runShell();
    case '>':
      return writeConfigFile();
    case 'z':
      reportHealthForever();
    default:
      return message("Unknown command. Try again");
  }
}

}  // namespace

int commitChanges(char *reason) {
  printf("Writing... ");
  fflush(stdout);
  int rc = updateCfgSaveVerified(reason);
  if (rc != 0) {
    printf("Failed!\n");
    return rc > 0 ? 1 : -1;
  }
  pendingChanges = 0;
  printf("Done.\n");
  printf("Applying settings...\n");
  fflush(stdout);
  updateCfgFiles(1);
  printf("Done.\n");
  return 0;
}

void menuLoop() {
  // The WAN selector lives from one redraw to the next: set by a command
  // with a '2', it also applies to I, N, G and B typed at the prompts that
  // follow without a redraw, whose labels then name the WAN port.
  int wan = 0;
  for (;;) {
    houseKeeping();
    wan = 0;
    // While edits are pending the working copy is the operator's; otherwise
    // it follows what other programs of the unit have saved.
    if (!pendingChanges) readConfigUpdate();
    showStatus();

    Ending ending;
    do {
      char line[kCommandLineMax + 1];
      printf("\nChoice: ");
      readInput(line, kCommandLineMax);
      ending = runCommand(line, &wan);
    } while (ending == Ending::kPrompt);
  }
}
