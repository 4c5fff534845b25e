// The EEPROM's backing image: two whole copies ("slots") of the EEPROM's
// contents, each with a header holding a generation number and a CRC.
//
// A save writes only the slot that does not hold the current copy (data
// first, fdatasync, then the header, fdatasync), so whatever moment a writer
// dies or the power goes, one whole copy survives: either the old one or the
// new one.  Writers are serialised with an exclusive flock on the image,
// readers take a shared one.  A reader takes the valid slot with the newest
// generation; generations are compared with wrap-around (serial-number)
// arithmetic, so a counter that reaches its maximum goes on to 0 and the
// save still counts as the newer one.
//
// Every writer changes the image in place (open, pwrite): it is never
// replaced by a new file.  That lets a reader keep one descriptor open and
// see every later save through it, which is what makes a look for news cost
// a single read.  Whoever puts an image there by other means must write over
// the existing file, not rename a new one onto it.
//
// The public eeprom* functions work on unit::kEepromImage; these take the
// path so that the same code can be tried on images elsewhere.
#pragma once

#include <cstdint>

#include "platform/device_services.h"

// Image layout.  The two headers lie side by side across a 4 KiB boundary:
// one read of 64 bytes fetches both, yet for any sector size up to 4 KiB
// they sit in different sectors, so a sector torn while one header is
// written never takes the other header with it.  Each slot's data starts on
// an 8 KiB boundary and fills its own sectors.
constexpr int kEepromHeaderSize = 32;
inline constexpr long kEepromHeaderAt[2] = {4096 - kEepromHeaderSize, 4096};
inline constexpr long kEepromDataAt[2] = {8192, 8192 + kEepromSize};
constexpr long kEepromImageSize = 8192 + 2 * kEepromSize;

// What eepromReadImage found.  Only kEepromOk hands out a text.  A caller
// must never save over an image after kEepromIoError: what it holds is
// unknown, and may be perfectly good.
enum EepromReadResult {
  kEepromOk = 0,
  // The image could not be opened (other than not existing), locked or
  // read.
  kEepromIoError = -1,
  // Nothing was ever saved: no image yet, or both headers erased (all
  // bytes 0x00 or all 0xFF).
  kEepromBlank = -2,
  // Something was written, but neither copy checks out (bad magic, length
  // or CRC in both slots).
  kEepromNoValidCopy = -3,
};

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

// Reads the current copy into buf (8192 bytes), NUL-terminated; an
// EepromReadResult.  On kEepromOk the generation of that copy goes to
// *generation; otherwise buf holds "".  When seen is given it gets the
// headers as they were while the image was read, also when no copy was
// valid (present false: no image), and the image stays open for
// eepromReadHeaders.
int eepromReadImage(const char *path, char *buf, uint64_t *generation,
                    EepromHeaders *seen);

// Saves data[0..length) as the new current copy.  On 0 the headers right
// after the save go to *after (when given).  -1 when the image cannot be
// opened or created, a system call fails, or the budget ran out.
int eepromWriteImage(const char *path, const char *data, int length,
                     EepromBudget *budget, EepromHeaders *after);

// Reads just the two headers (no lock, no CRC check): the cheap way to see
// whether a save happened since a snapshot.  One pread of the 64 header
// bytes on the descriptor kept from the last eepromReadImage with seen (or
// from the last look) at the same path.  A torn read only makes the
// snapshot differ, which costs a needless reload and nothing else.
void eepromReadHeaders(const char *path, EepromHeaders *out);
bool eepromSameHeaders(const EepromHeaders &a, const EepromHeaders &b);

// CRC-32 (IEEE 802.3, reflected, as zlib computes it).
uint32_t eepromCrc32(uint32_t crc, const void *data, long length);

// Test seam: while a log is set, every write of a save (offset and bytes)
// and every fdatasync is recorded in it, in order, so that a test can
// replay a save cut short anywhere.
struct EepromWriteLog {
  struct Op {
    long offset;
    long length;  // -1: an fdatasync
    long at;      // where its bytes start in bytes[]
  };
  Op ops[8];
  int count;
  unsigned char bytes[kEepromSize + 2 * kEepromHeaderSize];
  long used;
  bool overflow;  // more than ops or bytes hold
};
void eepromLogWrites(EepromWriteLog *log);

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
