// Two passes timed in turns, for benches whose closing ratio must not move
// with what the machine does meanwhile.
#pragma once

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace benchsupport {

// Runs `ours` and `theirs` one after the other, ours first in one call and
// theirs first in the next (`oursFirst` flips), so that a slow spell of the
// machine falls on both alike; the seconds each took, ours first.
template <class Ours, class Theirs>
std::pair<double, double> TimeInTurns(bool& oursFirst, Ours&& ours, Theirs&& theirs)
{
    using Clock = std::chrono::steady_clock;
    const auto timed = [](auto& pass) {
        const Clock::time_point start = Clock::now();
        pass();
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    double a;
    double b;
    if (oursFirst) {
        a = timed(ours);
        b = timed(theirs);
    } else {
        b = timed(theirs);
        a = timed(ours);
    }
    oursFirst = !oursFirst;
    return {a, b};
}

// The middle value (the upper one of an even count), or 0 for none.
inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

}  // namespace benchsupport
