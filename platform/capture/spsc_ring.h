#pragma once
// Bounded single-producer single-consumer byte ring. The capture callback
// writes, the encoder thread reads; neither ever waits for the other. The
// capacity is the one asked for (at least 4 KiB), not rounded up, and the
// buffer is not cleared: its pages become resident only as the audio first
// goes through them.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace platform::capture {

class SpscRing {
public:
    explicit SpscRing(size_t minCapacity)
        : capacity_(minCapacity < 4096 ? 4096 : minCapacity), buffer_(new uint8_t[capacity_]) {}
    SpscRing(const SpscRing&) = delete;
    SpscRing& operator=(const SpscRing&) = delete;

    size_t capacity() const { return capacity_; }

    // Producer side.
    size_t freeBytes() const {
        return capacity_ - (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
    }
    // Writes up to `bytes`; returns what was written.
    size_t write(const uint8_t* data, size_t bytes) {
        const size_t head = head_.load(std::memory_order_relaxed);
        const size_t room = capacity_ - (head - tail_.load(std::memory_order_acquire));
        if (bytes > room) bytes = room;
        const size_t at = head % capacity_;
        const size_t first = bytes < capacity_ - at ? bytes : capacity_ - at;
        std::memcpy(buffer_.get() + at, data, first);
        if (bytes > first) std::memcpy(buffer_.get(), data + first, bytes - first);
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
        const size_t at = tail % capacity_;
        const size_t first = bytes < capacity_ - at ? bytes : capacity_ - at;
        std::memcpy(out, buffer_.get() + at, first);
        if (bytes > first) std::memcpy(out + first, buffer_.get(), bytes - first);
        tail_.store(tail + bytes, std::memory_order_release);
        return bytes;
    }

private:
    const size_t capacity_;
    std::unique_ptr<uint8_t[]> buffer_;  // default-initialised: not cleared
    alignas(64) std::atomic<size_t> head_{0};  // total bytes written
    alignas(64) std::atomic<size_t> tail_{0};  // total bytes read
};

}  // namespace platform::capture
