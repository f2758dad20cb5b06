#include "text/query.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Value of `key` in `query` with the given capacity, or "<absent>".
std::string value_of(const char *query, const char *key, size_t capacity = 16) {
  char out[256];
  out[0] = 'x';  // must be reset even when the key is absent
  const int found = get_query_val(query, key, out, capacity);
  if (found == 0) {
    EXPECT_STREQ(out, "");
    return "<absent>";
  }
  return out;
}

TEST(GetQueryVal, FindsKeysOnlyAtSegmentStarts) {
  EXPECT_EQ(value_of("action=session&sid=abc", "sid"), "abc");
  EXPECT_EQ(value_of("sidx=1&sid=2", "sid"), "2");
  EXPECT_EQ(value_of("SID=1", "sid"), "<absent>");
  EXPECT_EQ(value_of("sid&sid=3", "sid"), "3");
  EXPECT_EQ(value_of("sid=&sid=x", "sid"), "");
  EXPECT_EQ(value_of("&&sid=q", "sid"), "q");
  EXPECT_EQ(value_of("x=1&", "sid"), "<absent>");
  EXPECT_EQ(value_of("x=1&sid", "sid"), "<absent>");
  EXPECT_EQ(value_of("a=sid=1", "sid"), "<absent>");
  EXPECT_EQ(value_of("", "sid"), "<absent>");
  EXPECT_EQ(value_of(nullptr, "sid"), "<absent>");
  EXPECT_EQ(value_of("format=", "format"), "");
  EXPECT_EQ(value_of("sid=abc=def", "sid"), "abc=def");
  // Keys are compared in their encoded form.
  EXPECT_EQ(value_of("s%69d=1", "sid"), "<absent>");
}

TEST(GetQueryVal, DecodesFormEncoding) {
  EXPECT_EQ(value_of("sid=a+b%20c", "sid"), "a b c");
  EXPECT_EQ(value_of("sid=a%2Bb", "sid"), "a+b");
  EXPECT_EQ(value_of("sid=%%41", "sid"), "%A");
  EXPECT_EQ(value_of("sid=%zz%4", "sid"), "%zz%4");
  EXPECT_EQ(value_of("sid=%4", "sid"), "%4");
  EXPECT_EQ(value_of("sid=%", "sid"), "%");
  EXPECT_EQ(value_of("sid=a%00b", "sid"), "a");
  EXPECT_EQ(value_of("sid=%2541", "sid"), "%41");  // decoded bytes are not decoded again
  EXPECT_EQ(value_of("sid=%c3%A9", "sid"), "\xC3\xA9");
}

TEST(GetQueryVal, CutsTheEncodedValueBeforeDecoding) {
  EXPECT_EQ(value_of("sid=%41%42%43%44%45%46%47%48%49%4A", "sid"), "ABCDE");
  const std::string forty(40, 'v');
  const std::string query = "action=" + forty;
  EXPECT_EQ(value_of(query.c_str(), "action", 32), std::string(31, 'v'));
  // A cut escape is left as text.
  EXPECT_EQ(value_of("sid=aaaaaaaaaaaaaa%41", "sid"), "aaaaaaaaaaaaaa%");
}

// Whether `query` reads as exactly `words`.
int words_are(const char *query, const std::vector<std::string> &words) {
  std::vector<const char *> pointers;
  for (const std::string &word : words) pointers.push_back(word.c_str());
  pointers.push_back(nullptr);
  return query_words_are(query, pointers.data(), static_cast<int>(words.size()));
}

TEST(QueryWordsAre, SplitsOnPlusThenDecodesEachWord) {
  struct Case {
    const char *query;
    std::vector<std::string> words;
  };
  const std::vector<Case> matching = {
      {"--meta", {"--meta"}},
      {"--meta+x", {"--meta", "x"}},
      {"%2D-meta", {"--meta"}},
      {"a%2Bb", {"a+b"}},  // an encoded "+" stays within its word
      {"a&b", {"a&b"}},    // "&" separates nothing here
      {"a++b", {"a", "", "b"}},
      {"+", {"", ""}},
      {"a+", {"a", ""}},
      {"a%20b", {"a b"}},
      {"caf%C3%A9+%e6%97%a5", {"caf\xC3\xA9", "\xE6\x97\xA5"}},
      {"%zz+%4+%", {"%zz", "%4", "%"}},  // a broken escape is text
      {"a%00b+c", {"a", "c"}},           // a decoded NUL ends the word
      {"%2541", {"%41"}},                // decoded once
      {"", {}},
      {nullptr, {}},
  };
  for (const Case &c : matching) {
    EXPECT_EQ(words_are(c.query, c.words), 1) << (c.query == nullptr ? "(null)" : c.query);
  }
  const std::vector<Case> differing = {
      {"--meta", {}},
      {"", {""}},
      {nullptr, {"--meta"}},
      {"--meta+x", {"--meta"}},
      {"--meta", {"--meta", "x"}},
      {"--meta+x", {"--meta x"}},
      {"a%2Bb", {"a", "b"}},
      {"a+b", {"a+b"}},
      {"a&b", {"a", "b"}},
      {"a%00b", {"ab"}},
      {"--META", {"--meta"}},
      {"--met", {"--meta"}},
      {"--meta", {"--met"}},
      {"a++b", {"a", "b"}},
  };
  for (const Case &c : differing) {
    EXPECT_EQ(words_are(c.query, c.words), 0) << (c.query == nullptr ? "(null)" : c.query);
  }
}

}  // namespace
