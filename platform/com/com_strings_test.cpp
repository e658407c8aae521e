#include <gtest/gtest.h>

#include "platform/com/com_internal.h"
#include "platform/win32.h"

namespace {

TEST(BstrTest, KeepsTextAndLengthIncludingEmbeddedZeros) {
  BSTR plain = SysAllocString(WSTR("Windows Defender"));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(std::u16string(plain), u"Windows Defender");
  EXPECT_EQ(SysStringLen(plain), 16u);
  EXPECT_EQ(SysStringByteLen(plain), 32u);
  SysFreeString(plain);

  const WCHAR withZero[] = {'a', 0, 'b'};
  BSTR counted = SysAllocStringLen(withZero, 3);
  EXPECT_EQ(SysStringLen(counted), 3u);
  EXPECT_EQ(counted[1], 0);
  EXPECT_EQ(counted[2], 'b');
  EXPECT_EQ(counted[3], 0) << "always terminated";
  SysFreeString(counted);

  BSTR blank = SysAllocStringLen(nullptr, 4);  // room for 4 characters, zero-filled
  EXPECT_EQ(SysStringLen(blank), 4u);
  EXPECT_EQ(blank[0], 0);
  SysFreeString(blank);
}

TEST(BstrTest, NullIsTheEmptyText) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);  // no effect
}

TEST(VariantTest, ClearFreesOwnedTextAndReferences) {
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(WSTR("text"));
  EXPECT_EQ(VariantClear(&v), S_OK);  // ASan reports the text if it leaks
  EXPECT_EQ(v.vt, VT_EMPTY);

  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  long before = hl::platform::LiveComObjects();
  IUnknown* locator = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&locator)),
            S_OK);
  EXPECT_EQ(hl::platform::LiveComObjects(), before + 1);
  v.vt = VT_UNKNOWN;
  v.punkVal = locator;
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(hl::platform::LiveComObjects(), before) << "the variant's reference was the last";
  CoUninitialize();

  v.vt = VT_ARRAY | VT_BSTR;
  EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

}  // namespace
