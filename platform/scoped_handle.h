// One owner for every kind of handle the system opens (kernel objects and
// tokens, registry keys, file descriptors, service handles, directory
// searches): it closes what it holds when it goes out of scope, on every way
// out. A kind is described by its traits, next to the calls that open it:
//
//   struct Traits {
//     using Value = ...;            // the handle type
//     static Value empty();         // the value that holds nothing
//     static bool isOpen(Value);    // whether a value needs closing
//     static long close(Value);     // closes it: 0 on success
//   };
#pragma once

template <typename Traits>
class ScopedHandle {
 public:
  using Value = typename Traits::Value;

  ScopedHandle() : value_(Traits::empty()) {}
  explicit ScopedHandle(Value value) : value_(value) {}
  ~ScopedHandle() { close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  Value get() const { return value_; }
  bool valid() const { return Traits::isOpen(value_); }

  // Where a call that opens a handle stores it; what was held is closed first.
  Value* receive() {
    close();
    return &value_;
  }
  // Holds `value` instead; what was held is closed.
  void reset(Value value = Traits::empty()) {
    close();
    value_ = value;
  }
  // Gives up what is held without closing it: the caller owns it now.
  Value release() {
    Value value = value_;
    value_ = Traits::empty();
    return value;
  }
  // Closes now: 0 when the close succeeded or nothing was open, otherwise the
  // kind's failure result. The owner holds nothing afterwards.
  long close() {
    long result = 0;
    if (valid()) result = Traits::close(value_);
    value_ = Traits::empty();
    return result;
  }

 private:
  Value value_;
};
