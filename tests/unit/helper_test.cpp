// The second thread's queue: jobs run one after the other in the order
// given, and a wait returns only once its job and every earlier one are done.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "helper.h"

namespace {

TEST(Helper, RunsJobsInOrderWithOrWithoutAThread) {
  for (bool threads : {true, false}) {
    Helper helper(threads);
    std::vector<int> ran;
    Helper::Ticket last = 0;
    for (int k = 0; k < 2000; ++k) {
      last = helper.post([&ran, k] { ran.push_back(k); });
      if (k % 500 == 0) {
        helper.wait(last);  // a wait in the middle sees everything before it done
        EXPECT_EQ(ran.size(), static_cast<std::size_t>(k) + 1) << threads;
        EXPECT_TRUE(helper.done(last));
      }
    }
    helper.wait(last);
    ASSERT_EQ(ran.size(), 2000u) << threads;
    for (int k = 0; k < 2000; ++k) ASSERT_EQ(ran[static_cast<std::size_t>(k)], k) << threads;
  }
}

TEST(Helper, EndingRunsTheJobsStillWaiting) {
  std::atomic<int> ran{0};
  {
    Helper helper;
    for (int k = 0; k < 100; ++k) helper.post([&ran] { ++ran; });
  }
  EXPECT_EQ(ran.load(), 100);
}

}  // namespace
