// Inside the SNMP agent: the OID prefix, the subtree handlers the dispatch
// routes to, and the small text parsers they share.
//
// Every handler prints a complete answer (OID line, type line, value line)
// to standard output and returns 0, or prints nothing and returns -1.  The
// command loop flushes once per answer.  Standard error is written only
// when it is not the daemon's answer pipe (see the screen cache).
#pragma once

#include <cstdio>
#include <ctime>

// The agent's subtree root, e.g. ".1.3.6.1.4.1.53177.2": set once when the
// agent starts, compared with requests as text.
extern const char *oidPrefix;
extern int oidPrefixLength;
constexpr const char kDefaultOidPrefix[] = ".1.3.6.1.4.1.53177.2";

// Subtree numbers, the first sub-identifier after the prefix.
constexpr int CONFIG_OID = 1;
constexpr int STATUS_OID = 2;
constexpr int USERS_OID = 3;
constexpr int IDENTITY_OID = 4;
constexpr int PORTS_OID = 5;

// Longest instance part (the text after the subtree number) a request may
// carry.
constexpr int kInstanceMax = 79;
// A set OID is taken in at most this many sub-identifiers.
constexpr int kSetOidNumbersMax = 8;

// Serves requests read from `in` until it ends, answering on standard
// output; doSnmp runs it on standard input.  Every line of any length is
// consumed whole, so the answers stay in step with the requests whatever
// the input holds.
void runCommandLoop(FILE *in);

// The daemon takes in an answer's value line in 4096 bytes, its newline
// included; a longer line would leave a rest that it reads as the next
// answer.  No value line is longer than this.
constexpr int kAnswerValueMax = 4094;

// Prints the type and value lines of a text value: "string" and the text,
// or, when the text holds a control character (a newline would end the
// value line early), "octet" and its bytes in hex, so that it reaches the
// manager byte for byte.  Either is cut to fit kAnswerValueMax.
void printText(const char *text);

// Dispatch, called by the command loop.  `oid` and `typeValue` have their
// trailing white space removed; snmpSet may change `typeValue` in place.
int snmpGet(const char *oid, int next);
int snmpSet(const char *oid, char *typeValue);

// Subtree handlers.  `instance` is the text after the subtree number and its
// dot ("1.1.3.2" for column 3, row 2 of a table); `value` is null for get
// and getnext.
int doConfig(const char *instance, int subtree, int next);
int doStatus(int index, int next, const char *value);
int doUsers(const char *instance, int subtree, int next, const char *value);
int doIdentity(const char *instance, int subtree, int next);
int doPortNumber(const char *instance, int subtree, int next,
                 const char *value);

// Set entries of subtrees 1 and 3.  `numbers` are the OID's sub-identifiers
// after the prefix.
int setConfigRow(const int *numbers, int count, const char *value);
int changeUser(const char *instance, const char *value);

// The screen state record, from "/var/screen.bin" through a cache that reads
// the file at most once in any 10 seconds.
constexpr int kScreenRecordSize = 248;
const unsigned char *getScreen();

// Actions of subtree 2, each in a child process; the agent returns at once.
void startReboot();
void startWarmRestart();

// --- Pure helpers, shared by the handlers ---------------------------------

// A decimal number at the start of `text` as strtol reads it (leading white
// space and a sign accepted, no digits give 0), clamped to the int range.
// `end` (may be null) receives the first character not used.
int leadingNumber(const char *text, const char **end);

// Reads a table instance "1.1.COLUMN.ROW".  The literal "1.1." comes first;
// reading stops at the first mismatch and what was read until then counts.
// Column and row stay -1 when not read.
void parseTableInstance(const char *instance, int *column, int *row);

// True when a table instance that does not start "1.1." still sorts after
// every instance of the table ("2", "1.5.3"), so that a walk step from it
// has nothing left in the table.
bool sortsAfterTable(const char *instance);

// Moves a table request to the instance it names, from the column and row
// that parseTableInstance read.  No column: the first instance.  A row below
// firstRow (a missing one included): row 1.  A getnext steps to the next
// row, from the last row to row 1 of the next column.  False when there is
// no instance to answer: a get or set beyond the last row, anything beyond
// the last column, a get or set of a column below 1 (a walk from there
// starts at the first instance).
bool placeInTable(int *column, int *row, int columns, int rows, int firstRow,
                  int next);

// Answer lines of a table instance: the OID line "PREFIX.SUBTREE.1.1.COLUMN.
// ROW" and an integer's type and value lines, as printf would write them.
// Every answer of a walk has them; they are written without the formatter.
// Writes value in decimal at `at`, as %d prints it (no terminator); returns
// the end.  The request path's numbers go out without the formatter.
char *putInt(char *at, int value);
void printTableOid(int subtree, int column, int row);
void printInteger(int value);

// Splits a set's OID (the text after the prefix and its dot) into at most
// kSetOidNumbersMax numbers.  Returns how many were taken, or -1 when a
// number is followed by something other than a dot or the end.  `instance`
// receives the text after the dot that follows the first number ("" when
// there is none).
int parseSetOid(const char *text, int *numbers, const char **instance);

// Splits a set's type-and-value line in place: leading white space skipped,
// the type word ends at the first blank, the value is everything after that
// blank, and a value that begins with a double quote loses its first and
// last characters.  Returns false when the line has no blank.
bool splitTypeValue(char *line, char **type, char **value);

// Fields of the screen state record, stored big-endian whatever the host.
struct ScreenFields {
  int videoStatus;    // 0: a picture with a valid mode; 1 to 7: a reason
  int refreshRate;    // Hz
  int width;          // horizontal resolution
  int height;         // vertical resolution
  int screenState;    // the state byte, 0 to 255
};
ScreenFields decodeScreen(const unsigned char *record);

// True when the cached record read at `lastRead` must be read again at
// `now`: 10 seconds or more later, or the clock has been set back.
bool screenReadDue(time_t now, time_t lastRead);
