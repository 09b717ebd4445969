// UTF-8 and UTF-16 both ways, as Windows names and messages go through them.
#include <gtest/gtest.h>

#include <string>

#include "platform/utf16.hpp"

namespace glyphreeler {
namespace {

TEST(Utf16, NamesRoundTripUnpairedSurrogatesIncluded) {
  struct row {
    std::string utf8;
    std::u16string utf16;
  };
  const row rows[] = {
      {"plain.frames", u"plain.frames"},
      {"\xC3\xA9\xCE\xA9", u"\u00E9\u03A9"},                 // e acute, omega
      {"\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},         // "Japan"
      {"\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},  // U+1F600, a surrogate pair
      {"\xED\xA0\x80x\xED\xB0\x80", std::u16string{0xD800, 'x', 0xDC00}},  // unpaired
  };
  for (const row& r : rows) {
    EXPECT_EQ(r.utf8, utf8_of_utf16(r.utf16)) << r.utf8;
    EXPECT_TRUE(r.utf16 == utf16_of_utf8(r.utf8)) << r.utf8;
  }
}

TEST(Utf16, BytesThatStartNoCharacterBecomeReplacementCharacters) {
  EXPECT_TRUE(u"a\uFFFDb" == utf16_of_utf8("a\xFF\x62"));
  EXPECT_TRUE(u"\uFFFD\uFFFD" == utf16_of_utf8("\xC0\xAF"));  // an overlong '/'
  EXPECT_TRUE(u"\uFFFDx" == utf16_of_utf8("\xE6\x97x"));      // cut short
}

TEST(Utf16, UnfinishedCharacterAtTheEndIsLeftForTheNextPiece) {
  struct row {
    std::string text;
    std::size_t complete;
  };
  const row rows[] = {{"ab\xE6\x97", 2},       {"ab\xE6\x97\xA5", 5}, {"\xF0\x9F\x98", 0},
                      {"\xF0\x9F\x98\x80", 4}, {"a\x80", 2},          {"", 0}};
  for (const row& r : rows) EXPECT_EQ(r.complete, complete_utf8_length(r.text)) << r.text;
}

}  // namespace
}  // namespace glyphreeler
