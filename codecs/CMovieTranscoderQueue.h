#pragma once
// The hand-over between the movie transcoder's two threads: one reads and decodes, the other filters,
// encodes and writes. Decoded pictures and sound pass in the order they were decoded, through a
// queue that holds only a few pictures, so that decoding runs ahead of the encoder by a bounded amount
// of memory.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <utility>

namespace k72 {

template <typename Item> class CMovieTranscoderQueue {
public:
    // At most `pictures` items counted as pictures, and at most `items` items in all, wait at a time.
    CMovieTranscoderQueue(std::size_t pictures, std::size_t items)
        : maxPictures_(pictures), maxItems_(items) {}

    // Waits for room and appends the item; false (and the item is dropped) once Stop was called.
    bool Push(Item item, bool picture) {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [&] {
            return stopped_ || (items_.size() < maxItems_ && (!picture || pictures_ < maxPictures_));
        });
        if (stopped_) {
            return false;
        }
        items_.push_back(Entry{std::move(item), picture});
        pictures_ += picture ? 1 : 0;
        ready_.notify_one();
        return true;
    }

    // Changes how many pictures may wait (when the pictures turn out smaller or larger than thought).
    void SetPictureLimit(std::size_t pictures) {
        std::lock_guard lock(mutex_);
        maxPictures_ = pictures;
        room_.notify_all();
    }

    // Waits for the next item and takes it.
    Item Pop() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !items_.empty(); });
        Entry entry = std::move(items_.front());
        items_.pop_front();
        pictures_ -= entry.picture ? 1 : 0;
        room_.notify_one();
        return std::move(entry.item);
    }

    // The taker gives up: a waiting Push returns at once, and every later one drops its item.
    void Stop() {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        room_.notify_all();
    }

private:
    struct Entry {
        Item item;
        bool picture;
    };

    std::size_t maxPictures_;
    const std::size_t maxItems_;
    std::mutex mutex_;
    std::condition_variable room_;
    std::condition_variable ready_;
    std::deque<Entry> items_;
    std::size_t pictures_ = 0;
    bool stopped_ = false;
};

} // namespace k72
