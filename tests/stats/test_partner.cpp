#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "stats/partner.h"

namespace qv {
namespace {

// Turns far apart: the partner has gone to sleep between them and each Start must wake it, and
// each Wait must return only once that turn's work is done.
TEST(Partner, WakesForTurnsFarApartAndEachWaitSeesItsTurnDone) {
  std::atomic<int> runs{0};
  TPartner partner(true, [&runs]() { runs.fetch_add(1); });
  if (!partner.Running()) GTEST_SKIP() << "one core";
  for (int turn = 1; turn <= 5; ++turn) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    partner.Start();
    partner.Wait();
    EXPECT_EQ(runs.load(), turn);
  }
}

// A partner whose task takes longer than the caller spins: the caller sleeps in Wait and is woken.
TEST(Partner, CallerWokenWhenALongTurnEnds) {
  std::atomic<int> runs{0};
  TPartner partner(true, [&runs]() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    runs.fetch_add(1);
  });
  if (!partner.Running()) GTEST_SKIP() << "one core";
  partner.Start();
  partner.Wait();
  EXPECT_EQ(runs.load(), 1);
}

// Every turn is run exactly once, by the partner or taken back by the caller; a partner asleep
// when it is destroyed stops.
TEST(Partner, EveryTurnRunOnceWhetherTakenBackOrNot) {
  std::atomic<int> byPartner{0};
  int byCaller = 0;
  {
    TPartner partner(true, [&byPartner]() { byPartner.fetch_add(1); });
    if (!partner.Running()) GTEST_SKIP() << "one core";
    for (int turn = 0; turn < 2000; ++turn) {
      partner.Start();
      if (!partner.Finish()) ++byCaller;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(byPartner.load() + byCaller, 2000);
}

// Both parts run, each once; an exception from either part reaches the caller after both have
// ended, instead of ending the program.
TEST(RunInTwo, RunsEachPartOnceAndPassesOnAnException) {
  for (const bool wanted : {true, false}) {
    std::atomic<int> runs[2] = {0, 0};
    int parts = 0;
    RunInTwo(wanted, [&](int part, int count) {
      runs[part].fetch_add(1);
      if (part == 0) parts = count;
    });
    EXPECT_EQ(runs[0].load(), 1);
    EXPECT_EQ(runs[1].load(), parts == 2 ? 1 : 0);
    if (!wanted) {
      EXPECT_EQ(parts, 1);
    }
  }
  for (const int thrower : {0, 1}) {
    std::atomic<int> ended{0};
    EXPECT_THROW(RunInTwo(true,
                          [&](int part, int) {
                            if (part == thrower) throw std::runtime_error("part");
                            ended.fetch_add(1);
                          }),
                 std::runtime_error);
    if (std::thread::hardware_concurrency() > 1) {
      EXPECT_EQ(ended.load(), 1) << thrower;
    }
  }
}

TEST(Partner, NotWantedRunsNoThread) {
  TPartner partner(false, []() {});
  EXPECT_FALSE(partner.Running());
}

}  // namespace
}  // namespace qv
