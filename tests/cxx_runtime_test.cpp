// The compiler's own code and the prebuilt C++ runtime (GCC's libstdc++, libgcc, winpthreads) in
// one program: values that one side makes and the other takes apart. Where the two disagree on a
// calling convention or on thread-local storage, these crash or give wrong values.
#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

TEST(CxxRuntime, StringsMadeHereAndCutByTheRuntime)
{
    const char text[] = "name:value:rest";
    // The iterator constructor is instantiated in this program; substr, find and the copy
    // constructor come compiled in the runtime, and call the same template helpers.
    const std::string all(text, text + sizeof text - 1);
    const std::string::size_type colon = all.find(':');
    ASSERT_EQ(colon, 4u);
    EXPECT_EQ(all.substr(0, colon), "name");
    EXPECT_EQ(all.substr(colon + 1), "value:rest");
    std::string copy(all);
    copy.append(3, '!');
    EXPECT_EQ(copy, "name:value:rest!!!");
    EXPECT_EQ(all, "name:value:rest");
}

TEST(CxxRuntime, ExceptionsThrownInTheRuntimeAreCaughtHere)
{
    const std::string three = "abc";
    try {
        (void)three.at(7);
        FAIL() << "at(7) on a string of 3 did not throw";
    } catch (const std::out_of_range &e) {
        EXPECT_NE(std::string(e.what()).find("basic_string"), std::string::npos) << e.what();
    }
    EXPECT_THROW((void)std::stoi("not a number"), std::invalid_argument);
    EXPECT_EQ(std::stoi(" 42"), 42);
}

TEST(CxxRuntime, HashTableGrowsThroughTheRuntimesRehashPolicy)
{
    std::unordered_map<std::string, int> numbers;
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(numbers.emplace("key " + std::to_string(i), i).second) << i;
    EXPECT_FALSE(numbers.emplace("key 7", -1).second);
    ASSERT_EQ(numbers.size(), 500u);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(numbers.at("key " + std::to_string(i)), i);
    EXPECT_GE(numbers.bucket_count(), 500u);
}

thread_local int calls_on_this_thread = 0;

TEST(CxxRuntime, CallOnceAndThreadLocalDataAcrossThreads)
{
    std::once_flag once;
    int runs = 0;
    std::vector<int> calls_seen(4, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i <= t; ++i)
                ++calls_on_this_thread;
            std::call_once(once, [&] { ++runs; });
            calls_seen[t] = calls_on_this_thread;
        });
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(calls_seen, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(calls_on_this_thread, 0);
}

}  // namespace
