#include "memory/span_hasher.h"

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace khex {

struct SpanHasher {
    static constexpr size_t BLOCK = 256 * 1024;  // bytes a block holds before it is queued
    static constexpr size_t MOST_QUEUED = 8;     // bounds the bytes held

    struct Block {
        Value* value;
        std::vector<uint8_t> bytes;
    };

    std::mutex lock;
    std::condition_variable more, done;
    std::deque<Block> queued;
    std::vector<std::vector<uint8_t>> spare;  // buffers of hashed blocks, to be filled again
    Block filling{nullptr, {}};               // the block the run's thread fills
    bool busy = false;
    bool stop = false;
    std::thread thread;

    ~SpanHasher()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            stop = true;
            queued.clear();
            more.notify_all();
        }
        if (thread.joinable())
            thread.join();
    }
};

namespace {

void hash_block(SpanHasher::Block& block)
{
    Value& v = *block.value;
    engine_update(v.engine, block.bytes.data(), block.bytes.size());
    if (v.message && v.message_error == 0 &&
        std::fwrite(block.bytes.data(), 1, block.bytes.size(), v.message) != block.bytes.size())
        v.message_error = errno ? errno : EIO;
}

void work(SpanHasher& hasher)
{
    for (;;) {
        SpanHasher::Block block;
        {
            std::unique_lock<std::mutex> hold(hasher.lock);
            hasher.more.wait(hold, [&] { return hasher.stop || !hasher.queued.empty(); });
            if (hasher.queued.empty())
                return;
            block = std::move(hasher.queued.front());
            hasher.queued.pop_front();
            hasher.busy = true;
        }
        hash_block(block);
        std::lock_guard<std::mutex> hold(hasher.lock);
        block.bytes.clear();
        hasher.spare.push_back(std::move(block.bytes));
        hasher.busy = false;
        hasher.done.notify_all();
    }
}

// The block being filled goes to the thread; the next one is a spare buffer.
void queue_filling(SpanHasher& hasher)
{
    if (hasher.filling.bytes.empty())
        return;
    std::unique_lock<std::mutex> hold(hasher.lock);
    hasher.done.wait(hold, [&] { return hasher.queued.size() < SpanHasher::MOST_QUEUED; });
    hasher.queued.push_back(std::move(hasher.filling));
    hasher.more.notify_one();
    hasher.filling = SpanHasher::Block{nullptr, {}};
    if (!hasher.spare.empty()) {
        hasher.filling.bytes = std::move(hasher.spare.back());
        hasher.spare.pop_back();
    }
}

}  // namespace

void start_span_hasher(ValueState& values)
{
    bool needed = !values.digests.empty();
    for (const Value& v : values.list)
        needed |= value_hashes_span(v) && !v.known;
    if (!needed || values.hasher)
        return;
    values.hasher = std::make_shared<SpanHasher>();
    values.hasher->filling.bytes.reserve(SpanHasher::BLOCK);
    values.hasher->thread = std::thread(work, std::ref(*values.hasher));
}

void hash_span_bytes(SpanHasher& hasher, Value& v, const uint8_t* bytes, size_t n)
{
    while (n > 0) {
        if (hasher.filling.value != &v || hasher.filling.bytes.size() >= SpanHasher::BLOCK)
            queue_filling(hasher);
        hasher.filling.value = &v;
        const size_t room = SpanHasher::BLOCK - hasher.filling.bytes.size();
        const size_t now = n < room ? n : room;
        hasher.filling.bytes.insert(hasher.filling.bytes.end(), bytes, bytes + now);
        bytes += now;
        n -= now;
    }
}

void drain_span_hasher(ValueState& values)
{
    SpanHasher* hasher = values.hasher.get();
    if (!hasher)
        return;
    queue_filling(*hasher);
    std::unique_lock<std::mutex> hold(hasher->lock);
    hasher->done.wait(hold, [&] { return hasher->queued.empty() && !hasher->busy; });
}

void stop_span_hasher(ValueState& values)
{
    values.hasher.reset();
}

}  // namespace khex
