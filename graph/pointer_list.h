// A list of pointers as small as it can be: a pointer and two 32-bit counts, 16 bytes where a
// std::vector takes 24. Every node holds three of them (its children, its links in and out), so
// at a million nodes that is 24 MB less. The elements are plain pointers, so growing moves them
// with realloc.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

namespace orvo {

template <typename T>
class PointerList {
public:
    using value_type = T*;
    using iterator = T**;
    using const_iterator = T* const*;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    PointerList() = default;
    ~PointerList() { std::free(data_); }
    PointerList(const PointerList& other) { assign(other); }
    PointerList& operator=(const PointerList& other) {
        if (this != &other) {
            size_ = 0;
            assign(other);
        }
        return *this;
    }
    PointerList(PointerList&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0)) {}
    PointerList& operator=(PointerList&& other) noexcept {
        if (this != &other) {
            std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t capacity() const { return capacity_; }

    T*& operator[](size_t i) { return data_[i]; }
    T* const& operator[](size_t i) const { return data_[i]; }
    T*& front() { return data_[0]; }
    T* const& front() const { return data_[0]; }
    T*& back() { return data_[size_ - 1]; }
    T* const& back() const { return data_[size_ - 1]; }
    T** data() { return data_; }
    T* const* data() const { return data_; }

    iterator begin() { return data_; }
    iterator end() { return data_ + size_; }
    const_iterator begin() const { return data_; }
    const_iterator end() const { return data_ + size_; }
    reverse_iterator rbegin() { return reverse_iterator(end()); }
    reverse_iterator rend() { return reverse_iterator(begin()); }
    const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

    void push_back(T* value) {
        if (size_ == capacity_) grow(size_t{size_} + 1);
        data_[size_++] = value;
    }
    void reserve(size_t count) {
        if (count > capacity_) reallocate(count);
    }
    /// Empties the list; its room stays.
    void clear() { size_ = 0; }
    iterator erase(const_iterator at) {
        const size_t i = static_cast<size_t>(at - data_);
        std::memmove(data_ + i, data_ + i + 1, (size_ - i - 1) * sizeof(T*));
        --size_;
        return data_ + i;
    }
    /// Removes every entry equal to value, keeping the others' order; how many went.
    size_t eraseValue(T* value) {
        T** kept = std::remove(begin(), end(), value);
        const size_t removed = static_cast<size_t>(end() - kept);
        size_ -= static_cast<uint32_t>(removed);
        return removed;
    }

private:
    void assign(const PointerList& other) {
        reserve(other.size_);
        if (other.size_ > 0) std::memcpy(data_, other.data_, other.size_ * sizeof(T*));
        size_ = other.size_;
    }
    // Doubling, as a vector grows.
    void grow(size_t needed) { reallocate(std::max<size_t>(needed, size_t{capacity_} * 2)); }
    void reallocate(size_t count) {
        if (count > UINT32_MAX) throw std::bad_alloc();
        void* moved = std::realloc(data_, count * sizeof(T*));
        if (moved == nullptr) throw std::bad_alloc();
        data_ = static_cast<T**>(moved);
        capacity_ = static_cast<uint32_t>(count);
    }

    T** data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
};

}  // namespace orvo
