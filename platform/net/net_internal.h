// Internal pieces shared by the stand-in's network, service and crypto sources.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/win_types.h"

namespace hl::platform {

// A zeroed block owned by the NetAPI buffer table until NetApiBufferFree; null when too large.
void* AllocateNetApiBuffer(size_t bytes);
// False when `buffer` was not handed out by AllocateNetApiBuffer (or was freed already).
bool FreeNetApiBuffer(void* buffer);

// The host's own name (gethostname), without domain part.
std::string HostComputerName();

// One network adapter as GetAdaptersInfo reports it.
struct AdapterAddress {
  std::string ip;
  std::string mask;
  DWORD context = 0;
};
struct AdapterDescription {
  std::string name;
  std::string description;
  DWORD index = 0;
  UINT type = 6;  // MIB_IF_TYPE_ETHERNET
  UINT dhcpEnabled = 0;
  std::vector<BYTE> hardwareAddress;  // at most MAX_ADAPTER_ADDRESS_LENGTH bytes
  std::vector<AdapterAddress> addresses;  // empty: the adapter reports 0.0.0.0
  std::string gateway;
};

// The host's interfaces other than loopback, in the order the kernel lists them.
std::vector<AdapterDescription> HostAdapters();

// "00:1a:2b:3c:4d:5e" (":" or "-" between one- or two-digit hexadecimal bytes, at most
// MAX_ADAPTER_ADDRESS_LENGTH bytes); an empty text is an empty address; nullopt when malformed.
std::optional<std::vector<BYTE>> ParseHardwareAddress(const std::string& text);

// An IPv4 address text as a DWORD in network byte order (as Windows stores contexts); 0 if invalid.
DWORD PackedIPv4(const std::string& text);

}  // namespace hl::platform
