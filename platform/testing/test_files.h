// A private scratch directory per test, removed with its files at the end.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

struct TempDir {
  std::string dir = [] {
    char pattern[] = "/tmp/setup-test-XXXXXX";
    return std::string(mkdtemp(pattern) ? pattern : "/nonexistent");
  }();
  ~TempDir() {
    std::error_code ignored;  // a test that failed half-way may leave a mess
    std::filesystem::remove_all(dir, ignored);
  }
  std::string path(const char *name) const { return dir + "/" + name; }
  // Writes the file and returns its path.
  std::string write(const char *name, const std::string &text,
                    mode_t mode = 0644) const {
    std::string p = path(name);
    if (FILE *f = fopen(p.c_str(), "w")) {
      fwrite(text.data(), 1, text.size(), f);
      fclose(f);
    }
    chmod(p.c_str(), mode);
    return p;
  }
};
