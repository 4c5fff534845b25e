// Where a request lands in one of the agent's three tables: the rules they
// share.  Each table applies its own exceptions before asking.
#include "snmp/snmp_internal.h"

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
