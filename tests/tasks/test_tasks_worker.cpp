#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>

#include "tasks/worker.h"

namespace vl::tasks {
namespace {

struct Job {
  std::atomic<bool> stopped{false};
  std::atomic<int> rounds{0};
  std::atomic<bool> sawSelf{false};
};

// Runs until told to stop, as the batch tools do.
void StoppableJob() {
  Worker* self = sthdSelf();
  auto* job = static_cast<Job*>(sthdUserData(self));
  job->sawSelf = (self != nullptr);
  while (!sthdCheckStop(self)) {
    job->rounds.fetch_add(1);
    std::this_thread::yield();
  }
  job->stopped = true;
  sthdSetDone(self);
}

void QuickJob() {
  Worker* self = sthdSelf();
  static_cast<Job*>(sthdUserData(self))->rounds = 1;
  sthdSetDone(self);
}

void WaitForState(Worker* w, uint32_t state) {
  while (w->state.load() != state) std::this_thread::yield();
}

TEST(WorkerJoin, StopsARunningJob) {
  Job job;
  Worker* w = sthdCreate(StoppableJob, &job);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->startMessage->length, 28);
  EXPECT_EQ(w->startMessage->userData, &job);
  EXPECT_EQ(w->startMessage->worker, w);
  unsigned sentBefore = testing::StopMessagesSent();
  EXPECT_EQ(sthdJoin(w), &job);
  EXPECT_TRUE(job.stopped.load());
  EXPECT_TRUE(job.sawSelf.load());
  EXPECT_EQ(testing::StopMessagesSent(), sentBefore + 1);
}

TEST(WorkerJoin, FinishedJobGetsNoStopMessage) {
  Job job;
  Worker* w = sthdCreate(QuickJob, &job);
  ASSERT_NE(w, nullptr);
  WaitForState(w, kWorkerFinished);
  unsigned sentBefore = testing::StopMessagesSent();
  EXPECT_EQ(sthdJoin(w), &job);
  EXPECT_EQ(testing::StopMessagesSent(), sentBefore);
  EXPECT_EQ(job.rounds.load(), 1);
}

TEST(WorkerJoin, StopCrossingTheJobsEndDoesNotHang) {
  // The job ends without looking at its port again and without marking itself done,
  // while a stop message is already waiting for it.
  std::promise<void> gate;
  std::shared_future<void> open = gate.get_future().share();
  Worker* w = sthdCreate([open] { open.wait(); }, nullptr);
  ASSERT_NE(w, nullptr);
  int data = 5;
  w->userData = &data;
  MsgPort* taskPort = w->taskPort;
  unsigned sentBefore = testing::StopMessagesSent();
  std::atomic<void*> joined{nullptr};
  std::thread joiner([w, &joined] { joined = sthdJoin(w); });
  while (!taskPort->Waiting()) std::this_thread::yield();
  gate.set_value();
  joiner.join();  // returns: the unanswered stop was answered when the job ended
  EXPECT_EQ(joined.load(), &data);
  EXPECT_EQ(testing::StopMessagesSent(), sentBefore + 1);
}

TEST(WorkerJoin, TightLoopOfStartAndJoin) {
  for (int i = 0; i < 300; ++i) {
    Job job;
    Worker* w = nullptr;
    switch (i % 3) {
      case 0: w = sthdCreate(StoppableJob, &job); break;
      case 1: w = sthdCreate(QuickJob, &job); break;
      default:
        w = sthdCreate([] {}, &job);  // ends at once, neither checking nor marking
        break;
    }
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(sthdJoin(w), &job);
    if (i % 3 == 0) {
      EXPECT_TRUE(job.stopped.load());
    }
  }
}

TEST(WorkerCheckStop, ForeignCommandIsAnsweredAndIgnored) {
  Job job;
  Worker* w = sthdCreate(StoppableJob, &job);
  ASSERT_NE(w, nullptr);
  MsgPort* replies = CreatePort();
  ASSERT_NE(replies, nullptr);
  WorkerMessage foreign;
  foreign.replyPort = replies;
  foreign.length = 24;
  foreign.command = 7;
  ::testing::internal::CaptureStdout();
  ASSERT_TRUE(w->taskPort->Put(&foreign));
  EXPECT_EQ(replies->WaitGet(), &foreign);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "[STHD]: Fake/broken command message!\n");
  EXPECT_FALSE(job.stopped.load());
  EXPECT_EQ(w->state.load(), kWorkerRunning);
  EXPECT_EQ(sthdJoin(w), &job);
  EXPECT_TRUE(job.stopped.load());
  DeletePort(replies);
}

TEST(WorkerCreate, ResourceFailureIsReported) {
  Job job;
  for (int n : {1, 2}) {
    testing::FailPortCreation(n);
    ::testing::internal::CaptureStdout();
    Worker* w = sthdCreate(QuickJob, &job);
    std::string out = ::testing::internal::GetCapturedStdout();
    testing::FailPortCreation(0);
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(out, "failed to allocate resources\n");
  }
  EXPECT_EQ(job.rounds.load(), 0);
  // The task port comes with the process: its failure is a start failure, no message.
  testing::FailPortCreation(3);
  ::testing::internal::CaptureStdout();
  Worker* w = sthdCreate(QuickJob, &job);
  std::string out = ::testing::internal::GetCapturedStdout();
  testing::FailPortCreation(0);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(out, "");
}

TEST(WorkerNull, NullWorkerCalls) {
  EXPECT_EQ(sthdJoin(nullptr), nullptr);
  EXPECT_EQ(sthdUserData(nullptr), nullptr);
  EXPECT_EQ(sthdCheckStop(nullptr), 0);
  sthdSetDone(nullptr);
  EXPECT_EQ(sthdSelf(), nullptr);  // not inside a job
}

}  // namespace
}  // namespace vl::tasks
