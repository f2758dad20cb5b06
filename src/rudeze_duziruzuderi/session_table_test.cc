#include "rudeze_duziruzuderi/session_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "test_support.h"

namespace {

std::set<std::string> names_of(const SessionTable &table) {
  std::set<std::string> names;
  for (int i = 0; i < table.name_count; ++i) names.insert(table.names[i]);
  return names;
}

TEST(ScanSessionDirs, TakesPlainAndLinkedDirectoriesOnly) {
  TempDir root;
  make_dirs(root.at("s1"));
  make_dirs(root.at(".hidden"));
  make_dirs(root.at("target"));
  write_file(root.at("file.txt"), "x");
  ASSERT_EQ(symlink(root.at("target").c_str(), root.at("linked").c_str()), 0);
  ASSERT_EQ(symlink(root.at("absent").c_str(), root.at("dangling").c_str()), 0);
  ASSERT_EQ(symlink(root.at("loop").c_str(), root.at("loop").c_str()), 0);
  const std::string long_name(200, 'n');
  make_dirs(root.at(long_name));
  auto table = std::make_unique<SessionTable>();
  scan_session_dirs(table.get(), root.path().c_str());
  EXPECT_EQ(names_of(*table),
            (std::set<std::string>{"s1", "target", "linked", long_name.substr(0, 127)}));

  // The cut name is looked for under the root and is not found.
  SessionRecord scratch{};
  load_session_table(table.get(), root.path().c_str(), &scratch);
  EXPECT_EQ(table->count, 3);

  scan_session_dirs(table.get(), root.at("file.txt").c_str());
  EXPECT_EQ(table->name_count, 0);
  scan_session_dirs(table.get(), root.at("missing").c_str());
  EXPECT_EQ(table->name_count, 0);
}

TEST(LoadSessionTable, StopsAt256AndSkipsRefusedNames) {
  TempDir root;
  auto table = std::make_unique<SessionTable>();
  for (int i = 0; i < 300; ++i) {
    const std::string name = "s" + std::to_string(i);
    make_dirs(root.at(name));
    std::strcpy(table->names[i], name.c_str());
  }
  std::strcpy(table->names[0], "vanished");  // removed between scan and load
  table->name_count = 300;
  SessionRecord scratch{};
  load_session_table(table.get(), root.path().c_str(), &scratch);
  EXPECT_EQ(table->count, 256);
  EXPECT_STREQ(table->records[0].dir, "s1");
  EXPECT_STREQ(table->records[255].dir, "s256");
}

TEST(FindSession, FirstByDirOrIdInLoadOrder) {
  auto table = std::make_unique<SessionTable>();
  std::strcpy(table->records[0].dir, "a");
  std::strcpy(table->records[0].id, "shared");
  std::strcpy(table->records[1].dir, "shared");
  std::strcpy(table->records[1].id, "b-id");
  table->count = 2;
  EXPECT_EQ(find_session(table.get(), "shared"), &table->records[0]);
  EXPECT_EQ(find_session(table.get(), "b-id"), &table->records[1]);
  EXPECT_EQ(find_session(table.get(), "A"), nullptr);
  EXPECT_EQ(find_session(table.get(), "b"), nullptr);
}

}  // namespace
