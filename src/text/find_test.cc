#include "text/find.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "test_support.h"

namespace {

// The position find_bytes gives, or npos, on an exact-size copy of the text.
size_t found_at(const std::string &haystack, const std::string &needle) {
  const std::vector<char> exact(haystack.begin(), haystack.end());
  const char *hit = find_bytes(exact.data(), exact.size(), needle.data(), needle.size());
  return hit == nullptr ? std::string_view::npos : static_cast<size_t>(hit - exact.data());
}

TEST(FindBytes, FindsTheFirstOccurrenceWhereverTheBlocksEnd) {
  // Texts over a small alphabet, so that partial matches abound, with the
  // needle placed around every block boundary of the search.
  TestRandom random(26);
  const std::string alphabet = "\"ts\0:x";
  for (int round = 0; round < 3000; ++round) {
    std::string haystack(random.next() % 200, 'x');
    for (char &c : haystack) c = alphabet[random.next() % alphabet.size()];
    std::string needle(1 + random.next() % 5, 'x');
    for (char &c : needle) c = alphabet[random.next() % alphabet.size()];
    if (random.next() % 2 == 0 && haystack.size() >= needle.size()) {
      haystack.replace(random.next() % (haystack.size() - needle.size() + 1), needle.size(),
                       needle);
    }
    EXPECT_EQ(found_at(haystack, needle), std::string_view(haystack).find(needle))
        << "needle \"" << needle << "\" in \"" << haystack << "\"";
  }
  EXPECT_EQ(found_at("abc", ""), 0U);
  EXPECT_EQ(found_at("", "a"), std::string_view::npos);
}

}  // namespace
