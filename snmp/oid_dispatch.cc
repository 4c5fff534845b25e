// Routes requests to the subtree handlers: the prefix check, the walk from
// one subtree to the next for getnext, and the set rules on types and
// writable columns together with the set's one-line reply.
#include <cstdio>
#include <cstring>

#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

// Every handler takes this as a position before its first instance.
constexpr const char kBeforeFirst[] = "0.0";

int getFromSubtree(int subtree, const char *instance, int next) {
  switch (subtree) {
    case CONFIG_OID:
      return doConfig(instance, subtree, next);
    case STATUS_OID:
      return doStatus(leadingNumber(instance, nullptr), next, nullptr);
    case USERS_OID:
      return doUsers(instance, subtree, next, nullptr);
    case IDENTITY_OID:
      return doIdentity(instance, subtree, next);
    case PORTS_OID:
      return doPortNumber(instance, subtree, next, nullptr);
    default:
      return -1;
  }
}

int reply(const char *word) {
  fputs(word, stdout);
  return -1;
}

int setInSubtree(const int *numbers, int count, const char *instance,
                 const char *type, const char *value) {
  switch (numbers[0]) {
    case STATUS_OID:
      if (strcmp(type, "integer") != 0) return 1;
      return doStatus(numbers[1], 0, value);
    case CONFIG_OID:
      // Only a whole table instance names a row.
      if (count != 5) return -1;
      return setConfigRow(numbers, count, value);
    case USERS_OID:
      return changeUser(instance, value);
    case PORTS_OID:
      // Only the port column is writable.
      if (numbers[count - 2] != 6) return -1;
      if (strcmp(type, "integer") != 0) return 1;
      return doPortNumber(instance, PORTS_OID, 0, value);
    default:
      logIt(kLogNotice, "SNMP: Set to R/O OID.");
      return -1;
  }
}

}  // namespace

int snmpGet(const char *oid, int next) {
  if (strncmp(oid, oidPrefix, oidPrefixLength) != 0) {
    logIt(kLogNotice, "SNMP: Bad OID prefix");
    return -1;
  }
  // The bare prefix, or the prefix running on into another number, stands
  // before everything below it.
  const char *text = oid[oidPrefixLength] == '.' ? oid + oidPrefixLength + 1
                                                 : kBeforeFirst;
  const char *end;
  int subtree = leadingNumber(text, &end);
  const char *instance = *end ? end + 1 : "";
  if (strlen(instance) > static_cast<size_t>(kInstanceMax)) return -1;
  // Subtree 0 stands before subtree 1 whatever follows it, so a walk from
  // there starts at the first instance.
  if (next && subtree == 0) {
    subtree = CONFIG_OID;
    instance = kBeforeFirst;
  }

  for (;;) {
    if (subtree < CONFIG_OID || subtree > PORTS_OID) return -1;
    if (getFromSubtree(subtree, instance, next) == 0) return 0;
    if (!next) return -1;
    ++subtree;
    instance = kBeforeFirst;
  }
}

int snmpSet(const char *oid, char *typeValue) {
  char *type;
  char *value;
  if (!splitTypeValue(typeValue, &type, &value)) return reply("not-writable\n");
  if (strncmp(oid, oidPrefix, oidPrefixLength) != 0) {
    logIt(kLogNotice, "SNMP: Bad OID prefix (set): %s", oid);
    return reply("not-writable\n");
  }
  if (oid[oidPrefixLength] != '.') return reply("not-writable\n");

  int numbers[kSetOidNumbersMax];
  const char *instance;
  int count = parseSetOid(oid + oidPrefixLength + 1, numbers, &instance);
  if (count < 0) {
    logIt(kLogNotice, "SNMP: Bad char in Set OID");
    return reply("not-writable\n");
  }
  if (count < 2 || strlen(instance) > static_cast<size_t>(kInstanceMax))
    return reply("not-writable\n");

  int result = setInSubtree(numbers, count, instance, type, value);
  if (result == 0) {
    fputs("success\n", stdout);
    return 0;
  }
  return reply(result > 0 ? "wrong-type\n" : "not-writable\n");
}
