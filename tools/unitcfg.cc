// unitcfg: the unit's configuration store from the command line, built from
// the store's own code.  The simulated unit lays down its factory state with
// it and tests read the store back through it.
//
//   unitcfg dump              saved settings as key=value lines (values as
//                             stored, unescaped)
//   unitcfg get KEY           the saved value of KEY; exit 1 when unset
//   unitcfg set KEY=VALUE...  load, set, save (an address key also takes
//                             dotted text); exit 1 when a key cannot be set
//                             or the save fails
//   unitcfg defaults          factory defaults, saved
//   unitcfg verify            the network check of each configuration on
//                             standard input (saved text, one configuration
//                             after another, each ended by an empty line):
//                             a line "ok" or the reason for each; exit 1
//                             when any was refused
//
// Exit status 2 for a usage error.  dump and get exit 1 when the EEPROM
// holds no valid copy, was never saved or cannot be read.
//
// Every write goes through the store's save, which changes the image in
// place: processes of the unit that keep it open see it.
#include <cstdio>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_internal.h"
#include "platform/store/eeprom_image.h"
#include "platform/unit/unit_paths.h"

// The platform's pointer to the program's main; nothing here calls it.
int (*mainp)(int, char **) = nullptr;

namespace {

int usage() {
  fprintf(stderr,
          "usage: unitcfg dump | get KEY | set KEY=VALUE... | defaults | verify\n");
  return 2;
}

// The saved settings as they are, without falling back to the defaults.
bool loadSaved() {
  static char text[kEepromSize];
  uint64_t generation;
  int rc = eepromReadImage(unit::kEepromImage, text, &generation, nullptr);
  if (rc != kEepromOk) {
    fprintf(stderr, "unitcfg: %s %s\n",
            rc == kEepromIoError ? "cannot read"
            : rc == kEepromBlank ? "nothing saved in"
                                 : "no valid copy in",
            unit::kEepromImage);
    return false;
  }
  cfgTextParse(text);
  return true;
}

int dump() {
  if (!loadSaved()) return 1;
  for (int i = 0; i < cfgCount(); i++) printf("%s=%s\n", cfgKeyAt(i), cfgValueAt(i));
  return 0;
}

int get(const char *key) {
  if (!loadSaved()) return 1;
  if (!cfgIsDefined(key)) return 1;
  printf("%s\n", cfgGet(key));
  return 0;
}

int set(int n, char **assignments) {
  readConfig();
  for (int i = 0; i < n; i++) {
    static char key[kEepromSize];
    const char *eq = strchr(assignments[i], '=');
    size_t keyLen = eq ? static_cast<size_t>(eq - assignments[i]) : 0;
    if (keyLen == 0 || keyLen >= sizeof key) return usage();
    memcpy(key, assignments[i], keyLen);
    key[keyLen] = 0;
    uint32_t address;
    int rc = cfgIsIPAddress(key) && strToIP(eq + 1, &address) == 0
                 ? cfgSetN(key, static_cast<int>(address))
                 : cfgSet(key, eq + 1);
    if (rc != 0) {
      fprintf(stderr, "unitcfg: cannot set %s\n", key);
      return 1;
    }
  }
  if (updateCfgSave() != 0) {
    fprintf(stderr, "unitcfg: saving failed\n");
    return 1;
  }
  return 0;
}

int defaults() {
  factoryDefaults();
  if (updateCfgSave() != 0) {
    fprintf(stderr, "unitcfg: saving failed\n");
    return 1;
  }
  return 0;
}

// One configuration of verify's input: taken as a load takes saved text.
bool verifyText(char *text, int len) {
  text[len] = 0;
  cfgTextParse(text);
  char reason[kVerifyReasonSize];
  bool acceptable = verifyNetworkConfig(reason) != 0;
  printf("%s\n", acceptable ? "ok" : reason);
  return acceptable;
}

int verify() {
  oemSetup();  // the check depends on the ports the unit has
  static char text[kEepromSize];
  static char line[kEepromSize];
  int len = 0;
  bool any = false;
  bool refused = false;
  while (fgets(line, sizeof line, stdin)) {
    if (strcmp(line, "\n") == 0) {
      if (any && !verifyText(text, len)) refused = true;
      len = 0;
      any = false;
      continue;
    }
    int n = static_cast<int>(strlen(line));
    if (len + n >= static_cast<int>(sizeof text)) {
      fprintf(stderr, "unitcfg: a configuration longer than the store holds\n");
      return 2;
    }
    memcpy(text + len, line, n);
    len += n;
    any = true;
  }
  if (any && !verifyText(text, len)) refused = true;
  return refused ? 1 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage();
  const char *command = argv[1];
  if (strcmp(command, "dump") == 0 && argc == 2) return dump();
  if (strcmp(command, "get") == 0 && argc == 3) return get(argv[2]);
  if (strcmp(command, "set") == 0 && argc >= 3) return set(argc - 2, argv + 2);
  if (strcmp(command, "defaults") == 0 && argc == 2) return defaults();
  if (strcmp(command, "verify") == 0 && argc == 2) return verify();
  return usage();
}
