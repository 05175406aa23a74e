// Recording an accepted server in the stored list.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "log/log.h"
#include "session/server_list.h"

namespace seatenrol {
namespace {

ST_REGISTERINFO_LIST EmptyList() {
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  return list;
}

std::string Credential(char fill) { return std::string(32, fill); }

const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

void Append(ST_REGISTERINFO_LIST& list, const std::string& name, int port, char fill) {
  char note[512] = {};
  const std::string credential = Credential(fill);
  RecordServer(list, name.c_str(), port, Bytes(credential), note, sizeof note);
}

std::string NameOf(const ST_REGISTERINFO& entry) {
  return std::string(entry.serverName, strnlen(entry.serverName, sizeof entry.serverName));
}

TEST(ServerList, StartListKeepsOnlyTheNewServer) {
  ST_REGISTERINFO_LIST list = EmptyList();
  list.count = 5;
  std::memset(list.entries[3].serverName, 'x', 10);
  const std::string credential = Credential('c');
  StartList(list, "mgmt.example", 7001, Bytes(credential));
  EXPECT_EQ(list.count, 1);
  EXPECT_EQ(NameOf(list.entries[0]), "mgmt.example");
  EXPECT_EQ(list.entries[0].port, 7001);
  EXPECT_EQ(list.entries[0].enrolled, 1);
  EXPECT_EQ(0, std::memcmp(list.entries[0].credential, credential.data(), 32));
  EXPECT_EQ(list.entries[3].serverName[0], 0) << "leftovers of a failed read are cleared";
}

TEST(ServerList, UpdatesTheFirstMatchingEntryOnly) {
  ST_REGISTERINFO_LIST list = EmptyList();
  StartList(list, "a", 1, Bytes(Credential('0')));
  Append(list, "b", 1, '1');
  Append(list, "a", 2, '2');  // same name, other port: another entry
  ASSERT_EQ(list.count, 3);
  // A second "b":1 written by another tool; only the first is updated.
  list.entries[3] = list.entries[1];
  list.count = 4;
  Append(list, "b", 1, '9');
  ASSERT_EQ(list.count, 4);
  EXPECT_EQ(list.entries[1].credential[0], '9');
  EXPECT_EQ(list.entries[3].credential[0], '1');
  EXPECT_EQ(list.entries[0].credential[0], '0');
  EXPECT_EQ(list.entries[2].credential[0], '2');
}

TEST(ServerList, NamesAreStoredWholeAndFoundAgain) {
  for (std::size_t length : {1, 31, 32, 33, 40, 255}) {
    SCOPED_TRACE(length);
    const std::string name(length, 'n');
    ST_REGISTERINFO_LIST list = EmptyList();
    StartList(list, name.c_str(), 9, Bytes(Credential('a')));
    Append(list, name, 9, 'b');
    EXPECT_EQ(list.count, 1);
    EXPECT_EQ(list.entries[0].credential[0], 'b');
    EXPECT_EQ(NameOf(list.entries[0]), name);
    for (std::size_t i = length; i < sizeof list.entries[0].serverName; ++i) {
      ASSERT_EQ(list.entries[0].serverName[i], 0);
    }
  }
}

// Entries an earlier version appended for a long name hold its first 32
// bytes; such an entry still belongs to the name, unless one holds it whole.
TEST(ServerList, NamesMatchWholeOrAnEntryCutBeforeFromThem) {
  const std::string long40(40, 'L');
  struct Case {
    const char* what;
    std::string stored;
    std::string given;
    bool same;
  };
  const Case cases[] = {
      {"a long name stored whole", long40, long40, true},
      {"an entry cut to 32 bytes takes the whole name", long40.substr(0, 32), long40, true},
      {"a short name is never matched by its prefix", "mgmt", "mgmt.example", false},
      {"a stored name longer than the one given", "mgmt.example", "mgmt", false},
      {"32 bytes given, a longer name stored", long40, long40.substr(0, 32), false},
      {"a long name whose first 32 bytes differ", std::string(32, 'M'), long40, false},
      {"a stored prefix shorter than 32 bytes", long40.substr(0, 31), long40, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ST_REGISTERINFO_LIST list = EmptyList();
    list.count = 1;
    std::memcpy(list.entries[0].serverName, c.stored.data(), c.stored.size());
    list.entries[0].port = 9;
    Append(list, c.given, 9, 'q');
    EXPECT_EQ(list.count, c.same ? 1 : 2);
    EXPECT_EQ(list.entries[0].credential[0] == 'q', c.same);
    EXPECT_EQ(NameOf(list.entries[0]), c.same ? c.given : c.stored);
  }
}

TEST(ServerList, LongNamesSharingTheirFirst32BytesKeepTheirOwnEntries) {
  const std::string a = std::string(32, 's') + ".venue-a";
  const std::string b = std::string(32, 's') + ".venue-b";
  ASSERT_EQ(a.size(), 40u);
  ST_REGISTERINFO_LIST list = EmptyList();
  // What an earlier version left: one entry cut to the shared 32 bytes,
  // then a's whole entry.
  list.count = 2;
  std::memset(list.entries[0].serverName, 's', 32);
  list.entries[0].port = 9;
  std::memcpy(list.entries[1].serverName, a.data(), a.size());
  list.entries[1].port = 9;

  Append(list, a, 9, 'a');  // a's whole entry, not the cut one
  Append(list, b, 9, 'b');  // the cut one, which becomes b's
  Append(list, a, 9, 'A');
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(NameOf(list.entries[0]), b);
  EXPECT_EQ(list.entries[0].credential[0], 'b');
  EXPECT_EQ(NameOf(list.entries[1]), a);
  EXPECT_EQ(list.entries[1].credential[0], 'A');

  EXPECT_EQ(RemoveServer(list, a.c_str(), 9), 1);
  ASSERT_EQ(list.count, 1);
  EXPECT_EQ(FindServer(list, b.c_str(), 9), 0);
  EXPECT_EQ(FindServer(list, a.c_str(), 9), -1);
}

TEST(ServerList, NamesLongerThan255BytesAreNeitherStoredNorFound) {
  const std::string name(256, 'n');
  ST_REGISTERINFO_LIST list = EmptyList();
  list.count = 1;
  std::memcpy(list.entries[0].serverName, name.data(), 256);  // a field without terminator
  list.entries[0].port = 9;
  EXPECT_EQ(FindServer(list, name.c_str(), 9), -1);
  const std::filesystem::path logs = std::filesystem::temp_directory_path() / "seatenrol-enrol-log";
  std::filesystem::create_directories(logs);
  SetLogDirectory(logs.string().c_str());
  EXPECT_EQ(StoreEnrolment(name.c_str(), 9, Bytes(Credential('c'))), StoreResult::kFailed);
  SetLogDirectory(nullptr);
  std::filesystem::remove_all(logs);
}

TEST(ServerList, RepeatedLongNameLeavesTheOtherServersInPlace) {
  const std::string long40 = "management-server-of-the-venue.example.n";
  ASSERT_EQ(long40.size(), 40u);
  ST_REGISTERINFO_LIST list = EmptyList();
  StartList(list, "first", 1, Bytes(Credential('1')));
  Append(list, "second", 2, '2');
  for (int i = 0; i < 25; ++i) Append(list, long40, 3, static_cast<char>('a' + i));
  ASSERT_EQ(list.count, 3);
  EXPECT_EQ(NameOf(list.entries[0]), "first");
  EXPECT_EQ(NameOf(list.entries[1]), "second");
  EXPECT_EQ(NameOf(list.entries[2]), long40);
  EXPECT_EQ(list.entries[2].credential[0], 'a' + 24);
}

// The entry's last byte belongs to no field this library writes: whatever
// the read brought stays, for an updated entry and an appended one alike.
TEST(ServerList, LastByteOfAnEntrySurvivesTheUpdate) {
  struct Case {
    const char* what;
    int count;
    const char* name;
    int touched;  // the index written
  };
  const Case cases[] = {
      {"appended", 2, "new", 2},
      {"updated", 2, "server-1", 1},
      {"appended to a full list", kMaxRegisterEntries, "new", kMaxRegisterEntries - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ST_REGISTERINFO_LIST list = EmptyList();
    list.count = c.count;
    for (int k = 0; k < kMaxRegisterEntries; ++k) {
      const std::string name = "server-" + std::to_string(k);
      std::memcpy(list.entries[k].serverName, name.c_str(), name.size());
      list.entries[k].port = k;
      list.entries[k].unused = 0xA5;
    }
    // Leftovers in the slot an append takes are cleared, all but that byte.
    list.entries[c.count < kMaxRegisterEntries ? c.count : 0].serverName[100] = 'x';
    Append(list, c.name, c.touched, 'z');
    const ST_REGISTERINFO& entry = list.entries[c.touched];
    EXPECT_EQ(NameOf(entry), c.name);
    EXPECT_EQ(entry.credential[0], 'z');
    EXPECT_EQ(entry.enrolled, 1);
    EXPECT_EQ(entry.unused, 0xA5);
    EXPECT_EQ(entry.serverName[100], 0);
  }
}

TEST(ServerList, FullListDropsTheOldestEntry) {
  ST_REGISTERINFO_LIST list = EmptyList();
  StartList(list, "server-0", 100, Bytes(Credential('A')));
  for (int k = 1; k < kMaxRegisterEntries; ++k) {
    Append(list, "server-" + std::to_string(k), 100 + k, static_cast<char>('A' + k));
  }
  ASSERT_EQ(list.count, kMaxRegisterEntries);

  char note[512] = {};
  const std::string credential = Credential('z');
  EXPECT_TRUE(RecordServer(list, "newcomer", 5, Bytes(credential), note, sizeof note));
  EXPECT_EQ(list.count, kMaxRegisterEntries);
  EXPECT_NE(std::string(note).find("server-0:100"), std::string::npos) << note;
  EXPECT_EQ(NameOf(list.entries[0]), "server-1");
  EXPECT_EQ(NameOf(list.entries[18]), "server-19");
  EXPECT_EQ(NameOf(list.entries[19]), "newcomer");
  EXPECT_EQ(list.entries[19].credential[0], 'z');

  // A server already in a full list is updated in place; nothing is dropped.
  EXPECT_FALSE(RecordServer(list, "server-7", 107, Bytes(credential), note, sizeof note));
  EXPECT_EQ(NameOf(list.entries[6]), "server-7");
  EXPECT_EQ(list.entries[6].credential[0], 'z');
}

TEST(ServerList, CountBeyondTheListNeverWritesPastIt) {
  ST_REGISTERINFO_LIST list = EmptyList();
  list.count = 1000;
  Append(list, "late", 1, 'q');
  EXPECT_EQ(list.count, kMaxRegisterEntries);
  EXPECT_EQ(NameOf(list.entries[kMaxRegisterEntries - 1]), "late");
}

TEST(ServerList, ShortCredentialIsTakenAsGiven) {
  // The error info field is zero past its length; the credential is its
  // first 32 bytes whatever the length.
  unsigned char info[512] = {};
  std::memcpy(info, "0123456789", 10);
  ST_REGISTERINFO_LIST list = EmptyList();
  StartList(list, "s", 1, info);
  EXPECT_EQ(0, std::memcmp(list.entries[0].credential, "0123456789", 10));
  for (int i = 10; i < 32; ++i) EXPECT_EQ(list.entries[0].credential[i], 0);
}

}  // namespace
}  // namespace seatenrol
