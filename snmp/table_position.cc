// Where a request lands in one of the agent's three tables (the rules they
// share; each table applies its own exceptions before asking), and the
// answer lines they share.
#include <cstdio>
#include <cstring>

#include "platform/device_services.h"
#include "snmp/snmp_internal.h"

// Decimal text of value at `at`, as %d prints it; returns the end.
char *putInt(char *at, int value) {
  if (value < 0) *at++ = '-';
  return putDecimal(at, value < 0 ? 0u - static_cast<unsigned>(value)
                                  : static_cast<unsigned>(value),
                    0, ' ');
}

void printTableOid(int subtree, int column, int row) {
  char text[48];
  char *at = text;
  *at++ = '.';
  at = putInt(at, subtree);
  memcpy(at, ".1.1.", 5);
  at = putInt(at + 5, column);
  *at++ = '.';
  at = putInt(at, row);
  *at++ = '\n';
  fputs(oidPrefix, stdout);
  fwrite(text, 1, static_cast<size_t>(at - text), stdout);
}

void printInteger(int value) {
  char text[24] = "integer\n";
  char *at = putInt(text + 8, value);
  *at++ = '\n';
  fwrite(text, 1, static_cast<size_t>(at - text), stdout);
}

bool placeInTable(int *column, int *row, int columns, int rows, int firstRow,
                  int next) {
  if (*column == -1) {
    *column = 1;
    *row = 1;
  } else if (*row < firstRow) {
    *row = 1;
  } else if (next) {
    if (*row >= rows) {
      // Past the last row the walk goes on in the next column; a column
      // already past the table stays so, whatever its number.
      if (*column <= columns) ++*column;
      *row = 1;
    } else {
      ++*row;
    }
  } else if (*row > rows) {
    return false;
  }
  if (*column > columns) return false;
  if (*column < 1) {
    // Columns start at 1: a walk goes on from the first instance, and there
    // is nothing to get or set.
    if (!next) return false;
    *column = 1;
    *row = 1;
  }
  return true;
}
