// Requests of the unit's kernel drivers.  Built with the kernel's macros so
// that each carries the encoding of the processor it is compiled for; on the
// appliance (32-bit PowerPC) they must come out as the numbers the drivers
// were built with, which the checks at the end of this file enforce.
#pragma once

#include <linux/ioctl.h>
#include <sys/ioctl.h>

// USB device driver, /dev/usbd.
constexpr unsigned long USBD_CONNECT = _IO('z', 5);
constexpr unsigned long USBD_SET_DISK_TYPE = _IOW('z', 0x10, int);
constexpr unsigned long USBD_GET_STATUS = _IOR('z', 21, unsigned char);

// Board driver, /dev/qerl/0.
constexpr unsigned long QERL_ATX_TEST = _IO('z', 12);
constexpr unsigned long QERL_GET_BOARD_INFO = _IOWR('z', 53, int);

// PS/2 ports, /dev/ps2/0 to /dev/ps2/3.
constexpr unsigned long PS2D_DELAY_CMD = _IOW('z', 0, int);
constexpr unsigned long PS2D_GET_STATUS = _IOR('z', 13, unsigned char[3]);
constexpr unsigned long PS2D_SET_FORWARDING = _IOW('z', 14, int);

// R-port power switch, /dev/rport.  The status request is encoded as a
// write although the driver fills the record: that is how the driver
// declares it, and the number has to match.
constexpr unsigned long RPORT_GET_STATUS = _IOW('y', 2, unsigned char[24]);
constexpr unsigned long RPORT_POWER_ON = _IO('y', 4);
constexpr unsigned long RPORT_POWER_OFF = _IO('y', 7);

#if defined(__powerpc__) && !defined(__powerpc64__)
static_assert(USBD_CONNECT == 0x20007A05);
static_assert(USBD_SET_DISK_TYPE == 0x80047A10);
static_assert(USBD_GET_STATUS == 0x40017A15);
static_assert(QERL_ATX_TEST == 0x20007A0C);
static_assert(QERL_GET_BOARD_INFO == 0xC0047A35);
static_assert(PS2D_DELAY_CMD == 0x80047A00);
static_assert(PS2D_GET_STATUS == 0x40037A0D);
static_assert(PS2D_SET_FORWARDING == 0x80047A0E);
static_assert(RPORT_GET_STATUS == 0x80187902);
static_assert(RPORT_POWER_ON == 0x20007904);
static_assert(RPORT_POWER_OFF == 0x20007907);
// The terminal request comes from the C library; getty mode relies on it.
static_assert(TIOCSCTTY == 0x540E);
#endif
