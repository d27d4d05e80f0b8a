#include <gtest/gtest.h>

#include "i18n/Translator.h"

TEST(FormatInserts, MessageTexts) {
  EXPECT_EQ(FormatInserts("Do you really want to delete %1!s! ?", {"Disk 1"}),
            "Do you really want to delete Disk 1 ?");
  EXPECT_EQ(FormatInserts("Put the %1!s!\n\t%2!s!\nin its drive", {"CD-ROM", "Games"}),
            "Put the CD-ROM\n\tGames\nin its drive");
  EXPECT_EQ(FormatInserts("%1!d!\t%2!s!\t%3!d!\t%4", {12, "Dir", 3, "name"}), "12\tDir\t3\tname");
  EXPECT_EQ(FormatInserts("Serial number\t%1!x!", {0x1234ABCDu}), "Serial number\t1234abcd");
  EXPECT_EQ(FormatInserts("Item %1!d!", {0}), "Item 0");
  EXPECT_EQ(FormatInserts("%1!s!,%2!i!", {"Pictures", 1}), "Pictures,1");
  // Arguments in another order than their inserts, and used twice.
  EXPECT_EQ(FormatInserts("%2 before %1, then %2!s! again", {"one", "two"}), "two before one, then two again");
  EXPECT_EQ(FormatInserts("%10!s!", {"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten"}), "ten");
  EXPECT_EQ(FormatInserts("", {}), "");
  EXPECT_EQ(FormatInserts("déjà %1", {"vu"}), "déjà vu");
}

TEST(FormatInserts, PrintfSpecifications) {
  EXPECT_EQ(FormatInserts("[%1!5d!]", {42}), "[   42]");
  EXPECT_EQ(FormatInserts("[%1!-5d!]", {42}), "[42   ]");
  EXPECT_EQ(FormatInserts("[%1!05d!]", {-42}), "[-0042]");
  EXPECT_EQ(FormatInserts("%1!08X!", {0xBEEF}), "0000BEEF");
  EXPECT_EQ(FormatInserts("%1!#x!", {255}), "0xff");
  EXPECT_EQ(FormatInserts("%1!u!", {4000000000u}), "4000000000");
  // 32-bit inserts see a 32-bit value, 64-bit ones the whole number.
  EXPECT_EQ(FormatInserts("%1!x!", {-1}), "ffffffff");
  EXPECT_EQ(FormatInserts("%1!I64x!", {-1LL}), "ffffffffffffffff");
  EXPECT_EQ(FormatInserts("%1!lld!", {5000000000LL}), "5000000000");
  EXPECT_EQ(FormatInserts("%1!ld!", {-7L}), "-7");
  // Strings: width and precision count characters, not bytes.
  EXPECT_EQ(FormatInserts("[%1!-6s!]", {"été"}), "[été   ]");
  EXPECT_EQ(FormatInserts("[%1!6s!]", {"été"}), "[   été]");
  EXPECT_EQ(FormatInserts("[%1!.2s!]", {"été"}), "[ét]");
  EXPECT_EQ(FormatInserts("[%1!*s!]", {"ab", 4}), "[  ab]");
  EXPECT_EQ(FormatInserts("[%1!*.*s!]", {"abcdef", -5, 2}), "[ab   ]");
  EXPECT_EQ(FormatInserts("%1!c!", {0xE9}), "é");
  // A number given for a string insert and text given for a number insert.
  EXPECT_EQ(FormatInserts("%1!s! / %2!d!", {17, "n/a"}), "17 / n/a");
  EXPECT_EQ(FormatInserts("%1!.1f!", {3}), "3.0");
  // Absurd widths are bounded.
  EXPECT_EQ(FormatInserts("%1!999999999d!", {1}).size(), 1024u);
}

TEST(FormatInserts, EscapesAndMalformedInserts) {
  EXPECT_EQ(FormatInserts("100%% done", {}), "100% done");
  EXPECT_EQ(FormatInserts("a%nb%tc%rd", {}), "a\r\nb\tc\rd");
  EXPECT_EQ(FormatInserts("%! %. %b", {}), "! .  ");
  EXPECT_EQ(FormatInserts("kept%0dropped %1", {"x"}), "kept");
  EXPECT_EQ(FormatInserts("end %", {}), "end %");
  // Missing arguments and broken specifications are left as written.
  EXPECT_EQ(FormatInserts("%1 and %2!s!", {"only"}), "only and %2!s!");
  EXPECT_EQ(FormatInserts("%3", {}), "%3");
  EXPECT_EQ(FormatInserts("%1!s", {"x"}), "%1!s");
  EXPECT_EQ(FormatInserts("%1!zz!", {"x"}), "%1!zz!");
  EXPECT_EQ(FormatInserts("%1!*s!", {"x"}), "%1!*s!");
  // Inserted text is not formatted again.
  EXPECT_EQ(FormatInserts("%1 %2", {"%2", "b"}), "%2 b");
}
