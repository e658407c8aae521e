// WMI objects of the stand-in, answering from machine.json "wmi":
//   "wmi": { "root\\SecurityCenter2": { "AntivirusProduct": [ {"displayName": "...", "productState": 397568} ] },
//            "root\\CIMV2": { "Win32_Product": [ {"Name": "7-Zip 19.00"} ] } }
// With a "wmi" section exactly the namespaces listed exist; without one a workstation has
// root\CIMV2 and root\SecurityCenter2, a server (os.productType 2 or 3) only root\CIMV2, all empty.
// Namespace, class and property names compare without regard to case. A class a namespace does
// not list has no instances. ExecQuery understands "SELECT * FROM <class>" only.
#include <cctype>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/com/com_internal.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"

namespace hl::platform {
namespace {

using Json = nlohmann::json;
using JsonRef = std::shared_ptr<const Json>;  // keeps the machine (and so the JSON) alive

// Namespace text with "/" as "\\" and a local-computer prefix ("\\\\.\\", "\\\\localhost\\") removed.
// nullopt when it names another computer.
std::optional<std::string> LocalNamespace(std::string ns) {
  for (char& c : ns)
    if (c == '/') c = '\\';
  if (ns.rfind("\\\\", 0) != 0) return ns;
  size_t end = ns.find('\\', 2);
  std::string server = ns.substr(2, end == std::string::npos ? std::string::npos : end - 2);
  if (server != "." && !EqualsNoCase(server, "localhost")) return std::nullopt;
  return end == std::string::npos ? std::string() : ns.substr(end + 1);
}

bool IsServer(const Machine& machine) {
  const Json& os = machine.Section("os");
  if (!os.is_object()) return false;
  auto type = os.find("productType");
  if (type == os.end() || !type->is_number_integer()) return false;
  long long value = type->get<long long>();
  return value == 2 || value == 3;
}

// The member of `object` named `name` without regard to case, or null.
const Json* FindNoCase(const Json& object, std::string_view name) {
  if (!object.is_object()) return nullptr;
  auto exact = object.find(name);
  if (exact != object.end()) return &*exact;
  for (auto it = object.begin(); it != object.end(); ++it)
    if (EqualsNoCase(it.key(), name)) return &*it;
  return nullptr;
}

const Json& EmptyObject() {
  static const Json empty = Json::object();
  return empty;
}

// The classes of namespace `ns` on the current machine, or null when it does not exist.
JsonRef FindNamespace(const std::string& ns) {
  std::shared_ptr<const Machine> machine = CurrentMachine();
  const Json& wmi = machine->Section("wmi");
  if (wmi.is_object()) {
    for (auto it = wmi.begin(); it != wmi.end(); ++it) {
      std::optional<std::string> listed = LocalNamespace(it.key());
      if (listed && EqualsNoCase(*listed, ns)) return JsonRef(machine, it->is_object() ? &*it : &EmptyObject());
    }
    return nullptr;
  }
  if (EqualsNoCase(ns, "root\\CIMV2") || (!IsServer(*machine) && EqualsNoCase(ns, "root\\SecurityCenter2")))
    return JsonRef(machine, &EmptyObject());
  return nullptr;
}

// The class name of "SELECT * FROM <class>" (keywords in any case, blanks free), or nullopt.
std::optional<std::string> ParseSelectAll(std::string_view query) {
  std::vector<std::string> words;
  std::string word;
  for (char c : query) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else if (c == '*') {
      if (!word.empty()) words.push_back(std::move(word));  // "SELECT*FROM" is valid WQL
      word.clear();
      words.emplace_back("*");
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  if (words.size() != 4 || !EqualsNoCase(words[0], "SELECT") || words[1] != "*" || !EqualsNoCase(words[2], "FROM"))
    return std::nullopt;
  const std::string& name = words[3];
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return std::nullopt;
  if (std::isdigit(static_cast<unsigned char>(name.front()))) return std::nullopt;
  return name;
}

// Fills `out` from a JSON property value: text as VT_BSTR, numbers that fit 32 bits as VT_I4
// (unsigned ones wrap, as WMI hands out uint32), wider integers as decimal text (as WMI hands
// out 64-bit numbers), booleans as VT_BOOL, other numbers as VT_R8, anything else as VT_NULL.
void ToVariant(const Json* value, VARIANT* out, CIMTYPE* type) {
  VariantInit(out);
  CIMTYPE cim = CIM_EMPTY;
  if (value == nullptr || value->is_null()) {
    out->vt = VT_NULL;
  } else if (value->is_string()) {
    std::u16string text = Utf8ToUtf16(value->get_ref<const std::string&>());
    out->vt = VT_BSTR;
    out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    cim = CIM_STRING;
  } else if (value->is_boolean()) {
    out->vt = VT_BOOL;
    out->boolVal = value->get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
    cim = CIM_BOOLEAN;
  } else if (value->is_number_integer()) {
    bool isUnsigned = value->is_number_unsigned();
    unsigned long long u = isUnsigned ? value->get<unsigned long long>() : 0;
    long long s = isUnsigned ? 0 : value->get<long long>();
    if (isUnsigned ? u <= 0xFFFFFFFFull : (s >= INT32_MIN && s <= INT32_MAX)) {
      out->vt = VT_I4;
      out->lVal = isUnsigned ? static_cast<LONG>(static_cast<uint32_t>(u)) : static_cast<LONG>(s);
      cim = isUnsigned && u > INT32_MAX ? CIM_UINT32 : CIM_SINT32;
    } else {
      std::string digits = isUnsigned ? std::to_string(u) : std::to_string(s);
      std::u16string text(digits.begin(), digits.end());
      out->vt = VT_BSTR;
      out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      cim = isUnsigned ? CIM_UINT64 : CIM_SINT64;
    }
  } else if (value->is_number()) {
    out->vt = VT_R8;
    out->dblVal = value->get<double>();
    cim = CIM_REAL64;
  } else {
    out->vt = VT_NULL;
    cim = CIM_ILLEGAL;
  }
  if (type != nullptr) *type = cim;
}

class WbemClassObject final : public ComObject<IWbemClassObject> {
 public:
  explicit WbemClassObject(JsonRef instance) : instance_(std::move(instance)) {}

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR wszName, LONG lFlags, VARIANT* pVal, CIMTYPE* pType,
                                LONG* plFlavor) override {
    (void)lFlags;
    if (wszName == nullptr) return WBEM_E_INVALID_PARAMETER;
    const Json* value = FindNoCase(*instance_, Utf16ToUtf8(wszName));
    if (pVal != nullptr) {
      ToVariant(value, pVal, pType);
    } else if (pType != nullptr) {
      VARIANT scratch;
      ToVariant(value, &scratch, pType);
      VariantClear(&scratch);
    }
    if (plFlavor != nullptr) *plFlavor = 0;  // WBEM_FLAVOR_ORIGIN_LOCAL
    return WBEM_S_NO_ERROR;
  }

 protected:
  const IID& InterfaceId() const override { return IID_IWbemClassObject; }

 private:
  JsonRef instance_;
};

class WbemEnumerator final : public ComObject<IEnumWbemClassObject> {
 public:
  WbemEnumerator(std::vector<JsonRef> instances, bool forwardOnly)
      : instances_(std::move(instances)), forwardOnly_(forwardOnly) {}

  HRESULT STDMETHODCALLTYPE Reset() override {
    if (forwardOnly_) return WBEM_E_INVALID_OPERATION;
    next_ = 0;
    return WBEM_S_NO_ERROR;
  }

  HRESULT STDMETHODCALLTYPE Next(LONG lTimeout, ULONG uCount, IWbemClassObject** apObjects,
                                 ULONG* puReturned) override {
    if (apObjects == nullptr || puReturned == nullptr) return WBEM_E_INVALID_PARAMETER;
    if (lTimeout < 0 && lTimeout != static_cast<LONG>(WBEM_INFINITE)) return WBEM_E_INVALID_PARAMETER;
    ULONG returned = 0;
    while (returned < uCount && next_ < instances_.size())
      apObjects[returned++] = NewComObject<WbemClassObject>(instances_[next_++]);
    *puReturned = returned;
    return returned == uCount ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

  HRESULT STDMETHODCALLTYPE Skip(LONG lTimeout, ULONG nCount) override {
    if (lTimeout < 0 && lTimeout != static_cast<LONG>(WBEM_INFINITE)) return WBEM_E_INVALID_PARAMETER;
    size_t left = instances_.size() - next_;
    size_t skipped = nCount < left ? nCount : left;
    next_ += skipped;
    return skipped == nCount ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
  }

 protected:
  const IID& InterfaceId() const override { return IID_IEnumWbemClassObject; }

 private:
  std::vector<JsonRef> instances_;
  size_t next_ = 0;
  bool forwardOnly_;
};

class WbemServices final : public ComObject<IWbemServices> {
 public:
  explicit WbemServices(JsonRef classes) : classes_(std::move(classes)) {}

  HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags,
                                      IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) override {
    (void)pCtx;
    if (ppEnum == nullptr) return WBEM_E_INVALID_PARAMETER;
    *ppEnum = nullptr;
    if (strQueryLanguage == nullptr || strQuery == nullptr) return WBEM_E_INVALID_PARAMETER;
    std::string query = Utf16ToUtf8(strQuery);
    if (HRESULT fault = InjectedComFault("ExecQuery", query); FAILED(fault)) return fault;
    if (!EqualsNoCase(Utf16ToUtf8(strQueryLanguage), "WQL")) return WBEM_E_INVALID_QUERY_TYPE;
    std::optional<std::string> className = ParseSelectAll(query);
    if (!className) return WBEM_E_INVALID_QUERY;

    std::vector<JsonRef> instances;
    if (const Json* listed = FindNoCase(*classes_, *className)) {
      if (listed->is_array()) {
        for (const Json& instance : *listed) instances.emplace_back(classes_, &instance);
      } else if (listed->is_object()) {
        instances.emplace_back(classes_, listed);  // one instance written without the list
      }
    }
    *ppEnum = NewComObject<WbemEnumerator>(std::move(instances), (lFlags & WBEM_FLAG_FORWARD_ONLY) != 0);
    return WBEM_S_NO_ERROR;
  }

 protected:
  const IID& InterfaceId() const override { return IID_IWbemServices; }

 private:
  JsonRef classes_;
};

class WbemLocator final : public ComObject<IWbemLocator> {
 public:
  HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR strNetworkResource, const BSTR strUser, const BSTR strPassword,
                                          const BSTR strLocale, LONG lSecurityFlags, const BSTR strAuthority,
                                          IWbemContext* pCtx, IWbemServices** ppNamespace) override {
    (void)strPassword;
    (void)strLocale;
    (void)lSecurityFlags;
    (void)strAuthority;
    (void)pCtx;
    if (ppNamespace == nullptr || strNetworkResource == nullptr) return WBEM_E_INVALID_PARAMETER;
    *ppNamespace = nullptr;
    std::string requested = Utf16ToUtf8(strNetworkResource);
    if (HRESULT fault = InjectedComFault("ConnectServer", requested); FAILED(fault)) return fault;
    std::optional<std::string> ns = LocalNamespace(requested);
    if (!ns) return HRESULT_FROM_WIN32(1722);  // RPC_S_SERVER_UNAVAILABLE: no other computer here
    // Windows refuses a user name for a local connection.
    if (strUser != nullptr && *strUser != 0) return WBEM_E_LOCAL_CREDENTIALS;
    JsonRef classes = FindNamespace(*ns);
    if (!classes) return WBEM_E_INVALID_NAMESPACE;
    *ppNamespace = NewComObject<WbemServices>(std::move(classes));
    return WBEM_S_NO_ERROR;
  }

 protected:
  const IID& InterfaceId() const override { return IID_IWbemLocator; }
};

}  // namespace

IWbemLocator* NewWbemLocator() { return NewComObject<WbemLocator>(); }

}  // namespace hl::platform
