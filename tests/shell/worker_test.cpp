#include "shell/worker.h"

#include <gtest/gtest.h>

#include <vector>

namespace velt {
namespace {

// Jobs run one after another in the order given, also those still waiting when it is destroyed.
TEST(Worker, RunsEveryJobInOrder) {
    std::vector<int> done;  // touched by the worker's thread only until it is joined
    {
        Worker worker;
        for (int i = 0; i < 1000; ++i) worker.post([&done, i] { done.push_back(i); });
    }
    ASSERT_EQ(done.size(), 1000u);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(done[i], i);
}

}  // namespace
}  // namespace velt
