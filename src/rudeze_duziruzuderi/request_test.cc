#include "rudeze_duziruzuderi/request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int came_from_query(const char *gateway, const char *query, std::vector<const char *> args) {
  std::vector<const char *> argv = {"rudeze_duziruzuderi"};
  argv.insert(argv.end(), args.begin(), args.end());
  const int argc = static_cast<int>(argv.size());
  argv.push_back(nullptr);
  return arguments_came_from_query(gateway, query, argc, argv.data());
}

TEST(ArgumentsCameFromQuery, OnlyACgiQueryWithoutEqualsSignWhoseWordsTheyAre) {
  const char *cgi = "CGI/1.1";
  // A host passing the query's words as arguments, as Apache does.
  EXPECT_EQ(came_from_query(cgi, "--meta", {"--meta"}), 1);
  EXPECT_EQ(came_from_query("", "--meta", {"--meta"}), 1);
  EXPECT_EQ(came_from_query(cgi, "--meta+a%26b++c%2Bd", {"--meta", "a&b", "", "c+d"}), 1);
  // A host asking for the description, whatever else it sets.
  EXPECT_EQ(came_from_query(nullptr, "--meta", {"--meta"}), 0);
  EXPECT_EQ(came_from_query(cgi, nullptr, {"--meta"}), 0);
  EXPECT_EQ(came_from_query(cgi, "", {"--meta"}), 0);
  EXPECT_EQ(came_from_query(cgi, "action=summary", {"--meta"}), 0);
  EXPECT_EQ(came_from_query(cgi, "x", {"--meta"}), 0);
  EXPECT_EQ(came_from_query(cgi, "--meta+x", {"--meta"}), 0);
  EXPECT_EQ(came_from_query(cgi, "--meta", {"--meta", "x"}), 0);
  EXPECT_EQ(came_from_query(cgi, "--meta%2Bx", {"--meta", "x"}), 0);
  // Any "=", even one the words would not need: such a query is never passed.
  EXPECT_EQ(came_from_query(cgi, "--meta=", {"--meta="}), 0);
  EXPECT_EQ(came_from_query(cgi, "a=b+--meta", {"a=b", "--meta"}), 0);
  // No arguments: nothing to set aside.
  EXPECT_EQ(came_from_query(cgi, "", {}), 0);
  EXPECT_EQ(came_from_query(cgi, "--meta", {}), 0);
}

}  // namespace
