#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "browser/entry_scanner.h"
#include "tasks/port.h"

namespace vl::browser {
namespace {

struct Item {
  std::string name;
  bool keep = true;      // what the unit's Store answers once the item was examined
  std::string examined;  // the path the unit saw
  bool storedUnexamined = false;
};

class ItemUnit : public EntryScanner::Unit {
 public:
  explicit ItemUnit(Item* item) : item_(item) {}
  void Examine(const std::string& path) override { path_ = path; }
  bool Store() override {
    if (path_.empty()) {
      item_->storedUnexamined = true;
      return false;
    }
    item_->examined = path_;
    return item_->keep;
  }

 private:
  Item* item_;
  std::string path_;
};

EntryScanner::Options Mode(bool startOnlyWithWork) {
  EntryScanner::Options o;
  o.taskName = "TestScannerTask";
  o.failureText = "[Test]: no scanner";
  o.startOnlyWithWork = startOnlyWithWork;
  return o;
}

EntryScanner::UnitFactory Factory() {
  return [](void* entry, std::string& name) -> std::unique_ptr<EntryScanner::Unit> {
    auto* item = static_cast<Item*>(entry);
    name = item->name;
    return std::make_unique<ItemUnit>(item);
  };
}

// Collects the done list until the end marker (bounded); the names in order, "<end>" for
// the marker.
std::vector<std::string> CollectUntilEnd(EntryScanner& scanner) {
  std::vector<std::string> out;
  for (int i = 0; i < 6000; ++i) {
    {
      std::lock_guard<std::recursive_mutex> lock(scanner.Lock());
      for (void* node : scanner.TakeDone()) out.push_back(node ? static_cast<Item*>(node)->name : "<end>");
    }
    if (!out.empty() && out.back() == "<end>") return out;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  out.push_back("<timeout>");
  return out;
}

// Queue order, withdrawing and requeueing are set up while the task is idle, so the order
// it works in is fixed before it starts.
TEST(EntryScanner, WorksThroughThePendingListInOrder) {
  struct Case {
    const char* what;
    bool startOnlyWithWork;
    std::vector<std::string> dropped;  // items whose Store answers false
    void (*setup)(EntryScanner&, std::map<std::string, Item>&);
    std::vector<std::string> expected;
  } cases[] = {
      {"queue order",
       false,
       {},
       [](EntryScanner& s, auto& items) {
         for (const char* n : {"a", "b", "c"}) s.Queue(&items[n]);
       },
       {"a", "b", "c", "<end>"}},
      {"a refused entry is dropped",
       true,
       {"b"},
       [](EntryScanner& s, auto& items) {
         for (const char* n : {"a", "b", "c"}) s.Queue(&items[n]);
       },
       {"a", "c", "<end>"}},
      {"withdrawn",
       false,
       {},
       [](EntryScanner& s, auto& items) {
         for (const char* n : {"a", "b", "c"}) s.Queue(&items[n]);
         s.Withdraw(&items["b"]);
       },
       {"a", "c", "<end>"}},
      {"requeued first moves to the head",
       true,
       {},
       [](EntryScanner& s, auto& items) {
         for (const char* n : {"a", "b", "c"}) s.Queue(&items[n]);
         EXPECT_TRUE(s.Requeue(&items["c"], true)) << "an idle task must be started again";
       },
       {"c", "a", "b", "<end>"}},
      {"requeued last is queued once more",
       false,
       {},
       [](EntryScanner& s, auto& items) {
         for (const char* n : {"a", "b"}) s.Queue(&items[n]);
         EXPECT_TRUE(s.Requeue(&items["a"], false));
       },
       {"a", "b", "a", "<end>"}},
  };
  for (const Case& c : cases) {
    std::map<std::string, Item> items;
    for (const char* n : {"a", "b", "c"}) items[n].name = n;
    for (const std::string& n : c.dropped) items[n].keep = false;
    EntryScanner scanner(Mode(c.startOnlyWithWork), Factory());
    scanner.Launch();
    ASSERT_TRUE(scanner.HasTask()) << c.what;
    scanner.SetDirectory("/some/dir");
    c.setup(scanner, items);
    EXPECT_FALSE(scanner.Scanning()) << c.what;
    ASSERT_TRUE(scanner.Start()) << c.what;
    EXPECT_TRUE(scanner.Scanning()) << c.what;
    EXPECT_EQ(CollectUntilEnd(scanner), c.expected) << c.what;
    EXPECT_EQ(items["a"].examined, "/some/dir/a") << c.what;
    scanner.MarkEnded();
    EXPECT_FALSE(scanner.Scanning()) << c.what;
  }
}

TEST(EntryScanner, AStartWithNothingPending) {
  // The file list's scanner reports the end of an empty scan at once.
  EntryScanner always(Mode(false), Factory());
  always.Launch();
  ASSERT_TRUE(always.Start());
  EXPECT_TRUE(always.Scanning());
  EXPECT_EQ(CollectUntilEnd(always), (std::vector<std::string>{"<end>"}));

  // The grid's stays idle: no end marker, not scanning, and the first real start brings
  // exactly one marker after the work.
  EntryScanner withWork(Mode(true), Factory());
  withWork.Launch();
  ASSERT_TRUE(withWork.Start());
  EXPECT_FALSE(withWork.Scanning());
  Item a;
  a.name = "a";
  withWork.SetDirectory("/d");
  withWork.Queue(&a);
  ASSERT_TRUE(withWork.Start());
  EXPECT_EQ(CollectUntilEnd(withWork), (std::vector<std::string>{"a", "<end>"}));
}

TEST(EntryScanner, StopEmptiesTheListsAndTooLongPathsAreNotExamined) {
  Item longName, plain;
  longName.name = std::string(kMaxPathLength, 'x');
  plain.name = "p";
  EntryScanner scanner(Mode(false), Factory());
  scanner.Launch();
  scanner.SetDirectory("/d");
  scanner.Queue(&plain);
  scanner.Stop();
  EXPECT_FALSE(scanner.Scanning());
  scanner.Queue(&longName);
  ASSERT_TRUE(scanner.Start());
  EXPECT_EQ(CollectUntilEnd(scanner), (std::vector<std::string>{"<end>"}));
  EXPECT_TRUE(longName.storedUnexamined);
  EXPECT_TRUE(plain.examined.empty()) << "a stop takes the pending entries off";
}

TEST(EntryScanner, WithoutATaskNothingStarts) {
  tasks::testing::FailPortCreation(1);
  testing::internal::CaptureStdout();
  EntryScanner scanner(Mode(false), Factory());
  scanner.Launch();
  std::string printed = testing::internal::GetCapturedStdout();
  tasks::testing::FailPortCreation(0);
  EXPECT_EQ(printed, "[Test]: no scanner\n");
  EXPECT_FALSE(scanner.HasTask());
  Item a;
  scanner.Queue(&a);
  EXPECT_FALSE(scanner.Start());
  EXPECT_FALSE(scanner.Requeue(&a, true));
  EXPECT_FALSE(scanner.Scanning());
}

}  // namespace
}  // namespace vl::browser
