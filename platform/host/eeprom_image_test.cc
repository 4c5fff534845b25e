#include "platform/host/eeprom_image.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/device_services.h"
#include "platform/host/config_store_internal.h"
#include "platform/host/scratch_test_util.h"

namespace {

class EepromImage : public Scratch {
 protected:
  void flipByte(long offset) {
    std::string data = readFile(image_);
    data[offset] ^= 1;
    writeFile(image_, data);
  }
  int readResult(const std::string &path) {
    static char buf[kEepromSize];
    uint64_t g = 0;
    strcpy(buf, "stale");
    int rc = eepromReadImage(path.c_str(), buf, &g, nullptr);
    if (rc != kEepromOk) {
      EXPECT_STREQ(buf, "") << path;
    }
    return rc;
  }
  // Puts a copy into a slot by hand, with any generation and a CRC that
  // checks out: the states that saves alone take ages to reach.
  void plant(int slot, const std::string &text, uint64_t generation) {
    unsigned char h[kEepromHeaderSize] = {'U', 'E', 'E', '2'};
    uint32_t length = static_cast<uint32_t>(text.size()) + 1;
    for (int i = 0; i < 4; i++) h[4 + i] = static_cast<unsigned char>(length >> (8 * i));
    for (int i = 0; i < 8; i++) h[8 + i] = static_cast<unsigned char>(generation >> (8 * i));
    uint32_t crc = eepromCrc32(eepromCrc32(0, h, sizeof h), text.c_str(), length);
    for (int i = 0; i < 4; i++) h[16 + i] = static_cast<unsigned char>(crc >> (8 * i));
    std::string image = readFile(image_);
    if (image == "<missing>") image.clear();
    image.resize(kEepromImageSize);
    image.replace(kEepromHeaderAt[slot], sizeof h, reinterpret_cast<char *>(h), sizeof h);
    image.replace(kEepromDataAt[slot], length, text.c_str(), length);
    writeFile(image_, image);
  }
};

// A configuration that shows by itself whether it is whole: its number, then
// a filler whose length and content follow from the number.
std::string numbered(long n) {
  std::string text = "seq=" + std::to_string(n) + "\nfill=";
  size_t length = 200 + (n % 7500) * 997 % 7500;  // no overflow of a 32-bit long
  while (text.size() < length - 1) text += "x" + std::to_string(n % 97);
  text.resize(length - 1);
  return text + "\n";
}

long numberOf(const std::string &text) {
  long n = text.compare(0, 4, "seq=") == 0 ? atol(text.c_str() + 4) : -1;
  return n >= 0 && numbered(n) == text ? n : -1;
}

TEST_F(EepromImage, KeepsTextsOfEverySizeAndCountsGenerations) {
  EXPECT_EQ(load(), "<none>");  // no image yet
  std::string full(kEepromSize - 1, 'k');
  uint64_t g1 = 0, g2 = 0;
  ASSERT_EQ(save(full), 0);
  EXPECT_EQ(load(&g1), full);
  // An erased EEPROM: one zero byte.
  ASSERT_EQ(save(""), 0);
  EXPECT_EQ(load(&g2), "");
  EXPECT_EQ(g2, g1 + 1);
  // Refused, and the stored text left alone: more than the EEPROM holds,
  // or a text of all its bytes that leaves no room for its terminator.
  const std::string unterminated(kEepromSize, 'u');
  EXPECT_EQ(eepromWriteImage(image_.c_str(), full.c_str(), kEepromSize + 1,
                             nullptr, nullptr), -1);
  EXPECT_EQ(eepromWriteImage(image_.c_str(), unterminated.data(), kEepromSize,
                             nullptr, nullptr), -1);
  EXPECT_EQ(load(), "");
}

// A save may follow a blank or damaged image, never an unreadable one: the
// three must come out apart.
TEST_F(EepromImage, TellsAnUnreadableImageFromABlankOrDamagedOne) {
  EXPECT_EQ(readResult(image_), kEepromBlank);  // never made
  for (std::string erased : {std::string(), std::string(kEepromImageSize, '\0'),
                             std::string(kEepromImageSize, '\xff')}) {
    writeFile(image_, erased);
    EXPECT_EQ(readResult(image_), kEepromBlank) << erased.size();
  }
  ASSERT_EQ(save("a=1\n"), 0);
  ASSERT_EQ(save("a=2\n"), 0);
  EXPECT_EQ(readResult(image_), kEepromOk);
  flipByte(kEepromDataAt[0]);
  flipByte(kEepromHeaderAt[1] + 8);
  EXPECT_EQ(readResult(image_), kEepromNoValidCopy);
  // A read that fails (a directory), an open that fails (a path through a
  // plain file).
  EXPECT_EQ(readResult(dir_), kEepromIoError);
  EXPECT_EQ(readResult(image_ + "/eeprom.img"), kEepromIoError);
}

TEST_F(EepromImage, FallsBackToTheOtherCopyWhenTheNewestIsDamaged) {
  ASSERT_EQ(save("one"), 0);    // slot 0, generation 1
  ASSERT_EQ(save("two"), 0);    // slot 1, generation 2
  ASSERT_EQ(save("three"), 0);  // slot 0, generation 3
  flipByte(kEepromDataAt[0] + 2);
  EXPECT_EQ(load(), "two");
  // The next save goes over the damaged copy, never over the good one.
  ASSERT_EQ(save("four"), 0);
  EXPECT_EQ(load(), "four");
  flipByte(kEepromHeaderAt[0] + 16);  // CRC field
  EXPECT_EQ(load(), "two");
  flipByte(kEepromHeaderAt[1] + 8);  // generation
  EXPECT_EQ(load(), "<none>");
  ASSERT_EQ(save("five"), 0);
  EXPECT_EQ(load(), "five");
}

TEST_F(EepromImage, GenerationsWrapAroundWithoutLosingSaves) {
  // A counter at its maximum: the next save counts as newer all the same.
  plant(0, "at the top", UINT64_MAX);
  plant(1, "older", UINT64_MAX - 1);
  uint64_t g = 0;
  EXPECT_EQ(load(&g), "at the top");
  ASSERT_EQ(save("wrapped"), 0);
  EXPECT_EQ(load(&g), "wrapped");
  EXPECT_EQ(g, 0u);
  ASSERT_EQ(save("and on"), 0);
  EXPECT_EQ(load(&g), "and on");
  EXPECT_EQ(g, 1u);
  // Whichever slot holds it, the one just past the wrap is the newer.
  plant(0, "before", UINT64_MAX);
  plant(1, "after", 0);
  EXPECT_EQ(load(), "after");
  plant(0, "after", 3);
  plant(1, "before", UINT64_MAX - 5);
  EXPECT_EQ(load(), "after");
}

// One write of a save as storage may carry it out: the part of one write
// that falls into one sector.
struct Piece {
  long offset, length;
  const char *bytes;
};

// The writes between two syncs, cut at sector boundaries.
std::vector<Piece> sectorPieces(const EepromWriteLog &log, int from, int to, long sector) {
  std::vector<Piece> pieces;
  for (int op = from; op < to; op++) {
    const EepromWriteLog::Op &o = log.ops[op];
    const char *bytes = reinterpret_cast<const char *>(log.bytes + o.at);
    for (long at = o.offset; at < o.offset + o.length; at = (at / sector + 1) * sector) {
      long end = std::min(o.offset + o.length, (at / sector + 1) * sector);
      pieces.push_back({at, end - at, bytes + (at - o.offset)});
    }
  }
  return pieces;
}

// The power goes off during a save.  What a sync has reported done is on
// the medium; of the writes since the last sync, storage may have carried
// out any part, sector by sector, in any order, and the sector it was
// writing at that moment holds part of the new bytes or garbage.  From
// every such image the store loads exactly the old or exactly the new
// configuration, and the next save lands.  That holds only when the data
// is synced before the header that makes it current: the save's write log
// must show that order as well, since a copy that checks out whole only by
// chance would pass the replay.
TEST_F(EepromImage, PowerCutAnywhereLeavesTheOldOrTheNewConfiguration) {
  constexpr long kSector = 512;
  long states = 0;
  std::mt19937 random(7);
  // Small to near-full and back: a long new copy, then a short one over a
  // long old one.
  for (long oldN : {3L, 7L}) {
    long newN = oldN == 3 ? 7 : 11;
    const std::string oldText = numbered(oldN), newText = numbered(newN);
    writeFile(image_, "");
    ASSERT_EQ(save(numbered(1)), 0);
    ASSERT_EQ(save(oldText), 0);
    std::string before = readFile(image_);
    before.resize(kEepromImageSize);

    static EepromWriteLog log;
    eepromLogWrites(&log);
    int rc = save(newText);
    eepromLogWrites(nullptr);
    ASSERT_EQ(rc, 0);
    ASSERT_FALSE(log.overflow);
    std::string after = readFile(image_);
    after.resize(kEepromImageSize);

    // The order the replay relies on: every header write comes after a
    // sync that follows every data write before it, and the save ends
    // with a sync.
    auto isHeader = [](const EepromWriteLog::Op &o) {
      return o.offset < kEepromDataAt[0] && o.offset + o.length > kEepromHeaderAt[0];
    };
    bool unsyncedData = false, wroteHeader = false;
    for (int op = 0; op < log.count; op++) {
      const EepromWriteLog::Op &o = log.ops[op];
      if (o.length < 0) {
        unsyncedData = false;
      } else if (isHeader(o)) {
        EXPECT_FALSE(unsyncedData) << "op " << op << ": a header written before its data is synced";
        wroteHeader = true;
      } else {
        unsyncedData = true;
      }
    }
    EXPECT_TRUE(wroteHeader);
    ASSERT_GT(log.count, 0);
    EXPECT_LT(log.ops[log.count - 1].length, 0) << "the save ends without a sync";

    // Written over in place at full size: a file cut to nothing and written
    // anew makes the file system flush it at close, which costs more than
    // the load.
    const int fd = open(image_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string how;
    auto check = [&](const std::string &image) {
      ASSERT_EQ(pwrite(fd, image.data(), image.size(), 0), kEepromImageSize);
      cfgClear();
      ASSERT_EQ(cfgLoad(image_.c_str()), 0) << how;
      static char text[kEepromSize];
      ASSERT_GE(cfgTextFormat(text, sizeof text), 0);
      ASSERT_TRUE(text == oldText || text == newText) << how << ": " << numberOf(text);
      if (++states % 997 == 0) {  // recovery from a sample of them
        ASSERT_EQ(save(numbered(13)), 0);
        ASSERT_EQ(numberOf(load()), 13) << how;
      }
    };
    // Pieces landed in the order given.
    auto land = [](std::string image, const std::vector<Piece> &pieces) {
      for (const Piece &p : pieces) image.replace(p.offset, p.length, p.bytes, p.length);
      return image;
    };

    std::string synced = before;
    int from = 0;
    for (int op = 0; op <= log.count; op++) {
      if (op < log.count && log.ops[op].length >= 0) continue;
      // The writes from..op are pending: every subset of their pieces
      // (a sample when there are many), each in an order of its own.
      std::vector<Piece> pending = sectorPieces(log, from, op, kSector);
      const size_t n = pending.size();
      std::vector<uint64_t> subsets;
      if (n <= 12) {
        for (uint64_t m = 0; m < (uint64_t{1} << n); m++) subsets.push_back(m);
      } else {
        for (size_t i = 0; i < n; i++) {
          subsets.push_back(uint64_t{1} << i);                          // one alone
          subsets.push_back(((uint64_t{1} << n) - 1) & ~(uint64_t{1} << i));  // all but one
        }
        for (int i = 0; i < 2000; i++) subsets.push_back(random() & ((uint64_t{1} << n) - 1));
      }
      for (uint64_t m : subsets) {
        std::vector<Piece> landed;
        for (size_t i = 0; i < n; i++)
          if (m >> i & 1) landed.push_back(pending[i]);
        std::shuffle(landed.begin(), landed.end(), random);
        how = "after sync " + std::to_string(from) + ", pieces " + std::to_string(m);
        ASSERT_NO_FATAL_FAILURE(check(land(synced, landed)));
      }
      // The sector being written when the power went: each byte of it cut,
      // or garbage, beside a random part of the rest.
      for (size_t i = 0; i < n; i++) {
        std::vector<Piece> others;
        for (size_t j = 0; j < n; j++)
          if (j != i && random() % 2) others.push_back(pending[j]);
        std::string image = land(synced, others);
        const Piece &p = pending[i];
        for (long cut = 1; cut < p.length; cut++) {
          how = "after sync " + std::to_string(from) + ", piece " + std::to_string(i) +
                " cut at " + std::to_string(cut);
          ASSERT_NO_FATAL_FAILURE(check(land(image, {{p.offset, cut, p.bytes}})));
        }
        std::string garbled = image;
        long start = p.offset / kSector * kSector;
        for (long b = start; b < start + kSector; b++) garbled[b] = static_cast<char>(random());
        how = "after sync " + std::to_string(from) + ", piece " + std::to_string(i) + " garbage";
        ASSERT_NO_FATAL_FAILURE(check(garbled));
      }
      synced = land(synced, pending);
      from = op + 1;
    }
    close(fd);
    EXPECT_EQ(synced, after);  // the log holds every byte the save wrote
  }
  printf("power cut in %ld states\n", states);
}

// The newest generation in a set of headers.
uint64_t newestGeneration(const EepromHeaders &h) {
  uint64_t g[2] = {0, 0};
  for (int slot = 0; slot < 2; slot++)
    for (int i = 7; i >= 0; i--) g[slot] = g[slot] << 8 | h.raw[slot * kEepromHeaderSize + 8 + i];
  return static_cast<int64_t>(g[1] - g[0]) > 0 ? g[1] : g[0];
}

struct Ack {
  long n;
  uint64_t generation;
};

// Writers save numbered texts side by side and report each save that
// returned 0, with its generation; all are killed at unforeseen moments.
// The image must then hold one whole text, the last reported save or one
// that came after it.  SETUP_KILL_TRIALS sets the number of trials.
TEST_F(EepromImage, WritersKilledAtRandomNeverTearOrLoseASave) {
  constexpr int kWriters = 4;
  const char *env = getenv("SETUP_KILL_TRIALS");
  // The appliance build's tests run under an emulator, where every fork
  // and save costs many times more: fewer trials there.
#ifdef __powerpc__
  const long trials = env ? atol(env) : 50;
#else
  const long trials = env ? atol(env) : 300;
#endif
  ASSERT_EQ(save(numbered(0)), 0);
  srand(4242);
  for (long trial = 0; trial < trials; trial++) {
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    pid_t pids[kWriters];
    for (int w = 0; w < kWriters; w++) {
      pids[w] = fork();
      ASSERT_GE(pids[w], 0);
      if (pids[w] == 0) {
        close(acks[0]);
        for (long n = (trial % 10000 + 1) * 100000 + w * 10000;; n++) {
          EepromHeaders after;
          std::string text = numbered(n);
          if (eepromWriteImage(image_.c_str(), text.c_str(), static_cast<int>(text.size()) + 1,
                               nullptr, &after) != 0)
            _exit(3);
          Ack ack{n, newestGeneration(after)};
          if (write(acks[1], &ack, sizeof ack) != sizeof ack) _exit(4);
        }
      }
    }
    close(acks[1]);
    Ack last{-1, 0}, ack;
    for (int wanted = 1 + rand() % 8; wanted > 0; wanted--) {
      ASSERT_EQ(read(acks[0], &ack, sizeof ack), static_cast<ssize_t>(sizeof ack));
      last = ack;
    }
    // Let the saves under way get a random distance along before the kill.
    for (volatile long spin = rand() % 100000; spin > 0; spin--) {
    }
    for (pid_t pid : pids) kill(pid, SIGKILL);
    for (pid_t pid : pids) {
      int status;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed: " << status;
    }
    while (read(acks[0], &ack, sizeof ack) == static_cast<ssize_t>(sizeof ack)) {
      if (static_cast<int64_t>(ack.generation - last.generation) > 0) last = ack;
    }
    close(acks[0]);

    uint64_t stored = 0;
    std::string text = load(&stored);
    ASSERT_GE(numberOf(text), 0) << "torn, trial " << trial;
    if (stored == last.generation) {
      ASSERT_EQ(numberOf(text), last.n) << "trial " << trial;
    } else {
      // Saves that landed but were killed before they could report.
      int64_t ahead = static_cast<int64_t>(stored - last.generation);
      ASSERT_TRUE(ahead > 0 && ahead <= kWriters) << "lost, trial " << trial;
    }
  }
}

}  // namespace
