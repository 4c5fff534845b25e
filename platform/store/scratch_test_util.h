// A scratch directory with a place for an EEPROM image, and whole-file and
// image helpers, for the store's tests.
#pragma once

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "gtest/gtest.h"
#include "platform/store/eeprom_image.h"
#include "platform/testing/test_files.h"

class Scratch : public testing::Test {
 protected:
  static std::string readFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return f ? std::string(std::istreambuf_iterator<char>(f), {}) : "<missing>";
  }
  static void writeFile(const std::string &path, const std::string &data) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(f.write(data.data(), static_cast<std::streamsize>(data.size())).flush());
  }
  // Saves text and its terminator; a budget cuts the write short there.
  int save(const std::string &text, long budget = -1) {
    EepromBudget b{budget};
    return eepromWriteImage(image_.c_str(), text.c_str(),
                            static_cast<int>(text.size()) + 1, &b, nullptr);
  }
  // The current text, or "<none>" when no copy is valid.
  std::string load(uint64_t *generation = nullptr) {
    static char buf[kEepromSize];
    uint64_t g = 0;
    if (eepromReadImage(image_.c_str(), buf, &g, nullptr) != 0) return "<none>";
    if (generation) *generation = g;
    return buf;
  }

  TempDir scratch_;
  std::string dir_ = scratch_.dir;
  std::string image_ = scratch_.path("eeprom.img");
};
