// The store's loader over the EEPROM image: two slots, each with a
// generation and a CRC.  Whatever image is found, a save followed by a load
// gives back exactly the configuration that was loaded, and so does a second
// save and load (into the other slot).  The image lives in an anonymous memory file.
//
// Input: a flags byte, the two slots' generations (8 bytes each) and
// lengths (2 bytes each), then the two slots' data.  Flag bits 0 and 1 give
// slot 0 and 1 a correct CRC (else the CRC comes from the input), bits 2
// and 3 a wrong magic number: so the fuzzer reaches slots that check out.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz/stand_ins.h"
#include "platform/store/store_internal.h"
#include "platform/store/eeprom_image.h"

using fuzzing::check;

namespace {

constexpr uint32_t kMagic = 0x32454555;

unsigned char image[kEepromImageSize];
char loaded[kEepromSize];
char reloaded[kEepromSize];
char path[64];
int imageFd = -1;

void putLe(unsigned char *at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; i++) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint64_t getLe(const uint8_t *at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; i++) value |= static_cast<uint64_t>(at[i]) << (8 * i);
  return value;
}

void buildSlot(int slot, unsigned flags, uint64_t generation, uint32_t length,
               const uint8_t *data, size_t available, uint32_t inputCrc) {
  unsigned char *header = image + kEepromHeaderAt[slot];
  unsigned char *payload = image + kEepromDataAt[slot];
  size_t n = length < available ? length : available;
  if (n > static_cast<size_t>(kEepromSize)) n = kEepromSize;
  memcpy(payload, data, n);
  putLe(header, (flags & (4u << slot)) ? ~kMagic : kMagic, 4);
  putLe(header + 4, length, 4);
  putLe(header + 8, generation, 8);
  putLe(header + 16, 0, 4);
  memset(header + 20, 0, kEepromHeaderSize - 20);
  uint32_t crc = inputCrc;
  if ((flags & (1u << slot)) && length <= kEepromSize) {
    crc = eepromCrc32(0, header, kEepromHeaderSize);
    crc = eepromCrc32(crc, payload, length);
  }
  putLe(header + 16, crc, 4);
}

int textOf(char *out) { return cfgTextFormat(out, kEepromSize); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  imageFd = fuzzing::memoryFile("eeprom", path, sizeof path);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  constexpr size_t kFixed = 1 + 8 + 8 + 2 + 2 + 4 + 4;
  if (size < kFixed) return 0;
  unsigned flags = data[0];
  uint64_t gen0 = getLe(data + 1, 8);
  uint64_t gen1 = getLe(data + 9, 8);
  uint32_t len0 = static_cast<uint32_t>(getLe(data + 17, 2));
  uint32_t len1 = static_cast<uint32_t>(getLe(data + 19, 2));
  uint32_t crc0 = static_cast<uint32_t>(getLe(data + 21, 4));
  uint32_t crc1 = static_cast<uint32_t>(getLe(data + 25, 4));
  const uint8_t *payload = data + kFixed;
  size_t rest = size - kFixed;
  size_t first = rest < len0 ? rest : len0;

  memset(image, 0xFF, sizeof image);
  buildSlot(0, flags, gen0, len0, payload, first, crc0);
  buildSlot(1, flags, gen1, len1, payload + first, rest - first, crc1);
  check(ftruncate(imageFd, 0) == 0, "truncate the image");
  check(pwrite(imageFd, image, sizeof image, 0) == static_cast<ssize_t>(sizeof image),
        "write the image");

  bool found = cfgLoad(path) == 0;
  check(textOf(loaded) >= 0, "what was loaded fits");
  // A second save goes to the other slot; after the factory defaults (no
  // copy found) one round shows all there is, and costs half as much.
  for (int round = 0; round < (found ? 2 : 1); round++) {
    check(cfgSave(path) == 0, "the save lands");
    cfgClear();
    check(cfgLoad(path) == 0, "the saved copy loads");
    check(textOf(reloaded) >= 0, "what was reloaded fits");
    check(strcmp(loaded, reloaded) == 0, "a save then a load gives the same configuration");
  }
  return 0;
}
