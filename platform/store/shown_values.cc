// Values set for display only.
//
// Values the console only shows (the DHCP lease, loaded into the working
// copy between cfgBeginDisplay and cfgEndDisplay) are not changes: the
// store keeps what they replaced and puts it back before a save, so that
// no lease address is ever saved as if typed.
//
// Owns: the stash of what display-only sets replaced, cfgBeginDisplay and
// cfgEndDisplay.  Touches: the working copy (the entries' shown flags, and
// putting the stashed values back with the change record paused).
#include <cstdint>
#include <cstring>

#include "platform/config_store.h"
#include "platform/store/store_parts.h"

namespace store {

namespace {

// What display-only sets replaced: per key, the value it had before its
// first such set (or that it had none), so that the operator's working copy
// can be put back before anything is saved.  Only a handful of keys are
// ever shown this way (the lease's addresses); past the room here a key's
// display value is kept as an ordinary unsaved value.
constexpr int kStashMax = 16;
constexpr int kStashPoolSize = 1024;
struct Stashed {
  uint16_t key;    // offset in stashPool
  uint16_t value;  // offset in stashPool
  bool present;    // false: the key was not set
};
Stashed stash[kStashMax];
char stashPool[kStashPoolSize];

}  // namespace

void stashReset() {
  stashCount = 0;
  stashPoolUsed = 0;
  displayedSinceLoad = false;
}

// A display-only set is about to replace the entry at index (or to create
// the key, index -1): keeps what it replaces, once per key.
void stashBefore(const char *key, int index) {
  displayedSinceLoad = true;
  if (index >= 0 && entries[index].shown) return;
  int keyLen = static_cast<int>(strlen(key));
  int valueLen = index >= 0 ? entries[index].valueLen : 0;
  if (stashCount >= kStashMax ||
      stashPoolUsed + keyLen + valueLen + 2 > kStashPoolSize)
    return;
  Stashed &s = stash[stashCount++];
  s.key = static_cast<uint16_t>(stashPoolUsed);
  memcpy(stashPool + stashPoolUsed, key, keyLen + 1);
  stashPoolUsed += keyLen + 1;
  s.value = static_cast<uint16_t>(stashPoolUsed);
  memcpy(stashPool + stashPoolUsed, index >= 0 ? pool + entries[index].value : "",
         valueLen + 1);
  stashPoolUsed += valueLen + 1;
  s.present = index >= 0;
}

// The entries' shown flags after the working copy was rebuilt from text.
void stashReflag() {
  for (int i = 0; i < stashCount; i++) {
    int index = findEntry(stashPool + stash[i].key);
    if (index >= 0) entries[index].shown = true;
  }
}

// Puts back what display-only sets replaced, where no change of this
// process came since: the working copy is then the operator's own again.
void undisplay() {
  recordPause++;
  for (int i = 0; i < stashCount; i++) {
    const Stashed &s = stash[i];
    int index = findEntry(stashPool + s.key);
    if (index < 0 || !entries[index].shown) continue;
    if (!s.present) {
      deleteEntry(index);
      continue;
    }
    const char *value = stashPool + s.value;
    // It fitted before; the shown value it replaces is given up first.
    setValue(stashPool + s.key, value, static_cast<int>(strlen(value)));
    entries[findEntry(stashPool + s.key)].shown = false;
  }
  recordPause--;
  stashCount = 0;
  stashPoolUsed = 0;
}

}  // namespace store

using namespace store;

void cfgBeginDisplay() {
  displayDepth++;
  recordPause++;
}

void cfgEndDisplay() {
  if (displayDepth == 0) return;
  displayDepth--;
  recordPause--;
}
