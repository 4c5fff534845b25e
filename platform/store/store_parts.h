// The configuration store's parts, for each other.  The store keeps one
// working copy per process in static storage; each part below owns some of
// it, and the file named at each part defines what the part owns.  Nothing
// outside platform/store includes this header (tools and tests use
// store_internal.h).
//
//   working_copy.cc   entries, hash index and pool; cfgGet, cfgSet, ...;
//                     the store's small state, defined in one place
//   saved_text.cc     the saved text: escapes, format and parse
//   change_record.cc  what this process changed, and the merge of a save
//   shown_values.cc   values set for display only, and what they replaced
//   groups.cc         all-or-nothing groups of sets
//   load_save.cc      load, refresh and save through the EEPROM image
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/store/eeprom_image.h"
#include "platform/store/store_internal.h"

namespace store {

// ---- working copy (working_copy.cc) ---------------------------------------

struct Entry {
  uint16_t key;    // offset in pool
  uint16_t value;  // offset in pool
  uint16_t keyLen;
  uint16_t valueLen;
  bool recorded;  // named in the change record already
  bool shown;     // holds a value set for display only (see cfgBeginDisplay)
};

// Smallest line: "k=\n".
constexpr int kMaxEntries = kCfgTextMax / 3 + 1;
// Live strings take at most kCfgTextMax bytes ('=' and the line end become
// the terminators, escapes shrink).  While a value is replaced the old one
// is still live, so a pack must leave room for both: the rest is room for
// replaced values.
constexpr int kPoolSize = 3 * kEepromSize;
static_assert(kPoolSize <= 65535, "pool offsets are 16 bits");

// Hash index: open addressing with linear probing; a slot holds an entry's
// index plus one, 0 is free.  A third of the slots stays free even in a
// store of nothing but the shortest keys, so probes stay short.  Only the
// first indexMask + 1 slots are in use, doubled as the entries grow: a
// store of up to 1365 keys (all user accounts included) uses one page of
// slots and is never re-indexed while it loads; only a store of the
// shortest keys grows into the rest.
constexpr int kIndexSlots = 4096;
constexpr int kIndexSlotsAtFirst = 2048;
static_assert((kIndexSlots & (kIndexSlots - 1)) == 0, "a power of two");
static_assert((kIndexSlotsAtFirst & (kIndexSlotsAtFirst - 1)) == 0, "a power of two");
static_assert(kIndexSlots >= kMaxEntries * 3 / 2, "index too small");
static_assert(kMaxEntries < 65535, "index slots are 16 bits");

// The store's small state, all in one place: declared between the large
// buffers, each variable would take a page of memory of its own.  Defined
// together in working_copy.cc; the comment at each says which part owns it.
extern uint32_t indexMask;       // working copy
extern int entryCount;           // working copy
extern int poolUsed;             // working copy
extern int textSize;             // working copy: characters as saved text
// What the image looked like when this process last loaded or saved.
extern EepromHeaders seenHeaders;  // load and save
extern bool loaded;                // load and save
extern long loadCount;             // load and save
// The last load could not read the image: saves are refused.
extern bool unreadable;            // load and save
// The change record's counts (the record itself is in change_record.cc).
extern int recordCount;
extern int recordPoolUsed;
extern bool recordCleared;
extern bool recordOverflow;
// Non-zero while the store fills the working copy itself (loading,
// merging, undoing a group): those are no changes of this process.
extern int recordPause;
// The open all-or-nothing groups and what the outermost one saw at its
// start (groups.cc).
extern int groupDepth;
extern bool groupFailed;
extern int groupRecordCount;
extern int groupRecordPoolUsed;
extern bool groupCleared;
extern bool groupOverflow;
// Display-only values: how many keys hold one, and whether any was set
// since the last load or save (then a save always merges).  shown_values.cc.
extern int displayDepth;
extern int stashCount;
extern int stashPoolUsed;
extern bool displayedSinceLoad;
// The last refresh could not take in what others saved (logged once); the
// image's headers then, so that the next refresh tries again only once
// something new was saved (load_save.cc).
extern bool refreshFailed;
extern EepromHeaders failedHeaders;

constexpr int kPage = 4096;
extern Entry entries[kMaxEntries];
extern uint16_t indexSlots[kIndexSlots];
extern char pool[kPoolSize];

// Characters a key cannot hold: '=' and the control characters.
struct BadKeyChars {
  bool bad[256];
};
constexpr BadKeyChars makeBadKeyChars() {
  BadKeyChars t{};
  for (int c = 0; c < 256; c++) t.bad[c] = c < 0x20 || c == '=' || c == 0x7F;
  return t;
}
inline constexpr BadKeyChars kBadKeyChars = makeBadKeyChars();

static inline bool badKeyChar(char c) { return kBadKeyChars.bad[static_cast<unsigned char>(c)]; }

// FNV-1a: 32-bit arithmetic only, which the appliance's processor does
// without helper routines.
static inline uint32_t hashStep(uint32_t h, unsigned char c) {
  return (h ^ c) * 16777619u;
}
constexpr uint32_t kHashStart = 2166136261u;

bool validKey(const char *key);

// The hot lookups, here so that every part gets them inlined as the
// working copy's own calls do: a get is one hash and one probe or two.
// Each file has its own copy (static), so the compiler inlines them where
// it would inline a file's own helpers.
// lineSize: characters a key=value line takes as saved text, line end
// included.  findEntryN, findEntry: the entry of a key, or -1.
static inline int escapedLen(const char *value, int len) {
  int n = len;
  for (int i = 0; i < len; i++) {
    if (value[i] == '\\' || value[i] == '\n') n++;
  }
  return n;
}

static inline int lineSize(int keyLen, const char *value, int valueLen) {
  return keyLen + 1 + escapedLen(value, valueLen) + 1;
}

static inline uint32_t hashOf(const char *s, int n) {
  uint32_t h = kHashStart;
  for (int i = 0; i < n; i++) h = hashStep(h, static_cast<unsigned char>(s[i]));
  return h;
}

static inline int findEntryN(const char *key, int len, uint32_t hash) {
  for (uint32_t i = hash & indexMask;; i = (i + 1) & indexMask) {
    int slot = indexSlots[i];
    if (!slot) return -1;
    const Entry &e = entries[slot - 1];
    if (e.keyLen == len && memcmp(pool + e.key, key, len) == 0) return slot - 1;
  }
}

static inline int findEntry(const char *key) {
  uint32_t h = kHashStart;
  int len = 0;
  for (; key[len]; len++) h = hashStep(h, static_cast<unsigned char>(key[len]));
  return findEntryN(key, len, h);
}

// Sets a key (keyLen characters) in the working copy; newSize is the
// characters its line takes as saved text.  Its entry's index, or -1 when
// it does not fit.
int putValue(const char *key, int keyLen, uint32_t hash, const char *value,
             int valueLen, int newSize);
int setValue(const char *key, const char *value, int valueLen);
void deleteEntry(int index);

// ---- saved text (saved_text.cc) -------------------------------------------

// Decodes one escaped value of n characters into out (terminated); its
// length.  *escapes gets the number of characters that take an escape when
// saved again.
int unescape(const char *in, int n, char *out, int *escapes);
// Appends an entry as a saved-text line, after a one-character prefix when
// one is given; the new length, or -1 when it does not fit in size (with
// room left for the terminator).
int appendLine(char *out, int len, int size, char prefix, const Entry &e);

// ---- change record and merge (change_record.cc) ---------------------------

constexpr int kRecordMax = 2 * kMaxEntries;
constexpr int kRecordPoolSize = 2 * kEepromSize;
static_assert(kRecordPoolSize <= 65535, "record offsets are 16 bits");
// The change record as text for a merge: room for a line per key.
extern char changeText[kRecordPoolSize + kEepromSize + kRecordMax];

void recordReset();
// The entries' flags after the working copy was rebuilt from text.
void recordReflag();
// This process is about to change (or has just set) the entry at index.
void noteChange(int index);
// The record as change text (format at cfgMergeText); its length, or -1
// when it does not fit.
int formatChanges(char *out, int size);
// Applies change text to the working copy; -1 when a set does not fit.
int applyChanges(const char *changes);

// ---- values shown only (shown_values.cc) ----------------------------------

void stashReset();
// A display-only set is about to replace the entry at index (or to create
// the key, index -1): keeps what it replaces, once per key.
void stashBefore(const char *key, int index);
// The entries' shown flags after the working copy was rebuilt from text.
void stashReflag();
// Puts back what display-only sets replaced, where no change of this
// process came since.
void undisplay();

}  // namespace store
