// The hand-over between the movie transcoder's decoding thread and the thread that encodes: order,
// the bound on waiting pictures, and giving up. Also run under ThreadSanitizer.

#include "codecs/CMovieTranscoderQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace k72test {
namespace {

using Queue = k72::CMovieTranscoderQueue<std::unique_ptr<int>>;

TEST(MovieTranscoderQueue, HandsOverEveryItemInOrderAcrossThreads) {
    Queue queue(4, 16);
    constexpr int kCount = 5000;
    std::thread producer([&] {
        for (int i = 0; i < kCount; ++i) {
            // Every third item a picture, as sound and positions come between the pictures.
            ASSERT_TRUE(queue.Push(std::make_unique<int>(i), i % 3 == 0));
        }
    });
    std::vector<int> taken;
    for (int i = 0; i < kCount; ++i) {
        const std::unique_ptr<int> item = queue.Pop();
        ASSERT_NE(item, nullptr);
        taken.push_back(*item);
    }
    producer.join();
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(taken[static_cast<std::size_t>(i)], i);
    }
}

// Pushes pictures on a thread of its own until it blocks; returns how many went in before it did.
int PicturesBeforeBlocking(Queue& queue, std::thread& producer, std::atomic<int>& pushed, int attempts) {
    producer = std::thread([&queue, &pushed, attempts] {
        for (int i = 0; i < attempts; ++i) {
            if (!queue.Push(std::make_unique<int>(i), true)) {
                return;
            }
            pushed.fetch_add(1);
        }
    });
    // The producer gets no further than the bound however long it is given.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return pushed.load();
}

TEST(MovieTranscoderQueue, PicturesWaitOnlyUpToTheBoundAndOtherItemsUpToTheirs) {
    Queue queue(3, 5);
    std::atomic<int> pushed{0};
    std::thread producer;
    EXPECT_EQ(PicturesBeforeBlocking(queue, producer, pushed, 10), 3);
    const auto settleAt = [&](int count) {
        for (int wait = 0; wait < 200 && pushed.load() < count; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(pushed.load(), count);
    };
    // Taking one picture makes room for exactly one more.
    EXPECT_EQ(*queue.Pop(), 0);
    settleAt(4);
    // A raised bound (the pictures turned out small) lets a waiting producer on at once.
    queue.SetPictureLimit(4);
    settleAt(5);
    queue.Stop();
    producer.join();
    EXPECT_EQ(pushed.load(), 5);

    // Other items are held back by the total bound only.
    Queue mixed(1, 5);
    EXPECT_TRUE(mixed.Push(std::make_unique<int>(0), true));
    for (int i = 1; i < 5; ++i) {
        EXPECT_TRUE(mixed.Push(std::make_unique<int>(i), false));
    }
    std::atomic<bool> fifthIn{false};
    std::thread late([&] { fifthIn = mixed.Push(std::make_unique<int>(5), false); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(fifthIn.load());
    EXPECT_EQ(*mixed.Pop(), 0);
    late.join();
    EXPECT_TRUE(fifthIn.load());
}

TEST(MovieTranscoderQueue, StopReleasesABlockedProducerAndDropsLaterItems) {
    Queue queue(1, 1);
    ASSERT_TRUE(queue.Push(std::make_unique<int>(1), true));
    std::atomic<bool> returned{false};
    std::atomic<bool> accepted{true};
    std::thread producer([&] {
        accepted = queue.Push(std::make_unique<int>(2), true);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returned.load()) << "the queue is full, so the producer waits";
    queue.Stop();
    producer.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(accepted.load());
    EXPECT_FALSE(queue.Push(std::make_unique<int>(3), false));
    // What was handed over before the stop can still be taken.
    EXPECT_EQ(*queue.Pop(), 1);
}

} // namespace
} // namespace k72test
