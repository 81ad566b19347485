// A scratch buffer that lives on the stack while it is small and on the heap beyond. The paths
// of a read and a write (names, stream bytes, decoded text) use it, so that values of ordinary
// size cost no heap allocation and large ones cost one, sized by what they hold.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

namespace velkaron {

template <typename T, std::size_t InlineCount>
class SmallBuffer {
public:
    SmallBuffer() = default;
    SmallBuffer(const SmallBuffer&) = delete;
    SmallBuffer& operator=(const SmallBuffer&) = delete;

    // Room for count elements, whose values are unspecified; what the buffer held is dropped.
    // Room it already has is kept (only a larger count takes a new block from the heap). Throws
    // std::bad_alloc when the heap has no room.
    T* Reserve(std::size_t count) {
        size_ = 0;
        if (count <= capacity_) return data_;
        heap_.reset(new T[count]);
        data_ = heap_.get();
        capacity_ = count;
        return data_;
    }

    // Room for count elements, keeping the ones it holds. Throws std::bad_alloc.
    T* Grow(std::size_t count) {
        if (count <= capacity_) return data_;
        std::unique_ptr<T[]> larger(new T[count]);
        for (std::size_t i = 0; i < size_; ++i) larger[i] = data_[i];
        heap_ = std::move(larger);
        data_ = heap_.get();
        capacity_ = count;
        return data_;
    }

    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    // How many of the reserved elements hold something (at most the reserved count).
    void SetSize(std::size_t count) noexcept { size_ = count < capacity_ ? count : capacity_; }

private:
    T inline_[InlineCount];
    std::unique_ptr<T[]> heap_;
    T* data_ = inline_;
    std::size_t capacity_ = InlineCount;
    std::size_t size_ = 0;
};

}  // namespace velkaron
