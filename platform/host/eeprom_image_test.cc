#include "platform/host/eeprom_image.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "platform/device_services.h"

namespace {

class EepromImage : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "eepromXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/eeprom.img";
  }
  void TearDown() override {
    unlink(path_.c_str());
    unlink((path_ + ".base").c_str());
    rmdir(dir_.c_str());
  }

  int save(const std::string &text, long budget = -1) {
    EepromBudget b{budget};
    return eepromWriteImage(path_.c_str(), text.c_str(),
                            static_cast<int>(text.size()) + 1, &b, nullptr);
  }
  // The current text, or "<none>" when no copy is valid.
  std::string load(uint64_t *generation = nullptr) {
    static char buf[kEepromSize];
    uint64_t g = 0;
    if (eepromReadImage(path_.c_str(), buf, &g, nullptr) != 0) return "<none>";
    if (generation) *generation = g;
    return buf;
  }
  void flipByte(long offset) {
    int fd = open(path_.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    unsigned char c;
    ASSERT_EQ(pread(fd, &c, 1, offset), 1);
    c ^= 0x01;
    ASSERT_EQ(pwrite(fd, &c, 1, offset), 1);
    close(fd);
  }
  std::string readFile(const std::string &path) {
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return data;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    fclose(f);
    return data;
  }
  void writeFile(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(data.data(), 1, data.size(), f), data.size());
    fclose(f);
  }

  std::string dir_, path_;
};

// A text that shows by itself whether it is whole: its number, then a
// filler whose length and content follow from the number.
std::string numbered(long n) {
  std::string text = "seq=" + std::to_string(n) + "\n";
  size_t length = 200 + (n * 997) % 7500;
  while (text.size() < length) text += "x" + std::to_string(n % 97);
  text.resize(length);
  return text;
}

long numberOf(const std::string &text) {
  if (text.compare(0, 4, "seq=") != 0) return -1;
  long n = atol(text.c_str() + 4);
  return numbered(n) == text ? n : -1;
}

TEST_F(EepromImage, KeepsTextsOfEverySizeAndCountsGenerations) {
  EXPECT_EQ(load(), "<none>");  // no image yet
  std::string full(kEepromSize - 1, 'k');
  ASSERT_EQ(save(full), 0);
  uint64_t g1 = 0, g2 = 0, g3 = 0;
  EXPECT_EQ(load(&g1), full);
  ASSERT_EQ(save("a=1\n"), 0);
  EXPECT_EQ(load(&g2), "a=1\n");
  // An erased EEPROM: one zero byte.
  ASSERT_EQ(eepromWriteImage(path_.c_str(), "", 1, nullptr, nullptr), 0);
  EXPECT_EQ(load(&g3), "");
  EXPECT_EQ(g2, g1 + 1);
  EXPECT_EQ(g3, g2 + 1);
  // Nothing beyond the EEPROM's size is taken.
  static char big[kEepromSize + 1];
  EXPECT_EQ(eepromWriteImage(path_.c_str(), big, kEepromSize + 1, nullptr, nullptr), -1);
  EXPECT_EQ(eepromWriteImage(path_.c_str(), big, -1, nullptr, nullptr), -1);
}

TEST_F(EepromImage, FallsBackToTheOtherCopyWhenTheNewestIsDamaged) {
  ASSERT_EQ(save("one"), 0);    // slot 0, generation 1
  ASSERT_EQ(save("two"), 0);    // slot 1, generation 2
  ASSERT_EQ(save("three"), 0);  // slot 0, generation 3
  EXPECT_EQ(load(), "three");

  flipByte(kEepromHeaderSize + 2);  // data of slot 0
  EXPECT_EQ(load(), "two");
  // The next save goes over the damaged copy, never over the good one.
  ASSERT_EQ(save("four"), 0);
  EXPECT_EQ(load(), "four");
  flipByte(16);  // CRC field of slot 0
  EXPECT_EQ(load(), "two");

  flipByte(kEepromSlotSize + 8);  // generation of slot 1: its CRC fails too
  EXPECT_EQ(load(), "<none>");
  ASSERT_EQ(save("five"), 0);
  EXPECT_EQ(load(), "five");
}

TEST_F(EepromImage, GarbageOrEmptyImagesHoldNoCopy) {
  writeFile(path_, "");
  EXPECT_EQ(load(), "<none>");
  writeFile(path_, std::string(2 * kEepromSlotSize, '\xff'));
  EXPECT_EQ(load(), "<none>");
  ASSERT_EQ(save("after"), 0);
  EXPECT_EQ(load(), "after");
}

TEST_F(EepromImage, AWriteCutShortAtAnyByteLeavesTheOldCopy) {
  ASSERT_EQ(save(numbered(1)), 0);
  ASSERT_EQ(save(numbered(2)), 0);
  const std::string base = readFile(path_);
  const std::string next = numbered(143);  // short enough to try every byte
  const long dataLen = static_cast<long>(next.size()) + 1;
  const long total = dataLen + kEepromHeaderSize;
  for (long cut = 0; cut <= total; cut++) {
    writeFile(path_, base);
    int rc = save(next, cut);
    long now = numberOf(load());
    ASSERT_EQ(rc, cut < total ? -1 : 0) << "cut at " << cut;
    // Until the header is being written the old copy is the current one;
    // once its last bytes match what they were, the new one may be.
    if (cut <= dataLen) {
      ASSERT_EQ(now, 2) << "cut at " << cut;
    } else if (cut < total) {
      ASSERT_TRUE(now == 2 || now == 143) << "cut at " << cut;
    } else {
      ASSERT_EQ(now, 143);
    }
  }
  // A save after a cut lands as usual, on a near-full text too.
  const std::string large = numbered(7);
  for (long cut = 0; cut < static_cast<long>(large.size()); cut += 509) {
    writeFile(path_, base);
    ASSERT_EQ(save(large, cut), -1);
    ASSERT_EQ(numberOf(load()), 2);
    ASSERT_EQ(save(numbered(9)), 0);
    ASSERT_EQ(numberOf(load()), 9);
  }
}

// Children save numbered texts in a loop and report each save that returned
// 0; they are killed at unforeseen moments.  The image must always hold one
// whole text, never older than the last reported save.
TEST_F(EepromImage, WritersKilledAtRandomNeverTearOrLoseASave) {
  ASSERT_EQ(save(numbered(0)), 0);
  srand(4242);
  long next = 1;
  for (int round = 0; round < 30; round++) {
    int acks[2];
    ASSERT_EQ(pipe(acks), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(acks[0]);
      for (long n = next;; n++) {
        if (save(numbered(n)) != 0) _exit(3);
        if (write(acks[1], &n, sizeof n) != sizeof n) _exit(4);
      }
    }
    close(acks[1]);
    long acked = -1, n;
    for (int wanted = 1 + rand() % 4; wanted > 0; wanted--) {
      ASSERT_EQ(read(acks[0], &n, sizeof n), static_cast<ssize_t>(sizeof n));
      acked = n;
    }
    // Let the next save get a random distance along before the kill.
    for (volatile long spin = rand() % 200000; spin > 0; spin--) {
    }
    kill(pid, SIGKILL);
    int status;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed: " << status;
    while (read(acks[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n)) acked = n;
    close(acks[0]);

    long stored = numberOf(load());
    ASSERT_GE(stored, acked) << "round " << round;
    ASSERT_LE(stored, acked + 1) << "round " << round;
    next = stored + 1;
  }
}

TEST_F(EepromImage, ConcurrentSaversEachLandWhole) {
  ASSERT_EQ(save(numbered(0)), 0);
  uint64_t before = 0;
  load(&before);
  constexpr int kWriters = 4, kSaves = 25;
  pid_t pids[kWriters];
  for (int w = 0; w < kWriters; w++) {
    pids[w] = fork();
    ASSERT_GE(pids[w], 0);
    if (pids[w] == 0) {
      for (int i = 0; i < kSaves; i++) {
        if (save(numbered(1000 * (w + 1) + i)) != 0) _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t pid : pids) {
    int status;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  uint64_t after = 0;
  long stored = numberOf(load(&after));
  // Every save got its own generation: none overwrote another half-way.
  EXPECT_EQ(after, before + kWriters * kSaves);
  EXPECT_EQ(stored % 1000, kSaves - 1);
}

TEST_F(EepromImage, HeadersChangeWithEverySave) {
  EepromHeaders none, seen, now;
  eepromReadHeaders(path_.c_str(), &none);
  EXPECT_FALSE(none.present);
  ASSERT_EQ(save("a"), 0);
  static char buf[kEepromSize];
  uint64_t g;
  ASSERT_EQ(eepromReadImage(path_.c_str(), buf, &g, &seen), 0);
  eepromReadHeaders(path_.c_str(), &now);
  EXPECT_TRUE(eepromSameHeaders(seen, now));
  ASSERT_EQ(save("a"), 0);  // the same text again is still a save
  eepromReadHeaders(path_.c_str(), &now);
  EXPECT_FALSE(eepromSameHeaders(seen, now));
}

TEST(EepromCrc, MatchesTheStandardCheckValue) {
  EXPECT_EQ(eepromCrc32(0, "123456789", 9), 0xCBF43926u);
}

}  // namespace
