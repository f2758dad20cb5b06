#include "rudeze_duziruzuderi/session_table.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

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

// Names in the order the system lists the folder.
std::vector<std::string> listing_order(const std::string &root) {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(root)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(ScanSessionDirs, PastTheRecordsTheMostRecentlyActiveAreKept) {
  TempDir root;
  constexpr long long kBase = 1704067200;
  // 1500 folders; folder i was last active at kBase + i, by its log or, for
  // every third, by the folder itself; some logs are FIFOs, which count as no
  // log, so their folder's time counts.
  for (int i = 0; i < 1500; ++i) {
    const std::string dir = root.at("d" + std::to_string(i));
    make_dirs(dir);
    if (i % 3 == 1) {
      write_file(dir + "/events.jsonl", "");
      set_modified_time(dir + "/events.jsonl", kBase + i);
      set_modified_time(dir, kBase - 10000);
    } else {
      if (i % 3 == 2) ASSERT_EQ(mkfifo((dir + "/events.jsonl").c_str(), 0600), 0);
      set_modified_time(dir, kBase + i);
    }
  }
  auto table = std::make_unique<SessionTable>();
  scan_session_dirs(table.get(), root.path().c_str());
  ASSERT_EQ(table->name_count, 1024);
  EXPECT_EQ(table->by_activity, 1);
  // The 1024 most recent, in listing order.
  std::vector<std::string> expected;
  for (const std::string &name : listing_order(root.path())) {
    if (std::stoi(name.substr(1)) >= 1500 - 1024) expected.push_back(name);
  }
  std::vector<std::string> names(table->names, table->names + table->name_count);
  EXPECT_EQ(names, expected);

  // The 256 most recent load; one that vanished after the scan gives its slot
  // to the next; the records keep listing order.
  std::filesystem::remove_all(root.at("d1499"));
  SessionRecord scratch{};
  load_session_table(table.get(), root.path().c_str(), &scratch);
  ASSERT_EQ(table->count, 256);
  std::vector<std::string> loaded;
  for (int i = 0; i < table->count; ++i) loaded.emplace_back(table->records[i].dir);
  std::vector<std::string> expected_loaded;
  for (const std::string &name : expected) {
    const int i = std::stoi(name.substr(1));
    if (i >= 1500 - 257 && i != 1499) expected_loaded.push_back(name);
  }
  EXPECT_EQ(loaded, expected_loaded);
  EXPECT_EQ(find_session(table.get(), "d1243"),
            &table->records[std::find(loaded.begin(), loaded.end(), "d1243") - loaded.begin()]);

  // At 256 folders nothing is timed and all are named.
  TempDir small;
  for (int i = 0; i < 256; ++i) make_dirs(small.at("d" + std::to_string(i)));
  scan_session_dirs(table.get(), small.path().c_str());
  EXPECT_EQ(table->name_count, 256);
  EXPECT_EQ(table->by_activity, 0);
  names.assign(table->names, table->names + table->name_count);
  EXPECT_EQ(names, listing_order(small.path()));
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
