// The small value utilities: hexadecimal, scrambling, object identifiers, IP addresses, SNMP
// forms, calendar texts and substring helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/log_capture.h"
#include "tessera/values/calendar_utils.h"
#include "tessera/values/hex_utils.h"
#include "tessera/values/oid_utils.h"
#include "tessera/values/snmp_utils.h"
#include "tessera/values/string_utils.h"
#include "tessera/values/text_buffers.h"

namespace tessera {
namespace {

TEST(HexUtils, DigitsPackingAndScrambling) {
  EXPECT_EQ(GetHexValue('b'), 11);
  EXPECT_EQ(GetHexValue('F'), 15);
  EXPECT_EQ(GetHexValue('z'), 'z') << "other characters come back unchanged";
  EXPECT_EQ(ConvertToDecimalFromHexa('z'), 0);
  EXPECT_EQ(ConvertToDecimalFromHexa('9'), 9);

  char text[] = "0aFF10";
  EXPECT_EQ(ConvertToHexValue(text, 6), 3);
  EXPECT_EQ(static_cast<unsigned char>(text[0]), 0x0A);
  EXPECT_EQ(static_cast<unsigned char>(text[1]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(text[2]), 0x10);

  const BYTE bytes[] = {0xAB, 0x01};
  EXPECT_EQ(ConvertToStringFromHex(bytes, 2), (std::vector<BYTE>{0xA, 0xB, 0x0, 0x1}));

  for (int key : {0, 100, 246, 247, 1000, -9}) {
    BYTE buffer[] = {'s', 'e', 'c', 'r', 'e', 't', 0, 0xFF};
    BYTE original[sizeof buffer];
    std::memcpy(original, buffer, sizeof buffer);
    EncryptDecryptKey(buffer, sizeof buffer, key);
    EncryptDecryptKey(buffer, sizeof buffer, key);
    EXPECT_EQ(std::memcmp(buffer, original, sizeof buffer), 0) << key;
  }
  BYTE one[] = {0};
  EncryptDecryptKey(one, 1, 1);  // k = 10
  EXPECT_EQ(one[0], 10);
  one[0] = 0;
  EncryptDecryptKey(one, 1, 300);  // k = 309 mod 255 = 54
  EXPECT_EQ(one[0], 54);
}

TEST(OidUtils, TextsParsingAndComparison) {
  const uint32_t oid[] = {1, 3, 6, 1, 4};
  int32_t length = sizeof oid;
  EXPECT_EQ(ConvertToStringFromOID(oid, length), ".1.3.6.1.4");
  EXPECT_EQ(length, 10);
  std::string out;
  EXPECT_EQ(ConvertToStringFromOid(oid, 3, out), 6);
  EXPECT_EQ(out, ".1.3.6");

  Oid parsed;
  EXPECT_EQ(ConvertToOidOrIpFromString(parsed, ".1.3.0.6", false), 4);
  EXPECT_EQ(parsed, (Oid{1, 3, 0, 6}));
  EXPECT_EQ(ConvertToOidOrIpFromString(parsed, "192.168.0.1", true), 4);
  EXPECT_EQ(parsed, (Oid{192, 168, 0, 1}));
  EXPECT_EQ(ConvertToOidOrIpFromString(parsed, ".1..3", false), -1) << "empty part";
  EXPECT_EQ(ConvertToOidOrIpFromString(parsed, ".1.x", false), -1);
  EXPECT_EQ(ConvertToOidOrIpFromString(parsed, "1.3", false), -1) << "an OID starts with a dot";
  {
    hl::test::LogCapture log;
    EXPECT_EQ(ConvertToOidOrIpFromString(parsed, "localhost", true), -1);
    EXPECT_EQ(ConvertToOidOrIpFromString(parsed, "13", false), -1);
    EXPECT_TRUE(log.Has("[ERROR]", "Incorrect format of IpAddress\n"));
    EXPECT_TRUE(log.Has("[ERROR]", "Incorrect format of OID\n"));
  }
  const uint32_t ip[] = {9, 9, 10, 0, 0, 7};
  EXPECT_EQ(ConvertToIpAddressFromOid(ip, 2, 6), "10.0.0.7");

  struct Case {
    const char* text;
    bool valid;
  } addresses[] = {{"10.0.0.1", true},  {"10.00.0.1", true}, {"255.255.255.255", true}, {"10.0.0.256", false},
                   {"10..0.1", false},  {".10.0.0", false},  {"10.0.0", false},         {"10.0.0.1.2", false},
                   {"10.0.0.", false},  {"1a.0.0.1", false}, {"-1.0.0.1", false}};
  for (const Case& c : addresses)
    EXPECT_EQ(IsValidIPAddress(c.text, static_cast<int32_t>(std::strlen(c.text))), c.valid) << c.text;
  EXPECT_TRUE(IsValidOid(".1.3", 4));
  EXPECT_FALSE(IsValidOid(".1", 2));
  EXPECT_FALSE(IsValidOid("1.3.6", 5));

  const uint32_t a[] = {1, 3, 6}, b[] = {1, 3, 7}, c[] = {1, 3};
  EXPECT_EQ(CompareOid(a, 3, b, 3), -1);
  EXPECT_EQ(CompareOid(b, 3, a, 3), 1);
  EXPECT_EQ(CompareOid(a, 3, c, 2), 1);
  EXPECT_EQ(CompareOid(c, 2, a, 3), -1);
  EXPECT_EQ(CompareOid(a, 3, a, 3), 0);
  const uint32_t big[] = {0xFFFFFFFFu};
  const uint32_t small[] = {1};
  EXPECT_EQ(CompareOid(big, 1, small, 1), 1) << "unsigned comparison";
}

TEST(OidUtils, CopiesSplicesAndCharacterForms) {
  const uint32_t src[] = {5, 6, 7};
  Oid copy = CopyOid(src, 3);
  EXPECT_EQ(copy, (Oid{5, 6, 7}));
  Oid target{1, 2};
  SetNOid(target, 1, src, 3);
  EXPECT_EQ(target, (Oid{1, 5, 6, 7}));
  EXPECT_EQ(GetOidLength(".1.3.6"), 3);
  EXPECT_EQ(GetNextSubId(src, 3, 5), std::optional<uint32_t>(6));
  EXPECT_EQ(GetNextSubId(src, 3, 7), std::nullopt);
  EXPECT_EQ(ReallocateAndSetOID(target, src, 2), 1);
  EXPECT_EQ(target, (Oid{5, 6}));
  EXPECT_EQ(CopyStringToOid("AB", 2), (Oid{65, 66}));
  EXPECT_EQ(CopyStringToOID("\xFF"), (Oid{255}));
  const uint32_t wide[] = {65, 255 + 66};
  EXPECT_EQ(ConvertToCharArray(wide, 2), "AB");
  hl::test::LogCapture log;
  PrintOid(src, 3);
  EXPECT_TRUE(log.Has("[DEBUG]", "OID : .5.6.7\n"));
}

TEST(SnmpUtils, DateAndTimeOctetsCountersAndIntegers) {
  const BYTE local[] = {0x07, 0xE8, 2, 29, 13, 45, 30, 7};
  EXPECT_EQ(ConvertToStringFromDateTime(local, 8), "2024-2-29,13:45:30.7");
  const BYTE zoned[] = {0x07, 0xE8, 2, 29, 13, 45, 30, 7, '+', 5, 30};
  EXPECT_EQ(ConvertToStringFromDateTime(zoned, 11), "2024-2-29,13:45:30.7,+5:30");
  EXPECT_EQ(ConvertToStringFromDateTime(zoned, 9), std::nullopt);
  const char* text = "2024-2-29,13:45:30.7,+5:30";
  EXPECT_EQ(ConvertToDateTimeFromString(text, static_cast<int32_t>(std::strlen(text))),
            std::vector<BYTE>(zoned, zoned + 11));
  const char* shortText = "2024-2-29,13:45:30.7";
  EXPECT_EQ(ConvertToDateTimeFromString(shortText, static_cast<int32_t>(std::strlen(shortText))),
            std::vector<BYTE>(local, local + 8));
  EXPECT_TRUE(ConvertToDateTimeFromString("2024-2-29", 9).empty());

  Counter64 c = ConvertToCounter64FromULongLong(0x0102030405060708ULL);
  EXPECT_EQ(c, (Counter64{0x01020304u, 0x05060708u}));
  EXPECT_EQ(ConvertToULongLongFromCounter64(c), 0x0102030405060708ULL);
  const BYTE nine[] = {0x00, 0, 0, 0, 1, 0, 0, 0, 2};
  Counter64 pair;
  ASSERT_TRUE(ConvertToCounter64(pair, nine, 9));
  EXPECT_EQ(pair, (Counter64{1, 2}));
  const BYTE be[] = {0x01, 0x00};
  EXPECT_EQ(ConvertToInteger(be, 2), 256);
  EXPECT_EQ(ConvertToInteger(nine, 5), -1);
}

TEST(CalendarUtils, MonthsHttpDatesAndComparison) {
  EXPECT_EQ(ParseMonth("jan"), 0);
  EXPECT_EQ(ParseMonth("DEC"), 11);
  EXPECT_EQ(ParseMonth("January"), -1);
  EXPECT_EQ(ParseMonth("Foo"), -1);

  struct Case {
    const char* text;
    int year, month, day, hour;
  } cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 94, 10, 6, 8},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 94, 10, 6, 8},
      {"Sun Nov  6 08:49:37 1994", 94, 10, 6, 8},
      {"Thu, 01 Feb 2024 00:00:01 GMT", 124, 1, 1, 0},
  };
  for (const Case& c : cases) {
    std::tm t{};
    ASSERT_TRUE(ParseDateTime(c.text, t)) << c.text;
    EXPECT_EQ(t.tm_year, c.year) << c.text;
    EXPECT_EQ(t.tm_mon, c.month);
    EXPECT_EQ(t.tm_mday, c.day);
    EXPECT_EQ(t.tm_hour, c.hour);
  }
  std::tm t{};
  EXPECT_FALSE(ParseDateTime("yesterday", t));
  std::tm later{}, earlier{};
  ParseDateTime("Sun, 06 Nov 1994 08:49:38 GMT", later);
  ParseDateTime("Sun, 06 Nov 1994 08:49:37 GMT", earlier);
  EXPECT_TRUE(CompareTime(later, earlier));
  EXPECT_FALSE(CompareTime(earlier, later));
  EXPECT_FALSE(CompareTime(earlier, earlier));
}

TEST(StringUtils, SearchesWithTheStoresScan) {
  EXPECT_STREQ(SubString("abcabc", "ca"), "cabc");
  EXPECT_EQ(SubString("abc", "x"), nullptr);
  EXPECT_TRUE(FindSubString("abc", "bc"));
  EXPECT_EQ(GetIndex("hello", 5, 'l'), 2);
  EXPECT_EQ(GetIndex("hello", 2, 'l'), -1);
  EXPECT_TRUE(IsStringMatched("INFO,ERROR,DEBUG", 16, "ERROR", 5));
  EXPECT_FALSE(IsStringMatched("INFO,ERROR,DEBUG", 16, "ERR", 3));
  EXPECT_TRUE(IsStringMatched("INFO,ERROR,DEBUG", 16, "DEBUG", 5));

  EXPECT_EQ(CountOccurrences("abcabcab", "ab"), 3);
  EXPECT_EQ(CountOccurrences("aaaa", "aa"), 2) << "restarts after a full match";
  EXPECT_EQ(CountOccurrences("aab", "ab"), 0) << "a mismatch does not re-test the current character";
  EXPECT_EQ(CountOccurrences(nullptr, "a"), -1);
  EXPECT_EQ(IndexOfSubstring("xxab", "ab"), 2);
  EXPECT_EQ(IndexOfSubstring("xyz", "ab"), 0);
  EXPECT_EQ(IndexOfSubstring("xyz", nullptr), -1);
  EXPECT_EQ(LastIndexOfSubstring("abab", "ab"), 2);
  EXPECT_EQ(LastIndexOfSubstring("abab", "x"), -1);
}

TEST(StringUtils, CopiesTrimsAndSplits) {
  EXPECT_EQ(LettersOnly("a1-b2"), "ab");
  EXPECT_EQ(LettersAndDigitsOnly("a1-b2"), "a1b2");
  EXPECT_EQ(NoLettersOrDigits("a1-b2"), "-");
  EXPECT_EQ(LettersOnly(nullptr), std::nullopt);
  EXPECT_EQ(RemoveAllOccurrences("a-b-c", "-"), "abc");
  EXPECT_EQ(RemoveFirstOccurrence("a-b-c", "-"), "ab-c");
  EXPECT_EQ(RemoveLastOccurrence("a-b-c", "-"), "a-bc");
  EXPECT_EQ(RemoveFirstOccurrence("abc", "-"), std::nullopt);
  EXPECT_EQ(RemoveLastOccurrence("abc", "-"), std::nullopt);
  EXPECT_EQ(SubstringBefore("key=value=x", "="), "key");
  EXPECT_EQ(SubstringAfter("key=value=x", "="), "value=x");
  EXPECT_STREQ(SubstringAfterLast("a/b/c", "/"), "c");
  EXPECT_EQ(SubstringAfterLast("abc", "/"), nullptr);
  EXPECT_EQ(TrimChar("xxabxx", 'x'), "ab");
  EXPECT_EQ(TrimLeadingChar("xxabxx", 'x'), "abxx");
  EXPECT_EQ(TrimTrailingChar("xxabxx", 'x'), "xxab");
  EXPECT_EQ(TrimChar("xxx", 'x'), "");
  EXPECT_EQ(SplitString("a,,b", ","), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitString("a::b::", "::"), (std::vector<std::string>{"a", "b", ""}));
  EXPECT_EQ(SplitString("abc", ","), (std::vector<std::string>{"abc"}));

  const char* cursor = nullptr;
  EXPECT_EQ(Tokenize("  one, two;;three ", " ,;", cursor), "one");
  EXPECT_EQ(Tokenize(nullptr, " ,;", cursor), "two");
  EXPECT_EQ(Tokenize(nullptr, " ,;", cursor), "three");
  EXPECT_EQ(Tokenize(nullptr, " ,;", cursor), std::nullopt);
  EXPECT_TRUE(EqualsIgnoreCase("Person", "PERSON"));
  EXPECT_FALSE(EqualsIgnoreCase("Person", "Persons"));
}

TEST(TextBuffers, CopiesAndFolding) {
  std::string s = "old";
  EXPECT_EQ(ReallocateAndSetString(s, "abcdef", 3), 1);
  EXPECT_EQ(s, "abc");
  std::vector<BYTE> bytes;
  EXPECT_EQ(AllocateByteCopy(bytes, "xy", 2), 1);
  EXPECT_EQ(bytes, (std::vector<BYTE>{'x', 'y', 0}));
  EXPECT_EQ(AllocateAndStrcpy(s, "copy"), 1);
  EXPECT_EQ(s, "copy");
  EXPECT_EQ(AllocateAndStrcpy(s, nullptr), 0);
  EXPECT_EQ(ToLowerString("MiXeD-1"), "mixed-1");
  EXPECT_EQ(ToUpperString("MiXeD-1"), "MIXED-1");
  std::vector<std::string> array{"a", "b"};
  FreeStringArray(array);
  EXPECT_TRUE(array.empty());
  hl::test::TempDir dir;
  dir.Write("sub/file.txt", "x");
  EXPECT_TRUE(IsDirectory((dir.str() + "/sub").c_str()));
  EXPECT_FALSE(IsDirectory((dir.str() + "/sub/file.txt").c_str()));
  EXPECT_FALSE(IsDirectory((dir.str() + "/missing").c_str()));
}

}  // namespace
}  // namespace tessera
