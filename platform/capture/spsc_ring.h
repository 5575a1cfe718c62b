#pragma once
// Bounded single-producer single-consumer byte ring. The capture callback
// writes, the encoder thread reads; neither ever waits for the other. The
// capacity is rounded up to a power of two.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace platform::capture {

class SpscRing {
public:
    explicit SpscRing(size_t minCapacity) {
        size_t c = 4096;
        while (c < minCapacity) c <<= 1;
        buffer_.resize(c);
        mask_ = c - 1;
    }
    SpscRing(const SpscRing&) = delete;
    SpscRing& operator=(const SpscRing&) = delete;

    size_t capacity() const { return buffer_.size(); }

    // Producer side.
    size_t freeBytes() const {
        return capacity() - (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
    }
    // Writes up to `bytes`; returns what was written.
    size_t write(const uint8_t* data, size_t bytes) {
        const size_t head = head_.load(std::memory_order_relaxed);
        const size_t room = capacity() - (head - tail_.load(std::memory_order_acquire));
        if (bytes > room) bytes = room;
        const size_t at = head & mask_;
        const size_t first = bytes < capacity() - at ? bytes : capacity() - at;
        std::memcpy(buffer_.data() + at, data, first);
        if (bytes > first) std::memcpy(buffer_.data(), data + first, bytes - first);
        head_.store(head + bytes, std::memory_order_release);
        return bytes;
    }

    // Consumer side.
    size_t availableBytes() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
    }
    size_t read(uint8_t* out, size_t bytes) {
        const size_t tail = tail_.load(std::memory_order_relaxed);
        const size_t avail = head_.load(std::memory_order_acquire) - tail;
        if (bytes > avail) bytes = avail;
        const size_t at = tail & mask_;
        const size_t first = bytes < capacity() - at ? bytes : capacity() - at;
        std::memcpy(out, buffer_.data() + at, first);
        if (bytes > first) std::memcpy(out + first, buffer_.data(), bytes - first);
        tail_.store(tail + bytes, std::memory_order_release);
        return bytes;
    }

private:
    std::vector<uint8_t> buffer_;
    size_t mask_ = 0;
    alignas(64) std::atomic<size_t> head_{0};  // total bytes written
    alignas(64) std::atomic<size_t> tail_{0};  // total bytes read
};

}  // namespace platform::capture
