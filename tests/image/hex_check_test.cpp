// Which HEX texts may reach a device, and what the operator is told about
// one that may not.
#include <gtest/gtest.h>

#include <cctype>

#include "image/hex_check.h"
#include "support/test_support.h"

namespace {

HexCheck Check(const std::string& text) {
  HexCheck c;
  CheckHexText(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &c);
  return c;
}

bool Usable(const std::string& text) {
  HexCheck c;
  return CheckHexText(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &c) == 0;
}

const std::string kEnd = ":00000001FF";

TEST(HexCheckTest, WhatToolchainsWriteIsUsable) {
  std::string data = HexRecord(4, 0x0100, 0, {0xDE, 0xAD, 0xBE, 0xEF});
  EXPECT_TRUE(Usable(data + "\r\n" + kEnd + "\r\n"));
  EXPECT_TRUE(Usable(data + "\n" + kEnd));
  EXPECT_TRUE(Usable(data + "\r" + kEnd + "\r"));
  EXPECT_TRUE(Usable("; built by hand\n\n" + data + "\n" + kEnd + "\n\n"));
  std::string lower = data;
  for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(Usable(lower + "\n" + kEnd));
  // Zero-base address records and start addresses, as toolchains emit them.
  EXPECT_TRUE(Usable(":020000020000FC\n:020000040000FA\n" + data + "\n:0400000300000000F9\n" +
                     ":0400000500000000F7\n" + kEnd));
  // 0xFF in the serial-number record is what an erased chip holds anyway.
  EXPECT_TRUE(Usable(HexRecord(24, 0x1FE8, 0, std::vector<uint8_t>(24, 0xFF)) + "\n" + kEnd));
  EXPECT_TRUE(Usable(HexRecord(8, 0x1FE0, 0, std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}) + "\n" + kEnd));
  // Trailing blanks, 0x1A or NUL padding after the end, a merge repeating a byte.
  EXPECT_TRUE(Usable(data + " \t\r\n" + kEnd + "\t \x1A\r\n\x1A"));
  EXPECT_TRUE(Usable(data + "\n" + kEnd + std::string(3, '\0') + "\n" + std::string(512, '\0')));
  EXPECT_TRUE(Usable(data + "\n" + HexRecord(2, 0x0102, 0, {0xBE, 0xEF}) + "\n" + kEnd));
  // The longest record a byte count allows.
  EXPECT_TRUE(Usable(HexRecord(255, 0x0000, 0, std::vector<uint8_t>(255, 0x5A)) + "\n" + kEnd));
}

TEST(HexCheckTest, AnImageWithNothingButErasedBytesIsUsableAndSaidToBeEmpty) {
  HexCheck c = Check(kEnd + "\n");
  EXPECT_TRUE(c.what.empty());
  EXPECT_TRUE(c.empty);
  EXPECT_EQ(c.marks, 1);
  c = Check(HexRecord(2, 0, 0, {0xFF, 0xFF}) + "\n" + kEnd);
  EXPECT_TRUE(c.empty);
  c = Check(HexRecord(2, 0, 0, {0xFF, 0x00}) + "\n" + kEnd);
  EXPECT_FALSE(c.empty);
}

TEST(HexCheckTest, EachFaultIsRefusedWithItsLineAndReason) {
  std::string a = HexRecord(2, 0x0000, 0, {0x11, 0x22});
  std::string b = HexRecord(2, 0x0010, 0, {0x33, 0x44});
  struct Case {
    std::string text;
    long line;
    std::string what;
  } cases[] = {
      {a + "\n" + b + "\n:1000\n" + kEnd, 3, "cut short"},
      {a + "\n" + b + "\n:1000zz\n" + kEnd, 3, "character 6 of the record is not a hex digit"},
      {a + "\n" + ":02001000334455\n" + kEnd, 2, "checksum 55, the record needs 77"},
      {a + "\n:0300100033448E\n" + kEnd, 2, "holds 2 data bytes, its byte count says 3"},
      {a + "\n" + HexRecord(2, 0x2000, 0, {1, 2}) + "\n" + kEnd, 2, "0x2000 lies beyond the 8 KiB flash"},
      {HexRecord(2, 0x1FFF, 0, {0xFF, 0xFF}) + "\n" + kEnd, 1, "0x2000 lies beyond"},  // no wrap to 0x0000
      {HexRecord(1, 0x1FF0, 0, {0x41}) + "\n" + kEnd, 1, "0x1FF0 lies in the serial-number record"},
      {HexRecord(1, 0x1FE8, 0, {0x41}) + "\n" + kEnd, 1, "0x1FE8 lies in the serial-number record"},
      {a + "\n" + HexRecord(1, 0x0001, 0, {0x23}) + "\n" + kEnd, 2, "address 0x0001 is given twice"},
      {a + "\x1A\n" + kEnd, 1, "character 16 of the record is not a hex digit"},
      {a + std::string("\0", 1) + "\n" + kEnd, 1, "character 16 of the record is not a hex digit"},
      {a + "\n" + kEnd + "\x1A\n" + b, 3, "a record after the end record"},
      {":020000021000EC\n" + a + "\n" + kEnd, 1, "base 1000"},
      {":020000040001F9\n" + a + "\n" + kEnd, 1, "base 0001"},
      {HexRecord(1, 0, 6, {0}) + "\n" + kEnd, 1, "record type 06"},
      {a + "\n" + kEnd + "\n" + kEnd, 3, "a record after the end record"},
      {a + "\n" + kEnd + "\n" + b, 3, "a record after the end record"},
      {a + "\n" + b + "\n", 3, "no end record"},
      {"", 1, "no end record"},
      {":01000001AA54\n", 1, "end record carries 1 data bytes"},
      {a + " " + kEnd, 1, "not a hex digit"},
      {a + kEnd, 1, "not a hex digit"},
      {std::string("\x89PNG\r\n\x1a\n\0\0:\x0d", 12) + kEnd, 3, "cut short"},
      {std::string("\x7f" "ELF\x02\x01\x01\0\0:\xb0\x02\n", 14) + kEnd, 1, "not a hex digit"},
  };
  for (const Case& c : cases) {
    HexCheck r = Check(c.text);
    EXPECT_EQ(r.line, c.line) << c.text;
    EXPECT_NE(r.what.find(c.what), std::string::npos) << c.text << " -> " << r.what;
  }
}

// The reasons as the operator reads them, whole.
TEST(HexCheckTest, TheReasonsReadInFull) {
  struct Case {
    std::string text;
    std::string what;
  } cases[] = {
      {":G0000001FF\n", "character 2 of the record is not a hex digit"},  // its first, after the ':'
      {":0000\n" + kEnd, "the record is cut short or has an odd number of digits"},
      {":" + std::string(522, '0') + "\n" + kEnd, "the record is longer than any byte count allows"},
      {":0100000200FD\n" + kEnd, "an address record (type 02) needs 2 data bytes, not 1"},
      {HexRecord(1, 0, 6, {0}) + "\n" + kEnd, "record type 06 is not one this programmer knows"},
  };
  for (const Case& c : cases) EXPECT_EQ(Check(c.text).what, c.what) << c.text;
}

}  // namespace
