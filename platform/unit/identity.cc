// The unit's identity: OEM record, OEM texts, MAC addresses, serial number
// and fitted options.  The simulated unit keeps it in /etc/unit/identity,
// key=value lines ('#' starts a comment line, blanks around keys and values
// are dropped):
//
//   product_name=TEXT     OEM record: product name (at most 63 characters)
//   second_text=TEXT      OEM record: second text (at most 63 characters)
//   third_text=TEXT       OEM record: third text (at most 63 characters)
//   product_code=C        OEM record: product code, exactly one character
//   board_code=C          OEM record: board code, exactly one character
//   oem_version=N         OEM record: OEM version, a decimal int
//   mac=aa:bb:cc:dd:ee:ff LAN port's Ethernet address
//   mac2=aa:bb:cc:dd:ee:ff WAN port's Ethernet address
//   serial=N              serial number, decimal, 0..4294967295
//   ethernet_option=0|1   1: the WAN port is fitted
//   qerl_plek=0|1         1: only serial port 0 may carry a modem
//   tf.KEY=TEXT           OEM text KEY (e.g. tf.brand, tf.snmpOID); key at
//                         most 31 characters, text at most 255
//
// Every key that is missing, and every line whose value does not fit its
// key, leaves the default below in place; longer texts of the OEM record
// are cut to fit.  Unknown keys are ignored.  A later line for the same key
// wins.  At most 32 OEM texts are kept.
//
// The default unit (also what a unit without the file is):
//   product_name=Remote Console Unit
//   second_text=Remote console appliance
//   third_text=Simulated unit
//   product_code=S   board_code=A   oem_version=1
//   mac=02:00:00:00:00:01   mac2=02:00:00:00:00:02   serial=12345
//   ethernet_option=1   qerl_plek=0
//   tf.brand=Generic    (no tf.snmpOID: the SNMP agent uses its own prefix)
#include "platform/unit/identity.h"

#include <cstdio>
#include <cstring>

#include "platform/unit/unit_paths.h"
#include "platform/util/kv_file.h"

namespace {

// The identity of this process.  It is loaded once: the identity is fixed
// for a unit's life, and the OEM texts handed out by tfGet() must stay
// where they are for the life of the process.
Identity unitIdentity;
bool identityLoaded = false;

void copyText(char *to, size_t size, const char *from) {
  snprintf(to, size, "%s", from);
}

OemTextDb::Entry *findText(OemTextDb *db, const char *key) {
  for (int i = 0; i < db->count; ++i)
    if (strcmp(db->entries[i].key, key) == 0) return &db->entries[i];
  return nullptr;
}

void setText(OemTextDb *db, const char *key, const char *text) {
  if (*key == '\0' || strlen(key) >= OemTextDb::kKeySize) return;
  if (strlen(text) >= OemTextDb::kTextSize) return;
  OemTextDb::Entry *entry = findText(db, key);
  if (!entry) {
    if (db->count == OemTextDb::kEntries) return;
    entry = &db->entries[db->count++];
    copyText(entry->key, sizeof entry->key, key);
  }
  copyText(entry->text, sizeof entry->text, text);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Exactly six two-digit hex bytes separated by ':'.
bool parseMac(const char *text, unsigned char mac[6]) {
  unsigned char bytes[6];
  for (int i = 0; i < 6; ++i) {
    if (i > 0 && *text++ != ':') return false;
    int high = hexDigit(text[0]);
    if (high < 0) return false;
    int low = hexDigit(text[1]);
    if (low < 0) return false;
    bytes[i] = static_cast<unsigned char>(high << 4 | low);
    text += 2;
  }
  if (*text != '\0') return false;
  memcpy(mac, bytes, sizeof bytes);
  return true;
}

// Decimal digits only, optionally after a '-' when negative values are
// allowed, within [min, max].
bool parseDecimal(const char *text, long long min, long long max,
                  long long *value) {
  bool negative = *text == '-';
  if (negative) {
    if (min >= 0) return false;
    ++text;
  }
  if (*text == '\0') return false;
  long long result = 0;
  for (; *text; ++text) {
    if (*text < '0' || *text > '9') return false;
    result = result * 10 + (*text - '0');
    if (result > max + 1) return false;
  }
  if (negative) result = -result;
  if (result < min || result > max) return false;
  *value = result;
  return true;
}

bool parseSwitch(const char *text, unsigned char *flag) {
  if (strcmp(text, "0") != 0 && strcmp(text, "1") != 0) return false;
  *flag = static_cast<unsigned char>(text[0] - '0');
  return true;
}

void setDefaults(Identity *id) {
  // The text table's unused entries are never read: clearing them too would
  // put every page of the table in memory.
  id->record = OemRecord{};
  id->texts.count = 0;
  copyText(id->record.productName, sizeof id->record.productName,
           "Remote Console Unit");
  copyText(id->record.secondText, sizeof id->record.secondText,
           "Remote console appliance");
  copyText(id->record.thirdText, sizeof id->record.thirdText,
           "Simulated unit");
  id->record.productCode = 'S';
  id->record.boardCode = 'A';
  id->record.oemVersion = 1;
  const unsigned char mac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
  const unsigned char mac2[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
  memcpy(id->mac, mac, sizeof mac);
  memcpy(id->mac2, mac2, sizeof mac2);
  id->serial = 12345;
  id->ethernetOption = 1;
  id->qerlPlek = 0;
  setText(&id->texts, "brand", "Generic");
}

void takeLine(void *context, const char *key, const char *value) {
  auto *id = static_cast<Identity *>(context);
  OemRecord &record = id->record;
  long long number;
  if (strncmp(key, "tf.", 3) == 0) {
    setText(&id->texts, key + 3, value);
  } else if (strcmp(key, "product_name") == 0) {
    copyText(record.productName, sizeof record.productName, value);
  } else if (strcmp(key, "second_text") == 0) {
    copyText(record.secondText, sizeof record.secondText, value);
  } else if (strcmp(key, "third_text") == 0) {
    copyText(record.thirdText, sizeof record.thirdText, value);
  } else if (strcmp(key, "product_code") == 0) {
    if (strlen(value) == 1) record.productCode = value[0];
  } else if (strcmp(key, "board_code") == 0) {
    if (strlen(value) == 1) record.boardCode = value[0];
  } else if (strcmp(key, "oem_version") == 0) {
    if (parseDecimal(value, INT32_MIN, INT32_MAX, &number))
      record.oemVersion = static_cast<int32_t>(number);
  } else if (strcmp(key, "mac") == 0) {
    parseMac(value, id->mac);
  } else if (strcmp(key, "mac2") == 0) {
    parseMac(value, id->mac2);
  } else if (strcmp(key, "serial") == 0) {
    if (parseDecimal(value, 0, UINT32_MAX, &number))
      id->serial = static_cast<uint32_t>(number);
  } else if (strcmp(key, "ethernet_option") == 0) {
    parseSwitch(value, &id->ethernetOption);
  } else if (strcmp(key, "qerl_plek") == 0) {
    parseSwitch(value, &id->qerlPlek);
  }
}

}  // namespace

const OemRecord *oem = &unitIdentity.record;
OemTextDb *oemDB = &unitIdentity.texts;
unsigned char unitMacAddress[6];
unsigned char unitMacAddress2[6];
uint32_t unitSerialNumber;
unsigned char hasEthernetOption;
unsigned char qerl_plek;

int loadIdentity(const char *path, Identity *id) {
  setDefaults(id);
  return forEachKeyValue(path, takeLine, id);
}

void oemSetup() {
  if (identityLoaded) return;
  identityLoaded = true;
  loadIdentity(unit::kIdentity, &unitIdentity);
  memcpy(unitMacAddress, unitIdentity.mac, sizeof unitMacAddress);
  memcpy(unitMacAddress2, unitIdentity.mac2, sizeof unitMacAddress2);
  unitSerialNumber = unitIdentity.serial;
  hasEthernetOption = unitIdentity.ethernetOption;
  qerl_plek = unitIdentity.qerlPlek;
}

int tfIsDefined(OemTextDb *db, const char *key) {
  return db && key && findText(db, key) != nullptr;
}

const char *tfGet(OemTextDb *db, const char *key) {
  if (!db || !key) return "";
  const OemTextDb::Entry *entry = findText(db, key);
  return entry ? entry->text : "";
}
