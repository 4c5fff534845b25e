// Numbers that use all 32 bits on their way through the store: addresses at
// and above 128.0.0.0 (the sign bit of the int cfgGetN returns), masks, and
// signed numbers at the ends of the int range.  On the appliance a long is
// 32 bits wide, so signed or long-sized parsing anywhere on the way fails
// here under emulation even where a 64-bit host gets away with it.
#include <climits>
#include <cstring>

#include "platform/config_store.h"
#include "platform/device_services.h"
#include "platform/store/store_internal.h"
#include "platform/store/eeprom_image.h"
#include "platform/store/scratch_test_util.h"

namespace {

class WideValues : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    cfgClear();
  }
  // Saves the working copy and loads it back into an empty one.
  void saveAndReload() {
    ASSERT_EQ(cfgSave(image_.c_str()), 0);
    cfgClear();
    ASSERT_EQ(cfgLoad(image_.c_str()), 0);
  }
  static uint32_t address(const char *key) {
    return static_cast<uint32_t>(cfgGetN(key));
  }
};

TEST_F(WideValues, AddressesKeepTheirHighBitThroughASaveAndReload) {
  cfgSetN("ip", static_cast<int>(0xc0a801feu));
  saveAndReload();
  EXPECT_STREQ(cfgGet("ip"), "3232236030");  // unsigned, never "-1062731266"
  EXPECT_STREQ(ipToStr(address("ip")), "192.168.1.254");
  // Every mask length, 128.0.0.0 to 255.255.255.255.
  for (int bits = 1; bits <= 32; ++bits) {
    uint32_t mask = 0xffffffffu << (32 - bits);
    cfgSetN("netmask", static_cast<int>(mask));
    saveAndReload();
    EXPECT_EQ(address("netmask"), mask) << "/" << bits;
    EXPECT_EQ(strchr(cfgGet("netmask"), '-'), nullptr) << "/" << bits;
  }
  EXPECT_STREQ(ipToStr(address("netmask")), "255.255.255.255");
}

TEST_F(WideValues, AddressesSavedByOtherProgramsReadInAnyBase) {
  // The unit's other programs save addresses as unsigned decimal, or in hex.
  cfgTextParse("ip=3232235777\nnetmask=0xffffff00\ngateway1=4294967294\n");
  EXPECT_EQ(address("ip"), 0xc0a80101u);
  EXPECT_EQ(address("netmask"), 0xffffff00u);
  EXPECT_STREQ(ipToStr(address("gateway1")), "255.255.255.254");
}

TEST_F(WideValues, NumbersPastThirtyTwoBitsReadAsOnTheAppliance) {
  // Written by hand or by another program: the appliance's strtoul gives
  // its largest value for these, and this machine must agree.
  cfgTextParse(
      "gateway1=4294967296\nsshdPort=4294967296\nuser_0_class=-4294967296\n"
      "numusers=99999999999\nhttpPort=-4294967295\nip=0x100000000\n");
  EXPECT_STREQ(ipToStr(address("gateway1")), "255.255.255.255");
  EXPECT_STREQ(ipToStr(address("ip")), "255.255.255.255");
  EXPECT_EQ(cfgGetN("sshdPort"), -1);
  EXPECT_EQ(cfgGetN("user_0_class"), -1);
  EXPECT_EQ(cfgGetN("numusers"), -1);
  EXPECT_EQ(cfgGetN("httpPort"), 1);  // negated in 32 bits
}

TEST_F(WideValues, OtherNumbersStaySignedOverTheWholeIntRange) {
  cfgSetN("idleTimeout", INT_MIN);
  cfgSetN("radiusTimeout", INT_MAX);
  cfgSetN("sshdPort", 65535);
  cfgSetN("httpPort", 32768);  // beyond a signed 16-bit port
  saveAndReload();
  EXPECT_STREQ(cfgGet("idleTimeout"), "-2147483648");
  EXPECT_EQ(cfgGetN("idleTimeout"), INT_MIN);
  EXPECT_EQ(cfgGetN("radiusTimeout"), INT_MAX);
  EXPECT_STREQ(cfgGet("sshdPort"), "65535");
  EXPECT_EQ(cfgGetN("sshdPort"), 65535);
  EXPECT_EQ(cfgGetN("httpPort"), 32768);
}

TEST_F(WideValues, TheImageIsLittleEndianWhateverTheProcessor) {
  // Builds for this machine and for the appliance share one unit.
  ASSERT_EQ(save("a=1"), 0);
  std::string image = readFile(image_);
  ASSERT_GE(image.size(), static_cast<size_t>(kEepromHeaderAt[0] + 16));
  const std::string header = image.substr(kEepromHeaderAt[0], 16);
  EXPECT_EQ(header.substr(0, 8), std::string("UEE2\x04\0\0\0", 8));  // magic, length
  EXPECT_EQ(header.substr(8, 8), std::string("\x01\0\0\0\0\0\0\0", 8));  // generation
}

}  // namespace
