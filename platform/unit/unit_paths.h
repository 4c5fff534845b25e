// Where the simulated unit keeps the state that the appliance keeps in its
// hardware.  tools/unit lays these files out; nothing else knows them.
#pragma once

namespace unit {

// The EEPROM's backing image: two whole copies of the 8192-byte EEPROM,
// each with a generation number and a CRC.
constexpr const char kEepromImage[] = "/var/lib/unit/eeprom.img";
// Test seam: a read number of one process whose EEPROM read-back is made
// to differ (see eeprom_fault.h).  Absent on a sound unit.
constexpr const char kEepromFault[] = "/var/lib/unit/eeprom.fault";
// Identity of the unit: OEM record, OEM texts, MAC addresses, serial
// number, fitted options.  key=value lines.
constexpr const char kIdentity[] = "/etc/unit/identity";
// The lease the unit's DHCP client holds now.  key=value lines.
constexpr const char kDhcpLease[] = "/var/lib/unit/dhcp.lease";
// The real-time clock: "SECONDS VALID" (VALID 1 or 0; SECONDS -1 when the
// clock cannot be read).
constexpr const char kRtc[] = "/var/lib/unit/rtc";

}  // namespace unit
