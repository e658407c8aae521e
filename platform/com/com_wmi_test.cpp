#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/com_internal.h"
#include "platform/core/machine.h"
#include "platform/win32.h"
#include "tests/support/temp_machine.h"

namespace {

using nlohmann::json;

// Holds one COM reference for the length of a test.
template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p != nullptr) p->Release();
  }
  T* operator->() const { return p; }
  T** put() { return &p; }
  void** put_void() { return reinterpret_cast<void**>(&p); }
};

struct Bstr {
  BSTR text;
  explicit Bstr(const char16_t* t) : text(SysAllocString(t)) {}
  ~Bstr() { SysFreeString(text); }
};

// COM initialised for the test's thread, and every stand-in object released by its end.
class ComTest : public ::testing::Test {
 protected:
  void SetUp() override {
    liveBefore_ = hl::platform::LiveComObjects();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(hl::platform::LiveComObjects(), liveBefore_) << "a COM object was not released";
  }

  HRESULT Connect(const char16_t* ns, Ref<IWbemServices>& services) {
    Ref<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  locator.put_void());
    if (FAILED(hr)) return hr;
    Bstr resource(ns);
    return locator->ConnectServer(resource.text, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
  }

  HRESULT Query(IWbemServices* services, const char16_t* query, Ref<IEnumWbemClassObject>& result) {
    Bstr language(u"WQL"), text(query);
    return services->ExecQuery(language.text, text.text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                               nullptr, result.put());
  }

  // The text of `property` for every instance of the query's answer ("<null>" for VT_NULL).
  std::vector<std::string> Column(const char16_t* ns, const char16_t* query, const char16_t* property) {
    Ref<IWbemServices> services;
    EXPECT_EQ(Connect(ns, services), S_OK);
    if (services.p == nullptr) return {};
    Ref<IEnumWbemClassObject> found;
    EXPECT_EQ(Query(services.p, query, found), S_OK);
    std::vector<std::string> values;
    for (;;) {
      Ref<IWbemClassObject> object;
      ULONG returned = 0;
      found->Next(static_cast<LONG>(WBEM_INFINITE), 1, object.put(), &returned);
      if (returned == 0) break;
      VARIANT v;
      VariantInit(&v);
      EXPECT_EQ(object->Get(property, 0, &v, nullptr, nullptr), WBEM_S_NO_ERROR);
      if (v.vt == VT_BSTR) {
        std::u16string text(v.bstrVal);
        values.emplace_back(text.begin(), text.end());  // ASCII in these tests
      } else if (v.vt == VT_I4)
        values.push_back(std::to_string(v.lVal));
      else
        values.push_back(v.vt == VT_NULL ? "<null>" : "<vt " + std::to_string(v.vt) + ">");
      VariantClear(&v);
    }
    return values;
  }

  hl::test::TempMachine machine_;
  long liveBefore_ = 0;
};

TEST(ComRuntimeTest, ApartmentRulesAndLocatorCreation) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, &out),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(out, nullptr);

  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);

  struct Case {
    CLSID clsid;
    DWORD context;
    IID iid;
    bool aggregate;
    HRESULT expected;
  } cases[] = {
      {CLSID_WbemLocator, CLSCTX_INPROC_SERVER, IID_IWbemLocator, false, S_OK},
      {CLSID_WbemLocator, CLSCTX_ALL, IID_IUnknown, false, S_OK},
      {CLSID_WbemLocator, CLSCTX_LOCAL_SERVER, IID_IWbemLocator, false, REGDB_E_CLASSNOTREG},
      {IID_IWbemLocator, CLSCTX_INPROC_SERVER, IID_IWbemLocator, false, REGDB_E_CLASSNOTREG},
      {CLSID_WbemLocator, CLSCTX_INPROC_SERVER, IID_IWbemServices, false, E_NOINTERFACE},
      {CLSID_WbemLocator, CLSCTX_INPROC_SERVER, IID_IWbemLocator, true, CLASS_E_NOAGGREGATION},
  };
  long before = hl::platform::LiveComObjects();
  for (const Case& c : cases) {
    IUnknown* object = nullptr;
    IUnknown* outer = nullptr;
    if (c.aggregate) CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(&outer));
    EXPECT_EQ(CoCreateInstance(c.clsid, outer, c.context, c.iid, reinterpret_cast<void**>(&object)), c.expected);
    EXPECT_EQ(object != nullptr, SUCCEEDED(c.expected));
    if (object != nullptr) {
      IUnknown* again = nullptr;
      EXPECT_EQ(object->QueryInterface(IID_IWbemLocator, reinterpret_cast<void**>(&again)), S_OK);
      EXPECT_EQ(object->Release(), 1u);
      EXPECT_EQ(again->Release(), 0u);
    }
    if (outer != nullptr) outer->Release();
  }
  EXPECT_EQ(hl::platform::LiveComObjects(), before);

  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // one more than the successful calls: ignored
  EXPECT_FALSE(hl::platform::ComInitialized());
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << "the earlier apartment is gone";
  CoUninitialize();
}

TEST_F(ComTest, DefaultNamespacesFollowTheProductType) {
  struct Case {
    json os;
    HRESULT securityCenter;
    HRESULT cimv2;
  } cases[] = {
      {json::object(), S_OK, S_OK},
      {{{"productType", 1}}, S_OK, S_OK},
      {{{"productType", 2}}, WBEM_E_INVALID_NAMESPACE, S_OK},
      {{{"productType", 3}}, WBEM_E_INVALID_NAMESPACE, S_OK},
  };
  for (const Case& c : cases) {
    machine_.WriteMachineJson({{"os", c.os}});
    Ref<IWbemServices> sc, cim;
    EXPECT_EQ(Connect(u"root\\SecurityCenter2", sc), c.securityCenter) << c.os.dump();
    EXPECT_EQ(Connect(u"root\\CIMV2", cim), c.cimv2) << c.os.dump();
    EXPECT_EQ(sc.p != nullptr, c.securityCenter == S_OK);
    EXPECT_EQ(Column(u"root\\CIMV2", u"SELECT * FROM Win32_Product", u"Name"), std::vector<std::string>{});
  }
}

TEST_F(ComTest, NamespacesAreMatchedWithoutRegardToCaseOrSeparator) {
  machine_.WriteMachineJson({{"wmi", {{"ROOT\\SecurityCenter2", json::object()}}}});
  for (const char16_t* ns : {u"root\\securitycenter2", u"ROOT/SECURITYCENTER2", u"\\\\.\\root\\SecurityCenter2",
                             u"\\\\localhost\\root\\SecurityCenter2"}) {
    Ref<IWbemServices> services;
    EXPECT_EQ(Connect(ns, services), S_OK) << std::string(ns, ns + std::char_traits<char16_t>::length(ns));
  }
  Ref<IWbemServices> services;
  EXPECT_EQ(Connect(u"root\\CIMV2", services), WBEM_E_INVALID_NAMESPACE) << "only the listed namespaces exist";
  EXPECT_EQ(Connect(u"root\\SecurityCenter", services), WBEM_E_INVALID_NAMESPACE);
  EXPECT_EQ(Connect(u"\\\\OTHERPC\\root\\SecurityCenter2", services), HRESULT_FROM_WIN32(1722));
  EXPECT_EQ(services.p, nullptr);
}

TEST_F(ComTest, InstancesAndPropertiesComeFromMachineJson) {
  machine_.WriteMachineJson(json::parse(R"({
    "wmi": {
      "root\\SecurityCenter2": {"AntivirusProduct": [
        {"displayName": "Windows Defender", "productState": 397568},
        {"displayName": "Contoso AV", "productState": 4294967295},
        {"productState": 0}]},
      "root\\CIMV2": {"win32_product": [{"Name": "McAfee Agent"}, {"name": "7-Zip 19.00"}, {"Size": 12345678901}]}
    }})"));
  EXPECT_EQ(Column(u"root\\SecurityCenter2", u"SELECT * FROM AntivirusProduct", u"displayName"),
            (std::vector<std::string>{"Windows Defender", "Contoso AV", "<null>"}));
  EXPECT_EQ(Column(u"root\\SecurityCenter2", u"SELECT * FROM AntivirusProduct", u"productState"),
            (std::vector<std::string>{"397568", "-1", "0"}))
      << "uint32 values arrive as VT_I4, as WMI hands them out";
  EXPECT_EQ(Column(u"ROOT\\cimv2", u"select * from Win32_Product", u"NAME"),
            (std::vector<std::string>{"McAfee Agent", "7-Zip 19.00", "<null>"}));
  EXPECT_EQ(Column(u"root\\CIMV2", u"SELECT * FROM Win32_Product", u"Size"),
            (std::vector<std::string>{"<null>", "<null>", "12345678901"}))
      << "64-bit numbers arrive as text";
  EXPECT_EQ(Column(u"root\\CIMV2", u"SELECT * FROM Win32_Service", u"Name"), std::vector<std::string>{})
      << "a class the namespace does not list has no instances";
}

TEST_F(ComTest, OnlySelectAllQueriesAreUnderstood) {
  Ref<IWbemServices> services;
  ASSERT_EQ(Connect(u"root\\CIMV2", services), S_OK);
  struct Case {
    const char16_t* query;
    HRESULT expected;
  } cases[] = {
      {u"SELECT * FROM Win32_Product", S_OK},
      {u"  select   *   from   Win32_Product  ", S_OK},
      {u"SELECT*FROM Win32_Product", S_OK},
      {u"SELECT Name FROM Win32_Product", WBEM_E_INVALID_QUERY},
      {u"SELECT * FROM Win32_Product WHERE Name = 'x'", WBEM_E_INVALID_QUERY},
      {u"SELECT * FROM", WBEM_E_INVALID_QUERY},
      {u"SELECT * FROM Win32-Product", WBEM_E_INVALID_QUERY},
      {u"DELETE * FROM Win32_Product", WBEM_E_INVALID_QUERY},
      {u"", WBEM_E_INVALID_QUERY},
  };
  for (const Case& c : cases) {
    Ref<IEnumWbemClassObject> result;
    EXPECT_EQ(Query(services.p, c.query, result), c.expected);
    EXPECT_EQ(result.p != nullptr, c.expected == S_OK);
  }
  Bstr sql(u"SQL"), query(u"SELECT * FROM Win32_Product");
  Ref<IEnumWbemClassObject> result;
  EXPECT_EQ(services->ExecQuery(sql.text, query.text, 0x30, nullptr, result.put()), WBEM_E_INVALID_QUERY_TYPE);
  EXPECT_EQ(services->ExecQuery(nullptr, query.text, 0x30, nullptr, result.put()), WBEM_E_INVALID_PARAMETER);
}

TEST_F(ComTest, EnumeratorHandsOutBatchesAndKeepsItsDataAlive) {
  machine_.WriteMachineJson({{"wmi", {{"root\\CIMV2", {{"Win32_Product", {{{"Name", "A"}}, {{"Name", "B"}},
                                                                          {{"Name", "C"}}}}}}}}});
  Ref<IEnumWbemClassObject> result;
  {
    Ref<IWbemServices> services;
    ASSERT_EQ(Connect(u"root\\CIMV2", services), S_OK);
    ASSERT_EQ(Query(services.p, u"SELECT * FROM Win32_Product", result), S_OK);
  }
  hl::platform::ResetMachine();  // the machine may change; the answer already given stays valid
  EXPECT_EQ(result->Reset(), WBEM_E_INVALID_OPERATION) << "forward-only";

  IWbemClassObject* batch[2] = {};
  ULONG returned = 0;
  EXPECT_EQ(result->Next(static_cast<LONG>(WBEM_INFINITE), 2, batch, &returned), WBEM_S_NO_ERROR);
  ASSERT_EQ(returned, 2u);
  EXPECT_EQ(result->Next(0, 2, batch, nullptr), WBEM_E_INVALID_PARAMETER);
  batch[0]->Release();
  VARIANT v;
  VariantInit(&v);
  batch[1]->Get(u"Name", 0, &v, nullptr, nullptr);
  EXPECT_EQ(std::u16string(v.bstrVal), u"B");
  VariantClear(&v);
  batch[1]->Release();

  IWbemClassObject* last[2] = {};
  EXPECT_EQ(result->Next(static_cast<LONG>(WBEM_INFINITE), 2, last, &returned), WBEM_S_FALSE);
  ASSERT_EQ(returned, 1u);
  last[0]->Release();
  EXPECT_EQ(result->Next(static_cast<LONG>(WBEM_INFINITE), 1, last, &returned), WBEM_S_FALSE);
  EXPECT_EQ(returned, 0u);
}

TEST_F(ComTest, InjectedFaultsReachEachStep) {
  struct Case {
    json faults;
    HRESULT init, create, connectCim, connectSc, blanket, query;
  } cases[] = {
      {{{"CoInitializeEx", "0x80004005"}}, E_FAIL, S_OK, S_OK, S_OK, S_OK, S_OK},
      {{{"CoCreateInstance", 5}}, S_OK, E_ACCESSDENIED, S_OK, S_OK, S_OK, S_OK},
      {{{"ConnectServer:root\\CIMV2", "0x80041003"}}, S_OK, S_OK, WBEM_E_ACCESS_DENIED, S_OK, S_OK, S_OK},
      {{{"CoSetProxyBlanket", "0x80070005"}}, S_OK, S_OK, S_OK, S_OK, E_ACCESSDENIED, S_OK},
      {{{"ExecQuery:SELECT * FROM Win32_Product", "0x80041004"}}, S_OK, S_OK, S_OK, S_OK, S_OK,
       WBEM_E_PROVIDER_FAILURE},
      {{{"ExecQuery:SELECT * FROM AntivirusProduct", "0x80041004"}}, S_OK, S_OK, S_OK, S_OK, S_OK, S_OK},
  };
  for (const Case& c : cases) {
    machine_.WriteMachineJson({{"faults", c.faults}});
    SCOPED_TRACE(c.faults.dump());
    HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // nested in the fixture's
    EXPECT_EQ(init, c.init == S_OK ? S_FALSE : c.init);
    if (SUCCEEDED(init)) CoUninitialize();

    Ref<IWbemLocator> locator;
    EXPECT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                               locator.put_void()),
              c.create);
    Ref<IWbemServices> sc, cim;
    EXPECT_EQ(Connect(u"root\\SecurityCenter2", sc), c.connectSc == S_OK ? c.create : c.connectSc);
    EXPECT_EQ(Connect(u"root\\CIMV2", cim), c.connectCim == S_OK ? c.create : c.connectCim);
    if (cim.p == nullptr) continue;
    EXPECT_EQ(CoSetProxyBlanket(cim.p, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
              c.blanket);
    Ref<IEnumWbemClassObject> result;
    EXPECT_EQ(Query(cim.p, u"SELECT * FROM Win32_Product", result), c.query);
  }
}

TEST_F(ComTest, ProxyBlanketRefusesValuesComDoesNotKnow) {
  Ref<IWbemServices> services;
  ASSERT_EQ(Connect(u"root\\CIMV2", services), S_OK);
  EXPECT_EQ(CoSetProxyBlanket(services.p, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE),
            S_OK);
  EXPECT_EQ(CoSetProxyBlanket(services.p, 11, RPC_C_AUTHZ_NONE, nullptr, 3, 3, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(CoSetProxyBlanket(services.p, 10, 0, nullptr, 7, 3, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(CoSetProxyBlanket(services.p, 10, 0, nullptr, 3, 5, nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(CoSetProxyBlanket(nullptr, 10, 0, nullptr, 3, 3, nullptr, 0), E_INVALIDARG);
}

}  // namespace
