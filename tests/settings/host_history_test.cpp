// The ten history slots: their bytes, the order of hosts, gaps and damaged slots.
#include <gtest/gtest.h>

#include "support/memory_store.h"
#include "settings/host_history.h"

namespace velmora::testing {
namespace {

const std::string kHistory = "SOFTWARE\\ostrin\\Velmora\\most recently used";

void Add(MemoryStore& store, const std::string& host, HostEncoding e = HostEncoding::EUC,
         const std::string& type = "vt100") {
  ASSERT_TRUE(AddHost(store, HistoryEntry::Make(host, e, type)));
}

std::vector<std::string> Names(MemoryStore& store) {
  std::vector<std::string> names;
  FillHostCombo(store, names);
  return names;
}

TEST(HostHistory, SlotBytesAndTypes) {
  MemoryStore store;
  Add(store, "alpha", HostEncoding::UTF8, "vt52");
  const StoredValue* slot0 = store.Get(kHistory, "host 0");
  ASSERT_NE(slot0, nullptr);
  EXPECT_EQ(slot0->type, kRegExpandSz);
  EXPECT_EQ(slot0->bytes, std::string("alpha\0" "2\0" "vt52\0\0", 14));  // n + 9 bytes for vt52
  Add(store, "beta", HostEncoding::SJIS, "vt100");
  EXPECT_EQ(store.Get(kHistory, "host 0")->bytes, std::string("beta\0" "1\0" "vt100\0\0", 14));
  for (int k = 2; k < 10; ++k) {
    EXPECT_EQ(store.Get(kHistory, "host " + std::to_string(k))->bytes, std::string(2, '\0')) << k;
  }
}

TEST(HostHistory, OrderOfHosts) {
  MemoryStore store;
  std::vector<std::string> names;
  EXPECT_FALSE(FillHostCombo(store, names));
  EXPECT_EQ(FindHost(store, "a"), -1);

  Add(store, "a", HostEncoding::EUC, "vt100");
  Add(store, "b");
  Add(store, "a", HostEncoding::UTF8, "vt52");  // used again: to the front with its new data
  EXPECT_EQ(Names(store), (std::vector<std::string>{"a", "b"}));
  int32_t encoding = -1;
  std::string type;
  EXPECT_EQ(FindHost(store, "a", &encoding, &type), 0);
  EXPECT_EQ(encoding, 2);
  EXPECT_EQ(type, "vt52");
  EXPECT_EQ(FindHost(store, "A"), -1);  // letter case matters
  Add(store, "A");
  EXPECT_EQ(Names(store), (std::vector<std::string>{"A", "a", "b"}));

  MemoryStore eleven;
  for (int i = 0; i < 11; ++i) Add(eleven, "h" + std::to_string(i));
  auto all = Names(eleven);
  ASSERT_EQ(all.size(), 10u);
  EXPECT_EQ(all.front(), "h10");
  EXPECT_EQ(all.back(), "h1");  // h0 is forgotten
  Add(eleven, "h1");            // in slot 9: moves to the front, nothing is dropped
  EXPECT_EQ(Names(eleven).front(), "h1");
  EXPECT_EQ(Names(eleven).back(), "h2");
  EXPECT_EQ(Names(eleven).size(), 10u);
}

TEST(HostHistory, Removing) {
  MemoryStore store;
  for (const char* h : {"c", "b", "a"}) Add(store, h);
  EXPECT_TRUE(RemoveHost(store, 0));
  EXPECT_EQ(Names(store), (std::vector<std::string>{"b", "c"}));

  MemoryStore full;
  for (int i = 0; i < 10; ++i) Add(full, "h" + std::to_string(i));
  EXPECT_TRUE(RemoveHost(full, 9));
  EXPECT_EQ(Names(full).size(), 9u);
  EXPECT_EQ(Names(full).back(), "h1");
  MemoryStore none;
  EXPECT_FALSE(RemoveHost(none, 0));  // the key must exist
}

TEST(HostHistory, SlotsWrittenByAnotherProgram) {
  MemoryStore store;
  Add(store, "a");
  Add(store, "b");
  Add(store, "c");
  store.Put(kHistory, "host 1", kRegExpandSz, std::string(2, '\0'));  // a gap after "c"
  EXPECT_EQ(Names(store), std::vector<std::string>{"c"});
  EXPECT_EQ(FindHost(store, "a"), -1);
  Add(store, "d");  // every slot shifts, the gap too
  EXPECT_EQ(store.Get(kHistory, "host 1")->bytes.substr(0, 2), std::string("c\0", 2));
  EXPECT_EQ(store.Get(kHistory, "host 2")->bytes, std::string(2, '\0'));
  EXPECT_EQ(store.Get(kHistory, "host 3")->bytes.substr(0, 2), std::string("a\0", 2));

  struct Case {
    const char* name;
    std::string bytes;
    bool listed;
    std::string host;
    int32_t encoding;  // -1: none stored
    std::string type;
  } cases[] = {
      {"261 bytes read as empty", std::string(261, 'x'), false, "", -1, ""},
      {"260 bytes without NULs", std::string(260, 'y'), true, std::string(63, 'y'), -1, ""},
      {"a name only", std::string("solo", 4), true, "solo", -1, ""},
      {"no terminal type", std::string("h\0" "1", 3), true, "h", 1, ""},
      {"odd digit", std::string("h\0" "x\0" "vt100\0\0", 11), true, "h", 'x' - '0', "vt100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStore s;
    s.Put(kHistory, "host 0", kRegExpandSz, c.bytes);
    const auto names = Names(s);
    ASSERT_EQ(names.size(), c.listed ? 1u : 0u);
    if (!c.listed) continue;
    EXPECT_EQ(names[0], c.host);
    int32_t encoding = -1;
    std::string type = "unchanged";
    EXPECT_EQ(FindHost(s, c.host, &encoding, &type), 0);
    EXPECT_EQ(encoding, c.encoding);
    EXPECT_EQ(type, c.type);
    Add(s, "new");  // and the damaged slot moves down without harm, readable again
    EXPECT_EQ(Names(s).size(), 2u);
    EXPECT_LE(s.Get(kHistory, "host 1")->bytes.size(), 260u);
  }
}

}  // namespace
}  // namespace velmora::testing
