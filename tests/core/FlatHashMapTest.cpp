#include "core/containers/FlatHashMap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <stdexcept>
#include <vector>

namespace {

// Spreads keys over four homes only, so that entries crowd together and
// erasures must move the entries pushed past them. Keys run from 1: 0 marks
// a free slot.
struct Crowding {
    size_t operator()(uint32_t key) const noexcept { return key % 4; }
};

template <class Map>
std::map<uint32_t, std::vector<int>> Contents(const Map& map)
{
    std::map<uint32_t, std::vector<int>> out;
    map.ForEach([&](uint32_t key, const std::vector<int>& value) { EXPECT_TRUE(out.emplace(key, value).second); });
    return out;
}

// Random adds, changes and erasures against an ordered map, with crowded
// and with well-spread keys; every key of the range is looked up after
// each step.
template <class Hash>
void AgreeWithAModel(uint32_t keyRange, int steps, unsigned seed)
{
    FlatHashMap<uint32_t, std::vector<int>, Hash> map;
    std::map<uint32_t, std::vector<int>> model;
    std::mt19937 random(seed);
    for (int step = 0; step < steps; ++step) {
        const uint32_t key = 1 + random() % keyRange;
        switch (random() % 4) {
        case 0:
        case 1: {
            auto [value, added] = map.Insert(key);
            EXPECT_EQ(added, !model.count(key)) << step;
            value->push_back(step);
            model[key].push_back(step);
            break;
        }
        case 2:
            EXPECT_EQ(map.Erase(key), model.erase(key) == 1) << step;
            break;
        default:
            if (random() % 50 == 0) {
                map.Clear();
                model.clear();
            }
            break;
        }
        ASSERT_EQ(map.Size(), model.size()) << step;
        for (uint32_t k = 1; k <= keyRange; ++k) {
            const std::vector<int>* found = map.Find(k);
            auto it = model.find(k);
            ASSERT_EQ(found != nullptr, it != model.end()) << step << " key " << k;
            if (found) {
                ASSERT_EQ(*found, it->second) << step << " key " << k;
            }
        }
    }
    EXPECT_EQ(Contents(map), model);
}

TEST(FlatHashMapTest, AgreesWithAnOrderedMapThroughAddsAndErasures)
{
    AgreeWithAModel<Crowding>(40, 3000, 1);
    AgreeWithAModel<std::hash<uint32_t>>(200, 3000, 2);
}

TEST(FlatHashMapTest, GrowsAndReservesWithoutLosingEntries)
{
    FlatHashMap<const void*, int> map;
    EXPECT_EQ(map.Find(nullptr), nullptr);
    EXPECT_FALSE(map.Erase(&map));
    std::vector<int> objects(5000);
    map.Reserve(10);
    for (size_t i = 0; i < objects.size(); ++i)
        map[&objects[i]] = int(i);
    map.Reserve(20000);
    ASSERT_EQ(map.Size(), objects.size());
    for (size_t i = 0; i < objects.size(); ++i)
        ASSERT_EQ(*map.Find(&objects[i]), int(i));
    for (size_t i = 0; i < objects.size(); i += 2)
        ASSERT_TRUE(map.Erase(&objects[i]));
    for (size_t i = 0; i < objects.size(); ++i)
        ASSERT_EQ(map.Contains(&objects[i]), i % 2 == 1) << i;
    map.Clear();
    EXPECT_TRUE(map.Empty());
    EXPECT_FALSE(map.Contains(&objects[1]));
    map[&objects[1]] = 7;
    EXPECT_EQ(*map.Find(&objects[1]), 7);
    // The free-slot key is never there and cannot be added.
    EXPECT_FALSE(map.Contains(nullptr));
    EXPECT_THROW(map.Insert(nullptr), std::invalid_argument);
    EXPECT_EQ(map.Size(), 1u);
}

}  // namespace
