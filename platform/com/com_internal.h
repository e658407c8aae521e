// Internal pieces of the stand-in's COM runtime and WMI objects (not for product code).
#pragma once

#include <atomic>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/com/win_com.h"

namespace hl::platform {

void CountComObject(int delta);

// An injected failure for a COM call, as an HRESULT: a value with the top bit set is taken as it
// stands, any other nonzero value as a Win32 code (HRESULT_FROM_WIN32). S_OK when none.
HRESULT InjectedComFault(std::string_view api, std::string_view subject = {});

// Reference counting and QueryInterface for an object implementing `Interface` (and IUnknown).
template <class Interface>
class ComObject : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, InterfaceId())) {
      *ppvObject = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      // COM semantics: the last Release destroys the object. It was handed out by NewComObject,
      // which released it from a unique_ptr; this takes it back.
      std::unique_ptr<ComObject> self(this);
    }
    return left;
  }

 protected:
  ComObject() { CountComObject(1); }
  virtual ~ComObject() { CountComObject(-1); }
  virtual const IID& InterfaceId() const = 0;

 private:
  friend struct std::default_delete<ComObject>;
  std::atomic<ULONG> refs_{1};
};

// Creates a COM object with one reference held by the caller.
template <class T, class... Args>
T* NewComObject(Args&&... args) {
  return std::make_unique<T>(std::forward<Args>(args)...).release();
}

// The WMI locator (CoCreateInstance of CLSID_WbemLocator).
IWbemLocator* NewWbemLocator();

}  // namespace hl::platform
