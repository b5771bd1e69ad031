#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/thread_pool.h"

namespace vl::platform {
namespace {

// Counts how often each index of [begin, end) was visited and checks pieces are in range.
struct Coverage {
  explicit Coverage(int64_t begin, int64_t end) : begin(begin), end(end), hits(static_cast<size_t>(end - begin)) {}
  void Visit(int64_t lo, int64_t hi) {
    if (lo < begin || hi > end || lo >= hi) bad = true;
    for (int64_t i = lo; i < hi && i >= begin && i < end; ++i) ++hits[static_cast<size_t>(i - begin)];
  }
  bool EachOnce() const {
    for (const auto& h : hits)
      if (h.load() != 1) return false;
    return !bad;
  }
  int64_t begin, end;
  std::vector<std::atomic<int>> hits;
  std::atomic<bool> bad{false};
};

TEST(ThreadPool, EveryIndexOnceForAnyCountAndGrain) {
  for (int threads : {1, 2, 3, 7}) {
    for (bool ignoreGrain : {false, true}) {
      ScopedThreadCount scope(threads, ignoreGrain);
      for (int64_t n : {1, 2, 5, 97, 1000}) {
        for (int64_t grain : {0, 1, 3, 64, 5000}) {
          Coverage c(10, 10 + n);
          ParallelFor(10, 10 + n, grain, [&](int64_t lo, int64_t hi) { c.Visit(lo, hi); });
          EXPECT_TRUE(c.EachOnce()) << "threads " << threads << " n " << n << " grain " << grain;
        }
      }
    }
  }
}

TEST(ThreadPool, EmptyAndReversedRangesRunNothing) {
  ScopedThreadCount scope(4, true);
  int calls = 0;
  ParallelFor(5, 5, 1, [&](int64_t, int64_t) { ++calls; });
  ParallelFor(9, 2, 1, [&](int64_t, int64_t) { ++calls; });
  EXPECT_EQ(calls, 0);
}

TEST(ThreadPool, SerialCountAndSmallWorkStayOnTheCallingThread) {
  const std::thread::id self = std::this_thread::get_id();
  {
    ScopedThreadCount scope(1, true);
    std::vector<std::pair<int64_t, int64_t>> pieces;
    ParallelFor(0, 500, 1, [&](int64_t lo, int64_t hi) {
      EXPECT_EQ(std::this_thread::get_id(), self);
      pieces.emplace_back(lo, hi);
    });
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0], std::make_pair(int64_t{0}, int64_t{500}));
  }
  {
    ScopedThreadCount scope(4);
    int calls = 0;
    ParallelFor(0, 100, 100, [&](int64_t lo, int64_t hi) {
      EXPECT_EQ(std::this_thread::get_id(), self);
      EXPECT_EQ(lo, 0);
      EXPECT_EQ(hi, 100);
      ++calls;
    });
    EXPECT_EQ(calls, 1);
  }
}

TEST(ThreadPool, ALimitHoldsForItsOwnThreadOnly) {
  ScopedThreadCount scope(4, true);
  // Pieces of one call that ran on other threads than the caller.
  auto elsewhere = [](int64_t n) {
    const std::thread::id self = std::this_thread::get_id();
    std::atomic<int> away{0}, pieces{0};
    ParallelFor(0, n, 1, [&](int64_t, int64_t) {
      ++pieces;
      if (std::this_thread::get_id() != self) ++away;
    });
    return std::make_pair(pieces.load(), away.load());
  };
  {
    ScopedThreadLimit limit(1);
    EXPECT_EQ(ThreadsForCaller(), 1);
    const auto [pieces, away] = elsewhere(400);
    EXPECT_EQ(pieces, 1);
    EXPECT_EQ(away, 0);
    // Another thread keeps the whole count: its call is cut into pieces for four threads.
    std::pair<int, int> other;
    int otherThreads = 0;
    std::thread t([&] {
      otherThreads = ThreadsForCaller();
      other = elsewhere(400);
    });
    t.join();
    EXPECT_EQ(other.first, 16);
    EXPECT_EQ(otherThreads, 4);
  }
  EXPECT_EQ(elsewhere(400).first, 16) << "the limit ends with its scope";
}

TEST(ThreadPool, LargeWorkIsSplitOverSeveralPieces) {
  ScopedThreadCount scope(3);
  std::mutex m;
  int pieces = 0;
  ParallelFor(0, 3000, 10, [&](int64_t, int64_t) {
    std::lock_guard<std::mutex> lock(m);
    ++pieces;
  });
  EXPECT_GT(pieces, 1);
}

TEST(ThreadPool, ScopedCountRestoresThePreviousCount) {
  SetThreadCount(5);
  {
    ScopedThreadCount scope(2);
    EXPECT_EQ(ThreadCount(), 2);
  }
  EXPECT_EQ(ThreadCount(), 5);
  SetThreadCount(1000);
  EXPECT_EQ(ThreadCount(), kMaxThreads);
  SetThreadCount(0);
  EXPECT_GE(ThreadCount(), 1);
  EXPECT_LE(ThreadCount(), kMaxThreads);
}

// The starting count as a fresh process sees it with VISTALOOM_THREADS set to value: the
// child is a new run of this program (so it reads the variable afresh) and exits with it.
int StartingCountWith(const char* value) {
  setenv("VISTALOOM_THREADS", value, 1);
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  int count = -1;
  EXPECT_EXIT(
      std::exit(ThreadCount()),
      [&](int status) {
        if (WIFEXITED(status)) count = WEXITSTATUS(status);
        return WIFEXITED(status);
      },
      "");
  unsetenv("VISTALOOM_THREADS");
  return count;
}

TEST(ThreadPool, EnvironmentSetsTheStartingCount) {
  const int hardware = static_cast<int>(
      std::min<unsigned>(std::max(1u, std::thread::hardware_concurrency()), static_cast<unsigned>(kMaxThreads)));
  EXPECT_EQ(StartingCountWith("1"), 1);
  EXPECT_EQ(StartingCountWith("3"), 3);
  // Anything but a whole number from 1 to the limit leaves the hardware count.
  for (const char* bad : {"0", "", "2x", "-2", " 4", "65", "99999999999999999999"})
    EXPECT_EQ(StartingCountWith(bad), hardware) << "\"" << bad << "\"";
  unsetenv("VISTALOOM_THREADS");
}

TEST(ThreadPool, NestedAndConcurrentCallsComplete) {
  ScopedThreadCount scope(3, true);
  std::vector<std::thread> callers;
  std::atomic<int> good{0};
  for (int t = 0; t < 4; ++t) {
    callers.emplace_back([&] {
      Coverage outer(0, 40);
      std::atomic<bool> innerOk{true};
      ParallelFor(0, 40, 1, [&](int64_t lo, int64_t hi) {
        outer.Visit(lo, hi);
        Coverage inner(0, 30);
        ParallelFor(0, 30, 1, [&](int64_t a, int64_t b) { inner.Visit(a, b); });
        if (!inner.EachOnce()) innerOk = false;
      });
      if (outer.EachOnce() && innerOk) ++good;
    });
  }
  for (auto& t : callers) t.join();
  EXPECT_EQ(good.load(), 4);
}

TEST(ThreadPool, AnExceptionReachesTheCallerAfterEveryPieceEnds) {
  ScopedThreadCount scope(3, true);
  std::atomic<int> finished{0};
  EXPECT_THROW(ParallelFor(0, 12, 1,
                           [&](int64_t lo, int64_t) {
                             if (lo == 0) throw std::runtime_error("piece failed");
                             ++finished;
                           }),
               std::runtime_error);
  // Every other piece still ran before the call returned.
  EXPECT_EQ(finished.load(), 11);
  Coverage c(0, 50);
  ParallelFor(0, 50, 1, [&](int64_t lo, int64_t hi) { c.Visit(lo, hi); });
  EXPECT_TRUE(c.EachOnce());
}

TEST(ThreadPool, GrainGroupsRowsToAboutTheSameCost) {
  EXPECT_EQ(GrainFor(65536), 1);
  EXPECT_EQ(GrainFor(1 << 30), 1);
  EXPECT_EQ(GrainFor(1024), 64);
  EXPECT_GT(GrainFor(0), 0);
}

}  // namespace
}  // namespace vl::platform
