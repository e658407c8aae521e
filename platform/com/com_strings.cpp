// BSTR and VARIANT of the stand-in.
// A BSTR is one block: a 4-byte byte length, the UTF-16 text, a terminating zero; the pointer
// handed out points at the text. The block lives in a unique_ptr<WCHAR[]> that is released to
// the caller and taken back by SysFreeString.
#include <cstring>
#include <memory>

#include "platform/com/com_internal.h"
#include "platform/core/core_internal.h"

namespace {

constexpr size_t kPrefixChars = sizeof(UINT) / sizeof(WCHAR);

WCHAR* BlockOf(BSTR text) { return text - kPrefixChars; }

UINT StoredByteLength(BSTR text) {
  UINT bytes = 0;
  std::memcpy(&bytes, BlockOf(text), sizeof(bytes));
  return bytes;
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  // The byte length must fit the 32-bit prefix.
  if (ui > (0xFFFFFFFFu - sizeof(UINT) - sizeof(WCHAR)) / sizeof(WCHAR)) return nullptr;
  auto block = std::make_unique<WCHAR[]>(kPrefixChars + ui + 1);  // zero-filled
  UINT bytes = ui * static_cast<UINT>(sizeof(WCHAR));
  std::memcpy(block.get(), &bytes, sizeof(bytes));
  if (strIn != nullptr && ui > 0) std::memcpy(block.get() + kPrefixChars, strIn, ui * sizeof(WCHAR));
  return block.release() + kPrefixChars;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  return SysAllocStringLen(psz, static_cast<UINT>(hl::platform::WideLength(psz)));
}

void SysFreeString(BSTR bstrString) {
  if (bstrString == nullptr) return;
  std::unique_ptr<WCHAR[]> block(BlockOf(bstrString));
}

UINT SysStringLen(BSTR pbstr) { return pbstr == nullptr ? 0 : StoredByteLength(pbstr) / sizeof(WCHAR); }

UINT SysStringByteLen(BSTR bstr) { return bstr == nullptr ? 0 : StoredByteLength(bstr); }

void VariantInit(VARIANT* pvarg) {
  if (pvarg == nullptr) return;
  pvarg->vt = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
  pvarg->llVal = 0;
}

HRESULT VariantClear(VARIANT* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
      break;
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_ERROR: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_INT: case VT_UINT:
      break;
    default:
      // Arrays and references are not made by the stand-in.
      return DISP_E_BADVARTYPE;
  }
  pvarg->vt = VT_EMPTY;
  pvarg->llVal = 0;
  return S_OK;
}
