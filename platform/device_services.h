// Device services: the unit's identity and the small utility operations of
// the platform (line input, address text, running programs, logging, EEPROM,
// real-time clock, flash partitions).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

// OEM record.  The fields the program reads come in this order, with room
// between them for the record's other fields.
struct OemRecord {
  char productName[64];
  char secondText[64];
  char thirdText[64];
  char productCode;
  char boardCode;
  int32_t oemVersion;
};

// OEM text database: key/value texts of the OEM (snmpOID, brand, ...).
struct OemTextDb;

// Unit identity, filled by oemSetup().
extern const OemRecord *oem;
extern OemTextDb *oemDB;
extern unsigned char unitMacAddress[6];   // LAN port
extern unsigned char unitMacAddress2[6];  // WAN port
extern uint32_t unitSerialNumber;
extern unsigned char hasEthernetOption;   // non-zero: the WAN port exists
extern uint32_t dhcpDefGateway;           // DHCP's default gateway, 0: none
extern unsigned char qerl_plek;           // non-zero: only port 0 may be a modem

// The program's own main(), for the platform libraries.
extern "C" int (*mainp)(int, char **);

// Loads the unit identity.  Called first in every mode.
void oemSetup();
// The LAN interface's current IPv4 address.
uint32_t oemGetEth0Addr();

int tfIsDefined(OemTextDb *db, const char *key);
// The key's text; "" when undefined.  Valid for the life of the process.
const char *tfGet(OemTextDb *db, const char *key);

// Copies the DHCP lease into ip, netmask, gateway1, bcast and
// dhcpDefGateway; with save = 1 the configuration is saved too.
void dhcpUpdate(int save);
// Resets firewall, network port, SNMP and RADIUS settings (not saved).
void netRecover(int flags);

// Reads one line of at most n characters from standard input into buf (n + 1
// bytes), line end dropped, NUL-terminated.  The rest of a longer line is
// discarded.  Returns the length, or -1 at end of input or on a read error
// (buf then holds "").
int readline(char *buf, int n);

// Dotted text of an address; valid until the next call.
const char *ipToStr(uint32_t address);
// 0 when text is exactly four decimal octets 0..255 separated by dots.
int strToIP(const char *text, uint32_t *address);

// Pointer past leading white space.
char *trimL(char *text);
// Trailing white space cut in place; returns text.
char *trimR(char *text);
// Writes value in decimal at `at`, padded with pad to width characters (no
// terminator); returns the end.  For the hot paths (log lines, the agent's
// answers) that would otherwise pay for the formatter.
char *putDecimal(char *at, unsigned value, int width, char pad);
// First line of a file without its line end; "" when unreadable.  Never
// null; valid until the next call.
const char *readFirstLine(const char *path);
// Terminal speed code (B1200, ...) of a baud rate; 0 when there is none.
unsigned baudToTermios(int baud);

// Runs a command line without a shell: split on blanks, every word passed on
// as it stands ('&' too).  Waits for it; 0 only when it exited with 0.
int systemX(const char *command);
// Runs a program with the given words (argv[0] names it, looked up in PATH
// when it holds no '/'; a null ends the list), each reaching it whole,
// blanks included.  Waits for it; the result as systemX's.
int runProgram(const char *const argv[]);

// One system log line.  Priority as given: 0x85 notice, 0x83 error (local0).
constexpr int kLogNotice = 0x85;
constexpr int kLogError = 0x83;
void logIt(int priority, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// Reports a failed system call ("function: operation: error text") and ends
// the process with failure.
[[noreturn]] void _pdie(const char *function, const char *operation);
// Reports a failed assertion and ends the process.
[[noreturn]] void __my_assert(const char *expression, const char *source,
                              const char *function, int line);

// EEPROM: 8192 bytes of NUL-terminated text.
constexpr int kEepromSize = 8192;
int eepromSetup();
// 0: buf (kEepromSize bytes) holds the stored text, NUL-terminated.
int eepromRead(char *buf);
// 0: data[0..length) stored whole; eepromRead then yields it.
int eepromWrite(const char *data, int length);

// Real-time clock.
void rtcSetup();
// Seconds since the epoch, or -1 when the clock cannot be read.  A time_t:
// the appliance's build has a 64-bit one, and a unit sold today still runs
// after January 2038.
time_t rtcGetTime(int flags);
// Non-zero when the time the clock gives is valid.
int rtcIsValid();

// Flash partitions.
constexpr int kMtdBootRom = 0x200;
// Device path of a flash partition, or null when there is none.
const char *mtdLookupPartition(int kind, int flags);

void randomBytes(void *buf, int n);
