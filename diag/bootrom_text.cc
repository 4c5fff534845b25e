#include "diag/bootrom_text.h"

#include <cstring>

char *bootRomVersion(char *text, size_t length) {
  text[length] = '\0';
  if (!strstr(text, "Boot")) return nullptr;
  // The version is looked for from the start of the text, not from "Boot":
  // boot ROMs put their name after the version as well as before it.
  char *open = strchr(text, '(');
  if (!open) return nullptr;
  char *close = strchr(open, ')');
  if (close) close[1] = '\0';
  return open;
}
