// GetAdaptersInfo of the stand-in: machine.json "adapters", else the host's interfaces.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/machine.h"
#include "platform/net/net_internal.h"
#include "platform/win32.h"

namespace {

using hl::platform::AdapterAddress;
using hl::platform::AdapterDescription;

std::string TextOr(const nlohmann::json& object, const char* key, const std::string& fallback) {
  auto it = object.find(key);
  return (it != object.end() && it->is_string()) ? it->get<std::string>() : fallback;
}

long long NumberOr(const nlohmann::json& object, const char* key, long long fallback) {
  auto it = object.find(key);
  if (it == object.end()) return fallback;
  if (it->is_boolean()) return it->get<bool>() ? 1 : 0;
  return it->is_number_integer() ? it->get<long long>() : fallback;
}

AdapterDescription ConfiguredAdapter(const nlohmann::json& entry, size_t position) {
  AdapterDescription adapter;
  adapter.index = static_cast<DWORD>(NumberOr(entry, "index", static_cast<long long>(position + 1)));
  adapter.name = TextOr(entry, "name", "{ADAPTER-" + std::to_string(adapter.index) + "}");
  adapter.description = TextOr(entry, "description", "Ethernet adapter " + std::to_string(adapter.index));
  adapter.type = static_cast<UINT>(NumberOr(entry, "type", MIB_IF_TYPE_ETHERNET));
  adapter.dhcpEnabled = static_cast<UINT>(NumberOr(entry, "dhcpEnabled", 0));
  adapter.gateway = TextOr(entry, "gateway", "");
  std::string hardware = TextOr(entry, "hardwareAddress", "");
  if (auto bytes = hl::platform::ParseHardwareAddress(hardware)) {
    adapter.hardwareAddress = std::move(*bytes);
  } else {
    std::fprintf(stderr, "hl: machine.json adapter %u: hardwareAddress \"%s\" ignored (at most 8 hex bytes)\n",
                 adapter.index, hardware.c_str());
  }
  auto addresses = entry.find("addresses");
  if (addresses != entry.end() && addresses->is_array()) {
    for (const auto& item : *addresses) {
      if (!item.is_object()) continue;
      AdapterAddress address;
      address.ip = TextOr(item, "ip", "0.0.0.0");
      address.mask = TextOr(item, "mask", "0.0.0.0");
      address.context = static_cast<DWORD>(NumberOr(item, "context", hl::platform::PackedIPv4(address.ip)));
      adapter.addresses.push_back(std::move(address));
    }
  }
  return adapter;
}

std::vector<AdapterDescription> CurrentAdapters() {
  auto machine = hl::platform::CurrentMachine();
  const auto& configured = machine->Section("adapters");
  if (!configured.is_array()) return hl::platform::HostAdapters();
  std::vector<AdapterDescription> adapters;
  for (size_t i = 0; i < configured.size(); ++i)
    if (configured[i].is_object()) adapters.push_back(ConfiguredAdapter(configured[i], i));
  return adapters;
}

// Copies at most size-1 bytes and terminates: the fixed fields of the records.
template <size_t N>
void CopyText(char (&field)[N], const std::string& text) {
  size_t length = text.size() < N ? text.size() : N - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

void FillAddress(IP_ADDR_STRING& record, const std::string& ip, const std::string& mask, DWORD context) {
  CopyText(record.IpAddress.String, ip);
  CopyText(record.IpMask.String, mask);
  record.Context = context;
}

size_t ExtraAddressCount(const std::vector<AdapterDescription>& adapters) {
  size_t extra = 0;
  for (const auto& adapter : adapters)
    if (adapter.addresses.size() > 1) extra += adapter.addresses.size() - 1;
  return extra;
}

}  // namespace

ULONG GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer) {
  if (SizePointer == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<AdapterDescription> adapters = CurrentAdapters();
  size_t extra = ExtraAddressCount(adapters);
  size_t needed = adapters.size() * sizeof(IP_ADAPTER_INFO) + extra * sizeof(IP_ADDR_STRING);
  bool sizing = AdapterInfo == nullptr || *SizePointer < needed;
  if (auto fault = hl::platform::InjectedFault("GetAdaptersInfo", sizing ? "size" : "query")) return *fault;
  if (adapters.empty()) return ERROR_NO_DATA;
  if (sizing) {
    *SizePointer = static_cast<ULONG>(needed);
    return ERROR_BUFFER_OVERFLOW;
  }

  std::memset(static_cast<void*>(AdapterInfo), 0, needed);
  auto* extraRecords = reinterpret_cast<IP_ADDR_STRING*>(AdapterInfo + adapters.size());
  for (size_t i = 0; i < adapters.size(); ++i) {
    const AdapterDescription& adapter = adapters[i];
    IP_ADAPTER_INFO& record = AdapterInfo[i];
    record.Next = i + 1 < adapters.size() ? &AdapterInfo[i + 1] : nullptr;
    record.ComboIndex = adapter.index;
    record.Index = adapter.index;
    CopyText(record.AdapterName, adapter.name);
    CopyText(record.Description, adapter.description);
    record.AddressLength = static_cast<UINT>(adapter.hardwareAddress.size());
    // An adapter may have no hardware address: then there is nothing to copy (and no buffer to copy from).
    if (!adapter.hardwareAddress.empty())
      std::memcpy(record.Address, adapter.hardwareAddress.data(), adapter.hardwareAddress.size());
    record.Type = adapter.type;
    record.DhcpEnabled = adapter.dhcpEnabled;
    if (adapter.addresses.empty()) {
      FillAddress(record.IpAddressList, "0.0.0.0", "0.0.0.0", 0);
    } else {
      IP_ADDR_STRING* previous = &record.IpAddressList;
      FillAddress(*previous, adapter.addresses[0].ip, adapter.addresses[0].mask, adapter.addresses[0].context);
      for (size_t k = 1; k < adapter.addresses.size(); ++k) {
        IP_ADDR_STRING* next = extraRecords++;
        FillAddress(*next, adapter.addresses[k].ip, adapter.addresses[k].mask, adapter.addresses[k].context);
        previous->Next = next;
        previous = next;
      }
    }
    FillAddress(record.GatewayList, adapter.gateway.empty() ? "0.0.0.0" : adapter.gateway, "0.0.0.0", 0);
  }
  *SizePointer = static_cast<ULONG>(needed);
  return ERROR_SUCCESS;
}
