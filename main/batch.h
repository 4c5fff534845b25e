// Steps of the batch option -x.
#pragma once

// Sets the system clock from the real-time clock when that holds a valid
// time; otherwise leaves it alone.
void rtcToSystemTime();
// Pushes the stored disk type (diskType) to the USB device driver.
void setUsbDiskType();
