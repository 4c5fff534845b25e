// Recognises a PPP client that starts talking on the line before anyone has
// logged in: the opening bytes of its first LCP frame in HDLC-like framing
// (flag, address, control, LCP protocol number).
#include "login/login.h"

namespace {

// How far into 7E FF 03 C0 21 (or 7E FF 7D 23 C0 21) the line has come.
int pppState = 0;

}  // namespace

bool pppFrameSeen(unsigned char byte) {
  // A flag byte starts a frame from wherever the match stood: clients send
  // flags between frames and as line-noise guards.
  if (byte == 0x7E) {
    pppState = 1;
    return false;
  }
  if (pppState == 1 && byte == 0xFF) {
    pppState = 2;
  } else if (pppState == 2 && byte == 0x7D) {
    // The control byte escaped: clients escape all control characters until
    // the link has negotiated an escape map.
    pppState = 3;
  } else if ((pppState == 2 && byte == 0x03) || (pppState == 3 && byte == 0x23)) {
    pppState = 4;
  } else if (pppState == 4 && byte == 0xC0) {
    pppState = 5;
  } else if (pppState == 5 && byte == 0x21) {
    return true;
  } else {
    pppState = 0;
  }
  return false;
}
