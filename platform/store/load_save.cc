// Load, refresh and save: the working copy and the saved copy in the
// EEPROM image.
//
// readConfigUpdate compares the image's two slot headers with those seen at
// the last load or save; only when they differ is the image read and parsed
// again.  Every save changes a header (new generation, new CRC).  A refresh
// keeps this process's unsaved changes: they are applied to what was read,
// as its save would apply them, so that what a program was told it set
// stays set until it saves or reverts.
//
// An image that cannot be read at all (an I/O error, as opposed to a blank
// or corrupt EEPROM) gives the factory defaults to work with, but no save is
// made from them until a load succeeds: it would replace settings that are
// still there, only unreadable for the moment.
//
// Owns: what the image looked like at the last load or save, the load
// count, and readConfig, readConfigUpdate and updateCfgSave.  Touches: the
// working copy (replaced on load), the change record (formatted for the
// merge, reset after a save) and the shown values (put back before a save).
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_parts.h"
#include "platform/unit/unit_paths.h"

namespace store {
namespace {

// Scratch for the saved text.
alignas(kPage) char textBuf[kEepromSize];

// The working copy as it was before a refresh took in other programs'
// saves, for when this process's changes do not fit beside them.
char keepText[kEepromSize];

// Results of the merge besides 0: this process's changes do not fit beside
// the newest saved settings, or the configuration about to be saved fails
// the network checks.
constexpr int kNoRoom = 1;
constexpr int kRefused = 2;

struct SaveJob {
  int workingLen;  // the working copy as saved text, in textBuf
  bool whole;      // save the working copy as it is
  bool merged;     // the working copy now holds the merge
  char *reason;    // non-null: what is saved must pass verifyNetworkConfig
};

int mergeForSave(void *context, const char *current, const EepromHeaders &found,
                 const char **data, int *length) {
  static char merged[kEepromSize];
  auto *job = static_cast<SaveJob *>(context);
  // Values shown since the last load may still stand in the working copy
  // where nothing could put back what they replaced: then only the merge
  // of what this process changed is safe to save.
  if (job->whole || (!displayedSinceLoad && eepromSameHeaders(found, seenHeaders))) {
    *data = textBuf;
    *length = job->workingLen + 1;
  } else {
    job->merged = true;
    int n = cfgMergeText(current, changeText, merged, sizeof merged);
    if (n < 0) return kNoRoom;
    *data = merged;
    *length = n + 1;
  }
  // The working copy now holds what is about to be saved, and the lock
  // keeps it the newest until it is: the check sees what the unit will run.
  if (job->reason && !verifyNetworkConfig(job->reason)) return kRefused;
  return 0;
}

// Back to the working copy as it was before a save that failed.
void restoreWorking() {
  recordPause++;
  cfgTextParse(textBuf);
  recordPause--;
  recordReflag();
}

}  // namespace
}  // namespace store

using namespace store;

long cfgLoadCount() { return loadCount; }
bool cfgUnreadable() { return unreadable; }

int cfgLoad(const char *path) {
  loadCount++;
  loaded = true;
  uint64_t generation = 0;
  int rc = eepromReadImage(path, textBuf, &generation, &seenHeaders);
  // An image that is there but cannot be opened, locked or read is an I/O
  // error: what it holds is unknown, and may be perfectly good.
  int err = errno;
  bool ioError = rc == kEepromIoError;
  recordPause++;
  int keys = rc == kEepromOk ? cfgTextParse(textBuf) : 0;
  if (keys == 0) factoryDefaults();
  recordPause--;
  recordReset();
  stashReset();
  refreshFailed = false;
  bool wasUnreadable = unreadable;
  unreadable = ioError;
  if (keys > 0) return 0;
  if (ioError) {
    // Said once, not at every retry.
    if (!wasUnreadable) {
      logIt(kLogError, "Configuration store: the EEPROM could not be read "
                       "(%s); factory defaults loaded, nothing will be saved "
                       "until it can be read.", strerror(err));
    }
  } else if (rc == kEepromOk || rc == kEepromBlank) {
    logIt(kLogError, "Configuration store: no settings in the EEPROM, "
                     "factory defaults loaded.");
  } else {
    logIt(kLogError, "Configuration store: no valid copy in the EEPROM, "
                     "factory defaults loaded.");
  }
  return -1;
}

namespace {

// Takes in what others saved and puts this process's unsaved changes back
// on top, as a save would merge them.  When they no longer fit beside what
// was saved, or the image cannot be read, the working copy stays as it was
// and the next refresh tries again.
int refreshKeepingChanges(const char *path) {
  // A cleared copy, or one with more changes than the record holds, is
  // this process's whole: nothing of others can be taken in without
  // overriding it, and its save writes it whole anyway.
  if (recordCleared || recordOverflow) return 0;
  if (formatChanges(changeText, sizeof changeText) < 0) return 0;
  uint64_t generation = 0;
  EepromHeaders seen;
  int rc = eepromReadImage(path, textBuf, &generation, &seen);
  failedHeaders = seen;
  if (rc == kEepromIoError) {
    if (!refreshFailed) {
      logIt(kLogError, "Configuration store: the EEPROM could not be read "
                       "(%s); unsaved changes kept, others' saves not taken in.",
            strerror(errno));
    }
    refreshFailed = true;
    return -1;
  }
  if (rc != kEepromOk) textBuf[0] = 0;
  cfgTextFormat(keepText, sizeof keepText);
  if (cfgMergeText(textBuf, changeText, textBuf, sizeof textBuf) < 0) {
    recordPause++;
    cfgTextParse(keepText);
    recordPause--;
    recordReflag();
    stashReflag();
    if (!refreshFailed) {
      logIt(kLogError, "Configuration store: unsaved changes and those saved "
                       "meanwhile do not fit together; others' saves not "
                       "taken in.");
    }
    refreshFailed = true;
    return -1;
  }
  loadCount++;
  seenHeaders = seen;
  refreshFailed = false;
  // The shown values went with the old working copy.
  stashReset();
  recordReflag();
  return 0;
}

}  // namespace

int cfgUpdate(const char *path) {
  if (!loaded) return cfgLoad(path);
  bool changed = recordCount > 0 || recordCleared || recordOverflow;
  // After a failed read only a full load can tell that the image is back;
  // nothing of this process is lost by it then, as nothing can be saved.
  if (unreadable) return cfgLoad(path);
  EepromHeaders now;
  eepromReadHeaders(path, &now);
  if (eepromSameHeaders(now, seenHeaders)) return 0;
  if (!changed) return cfgLoad(path);
  if (refreshFailed && eepromSameHeaders(now, failedHeaders)) return -1;
  return refreshKeepingChanges(path);
}

namespace {

int saveWorking(const char *path, char *reason) {
  if (unreadable) {
    logIt(kLogError, "Configuration store: not saved: the EEPROM could not "
                     "be read, and its settings would be lost.");
    return -1;
  }
  // Values only shown are not this process's settings.
  undisplay();
  int n = cfgTextFormat(textBuf, sizeof textBuf);
  if (n < 0) return -1;
  // Without a load there is nothing to merge into; after a clear the merge
  // is the working copy itself.
  SaveJob job = {n, !loaded || recordCleared, false, reason};
  if (!job.whole &&
      (recordOverflow || formatChanges(changeText, sizeof changeText) < 0)) {
    job.whole = true;
    logIt(kLogError, "Configuration store: too many changes to merge; "
                     "saving the whole working copy.");
  }
  EepromHeaders after;
  int rc = eepromMergeImage(path, mergeForSave, &job, &after);
  int err = errno;
  if (rc == 0) {
    seenHeaders = after;
    loaded = true;
    refreshFailed = false;
    recordReset();
    stashReset();
    return 0;
  }
  if (job.merged || rc == kRefused) restoreWorking();
  if (rc == kRefused) return 1;
  if (rc == kNoRoom) {
    logIt(kLogError, "Configuration store: not saved: these changes and "
                     "those saved meanwhile do not fit together.");
  } else {
    logIt(kLogError, "Configuration store: saving to the EEPROM failed: %s",
          strerror(err));
  }
  return -1;
}

}  // namespace

int cfgSave(const char *path) { return saveWorking(path, nullptr); }

int cfgSaveVerified(const char *path, char *reason) {
  return saveWorking(path, reason);
}

int readConfig() { return cfgLoad(unit::kEepromImage); }
int readConfigUpdate() { return cfgUpdate(unit::kEepromImage); }
int updateCfgSave() { return cfgSave(unit::kEepromImage); }
int updateCfgSaveVerified(char *reason) {
  return cfgSaveVerified(unit::kEepromImage, reason);
}


int houseKeeping() { return 0; }
