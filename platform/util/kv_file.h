// Reader for the unit's small key=value files (identity, DHCP lease).
#pragma once

// Called once per "key=value" line, in file order.  Key and value come
// without the blanks around them; the value may be empty and may hold
// blanks and further '=' signs.
using KeyValueFn = void (*)(void *context, const char *key, const char *value);

// Longest line taken; a longer line is skipped whole.
constexpr int kKeyValueLineMax = 255;

// Walks the file at path.  Blank lines, lines whose first non-blank is '#',
// lines without '=' or with an empty key, and overlong lines are skipped.
// 0 when the file was read to its end; -1 when it cannot be opened or a read
// fails (lines already handed to fn stay handed).
int forEachKeyValue(const char *path, KeyValueFn fn, void *context);
