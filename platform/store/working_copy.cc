// The working copy: this process's copy of the unit's settings, and the
// calls that read and edit it by key (cfgGet, cfgSet, cfgDelete, ...).
//
// The working copy lives in static storage: an entry table, a hash index
// over it (so that a lookup costs the same whichever row it finds) and a
// pool of the decoded keys and values.  A changed value goes to the end of
// the pool and the old text stays where it was until the pool fills up and
// is packed, so pointers from cfgGet normally outlive later edits; they are
// only promised until the next change, reload or save.
//
// Owns: the entry table, the hash index and the pool, and the definitions
// of the store's small state (see store_parts.h).  Touches: the change
// record (noteChange), the shown values (stashBefore) and the open group's
// failure flag on every set.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_parts.h"

namespace store {

// The store's small state, defined here in one place so that it shares a
// page; store_parts.h says what each is for and which part owns it.
uint32_t indexMask = kIndexSlotsAtFirst - 1;
int entryCount;
int poolUsed;
int textSize;
EepromHeaders seenHeaders;
bool loaded;
long loadCount;
bool unreadable;
int recordCount;
int recordPoolUsed;
bool recordCleared;
bool recordOverflow;
int recordPause;
int groupDepth;
bool groupFailed;
int groupRecordCount;
int groupRecordPoolUsed;
bool groupCleared;
bool groupOverflow;
int displayDepth;
int stashCount;
int stashPoolUsed;
bool displayedSinceLoad;
bool refreshFailed;
EepromHeaders failedHeaders;

// Page-aligned, as are the other large buffers a load or a get uses, so
// that their used beginnings take no more pages of memory than they fill.
alignas(kPage) Entry entries[kMaxEntries];
alignas(kPage) uint16_t indexSlots[kIndexSlots];
alignas(kPage) char pool[kPoolSize];

namespace {

// Scratch for packing the pool.
char packBuf[kPoolSize];

void packPool() {
  int used = 0;
  for (int i = 0; i < entryCount; i++) {
    Entry &e = entries[i];
    memcpy(packBuf + used, pool + e.key, e.keyLen + 1);
    e.key = static_cast<uint16_t>(used);
    used += e.keyLen + 1;
    memcpy(packBuf + used, pool + e.value, e.valueLen + 1);
    e.value = static_cast<uint16_t>(used);
    used += e.valueLen + 1;
  }
  memcpy(pool, packBuf, used);
  poolUsed = used;
}

}  // namespace

bool validKey(const char *key) {
  if (!key || !*key) return false;
  for (const char *p = key; *p; p++) {
    if (badKeyChar(*p)) return false;
  }
  return true;
}

namespace {

void indexPut(int index, uint32_t hash) {
  uint32_t i = hash & indexMask;
  while (indexSlots[i]) i = (i + 1) & indexMask;
  indexSlots[i] = static_cast<uint16_t>(index + 1);
}

// Empties the slots in use and indexes entries 0 to count - 1 afresh.
void indexRebuild(int count) {
  memset(indexSlots, 0, (indexMask + 1) * sizeof indexSlots[0]);
  for (int i = 0; i < count; i++)
    indexPut(i, hashOf(pool + entries[i].key, entries[i].keyLen));
}

// Entries 0 to index - 1 are indexed already.  Doubling re-indexes them,
// which keeps a load linear overall.
void indexAdd(int index, uint32_t hash) {
  if ((index + 1) * 3 / 2 > static_cast<int>(indexMask) + 1 &&
      indexMask + 1 < static_cast<uint32_t>(kIndexSlots)) {
    indexMask = indexMask * 2 + 1;
    indexRebuild(index);
  }
  indexPut(index, hash);
}

// Copies s (n characters) into the pool; its offset.  The caller has made
// sure that the live strings plus s stay within kCfgTextMax, so after
// packing there is always room.
int poolAdd(const char *s, int n) {
  if (poolUsed + n + 1 > kPoolSize) packPool();
  int at = poolUsed;
  memcpy(pool + at, s, n);
  pool[at + n] = 0;
  poolUsed += n + 1;
  return at;
}

bool inPool(const char *s) { return s >= pool && s < pool + kPoolSize; }

}  // namespace

// Sets a key (keyLen characters) in the working copy; newSize is the
// characters its line takes as saved text.  Its entry's index, or -1 when
// it does not fit.
int putValue(const char *key, int keyLen, uint32_t hash, const char *value,
             int valueLen, int newSize) {
  // Packing the pool moves what lives in it: a key or value taken from the
  // working copy itself is copied out first.
  static char keyCopy[kEepromSize];
  static char valueCopy[kEepromSize];
  if (keyLen > kCfgTextMax || valueLen > kCfgTextMax) return -1;
  if (inPool(key)) key = static_cast<const char *>(memcpy(keyCopy, key, keyLen + 1));
  if (inPool(value)) {
    memcpy(valueCopy, value, valueLen);
    valueCopy[valueLen] = 0;
    value = valueCopy;
  }

  int index = findEntryN(key, keyLen, hash);
  int oldSize = 0;
  if (index >= 0) {
    const Entry &e = entries[index];
    oldSize = lineSize(e.keyLen, pool + e.value, e.valueLen);
  } else if (entryCount >= kMaxEntries) {
    return -1;
  }
  if (textSize - oldSize + newSize > kCfgTextMax) return -1;

  if (index < 0) {
    // The entry counts only once its key is in the pool: a pack walks
    // every counted entry.
    uint16_t at = static_cast<uint16_t>(poolAdd(key, keyLen));
    index = entryCount++;
    // Its value is "" (the key's terminator) until set below.
    entries[index] = {at, static_cast<uint16_t>(at + keyLen),
                      static_cast<uint16_t>(keyLen), 0, false, false};
    indexAdd(index, hash);
  }
  entries[index].value = static_cast<uint16_t>(poolAdd(value, valueLen));
  entries[index].valueLen = static_cast<uint16_t>(valueLen);
  textSize += newSize - oldSize;
  return index;
}

int setValue(const char *key, const char *value, int valueLen) {
  int keyLen = static_cast<int>(strlen(key));
  return putValue(key, keyLen, hashOf(key, keyLen), value, valueLen,
                  lineSize(keyLen, value, valueLen));
}

void deleteEntry(int index) {
  const Entry &e = entries[index];
  textSize -= lineSize(e.keyLen, pool + e.value, e.valueLen);
  memmove(entries + index, entries + index + 1,
          (entryCount - index - 1) * sizeof(Entry));
  entryCount--;
  // Every later entry moved down by one: index them afresh.
  indexRebuild(entryCount);
}

// Decodes one escaped value of n characters into out (terminated); its
// length.  *escapes gets the number of characters that take an escape when
}  // namespace store

using namespace store;

int cfgCount() { return entryCount; }
const char *cfgKeyAt(int index) { return pool + entries[index].key; }
const char *cfgValueAt(int index) { return pool + entries[index].value; }
int cfgTextSize() { return textSize; }

void cfgClear() {
  entryCount = 0;
  poolUsed = 0;
  textSize = 0;
  memset(indexSlots, 0, (indexMask + 1) * sizeof indexSlots[0]);
  indexMask = kIndexSlotsAtFirst - 1;
}

void cfgReset() {
  cfgClear();
  recordReset();
  loaded = false;
  unreadable = false;
  groupDepth = 0;
  groupFailed = false;
  displayDepth = 0;
  stashReset();
}

const char *cfgGet(const char *key) {
  if (!key) return "";
  int index = findEntry(key);
  return index < 0 ? "" : pool + entries[index].value;
}

int cfgGetN(const char *key) {
  return static_cast<int>(textToU32(cfgGet(key), nullptr, 0));
}

int cfgSet(const char *key, const char *value) {
  if (!validKey(key) || !value) return -1;
  if (displayDepth) stashBefore(key, findEntry(key));
  int index = setValue(key, value, static_cast<int>(strlen(value)));
  if (index >= 0) {
    noteChange(index);
    if (displayDepth) entries[index].shown = true;
    return 0;
  }
  if (groupDepth) groupFailed = true;
  logIt(kLogError, "Configuration store: no room for '%s'; not set.", key);
  return -1;
}

int cfgSetN(const char *key, int value) {
  char text[16];
  if (cfgIsIPAddress(key)) {
    snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
  } else {
    snprintf(text, sizeof text, "%d", value);
  }
  return cfgSet(key, text);
}

int cfgDelete(const char *key) {
  if (!key) return -1;
  int index = findEntry(key);
  if (index < 0) return 0;
  noteChange(index);
  deleteEntry(index);
  return 0;
}

int cfgIsDefined(const char *key) { return key && findEntry(key) >= 0; }
