// The benchmarks' published state counts of the sizes that take seconds to
// generate (the smaller ones are in model_library_test): experiment k of
// each model file is its k-th size.

#include <gtest/gtest.h>

#include "ModelLibraryRuns.h"

using modellib::expectCounts;

TEST(ModelLibrarySlow, KanbanGivesThePublishedCounts) { expectCounts("kanban", {454475, 2546432}, 3); }

TEST(ModelLibrarySlow, FmsGivesThePublishedCounts) { expectCounts("fms", {537768, 1639440, 4459455}, 5); }

TEST(ModelLibrarySlow, PollingGivesThePublishedCounts) {
  expectCounts("polling", {159744, 344064, 737280, 1572864, 3342336, 7077888}, 10);
}

TEST(ModelLibrarySlow, ClusterGivesThePublishedCounts) { expectCounts("cluster", {597012, 2373652}, 7); }

TEST(ModelLibrarySlow, TandemGivesThePublishedCounts) { expectCounts("tandem", {523776, 2096128, 8386560}, 7); }
