// The EEPROM's backing image: two whole copies ("slots") of the EEPROM's
// contents, each behind a header with a generation number and a CRC.
//
// A save writes only the slot that does not hold the current copy (data
// first, fsync, then the header, fsync), so whatever moment a writer dies
// or the power goes, one whole copy survives: either the old one or the new
// one.  Writers are serialised with an exclusive flock on the image, readers
// take a shared one.  A reader takes the valid slot with the highest
// generation.
//
// The public eeprom* functions work on unit::kEepromImage; these take the
// path so that the same code can be tried on images elsewhere.
#pragma once

#include <cstdint>

#include "platform/device_services.h"

// Layout of one slot: header, then kEepromSize bytes of room for the data.
constexpr int kEepromHeaderSize = 32;
constexpr int kEepromSlotSize = kEepromHeaderSize + kEepromSize;

// The raw headers of both slots as found at one moment.  Any save changes
// them, so comparing two snapshots tells whether anything was saved between.
struct EepromHeaders {
  unsigned char raw[2 * kEepromHeaderSize];
  bool present;  // false: no image (or it could not be read)
};

// Bytes a save may still put into the image; -1 for no limit.  A limit
// stands for the power going off after that many bytes reached the image.
struct EepromBudget {
  long left;
};

// Reads the current copy into buf (8192 bytes), NUL-terminated.  On 0 the
// generation of that copy goes to *generation.  When seen is given it gets
// the headers as they were while the image was read, also when no copy was
// valid (present false: no image).  -1: no image, no valid copy, or a
// failed system call; buf then holds "".
int eepromReadImage(const char *path, char *buf, uint64_t *generation,
                    EepromHeaders *seen);

// Saves data[0..length) as the new current copy.  On 0 the headers right
// after the save go to *after (when given).  -1 when the image cannot be
// opened or created, a system call fails, or the budget ran out.
int eepromWriteImage(const char *path, const char *data, int length,
                     EepromBudget *budget, EepromHeaders *after);

// Reads just the two headers (no lock, no CRC check): the cheap way to see
// whether a save happened since a snapshot.  A torn read only makes the
// snapshot differ, which costs a needless reload and nothing else.  Keeps
// the image open (close-on-exec) for the next look.
void eepromReadHeaders(const char *path, EepromHeaders *out);
bool eepromSameHeaders(const EepromHeaders &a, const EepromHeaders &b);

// CRC-32 (IEEE 802.3, reflected, as zlib computes it).
uint32_t eepromCrc32(uint32_t crc, const void *data, long length);

// ---- Read, then save, under one lock (the store's merged saves) ----------

// Given the current text ("" when no copy is valid) and the headers as they
// were found, sets *data and *length to what is to be saved; any result but
// 0 saves nothing and is passed back to the caller.
typedef int (*EepromMergeFn)(void *context, const char *current,
                             const EepromHeaders &found, const char **data,
                             int *length);

// Reads the current copy and saves what `merge` makes of it while holding
// the image's exclusive lock, so that no other save can land between the
// read and the write.  0: saved, headers after the save in *after (when
// given).  -1: the image could not be opened, locked, read or written (when
// it could not be read, nothing was written); otherwise merge's result.
int eepromMergeImage(const char *path, EepromMergeFn merge, void *context,
                     EepromHeaders *after);
