// Owners for COM references and BSTR texts, so every path out of a WMI step releases what it got.
#pragma once

#include <memory>

#include "platform/win32.h"

namespace hl {

// Holds one reference to a COM interface and releases it when destroyed or reset.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // The slot an API fills with a new reference; drops the one held before.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset() {
    if (p_ != nullptr) p_->Release();
    p_ = nullptr;
  }

 private:
  T* p_ = nullptr;
};

struct BstrFree {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, BstrFree>;

inline OwnedBstr MakeBstr(const OLECHAR* text) { return OwnedBstr(SysAllocString(text)); }

// Clears a VARIANT filled by a WMI call when it goes out of scope.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&v_); }
  ~ScopedVariant() { VariantClear(&v_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  VARIANT* out() { return &v_; }
  const VARIANT& get() const { return v_; }

 private:
  VARIANT v_;
};

}  // namespace hl
