#pragma once
// Owner of a block that the shell or COM allocated with CoTaskMemAlloc
// (item id lists, strings returned by the shell).
#include <objbase.h>

#include <utility>

namespace platform {

template <typename T>
class CoTaskMem {
public:
    CoTaskMem() = default;
    ~CoTaskMem() { ::CoTaskMemFree(ptr_); }
    CoTaskMem(const CoTaskMem&) = delete;
    CoTaskMem& operator=(const CoTaskMem&) = delete;
    CoTaskMem(CoTaskMem&& o) noexcept : ptr_(std::exchange(o.ptr_, nullptr)) {}

    T* get() const { return ptr_; }
    T** put() {
        ::CoTaskMemFree(std::exchange(ptr_, nullptr));
        return &ptr_;
    }

private:
    T* ptr_ = nullptr;
};

}  // namespace platform
