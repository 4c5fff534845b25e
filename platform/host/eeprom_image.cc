// The EEPROM of the simulated unit: a backing image holding two copies of
// the EEPROM's 8192 bytes (see eeprom_image.h for why two, and where each
// part lies).
//
// Each slot has a 32-byte header:
//   magic u32 | length u32 | generation u64 | crc u32 | 12 bytes zero
// (little-endian on every processor, so that builds for this machine and for
// the appliance can share one unit).  The CRC covers the header with its crc
// field zeroed, then data[0..length), so a slot whose header or data was
// written only in part never checks out.  Bytes of a slot past its length
// are left as they were.
#include "platform/host/eeprom_image.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/device_services.h"
#include "platform/host/eeprom_fault.h"
#include "platform/host/unit_paths.h"

namespace {

constexpr uint32_t kSlotMagic = 0x32454555;  // "UEE2"

struct SlotHeader {
  uint32_t magic;
  uint32_t length;
  uint64_t generation;
  uint32_t crc;
  uint32_t reserved[3];
};
static_assert(sizeof(SlotHeader) == kEepromHeaderSize);
static_assert(kEepromHeaderAt[1] == kEepromHeaderAt[0] + kEepromHeaderSize,
              "one read fetches both headers");

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

EepromWriteLog *writeLog;

// The image kept open by readers for their looks at the headers.
int watchFd = -1;
char watchPath[256];

// A header between this processor's order and the image's (little-endian);
// the same swap goes either way.
SlotHeader imageOrder(SlotHeader h) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  h.magic = __builtin_bswap32(h.magic);
  h.length = __builtin_bswap32(h.length);
  // Two 32-bit swaps: a 64-bit one may need a helper routine on 32-bit
  // processors.
  uint32_t halves[2];
  memcpy(halves, &h.generation, sizeof halves);
  uint32_t swapped[2] = {__builtin_bswap32(halves[1]), __builtin_bswap32(halves[0])};
  memcpy(&h.generation, swapped, sizeof swapped);
  h.crc = __builtin_bswap32(h.crc);
#endif
  return h;
}

// Serial-number order: a is newer than b when it lies less than half the
// number space ahead of b.  Only a subtraction and a sign test, which 32-bit
// processors do inline.
bool newer(uint64_t a, uint64_t b) { return static_cast<int64_t>(a - b) > 0; }

SlotHeader headerAt(const unsigned char *raw, int slot) {
  SlotHeader h;
  memcpy(&h, raw + slot * kEepromHeaderSize, sizeof h);
  return imageOrder(h);
}

bool erased(const unsigned char *raw) {
  for (int i = 1; i < 2 * kEepromHeaderSize; i++) {
    if (raw[i] != raw[0]) return false;
  }
  return raw[0] == 0x00 || raw[0] == 0xFF;
}

// Reads n bytes at off; what lies past the end of the file reads as zeros.
// Short of that, -1.
int readAt(int fd, void *buf, long n, long off) {
  unsigned char *p = static_cast<unsigned char *>(buf);
  long got = 0;
  while (got < n) {
    ssize_t r = pread(fd, p + got, n - got, off + got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += r;
  }
  memset(p + got, 0, n - got);
  return 0;
}

int readHeaders(int fd, unsigned char *raw) {
  return readAt(fd, raw, 2 * kEepromHeaderSize, kEepromHeaderAt[0]);
}

// Whether a slot's data match its header: 1 yes, 0 no, -1 on a read error.
// The data are read through buf in pieces of size bytes; when size covers
// the length they are left whole in buf.
int slotChecksOut(int fd, int slot, const SlotHeader &h, unsigned char *buf,
                  long size) {
  if (h.magic != kSlotMagic || h.length > static_cast<uint32_t>(kEepromSize))
    return 0;
  SlotHeader zeroed = imageOrder(h);
  zeroed.crc = 0;
  uint32_t crc = eepromCrc32(0, &zeroed, sizeof zeroed);
  long length = h.length;
  for (long done = 0; done < length;) {
    long n = length - done < size ? length - done : size;
    if (readAt(fd, buf, n, kEepromDataAt[slot] + done) != 0) return -1;
    crc = eepromCrc32(crc, buf, n);
    done += n;
  }
  return crc == h.crc ? 1 : 0;
}

// The slot holding the current copy (its header in *current), -1 when
// neither checks out, -2 on a read error.
int currentSlot(int fd, const unsigned char *raw, unsigned char *buf,
                long size, SlotHeader *current) {
  SlotHeader h[2] = {headerAt(raw, 0), headerAt(raw, 1)};
  // Newest first; slot 0 on a tie, so that every reader agrees.
  int first = newer(h[1].generation, h[0].generation) ? 1 : 0;
  for (int slot : {first, 1 - first}) {
    int ok = slotChecksOut(fd, slot, h[slot], buf, size);
    if (ok < 0) return -2;
    if (ok) {
      *current = h[slot];
      return slot;
    }
  }
  return -1;
}

int lockImage(int fd, int operation) {
  while (flock(fd, operation) != 0) {
    if (errno != EINTR) return -1;
  }
  return 0;
}

void logOp(long offset, const void *bytes, long length) {
  EepromWriteLog *log = writeLog;
  if (!log) return;
  long room = static_cast<long>(sizeof log->bytes) - log->used;
  if (log->count >= static_cast<int>(sizeof log->ops / sizeof log->ops[0]) ||
      length > room) {
    log->overflow = true;
    return;
  }
  log->ops[log->count++] = {offset, length, log->used};
  if (length > 0) {
    memcpy(log->bytes + log->used, bytes, length);
    log->used += length;
  }
}

int syncData(int fd) {
  logOp(0, nullptr, -1);
  return fdatasync(fd);
}

// Writes buf[0..n) at off, no more than the budget allows.
int writeBudgeted(int fd, const void *buf, long n, long off,
                  EepromBudget *budget) {
  long allowed = n;
  if (budget && budget->left >= 0 && budget->left < n) allowed = budget->left;
  logOp(off, buf, n);
  const char *p = static_cast<const char *>(buf);
  long done = 0;
  while (done < allowed) {
    ssize_t w = pwrite(fd, p + done, allowed - done, off + done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return -1;
    done += w;
  }
  if (budget && budget->left >= 0) budget->left -= allowed;
  return allowed == n ? 0 : -1;
}

// A newly created image only survives a power cut once its directory entry
// is on disk too.
int syncParentDir(const char *path) {
  char dir[4096];
  const char *slash = strrchr(path, '/');
  if (!slash) return 0;
  size_t len = slash == path ? 1 : static_cast<size_t>(slash - path);
  if (len >= sizeof dir) return -1;
  memcpy(dir, path, len);
  dir[len] = 0;
  int fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  int rc = fsync(fd);
  close(fd);
  return rc;
}

int openForWrite(const char *path, bool *created) {
  *created = false;
  for (;;) {
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    // It holds the passwords and communities in clear.
    fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      *created = true;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
}

int writeLocked(int fd, const char *data, int length, EepromBudget *budget,
                EepromHeaders *after) {
  unsigned char raw[2 * kEepromHeaderSize];
  if (readHeaders(fd, raw) != 0) return -1;
  // The old copy is only checked here, not kept: a small buffer will do.
  unsigned char piece[512];
  SlotHeader current;
  int slot = currentSlot(fd, raw, piece, sizeof piece, &current);
  if (slot == -2) return -1;
  int target = slot == 0 ? 1 : 0;

  SlotHeader h{};
  h.magic = kSlotMagic;
  h.length = static_cast<uint32_t>(length);
  // One past the current copy, whatever the other slot holds: in serial
  // order that is always the newer of the two.
  h.generation = slot < 0 ? 1 : current.generation + 1;
  SlotHeader stored = imageOrder(h);
  h.crc = eepromCrc32(eepromCrc32(0, &stored, sizeof stored), data, length);
  stored = imageOrder(h);

  if (writeBudgeted(fd, data, length, kEepromDataAt[target], budget) != 0)
    return -1;
  if (syncData(fd) != 0) return -1;
  if (writeBudgeted(fd, &stored, sizeof stored, kEepromHeaderAt[target],
                    budget) != 0)
    return -1;
  if (syncData(fd) != 0) return -1;

  if (after) {
    // Under the lock nothing but this save changed them.
    memcpy(raw + target * kEepromHeaderSize, &stored, sizeof stored);
    memcpy(after->raw, raw, sizeof raw);
    after->present = true;
  }
  return 0;
}

constexpr int kWatchFdFloor = 40;

// Makes fd the descriptor kept for looks at the headers of path.
void watch(const char *path, int fd) {
  if (watchFd >= 0 && watchFd != fd) close(watchFd);
  watchFd = -1;
  size_t len = strlen(path);
  if (len >= sizeof watchPath) {
    close(fd);
    return;
  }
  memcpy(watchPath, path, len + 1);
  // Kept above the descriptors a hand-over to another program closes (2 to
  // 39): closed under the store, its number would go to the next file
  // opened, and the store would read that file's bytes as headers.
  int high = fcntl(fd, F_DUPFD_CLOEXEC, kWatchFdFloor);
  if (high >= 0) {
    close(fd);
    fd = high;
  }
  watchFd = fd;
}

}  // namespace

uint32_t eepromCrc32(uint32_t crc, const void *data, long length) {
  const unsigned char *p = static_cast<const unsigned char *>(data);
  crc = ~crc;
  for (long i = 0; i < length; i++) crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

int eepromReadImage(const char *path, char *buf, uint64_t *generation,
                    EepromHeaders *seen) {
  buf[0] = 0;
  if (seen) memset(seen, 0, sizeof *seen);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  // On the simulated unit the image is made by its first save: none yet is
  // an EEPROM never written.
  if (fd < 0) return errno == ENOENT ? kEepromBlank : kEepromIoError;
  if (lockImage(fd, LOCK_SH) != 0) {
    close(fd);
    return kEepromIoError;
  }
  int rc = kEepromIoError;
  unsigned char raw[2 * kEepromHeaderSize];
  if (readHeaders(fd, raw) == 0) {
    // Even an image without a valid copy has headers worth remembering:
    // the next look at them then tells whether anything changed.
    if (seen) {
      memcpy(seen->raw, raw, sizeof raw);
      seen->present = true;
    }
    unsigned char *data = reinterpret_cast<unsigned char *>(buf);
    SlotHeader h;
    int slot = currentSlot(fd, raw, data, kEepromSize, &h);
    if (slot >= 0) {
      // The EEPROM holds text: the last byte is always its terminator.
      buf[h.length < static_cast<uint32_t>(kEepromSize) ? h.length
                                                        : kEepromSize - 1] = 0;
      *generation = h.generation;
      rc = kEepromOk;
    } else {
      buf[0] = 0;
      rc = slot == -2 ? kEepromIoError
           : erased(raw) ? kEepromBlank
                         : kEepromNoValidCopy;
    }
  }
  if (rc == kEepromIoError && seen) memset(seen, 0, sizeof *seen);
  if (seen && rc != kEepromIoError && lockImage(fd, LOCK_UN) == 0) {
    watch(path, fd);
  } else {
    close(fd);  // the lock goes with it
  }
  return rc;
}

int eepromWriteImage(const char *path, const char *data, int length,
                     EepromBudget *budget, EepromHeaders *after) {
  if (length < 0 || length > kEepromSize || (length > 0 && !data)) return -1;
  // The EEPROM holds NUL-terminated text: a text that fills all of it with
  // no terminator could only be read back cut short.
  if (length == kEepromSize && !memchr(data, 0, length)) return -1;
  bool created = false;
  int fd = openForWrite(path, &created);
  if (fd < 0) return -1;
  int rc = -1;
  if (lockImage(fd, LOCK_EX) == 0)
    rc = writeLocked(fd, data, length, budget, after);
  if (rc == 0 && created && syncParentDir(path) != 0) rc = -1;
  // The lock goes with the descriptor.
  if (close(fd) != 0) rc = -1;
  return rc;
}

void eepromReadHeaders(const char *path, EepromHeaders *out) {
  // Saves by other processes show through the kept descriptor, as every
  // writer changes the image in place (see eeprom_image.h).  So a look with
  // nothing saved meanwhile is this one read, with no stat of the path.
  memset(out, 0, sizeof *out);
  if (watchFd < 0 || strcmp(path, watchPath) != 0) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    watch(path, fd);
    if (watchFd < 0) return;
  }
  if (readHeaders(watchFd, out->raw) != 0) {
    memset(out, 0, sizeof *out);
    close(watchFd);
    watchFd = -1;
    return;
  }
  out->present = true;
}

bool eepromSameHeaders(const EepromHeaders &a, const EepromHeaders &b) {
  return a.present == b.present && memcmp(a.raw, b.raw, sizeof a.raw) == 0;
}

void eepromLogWrites(EepromWriteLog *log) {
  writeLog = log;
  if (log) {
    log->count = 0;
    log->used = 0;
    log->overflow = false;
  }
}

int eepromSetup() { return 0; }

int eepromRead(char *buf) {
  uint64_t generation;
  if (eepromReadImage(unit::kEepromImage, buf, &generation, nullptr) !=
      kEepromOk)
    return -1;
  eepromPlantedFault(buf);
  return 0;
}

int eepromWrite(const char *data, int length) {
  return eepromWriteImage(unit::kEepromImage, data, length, nullptr, nullptr);
}

// ---- Read, then save, under one lock ---------------------------------------

int eepromMergeImage(const char *path, EepromMergeFn merge, void *context,
                     EepromHeaders *after) {
  static char current[kEepromSize];
  bool created = false;
  int fd = openForWrite(path, &created);
  if (fd < 0) return -1;
  int rc = -1;
  unsigned char raw[2 * kEepromHeaderSize];
  if (lockImage(fd, LOCK_EX) == 0 && readHeaders(fd, raw) == 0) {
    EepromHeaders found;
    memcpy(found.raw, raw, sizeof raw);
    found.present = true;
    SlotHeader h;
    int slot = currentSlot(fd, raw, reinterpret_cast<unsigned char *>(current),
                           kEepromSize, &h);
    // A read error leaves the image unknown: nothing is written over it.
    if (slot != -2) {
      if (slot < 0) {
        current[0] = 0;
      } else {
        current[h.length < static_cast<uint32_t>(kEepromSize)
                    ? h.length
                    : kEepromSize - 1] = 0;
      }
      const char *data = nullptr;
      int length = 0;
      rc = merge(context, current, found, &data, &length);
      if (rc == 0 && (length < 1 || length > kEepromSize || data[length - 1]))
        rc = -1;
      if (rc == 0) rc = writeLocked(fd, data, length, nullptr, after);
    }
  }
  if (rc == 0 && created && syncParentDir(path) != 0) rc = -1;
  if (close(fd) != 0 && rc == 0) rc = -1;
  return rc;
}
