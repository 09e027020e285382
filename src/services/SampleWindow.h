#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quonvera {

// The newest `capacity` samples of a recording, kept in a ring so that appending never moves
// what is already stored. Not synchronised: its owner holds the lock.
class SampleWindow {
public:
    explicit SampleWindow(std::size_t capacity) : capacity_(capacity) {}

    void append(std::span<const float> samples);
    // The stored samples, oldest first.
    std::vector<float> copy() const;
    void clear();
    std::size_t size() const { return count_; }
    std::size_t capacity() const { return capacity_; }

private:
    std::size_t capacity_;
    std::vector<float> ring_;  // allocated on first append, then always `capacity_` long
    std::size_t next_ = 0;     // where the next sample goes
    std::size_t count_ = 0;
};

}  // namespace quonvera
