// The host's real network interfaces, for machines that do not list their adapters.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/net/net_internal.h"
#include "platform/net/win_net.h"

namespace hl::platform {
namespace {

std::string AddressText(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return "0.0.0.0";
  char text[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) return "0.0.0.0";
  return text;
}

UINT AdapterType(unsigned short hardwareType) {
  switch (hardwareType) {
    case ARPHRD_ETHER:
      return MIB_IF_TYPE_ETHERNET;
    case ARPHRD_IEEE80211:
      return IF_TYPE_IEEE80211;
    case ARPHRD_PPP:
      return MIB_IF_TYPE_PPP;
    default:
      return MIB_IF_TYPE_OTHER;
  }
}

// /sys/class/net/<name>/address, for kernels that do not list AF_PACKET entries.
std::vector<BYTE> SysfsHardwareAddress(const std::string& name) {
  std::ifstream in("/sys/class/net/" + name + "/address");
  std::string text;
  if (!(in >> text)) return {};
  auto bytes = ParseHardwareAddress(text);
  if (!bytes || std::all_of(bytes->begin(), bytes->end(), [](BYTE b) { return b == 0; })) return {};
  return *bytes;
}

}  // namespace

std::optional<std::vector<BYTE>> ParseHardwareAddress(const std::string& text) {
  std::vector<BYTE> bytes;
  if (text.empty()) return bytes;
  unsigned value = 0;
  int digits = 0;
  for (char c : text + ":") {
    if (c == ':' || c == '-') {
      if (digits == 0 || bytes.size() == MAX_ADAPTER_ADDRESS_LENGTH) return std::nullopt;
      bytes.push_back(static_cast<BYTE>(value));
      value = 0;
      digits = 0;
      continue;
    }
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return std::nullopt;
    if (++digits > 2) return std::nullopt;
    value = value * 16 + digit;
  }
  return bytes;
}

DWORD PackedIPv4(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return 0;
  return static_cast<DWORD>(address.s_addr);
}

std::vector<AdapterDescription> HostAdapters() {
  std::vector<AdapterDescription> adapters;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return adapters;
  std::vector<bool> hardwareKnown;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
    std::string name = entry->ifa_name;
    auto it = std::find_if(adapters.begin(), adapters.end(),
                           [&](const AdapterDescription& a) { return a.name == name; });
    if (it == adapters.end()) {
      AdapterDescription adapter;
      adapter.name = name;
      adapter.description = name;
      adapter.index = if_nametoindex(name.c_str());
      adapters.push_back(std::move(adapter));
      hardwareKnown.push_back(false);
      it = adapters.end() - 1;
    }
    size_t position = static_cast<size_t>(it - adapters.begin());
    if (entry->ifa_addr == nullptr) continue;
    if (entry->ifa_addr->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
      size_t length = std::min<size_t>(link->sll_halen, MAX_ADAPTER_ADDRESS_LENGTH);
      it->hardwareAddress.assign(link->sll_addr, link->sll_addr + length);
      it->type = AdapterType(link->sll_hatype);
      hardwareKnown[position] = true;
    } else if (entry->ifa_addr->sa_family == AF_INET) {
      AdapterAddress address;
      address.ip = AddressText(entry->ifa_addr);
      address.mask = AddressText(entry->ifa_netmask);
      address.context = PackedIPv4(address.ip);
      it->addresses.push_back(std::move(address));
    }
  }
  freeifaddrs(list);
  for (size_t i = 0; i < adapters.size(); ++i)
    if (!hardwareKnown[i]) adapters[i].hardwareAddress = SysfsHardwareAddress(adapters[i].name);
  return adapters;
}

}  // namespace hl::platform
