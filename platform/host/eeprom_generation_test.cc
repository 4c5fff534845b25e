// Generations of the image's two copies near the end of their range: a
// copy that somehow carries the largest generation must not hide every later
// save.
#include <cstring>

#include "platform/host/scratch_test_util.h"

namespace {

class EepromGeneration : public Scratch {
 protected:
  // An image whose slot 0 holds text at the given generation, with a
  // correct CRC; slot 1 is blank.
  void imageWith(const std::string &text, uint64_t generation) {
    std::string image(2 * kEepromSlotSize, '\0');
    unsigned char header[kEepromHeaderSize] = {};
    auto put = [&](int at, uint64_t value, int bytes) {
      for (int i = 0; i < bytes; i++) header[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    put(0, 0x31454555, 4);
    put(4, text.size() + 1, 4);
    put(8, generation, 8);
    uint32_t crc = eepromCrc32(0, header, sizeof header);
    crc = eepromCrc32(crc, text.c_str(), static_cast<long>(text.size()) + 1);
    put(16, crc, 4);
    image.replace(0, sizeof header, reinterpret_cast<char *>(header), sizeof header);
    image.replace(kEepromHeaderSize, text.size(), text);
    writeFile(image_, image);
  }
};

TEST_F(EepromGeneration, SavesAfterTheLargestGenerationAreLoaded) {
  for (uint64_t last : {~uint64_t{0}, ~uint64_t{0} - 1, uint64_t{1} << 63}) {
    imageWith("old", last);
    ASSERT_EQ(load(), "old");
    for (const char *text : {"new", "newer", "newest"}) {
      ASSERT_EQ(save(text), 0);
      EXPECT_EQ(load(), text) << "after generation " << last;
    }
  }
}

}  // namespace
