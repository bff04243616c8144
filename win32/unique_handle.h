#pragma once
// One owning wrapper for every kind of Win32 handle, so that every early
// return still gives the handle back. Traits say what "none" is and how a
// handle is given back:
//   struct Traits { using value_type = ...; static value_type invalid();
//                   static bool valid(value_type); static void close(value_type); };

namespace vornex::win32 {

template <typename Traits>
class UniqueHandle {
public:
    using value_type = typename Traits::value_type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(value_type v) noexcept : v_(v) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : v_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }

    value_type get() const noexcept { return v_; }
    bool valid() const noexcept { return Traits::valid(v_); }
    explicit operator bool() const noexcept { return valid(); }

    value_type release() noexcept {
        value_type v = v_;
        v_ = Traits::invalid();
        return v;
    }
    void reset(value_type v = Traits::invalid()) noexcept {
        if (Traits::valid(v_)) Traits::close(v_);
        v_ = v;
    }
    // For out-parameters: gives back the current handle first.
    value_type* put() noexcept {
        reset();
        return &v_;
    }

private:
    value_type v_ = Traits::invalid();
};

// Traits for handles whose "none" is a null pointer.
template <typename T, void (*Close)(T)>
struct NullIsNone {
    using value_type = T;
    static T invalid() noexcept { return nullptr; }
    static bool valid(T h) noexcept { return h != nullptr; }
    static void close(T h) noexcept { Close(h); }
};

}  // namespace vornex::win32
