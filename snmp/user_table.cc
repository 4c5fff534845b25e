// Subtree 3: the login accounts as a six-column table.  Row 1 is the
// built-in administrator, rows 2 to N + 1 the account slots 0 to N - 1
// (N = numusers), and row N + 2 a spare row: writing to it adds a slot.
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

namespace {

constexpr int kColumns = 6;

// Status column values.
constexpr int kStatusInUse = 1;
constexpr int kStatusCreate = 2;
constexpr int kStatusDelete = 3;
constexpr int kStatusEmpty = 4;
constexpr int kStatusAdministrator = 5;

// Keys of one slot: user_%d_name and friends.
struct SlotKeys {
  char name[24];
  char pass[24];
  char cls[24];
};

// "user_" SLOT SUFFIX, as "user_%d_name" prints, without the formatter:
// every request of the table makes all three.
void makeSlotKey(char *key, int slot, const char *suffix) {
  memcpy(key, "user_", 5);
  char *at = putInt(key + 5, slot);
  strcpy(at, suffix);
}

void makeSlotKeys(int slot, SlotKeys *keys) {
  makeSlotKey(keys->name, slot, "_name");
  makeSlotKey(keys->pass, slot, "_pass");
  makeSlotKey(keys->cls, slot, "_class");
}

int refuse() {
  logIt(kLogNotice, "doUser failed.");
  return -1;
}

void printColumn(int column, int row, int slot, int numUsers,
                 const SlotKeys &keys) {
  bool administrator = slot < 0;
  switch (column) {
    case 1:
      printInteger(row - 1);
      break;
    case 2: {
      int status = kStatusEmpty;
      if (administrator)
        status = kStatusAdministrator;
      else if (slot != numUsers && cfgIsDefined(keys.name))
        status = kStatusInUse;
      printInteger(status);
      break;
    }
    case 3:
      printText(administrator ? "admin" : cfgGet(keys.name));
      break;
    case 4:
      fputs("string\n*\n", stdout);
      break;
    case 5:
      printInteger(administrator ? 2 : 1);
      break;
    default:
      printInteger(administrator ? 1 : cfgGetN(keys.cls) + 1);
      break;
  }
}

// A set of one column.  Returns 1 when the accounts changed (to be saved),
// 0 when accepted without a change, -1 when refused.  A set that does not
// fit in the working copy is the caller's group's to find and undo.
int setColumn(int column, int slot, const SlotKeys &keys, const char *value) {
  bool administrator = slot < 0;
  switch (column) {
    case 2: {
      int status = leadingNumber(value, nullptr);
      if (status == kStatusCreate) {
        if (administrator) return -1;
        cfgSet(keys.name, "NEW");
      } else if (status == kStatusDelete) {
        if (administrator) return -1;
        cfgDelete(keys.name);
        cfgDelete(keys.pass);
        cfgDelete(keys.cls);
      } else {
        return 0;
      }
      return 1;
    }
    case 3:
      if (administrator) return 0;
      cfgSet(keys.name, value);
      if (!cfgIsDefined(keys.pass)) cfgSet(keys.pass, "NONE");
      return 1;
    case 4:
      cfgSet(administrator ? "passwd" : keys.pass, value);
      return 1;
    case 6:
      // The class takes effect with the next save of the accounts.
      if (!administrator) {
        int cls = leadingNumber(value, nullptr);
        cfgSetN(keys.cls, cls == INT_MIN ? cls : cls - 1);
      }
      return 0;
    default:
      return -1;
  }
}

}  // namespace

int doUsers(const char *instance, int subtree, int next, const char *value) {
  int numUsers = cfgGetN("numusers");
  int column;
  int row;
  parseTableInstance(instance, &column, &row);
  logIt(kLogNotice, "SNMP: doUsers: oid='%s' (%d,%d) next=%d value=%s\n",
        instance, column, row, next, value ? value : "(GET)");

  // A set must name its row; a get or getnext without one reads row 1.
  if (value && row < 0) return refuse();
  // Nothing of the table follows an OID that sorts after all of it: going
  // back to row 1 would stop the daemon's walk as not increasing.
  if (next && column == -1 && sortsAfterTable(instance)) return refuse();
  int spareRow = numUsers > INT_MAX - 2 ? INT_MAX : numUsers + 2;
  if (!placeInTable(&column, &row, kColumns, spareRow, 0, next))
    return refuse();

  int slot = row - 2;
  SlotKeys keys;
  makeSlotKeys(slot, &keys);

  if (!value) {
    printTableOid(subtree, column, row);
    logIt(kLogNotice, "SNMP: doUsers: returning oid='%s.%d.1.1.%d.%d' (%d,%d)\n",
          oidPrefix, subtree, column, row, column, row);
    printColumn(column, row, slot, numUsers, keys);
    return 0;
  }

  // A change that does not fit whole, the count of slots included, is not
  // made at all.
  // Of a change that is to be saved, the manager hears "success" only when
  // it is stored; otherwise it is undone (see setConfigRow).
  cfgBeginGroup();
  int changed = setColumn(column, slot, keys, value);
  if (changed > 0 && slot >= numUsers) cfgSetN("numusers", slot + 1);
  int rc = changed > 0 ? cfgEndGroupSaved() : cfgEndGroup();
  if (rc != 0 || changed < 0) return refuse();
  if (changed > 0) updateCfgPasswd();
  return 0;
}

int changeUser(const char *instance, const char *value) {
  return doUsers(instance, USERS_OID, 0, value);
}
