// Scratch directories and whole-file helpers for the store's tests.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "gtest/gtest.h"

class Scratch : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "storeXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    image_ = dir_ + "/eeprom.img";
  }
  void TearDown() override {
    nftw(dir_.c_str(), [](const char *p, const struct stat *, int, FTW *) {
      return remove(p);
    }, 8, FTW_DEPTH | FTW_PHYS);
  }
  static std::string readFile(const std::string &path) {
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
    fclose(f);
    return data;
  }
  static void writeFile(const std::string &path, const std::string &data) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(data.data(), 1, data.size(), f), data.size());
    fclose(f);
  }

  std::string dir_, image_;
};
