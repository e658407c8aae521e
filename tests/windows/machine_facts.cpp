// Prints, as a machine.json, the facts the Windows API reports about the computer it runs on:
// version and edition, architecture, computer name, domain membership, adapters and the TEMP
// folder. The scenario tests run it under Wine and give the result to the Linux build, so that
// both builds of the tool see the same computer.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <lm.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string Narrow(const wchar_t* wide) {
  if (wide == nullptr) return "";
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), size, nullptr, nullptr);
  return out;
}

std::string OsSection() {
  OSVERSIONINFOEXA v{};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v));
  DWORD edition = 0;
  GetProductInfo(v.dwMajorVersion, v.dwMinorVersion, v.wServicePackMajor, v.wServicePackMinor, &edition);
  SYSTEM_INFO native{};
  GetNativeSystemInfo(&native);
  BOOL wow64 = FALSE;
  IsWow64Process(GetCurrentProcess(), &wow64);
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "{\"majorVersion\": %lu, \"minorVersion\": %lu, \"buildNumber\": %lu, \"platformId\": %lu, "
                "\"servicePackMajor\": %u, \"servicePackMinor\": %u, \"csdVersion\": %s, \"productType\": %u, "
                "\"suiteMask\": %u, \"edition\": %lu, \"architecture\": %u, \"wow64\": %s}",
                v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber, v.dwPlatformId, v.wServicePackMajor,
                v.wServicePackMinor, Quote(v.szCSDVersion).c_str(), v.wProductType, v.wSuiteMask, edition,
                native.wProcessorArchitecture, wow64 ? "true" : "false");
  return buf;
}

std::string JoinSection() {
  LPWSTR name = nullptr;
  NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
  if (NetGetJoinInformation(nullptr, &name, &status) != NERR_Success) return "";
  std::string out = "{\"name\": " + Quote(Narrow(name)) + ", \"status\": " + std::to_string(status) + "}";
  NetApiBufferFree(name);
  return out;
}

std::string HardwareAddress(const IP_ADAPTER_INFO& a) {
  std::string out;
  for (UINT i = 0; i < a.AddressLength && i < MAX_ADAPTER_ADDRESS_LENGTH; ++i) {
    char part[4];
    std::snprintf(part, sizeof part, "%02x", a.Address[i]);
    if (!out.empty()) out += ':';
    out += part;
  }
  return out;
}

std::string AdaptersSection() {
  ULONG size = 0;
  if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return "[]";
  std::vector<unsigned char> buffer(size);
  auto* first = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  if (GetAdaptersInfo(first, &size) != NO_ERROR) return "[]";
  std::string out = "[";
  for (IP_ADAPTER_INFO* a = first; a != nullptr; a = a->Next) {
    if (out.size() > 1) out += ", ";
    out += "{\"index\": " + std::to_string(a->Index) + ", \"name\": " + Quote(a->AdapterName) +
           ", \"description\": " + Quote(a->Description) + ", \"type\": " + std::to_string(a->Type) +
           ", \"dhcpEnabled\": " + std::to_string(a->DhcpEnabled) + ", \"gateway\": " +
           Quote(a->GatewayList.IpAddress.String) + ", \"hardwareAddress\": " + Quote(HardwareAddress(*a)) +
           ", \"addresses\": [";
    bool firstAddress = true;
    for (IP_ADDR_STRING* ip = &a->IpAddressList; ip != nullptr; ip = ip->Next) {
      if (!firstAddress) out += ", ";
      firstAddress = false;
      out += "{\"ip\": " + Quote(ip->IpAddress.String) + ", \"mask\": " + Quote(ip->IpMask.String) +
             ", \"context\": " + std::to_string(ip->Context) + "}";
    }
    out += "]}";
  }
  return out + "]";
}

}  // namespace

int main() {
  char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD computerSize = sizeof computer;
  GetComputerNameA(computer, &computerSize);
  char temp[MAX_PATH] = {};
  GetEnvironmentVariableA("TEMP", temp, MAX_PATH);

  std::string json = "{\n  \"description\": \"facts reported by the Windows API of the computer this ran on\",\n";
  json += "  \"os\": " + OsSection() + ",\n";
  json += "  \"computerName\": " + Quote(computer) + ",\n";
  json += "  \"environment\": {\"TEMP\": " + Quote(temp) + "},\n";
  if (std::string join = JoinSection(); !join.empty()) json += "  \"join\": " + join + ",\n";
  json += "  \"adapters\": " + AdaptersSection() + "\n}\n";
  std::fputs(json.c_str(), stdout);
  return 0;
}
