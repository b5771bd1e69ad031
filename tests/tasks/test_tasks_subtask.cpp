#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tasks/subtask.h"
#include "tasks/work_queue.h"

namespace vl::tasks {
namespace {

// A scanner-like task for the tests: items are small ints stored in the payload pointer
// (offset by one so that no item is null).
struct ScanState {
  WorkQueues queues;
  std::mutex logMutex;
  std::vector<std::string> log;
  std::atomic<int> processed{0};
  std::atomic<bool> cleanedUp{false};
  // Item whose unit waits until a command is waiting on the command port (-1: none).
  std::atomic<int> holdItem{-1};
  std::atomic<bool> holding{false};  // set once the held unit has begun
  // Items whose work fails.
  int failItem = -1;

  void Note(const std::string& s) {
    std::lock_guard<std::mutex> lock(logMutex);
    log.push_back(s);
  }
  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(logMutex);
    return log;
  }
};

void* Item(int n) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(n + 1));
}
int ItemNumber(void* p) {
  return static_cast<int>(reinterpret_cast<intptr_t>(p)) - 1;
}

void ScannerEntry() {
  SubtaskHandlers h;
  h.command = [](Subtask* self, int16_t command, void* argument, bool& active) {
    auto* st = static_cast<ScanState*>(self->userData);
    st->Note("C" + std::to_string(command));
    switch (command) {
      case 0: {
        std::lock_guard<std::recursive_mutex> lock(st->queues.lock);
        active = !st->queues.pending.empty();
        break;
      }
      case 1:
        active = false;
        queueClearAll(st->queues);
        break;
      case 2: queueAppendPending(st->queues, argument); break;
      case 4: queuePushPendingHead(st->queues, argument); break;
      default: break;
    }
  };
  h.work = [](Subtask* self, bool& active) {
    auto* st = static_cast<ScanState*>(self->userData);
    queueWorkUnit(
        st->queues,
        [&](void* payload) {
          int n = ItemNumber(payload);
          st->Note("W" + std::to_string(n));
          st->processed.fetch_add(1);
          if (n == st->holdItem.load()) {
            st->holding = true;
            while (!self->commandPort->Waiting()) std::this_thread::yield();
          }
          return n != st->failItem;
        },
        active);
  };
  h.cleanup = [](Subtask* self) { static_cast<ScanState*>(self->userData)->cleanedUp = true; };
  subtaskMainLoop(h);
}

std::atomic<int> gEntryRuns{0};
std::atomic<bool> gEntryReturnedNull{false};

void InitOnlyEntry() {
  gEntryRuns.fetch_add(1);
  Subtask* self = subtaskInit();
  gEntryReturnedNull = (self == nullptr);
  if (!self) return;
  subtaskExit(self, static_cast<SubtaskMessage*>(self->commandPort->WaitGet()));
}

void ForgetfulEntry() {
  gEntryRuns.fetch_add(1);
}

TEST(SubtaskStart, CommandPortFailureGivesNullAndTheTaskEnds) {
  gEntryRuns = 0;
  gEntryReturnedNull = false;
  testing::FailPortCreation(2);  // the reply port succeeds, the command port fails
  Subtask* s = subtaskCreate("TestTask", InitOnlyEntry, nullptr, 0);
  testing::FailPortCreation(0);
  EXPECT_EQ(s, nullptr);
  // subtaskCreate has waited for the thread: the entry has already seen the null.
  EXPECT_EQ(gEntryRuns.load(), 1);
  EXPECT_TRUE(gEntryReturnedNull.load());
}

TEST(SubtaskStart, ReplyPortFailureStartsNothing) {
  gEntryRuns = 0;
  testing::FailPortCreation(1);
  Subtask* s = subtaskCreate("TestTask", InitOnlyEntry, nullptr, 0);
  testing::FailPortCreation(0);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(gEntryRuns.load(), 0);
}

TEST(SubtaskStart, EntryThatNeverInitialisesDoesNotHangTheCreator) {
  gEntryRuns = 0;
  Subtask* s = subtaskCreate("TestTask", ForgetfulEntry, nullptr, 0);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(gEntryRuns.load(), 1);
}

TEST(SubtaskStart, SuccessfulStartKeepsTheRecordAndUserData) {
  int data = 42;
  Subtask* s = subtaskCreate("TestTask", InitOnlyEntry, &data, -1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->userData, &data);
  EXPECT_NE(s->commandPort, nullptr);
  EXPECT_EQ(s->message.length, 32);
  EXPECT_EQ(s->message.result, 1);
  subtaskDestroy(s);
}

TEST(SubtaskNull, SendToNullPrintsOnceAndReturnsZero) {
  ::testing::internal::CaptureStdout();
  int32_t r = subtaskSendMsg(nullptr, 0, nullptr);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(r, 0);
  EXPECT_EQ(out, "[Subtask]:subtaskSendMsg: Passed NULL as subtask pointer!\n");
  subtaskDestroy(nullptr);  // must be harmless
}

class SubtaskScanner : public ::testing::Test {
 protected:
  void SetUp() override {
    task_ = subtaskCreate("TestScannerTask", ScannerEntry, &state_, -1);
    ASSERT_NE(task_, nullptr);
  }
  void TearDown() override {
    if (task_) subtaskDestroy(task_);
  }
  // Waits until the end marker shows up on the done list, then empties it.
  std::vector<void*> WaitForEndMarker() {
    std::vector<void*> all;
    for (;;) {
      auto part = queueTakeDone(state_.queues);
      all.insert(all.end(), part.begin(), part.end());
      if (!all.empty() && all.back() == nullptr) return all;
      std::this_thread::yield();
    }
  }
  void WaitUntilHolding() {
    while (!state_.holding.load()) std::this_thread::yield();
  }
  ScanState state_;
  Subtask* task_ = nullptr;
};

TEST_F(SubtaskScanner, WorksThroughPendingAndAppendsTheEndMarker) {
  state_.failItem = 2;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(subtaskSendMsg(task_, 2, Item(i)), 0);
  EXPECT_EQ(subtaskSendMsg(task_, 0, nullptr), 0);
  std::vector<void*> done = WaitForEndMarker();
  // The failed item is dropped from both lists; the rest arrive in order.
  ASSERT_EQ(done.size(), 5u);
  EXPECT_EQ(done[0], Item(0));
  EXPECT_EQ(done[1], Item(1));
  EXPECT_EQ(done[2], Item(3));
  EXPECT_EQ(done[3], Item(4));
  EXPECT_EQ(done[4], nullptr);
  std::lock_guard<std::recursive_mutex> lock(state_.queues.lock);
  EXPECT_TRUE(state_.queues.pending.empty());
}

TEST_F(SubtaskScanner, StartWithNothingPendingStaysIdle) {
  EXPECT_EQ(subtaskSendMsg(task_, 0, nullptr), 0);
  EXPECT_EQ(subtaskSendMsg(task_, 7, nullptr), 0);  // a round trip: the task is idle again
  EXPECT_EQ(state_.processed.load(), 0);
  EXPECT_TRUE(queueTakeDone(state_.queues).empty());
}

TEST_F(SubtaskScanner, CommandIsHandledBeforeTheNextUnit) {
  for (int i = 0; i < 4; ++i) subtaskSendMsg(task_, 2, Item(i));
  state_.holdItem = 0;  // the first unit lasts until a command waits
  subtaskSendMsg(task_, 0, nullptr);
  WaitUntilHolding();
  // This send is queued while item 0 is in work; it must run before item 1.
  subtaskSendMsg(task_, 4, Item(9));
  WaitForEndMarker();
  std::vector<std::string> log = state_.Log();
  std::vector<std::string> tail;
  for (const auto& e : log)
    if (e == "C4" || e[0] == 'W') tail.push_back(e);
  std::vector<std::string> expected = {"W0", "C4", "W9", "W1", "W2", "W3"};
  EXPECT_EQ(tail, expected);
}

TEST_F(SubtaskScanner, StopClearsAndNoWorkFollows) {
  for (int i = 0; i < 50; ++i) subtaskSendMsg(task_, 2, Item(i));
  state_.holdItem = 3;
  subtaskSendMsg(task_, 0, nullptr);
  WaitUntilHolding();
  subtaskSendMsg(task_, 1, nullptr);  // stop and clear, sent while item 3 is in work
  subtaskSendMsg(task_, 7, nullptr);  // round trip after the stop
  EXPECT_EQ(state_.processed.load(), 4);
  std::vector<std::string> log = state_.Log();
  auto stop = std::find(log.begin(), log.end(), "C1");
  ASSERT_NE(stop, log.end());
  for (auto it = stop; it != log.end(); ++it) EXPECT_NE((*it)[0], 'W') << *it;
  std::lock_guard<std::recursive_mutex> lock(state_.queues.lock);
  EXPECT_TRUE(state_.queues.pending.empty());
  EXPECT_TRUE(state_.queues.done.empty());
}

TEST_F(SubtaskScanner, DestroyWhileActiveStopsAfterTheCurrentUnit) {
  for (int i = 0; i < 100; ++i) subtaskSendMsg(task_, 2, Item(i));
  state_.holdItem = 5;
  subtaskSendMsg(task_, 0, nullptr);
  WaitUntilHolding();
  subtaskDestroy(task_);  // the quit reply must arrive, with item 5 finished
  task_ = nullptr;
  EXPECT_EQ(state_.processed.load(), 6);
  EXPECT_TRUE(state_.cleanedUp.load());
  std::lock_guard<std::recursive_mutex> lock(state_.queues.lock);
  EXPECT_EQ(state_.queues.pending.size(), 94u);
  EXPECT_EQ(state_.queues.done.size(), 6u);
}

TEST(SubtaskLifecycle, ManyCreateDestroyCycles) {
  for (int i = 0; i < 200; ++i) {
    ScanState st;
    Subtask* s = subtaskCreate("TestScannerTask", ScannerEntry, &st, 0);
    ASSERT_NE(s, nullptr);
    subtaskSendMsg(s, 2, Item(i));
    if (i % 2) subtaskSendMsg(s, 0, nullptr);
    subtaskDestroy(s);
    EXPECT_TRUE(st.cleanedUp.load());
  }
}

TEST(WorkQueue, WithdrawAndHeadInsertion) {
  WorkQueues q;
  queueAppendPending(q, Item(1));
  queueAppendPending(q, Item(2));
  queuePushPendingHead(q, Item(0));
  queueAppendEndMarker(q);
  q.done.push_back(Item(2));
  queueWithdraw(q, Item(2));
  ASSERT_EQ(q.pending.size(), 2u);
  EXPECT_EQ(q.pending.front(), Item(0));
  EXPECT_EQ(q.pending.back(), Item(1));
  // The end marker is not an entry and is never withdrawn.
  queueWithdraw(q, nullptr);
  ASSERT_EQ(q.done.size(), 1u);
  EXPECT_EQ(q.done.front(), nullptr);
  bool active = true;
  queueWorkUnit(
      q, [](void*) { return true; }, active);
  EXPECT_TRUE(active);
  EXPECT_EQ(q.done.back(), Item(0));
  queueWorkUnit(
      q, [](void*) { return true; }, active);
  queueWorkUnit(
      q, [](void*) { return true; }, active);
  EXPECT_FALSE(active);
  EXPECT_EQ(q.done.back(), nullptr);
  queueClearAll(q);
  EXPECT_TRUE(q.pending.empty());
  EXPECT_TRUE(q.done.empty());
}

}  // namespace
}  // namespace vl::tasks

namespace vl::tasks {
namespace {

TEST(WorkQueuesEndMarker, SeenOnlyWhileOnTheDoneList) {
  WorkQueues q;
  int entry = 0;
  EXPECT_FALSE(queueHasEndMarker(q));
  ASSERT_TRUE(queueAppendPending(q, &entry));
  bool active = true;
  queueWorkUnit(
      q, [](void*) { return true; }, active);  // the entry moves to done
  EXPECT_FALSE(queueHasEndMarker(q)) << "a finished entry is not the end marker";
  queueWorkUnit(
      q, [](void*) { return true; }, active);  // nothing pending: the marker
  EXPECT_TRUE(queueHasEndMarker(q));
  EXPECT_FALSE(active);
  EXPECT_EQ(queueTakeDone(q).size(), 2u);
  EXPECT_FALSE(queueHasEndMarker(q)) << "collected with the done list";
  queueClearAll(q);
}

}  // namespace
}  // namespace vl::tasks
