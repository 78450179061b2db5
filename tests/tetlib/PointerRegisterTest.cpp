// The registers' lists of pointers against a plain vector, through random
// appends (repeats and null among them), removals of every copy, reads in
// between and clears.
#include "tetlib/data/PointerRegister.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

TEST(PointerRegisterTest, AgreesWithAPlainListThroughAppendsAndRemovals)
{
    std::vector<int> objects(50);
    const auto pick = [&](unsigned n) -> int* { return n == 0 ? nullptr : &objects[n % objects.size()]; };
    TETLib::PointerRegister<int> reg;
    std::vector<int*> model;
    std::mt19937 random(11);
    for (int step = 0; step < 20000; ++step) {
        int* item = pick(random() % 51);
        // Phases of mostly appends and of mostly removals, so that gaps
        // pile up and are closed.
        const bool removing = (step / 2000) % 2 == 1;
        const unsigned what = random() % 100;
        if (what == 0) {
            reg.Clear();
            model.clear();
        } else if (what < (removing ? 70u : 25u)) {
            reg.EraseAll(item);
            model.erase(std::remove(model.begin(), model.end(), item), model.end());
        } else {
            reg.Append(item);
            model.push_back(item);
        }
        ASSERT_EQ(reg.Contains(item), std::find(model.begin(), model.end(), item) != model.end()) << step;
        ASSERT_EQ(reg.Empty(), model.empty()) << step;
        if (step % 37 == 0) {
            ASSERT_EQ(reg.Items(), model) << step;
        }
    }
    EXPECT_EQ(reg.Items(), model);
}

}  // namespace
