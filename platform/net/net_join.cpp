// NetAPI of the stand-in: the buffer table, the join information and the domain controller.
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/core/machine.h"
#include "platform/net/net_internal.h"
#include "platform/core/core_internal.h"
#include "platform/win32.h"

namespace hl::platform {
namespace {

std::mutex g_bufferMutex;
std::map<void*, std::unique_ptr<std::byte[]>> g_buffers;

constexpr size_t kMaxNetApiBuffer = size_t{1} << 30;

}  // namespace

void* AllocateNetApiBuffer(size_t bytes) {
  if (bytes > kMaxNetApiBuffer) return nullptr;
  auto block = std::make_unique<std::byte[]>(bytes == 0 ? 1 : bytes);  // value-initialised: zeroed
  void* address = block.get();
  std::lock_guard lock(g_bufferMutex);
  g_buffers.emplace(address, std::move(block));
  return address;
}

bool FreeNetApiBuffer(void* buffer) {
  std::lock_guard lock(g_bufferMutex);
  return g_buffers.erase(buffer) == 1;
}

}  // namespace hl::platform

namespace {

std::string TextOr(const nlohmann::json& object, const char* key, const std::string& fallback) {
  auto it = object.find(key);
  return (it != object.end() && it->is_string()) ? it->get<std::string>() : fallback;
}

bool IsLocalServer(LPCWSTR server) { return server == nullptr || server[0] == u'\0'; }

}  // namespace

NET_API_STATUS NetGetJoinInformation(LPCWSTR lpServer, LPWSTR* lpNameBuffer, PNETSETUP_JOIN_STATUS BufferType) {
  if (auto fault = hl::platform::InjectedFault("NetGetJoinInformation")) return *fault;
  if (lpNameBuffer == nullptr || BufferType == nullptr) return ERROR_INVALID_PARAMETER;
  if (!IsLocalServer(lpServer)) return RPC_S_SERVER_UNAVAILABLE;
  auto machine = hl::platform::CurrentMachine();
  const auto& join = machine->Section("join");
  std::string name = "WORKGROUP";
  int status = NetSetupWorkgroupName;
  if (join.is_object()) {
    name = TextOr(join, "name", name);
    auto it = join.find("status");
    if (it != join.end() && it->is_number_integer()) status = static_cast<int>(it->get<long long>());
  }
  std::u16string wide = hl::platform::Utf8ToUtf16(name);
  auto* buffer = static_cast<WCHAR*>(hl::platform::AllocateNetApiBuffer((wide.size() + 1) * sizeof(WCHAR)));
  if (buffer == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  std::memcpy(buffer, wide.data(), wide.size() * sizeof(WCHAR));
  *lpNameBuffer = buffer;
  *BufferType = static_cast<NETSETUP_JOIN_STATUS>(status);
  return NERR_Success;
}

NET_API_STATUS NetApiBufferFree(LPVOID Buffer) {
  if (Buffer == nullptr) return NERR_Success;
  return hl::platform::FreeNetApiBuffer(Buffer) ? NERR_Success : ERROR_INVALID_PARAMETER;
}

DWORD DsGetDcNameA(LPCSTR ComputerName, LPCSTR DomainName, GUID* DomainGuid, LPCSTR SiteName, ULONG Flags,
                   PDOMAIN_CONTROLLER_INFOA* DomainControllerInfo) {
  (void)ComputerName;
  (void)DomainGuid;
  (void)SiteName;
  if (auto fault = hl::platform::InjectedFault("DsGetDcNameA", DomainName ? DomainName : "")) return *fault;
  if (DomainControllerInfo == nullptr) return ERROR_INVALID_PARAMETER;
  if ((Flags & DS_RETURN_FLAT_NAME) && (Flags & DS_RETURN_DNS_NAME)) return ERROR_INVALID_FLAGS;
  auto machine = hl::platform::CurrentMachine();
  const auto& dc = machine->Section("domainController");
  if (!dc.is_object()) return ERROR_NO_SUCH_DOMAIN;

  const std::string texts[] = {TextOr(dc, "name", ""),       TextOr(dc, "address", ""),
                               TextOr(dc, "domainName", ""), TextOr(dc, "forestName", ""),
                               TextOr(dc, "dcSiteName", ""), TextOr(dc, "clientSiteName", "")};
  if (DomainName != nullptr && *DomainName != '\0' && !hl::platform::EqualsNoCase(DomainName, texts[2]) &&
      !hl::platform::EqualsNoCase(DomainName, texts[3]))
    return ERROR_NO_SUCH_DOMAIN;

  size_t bytes = sizeof(DOMAIN_CONTROLLER_INFOA);
  for (const auto& text : texts) bytes += text.size() + 1;
  void* block = hl::platform::AllocateNetApiBuffer(bytes);
  if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  auto* info = static_cast<DOMAIN_CONTROLLER_INFOA*>(block);
  char* cursor = static_cast<char*>(block) + sizeof(DOMAIN_CONTROLLER_INFOA);
  LPSTR* fields[] = {&info->DomainControllerName, &info->DomainControllerAddress, &info->DomainName,
                     &info->DnsForestName,        &info->DcSiteName,              &info->ClientSiteName};
  for (size_t i = 0; i < 6; ++i) {
    std::memcpy(cursor, texts[i].c_str(), texts[i].size() + 1);
    *fields[i] = cursor;
    cursor += texts[i].size() + 1;
  }
  // "\\10.0.0.5" is an internet address, "\\DC01" a NetBIOS one.
  const std::string& address = texts[1];
  bool inet = address.size() > 2 && address[2] >= '0' && address[2] <= '9';
  info->DomainControllerAddressType = inet ? DS_INET_ADDRESS : DS_NETBIOS_ADDRESS;
  *DomainControllerInfo = info;
  return ERROR_SUCCESS;
}
