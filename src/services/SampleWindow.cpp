#include "services/SampleWindow.h"

#include <algorithm>

namespace quonvera {

void SampleWindow::append(std::span<const float> samples) {
    if (capacity_ == 0 || samples.empty()) return;
    if (ring_.size() != capacity_) ring_.assign(capacity_, 0.0f);
    if (samples.size() >= capacity_) samples = samples.last(capacity_);
    const std::size_t first = std::min(samples.size(), capacity_ - next_);
    std::copy_n(samples.begin(), first, ring_.begin() + static_cast<std::ptrdiff_t>(next_));
    std::copy(samples.begin() + static_cast<std::ptrdiff_t>(first), samples.end(), ring_.begin());
    next_ = (next_ + samples.size()) % capacity_;
    count_ = std::min(count_ + samples.size(), capacity_);
}

std::vector<float> SampleWindow::copy() const {
    std::vector<float> result;
    result.reserve(count_);
    const std::size_t start = (next_ + capacity_ - count_) % (capacity_ == 0 ? 1 : capacity_);
    const std::size_t first = std::min(count_, capacity_ - start);
    result.insert(result.end(), ring_.begin() + static_cast<std::ptrdiff_t>(start),
                  ring_.begin() + static_cast<std::ptrdiff_t>(start + first));
    result.insert(result.end(), ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(count_ - first));
    return result;
}

void SampleWindow::clear() {
    next_ = 0;
    count_ = 0;
}

}  // namespace quonvera
