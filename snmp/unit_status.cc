// Subtree 2: the state of the unit's video input, and the two actions
// (reboot, warm restart) that a manager triggers by writing a code.
#include <array>
#include <climits>
#include <cstdio>

#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

constexpr int kLastIndex = 5;
constexpr int kRebootIndex = 1;
constexpr int kRebootCode = 1234;
constexpr int kWarmRestartIndex = 2;
constexpr int kWarmRestartCode = 4321;

// Indexed by the video status code; 0 shows the mode instead.
constexpr std::array<const char *, 8> videoStatusText = {
    nullptr,        "No signal",       "Bad mode",
    "DPMS Standby", "DPMS Power down", "No power",
    "Unstable video", "Viewing permission Denied",
};

const char *videoText(int code) {
  if (code < 1 || code >= static_cast<int>(videoStatusText.size()))
    return "Unknown video status";
  return videoStatusText[code];
}

int startAction(int index, const char *value) {
  int code = leadingNumber(value, nullptr);
  if (index == kRebootIndex && code == kRebootCode) {
    logIt(kLogNotice, "System reboot via SNMP request.");
    startReboot();
    return 0;
  }
  if (index == kWarmRestartIndex && code == kWarmRestartCode) {
    logIt(kLogNotice, "Warm restart via SNMP request.");
    startWarmRestart();
    return 0;
  }
  return -1;
}

}  // namespace

int doStatus(int index, int next, const char *value) {
  if (next && index < INT_MAX) ++index;
  if (index <= 0) index = 1;
  if (value) return startAction(index, value);
  if (index > kLastIndex) return -1;

  ScreenFields screen = decodeScreen(getScreen());
  printf("%s.%d.%d\n", oidPrefix, STATUS_OID, index);
  switch (index) {
    case 3:
      printf("integer\n%d\n", screen.screenState + 1);
      break;
    case 4:
      // Plus one in 32 bits, as on the appliance: 2147483647 answers
      // -2147483648, which snmpd takes as an Integer32.
      printf("integer\n%d\n",
             static_cast<int32_t>(static_cast<uint32_t>(screen.videoStatus) + 1u));
      break;
    case 5:
      if (screen.videoStatus == 0)
        printf("string\n%dx%d @ %dHz\n", screen.width, screen.height,
               screen.refreshRate);
      else
        printf("string\n%s\n", videoText(screen.videoStatus));
      break;
    default:
      fputs("integer\n0\n", stdout);
      break;
  }
  return 0;
}
