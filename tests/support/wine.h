// Tests that run on Windows run under Wine in CI. Where Wine answers otherwise than Windows, a
// test names Windows' answer and Wine's, and expects the one of the system it runs on:
//
//   // Wine enumerates values sorted by name; Windows in creation order.
//   EXPECT_EQ(names, hl::test::WindowsOrWine(creationOrder, sortedOrder));
#pragma once

#include "platform/win32.h"

namespace hl::test {

inline bool RunsUnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

template <class T>
T WindowsOrWine(T windows, T wine) {
  return RunsUnderWine() ? wine : windows;
}

}  // namespace hl::test
