// COM initialisation, object creation and proxy security of the stand-in.
#include <atomic>
#include <mutex>

#include "platform/com/com_internal.h"
#include "platform/core/machine.h"

namespace hl::platform {
namespace {

std::atomic<long> g_liveObjects{0};

// Per-thread apartment: how many successful CoInitializeEx calls are not yet undone, and the kind.
struct Apartment {
  int initCount = 0;
  DWORD model = COINIT_MULTITHREADED;
};
thread_local Apartment t_apartment;

// Threads of the process currently inside the multithreaded apartment; while there are any, an
// uninitialised thread still reaches COM through the implicit MTA, as on Windows.
std::atomic<int> g_mtaThreads{0};

bool IsMultithreaded(DWORD model) { return (model & COINIT_APARTMENTTHREADED) == 0; }

}  // namespace

long LiveComObjects() { return g_liveObjects.load(); }
void CountComObject(int delta) { g_liveObjects += delta; }

HRESULT InjectedComFault(std::string_view api, std::string_view subject) {
  std::optional<DWORD> fault = InjectedFault(api, subject);
  if (!fault || *fault == 0) return S_OK;
  if ((*fault & 0x80000000u) != 0) return static_cast<HRESULT>(*fault);
  return HRESULT_FROM_WIN32(*fault);
}

bool ComInitialized() { return t_apartment.initCount > 0 || g_mtaThreads.load() > 0; }

}  // namespace hl::platform

using hl::platform::t_apartment;

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
  if (pvReserved != nullptr) return E_INVALIDARG;
  if (HRESULT fault = hl::platform::InjectedComFault("CoInitializeEx"); FAILED(fault)) return fault;
  auto& apartment = t_apartment;
  bool multithreaded = hl::platform::IsMultithreaded(dwCoInit);
  if (apartment.initCount > 0) {
    if (hl::platform::IsMultithreaded(apartment.model) != multithreaded) return RPC_E_CHANGED_MODE;
    ++apartment.initCount;
    return S_FALSE;
  }
  apartment.initCount = 1;
  apartment.model = dwCoInit;
  if (multithreaded) ++hl::platform::g_mtaThreads;
  return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

void CoUninitialize() {
  auto& apartment = t_apartment;
  if (apartment.initCount == 0) return;  // unbalanced calls are ignored, as on Windows
  if (--apartment.initCount == 0 && hl::platform::IsMultithreaded(apartment.model)) --hl::platform::g_mtaThreads;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!hl::platform::ComInitialized()) return CO_E_NOTINITIALIZED;
  if (HRESULT fault = hl::platform::InjectedComFault("CoCreateInstance"); FAILED(fault)) return fault;
  // The WMI locator is the one class registered here, as an in-process server.
  if (!IsEqualCLSID(rclsid, CLSID_WbemLocator) || (dwClsContext & CLSCTX_INPROC_SERVER) == 0)
    return REGDB_E_CLASSNOTREG;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  IWbemLocator* locator = hl::platform::NewWbemLocator();
  HRESULT hr = locator->QueryInterface(riid, ppv);
  locator->Release();  // the caller's reference is the one QueryInterface added
  return hr;
}

HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc, OLECHAR* pServerPrincName,
                          DWORD dwAuthnLevel, DWORD dwImpLevel, RPC_AUTH_IDENTITY_HANDLE pAuthInfo,
                          DWORD dwCapabilities) {
  (void)pServerPrincName;
  (void)pAuthInfo;
  if (pProxy == nullptr) return E_INVALIDARG;
  if (HRESULT fault = hl::platform::InjectedComFault("CoSetProxyBlanket"); FAILED(fault)) return fault;
  // The values COM accepts; anything else is refused as on Windows.
  bool authnKnown = dwAuthnSvc == RPC_C_AUTHN_NONE || dwAuthnSvc == RPC_C_AUTHN_GSS_NEGOTIATE ||
                    dwAuthnSvc == RPC_C_AUTHN_WINNT || dwAuthnSvc == RPC_C_AUTHN_GSS_KERBEROS ||
                    dwAuthnSvc == static_cast<DWORD>(RPC_C_AUTHN_DEFAULT);
  bool authzKnown = dwAuthzSvc <= RPC_C_AUTHZ_DCE || dwAuthzSvc == static_cast<DWORD>(RPC_C_AUTHZ_DEFAULT);
  const DWORD knownCapabilities = EOAC_MUTUAL_AUTH | EOAC_STATIC_CLOAKING | EOAC_DYNAMIC_CLOAKING | EOAC_DEFAULT;
  if (!authnKnown || !authzKnown || dwAuthnLevel > RPC_C_AUTHN_LEVEL_PKT_PRIVACY ||
      dwImpLevel > RPC_C_IMP_LEVEL_DELEGATE || (dwCapabilities & ~knownCapabilities) != 0)
    return E_INVALIDARG;
  return S_OK;
}
