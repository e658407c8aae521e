// COM and WMI API of the stand-in (objbase.h, oleauto.h and wbemidl.h subset).
// Values of every constant and error code are those of the Windows SDK. The interfaces are
// abstract classes with the Windows method names and parameter lists, so product code written
// against them compiles unchanged against the SDK. The WMI answers come from machine.json "wmi".
#pragma once

#include "platform/core/win_types.h"

#define STDMETHODCALLTYPE

// ---- GUIDs ----
typedef struct _GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const GUID& REFGUID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr CLSID CLSID_WbemLocator = {0x4590f811, 0x1d3a, 0x11d0, {0x89, 0x1f, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
inline constexpr IID IID_IWbemLocator = {0xdc12a687, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
inline constexpr IID IID_IWbemServices = {0x9556dc99, 0x828c, 0x11cf, {0xa3, 0x7e, 0x00, 0xaa, 0x00, 0x32, 0x40, 0xc7}};
inline constexpr IID IID_IEnumWbemClassObject = {
    0x027947e1, 0xd731, 0x11ce, {0xa3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
inline constexpr IID IID_IWbemClassObject = {0xdc12a681, 0x737f, 0x11cf, {0x88, 0x4d, 0x00, 0xaa, 0x00, 0x4b, 0x2e, 0x24}};
inline constexpr IID IID_IWbemContext = {0x44aca674, 0xe8fc, 0x11d0, {0xa0, 0x7c, 0x00, 0xc0, 0x4f, 0xb6, 0x88, 0x20}};

// ---- COM error codes (winerror.h) ----
#define CO_E_NOTINITIALIZED (static_cast<HRESULT>(0x800401F0L))
#define RPC_E_CHANGED_MODE (static_cast<HRESULT>(0x80010106L))
#define RPC_E_TOO_LATE (static_cast<HRESULT>(0x80010119L))
#define REGDB_E_CLASSNOTREG (static_cast<HRESULT>(0x80040154L))
#define CLASS_E_NOAGGREGATION (static_cast<HRESULT>(0x80040110L))
#define E_UNEXPECTED (static_cast<HRESULT>(0x8000FFFFL))
#define DISP_E_BADVARTYPE (static_cast<HRESULT>(0x80020008L))

// ---- COM initialisation and objects (objbase.h) ----
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef void* RPC_AUTH_IDENTITY_HANDLE;

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// Authentication services (rpcdce.h).
#define RPC_C_AUTHN_NONE 0
#define RPC_C_AUTHN_GSS_NEGOTIATE 9
#define RPC_C_AUTHN_WINNT 10
#define RPC_C_AUTHN_GSS_KERBEROS 16
#define RPC_C_AUTHN_DEFAULT 0xFFFFFFFFL
// Authorisation services.
#define RPC_C_AUTHZ_NONE 0
#define RPC_C_AUTHZ_NAME 1
#define RPC_C_AUTHZ_DCE 2
#define RPC_C_AUTHZ_DEFAULT 0xFFFFFFFFL
// Authentication levels.
#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_NONE 1
#define RPC_C_AUTHN_LEVEL_CONNECT 2
#define RPC_C_AUTHN_LEVEL_CALL 3
#define RPC_C_AUTHN_LEVEL_PKT 4
#define RPC_C_AUTHN_LEVEL_PKT_INTEGRITY 5
#define RPC_C_AUTHN_LEVEL_PKT_PRIVACY 6
// Impersonation levels.
#define RPC_C_IMP_LEVEL_DEFAULT 0
#define RPC_C_IMP_LEVEL_ANONYMOUS 1
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define RPC_C_IMP_LEVEL_DELEGATE 4
// Capabilities (EOLE_AUTHENTICATION_CAPABILITIES).
#define EOAC_NONE 0x0
#define EOAC_MUTUAL_AUTH 0x1
#define EOAC_STATIC_CLOAKING 0x20
#define EOAC_DYNAMIC_CLOAKING 0x40
#define EOAC_DEFAULT 0x800
// Principal name meaning "use the default" in CoSetProxyBlanket.
#define COLE_DEFAULT_PRINCIPAL (reinterpret_cast<OLECHAR*>(static_cast<INT_PTR>(-1)))
#define COLE_DEFAULT_AUTHINFO (reinterpret_cast<void*>(static_cast<INT_PTR>(-1)))

class IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;  // objects are destroyed through Release only
};
typedef IUnknown* LPUNKNOWN;

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(LPVOID pvReserved);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc, OLECHAR* pServerPrincName,
                          DWORD dwAuthnLevel, DWORD dwImpLevel, RPC_AUTH_IDENTITY_HANDLE pAuthInfo,
                          DWORD dwCapabilities);

// ---- BSTR and VARIANT (oleauto.h) ----
// A BSTR points at UTF-16 text preceded by its byte length; allocate and free it only with these.
BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR pbstr);
UINT SysStringByteLen(BSTR bstr);

typedef unsigned short VARTYPE;
typedef short VARIANT_BOOL;
typedef LONG SCODE;
#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
};

// The members are reachable directly (v.vt, v.bstrVal, v.lVal) as with the SDK's C++ view.
typedef struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    CHAR cVal;
    USHORT uiVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
  };
} VARIANT, *LPVARIANT, VARIANTARG;

void VariantInit(VARIANT* pvarg);
// Frees what the variant owns (BSTR text, interface reference) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* pvarg);

// ---- WMI (wbemidl.h) ----
typedef LONG CIMTYPE;
enum CIMTYPE_ENUMERATION {
  CIM_EMPTY = 0,
  CIM_SINT16 = 2,
  CIM_SINT32 = 3,
  CIM_REAL32 = 4,
  CIM_REAL64 = 5,
  CIM_STRING = 8,
  CIM_BOOLEAN = 11,
  CIM_OBJECT = 13,
  CIM_SINT8 = 16,
  CIM_UINT8 = 17,
  CIM_UINT16 = 18,
  CIM_UINT32 = 19,
  CIM_SINT64 = 20,
  CIM_UINT64 = 21,
  CIM_DATETIME = 101,
  CIM_REFERENCE = 102,
  CIM_CHAR16 = 103,
  CIM_ILLEGAL = 0xfff,
  CIM_FLAG_ARRAY = 0x2000,
};

#define WBEM_INFINITE 0xFFFFFFFF
#define WBEM_NO_WAIT 0
#define WBEM_FLAG_RETURN_WBEM_COMPLETE 0x0
#define WBEM_FLAG_RETURN_IMMEDIATELY 0x10
#define WBEM_FLAG_FORWARD_ONLY 0x20
#define WBEM_FLAG_BIDIRECTIONAL 0x0
#define WBEM_FLAG_CONNECT_USE_MAX_WAIT 0x80

#define WBEM_S_NO_ERROR (static_cast<HRESULT>(0L))
#define WBEM_S_FALSE (static_cast<HRESULT>(1L))
#define WBEM_S_TIMEDOUT (static_cast<HRESULT>(0x40004L))
#define WBEM_E_FAILED (static_cast<HRESULT>(0x80041001L))
#define WBEM_E_NOT_FOUND (static_cast<HRESULT>(0x80041002L))
#define WBEM_E_ACCESS_DENIED (static_cast<HRESULT>(0x80041003L))
#define WBEM_E_PROVIDER_FAILURE (static_cast<HRESULT>(0x80041004L))
#define WBEM_E_TYPE_MISMATCH (static_cast<HRESULT>(0x80041005L))
#define WBEM_E_OUT_OF_MEMORY (static_cast<HRESULT>(0x80041006L))
#define WBEM_E_INVALID_CONTEXT (static_cast<HRESULT>(0x80041007L))
#define WBEM_E_INVALID_PARAMETER (static_cast<HRESULT>(0x80041008L))
#define WBEM_E_NOT_AVAILABLE (static_cast<HRESULT>(0x80041009L))
#define WBEM_E_CRITICAL_ERROR (static_cast<HRESULT>(0x8004100AL))
#define WBEM_E_NOT_SUPPORTED (static_cast<HRESULT>(0x8004100CL))
#define WBEM_E_INVALID_NAMESPACE (static_cast<HRESULT>(0x8004100EL))
#define WBEM_E_INVALID_CLASS (static_cast<HRESULT>(0x80041010L))
#define WBEM_E_TRANSPORT_FAILURE (static_cast<HRESULT>(0x80041015L))
#define WBEM_E_INVALID_OPERATION (static_cast<HRESULT>(0x80041016L))
#define WBEM_E_INVALID_QUERY (static_cast<HRESULT>(0x80041017L))
#define WBEM_E_INVALID_QUERY_TYPE (static_cast<HRESULT>(0x80041018L))
#define WBEM_E_SHUTTING_DOWN (static_cast<HRESULT>(0x80041033L))
#define WBEM_E_LOCAL_CREDENTIALS (static_cast<HRESULT>(0x80041064L))

class IWbemContext : public IUnknown {
 protected:
  ~IWbemContext() = default;
};

class IWbemClassObject : public IUnknown {
 public:
  // A property the instance lacks reads as VT_NULL.
  virtual HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                                        LONG* plFlavor) = 0;

 protected:
  ~IWbemClassObject() = default;
};

class IEnumWbemClassObject : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  // WBEM_S_NO_ERROR when uCount objects were returned, WBEM_S_FALSE when fewer.
  virtual HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                                         ULONG* puReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(LONG lTimeout, ULONG nCount) = 0;

 protected:
  ~IEnumWbemClassObject() = default;
};

class IWbemServices : public IUnknown {
 public:
  // strQueryLanguage "WQL"; strQuery "SELECT * FROM <class>".
  virtual HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                                              IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) = 0;

 protected:
  ~IWbemServices() = default;
};

class IWbemLocator : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource, const BSTR strUser,
                                                  const BSTR strPassword, const BSTR strLocale, LONG lSecurityFlags,
                                                  const BSTR strAuthority, IWbemContext* pCtx,
                                                  IWbemServices** ppNamespace) = 0;

 protected:
  ~IWbemLocator() = default;
};

// ---- Stand-in diagnostics (no Windows counterpart; for tests that check COM hygiene) ----
namespace hl::platform {
// Number of COM objects of the stand-in currently alive.
long LiveComObjects();
// True when CoInitializeEx has initialised COM for the calling thread (or the process MTA exists).
bool ComInitialized();
}  // namespace hl::platform
