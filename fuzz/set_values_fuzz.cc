// One set request through the dispatch and the subtree handlers: the OID
// line, then the type-and-value line.  Every set gets exactly one reply
// word; a refused set changes nothing; an accepted one is saved, and a value
// written to the configuration table reads back as it was given.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_internal.h"
#include "snmp/snmp_internal.h"

using fuzzing::check;

namespace {

char oid[160];
char typeValue[1024];
char reply[4096];
char before[kEepromSize];
char after[kEepromSize];

void runSet() { snmpSet(oid, typeValue); }

// The value a set carries, as the dispatch cuts it from the line.
const char *valueOf(char *line) {
  char *type;
  char *value;
  return splitTypeValue(line, &type, &value) ? value : nullptr;
}

// The key of a configuration table row, as the table itself names it.
char keyName[160];
void getKeyName() { snmpGet(oid, 0); }
const char *keyOfRow(int row) {
  char saveOid[sizeof oid];
  memcpy(saveOid, oid, sizeof oid);
  snprintf(oid, sizeof oid, "%s.1.1.1.2.%d", oidPrefix, row);
  static char answer[512];
  fuzzing::withStreams(nullptr, 0, getKeyName, answer, sizeof answer);
  memcpy(oid, saveOid, sizeof oid);
  // OID line, "string", the name.
  char *name = answer;
  for (int skip = 0; skip < 2 && name; skip++) {
    name = strchr(name, '\n');
    if (name) name++;
  }
  if (!name) return nullptr;
  snprintf(keyName, sizeof keyName, "%.*s", static_cast<int>(strcspn(name, "\n")), name);
  return keyName;
}

void copyLine(char *to, size_t size, const uint8_t *from, size_t n) {
  if (n > size - 1) n = size - 1;
  memcpy(to, from, n);
  to[n] = 0;
  trimR(to);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const uint8_t *newline = static_cast<const uint8_t *>(memchr(data, '\n', size));
  if (!newline) return 0;
  size_t oidLength = static_cast<size_t>(newline - data);
  copyLine(oid, sizeof oid, data, oidLength);
  copyLine(typeValue, sizeof typeValue, newline + 1, size - oidLength - 1);

  fuzzing::resetUnit();
  check(cfgTextFormat(before, sizeof before) >= 0, "the defaults fit");
  char line[sizeof typeValue];
  memcpy(line, typeValue, sizeof line);
  fuzzing::withStreams(nullptr, 0, runSet, reply, sizeof reply);
  check(strcmp(reply, "success\n") == 0 || strcmp(reply, "wrong-type\n") == 0 ||
            strcmp(reply, "not-writable\n") == 0,
        "exactly one reply word");
  check(cfgTextFormat(after, sizeof after) >= 0, "the working copy fits");

  if (strcmp(reply, "success\n") != 0) {
    check(strcmp(before, after) == 0, "a refused set changes nothing");
    return 0;
  }
  int numbers[kSetOidNumbersMax];
  const char *instance;
  int count = parseSetOid(oid + strlen(oidPrefix) + 1, numbers, &instance);
  // An account's class waits for the next save of the accounts.  The
  // column is read as the table reads it (blanks before a number allowed).
  int column;
  int row;
  parseTableInstance(instance, &column, &row);
  bool userClass = numbers[0] == USERS_OID && column == 6;
  if (!userClass)
    check(strcmp(after, fuzzing::savedText()) == 0, "an accepted change is saved");

  if (numbers[0] == CONFIG_OID && count == 5) {
    const char *key = keyOfRow(numbers[4]);
    const char *value = valueOf(line);
    check(key && value, "the row has a key");
    if (cfgIsIPAddress(key)) {
      check(strcmp(ipToStr(static_cast<uint32_t>(cfgGetN(key))), value) == 0,
            "an address reads back as written");
    } else {
      check(strcmp(cfgGet(key), value) == 0, "a value reads back as written");
    }
  }
  return 0;
}
