// CryptoAPI key containers of the stand-in. A container is a folder
// <machine>/crypt/{user,machine}/<name>/ holding one file per key pair ("signature.key",
// "exchange.key"), so a container created by one process is found by the next.
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include "platform/core/handles.h"
#include "platform/core/machine.h"
#include "platform/core/core_internal.h"
#include "platform/crypt/win_crypt.h"

namespace {

using hl::platform::Fail;

constexpr ALG_ID kCalgRsaSign = 0x00002400;
constexpr ALG_ID kCalgRsaKeyx = 0x0000a400;

struct CryptProvider : hl::platform::KernelObject {
  std::filesystem::path container;  // empty for a verification context
  std::set<DWORD> ephemeralPairs;   // key pairs of a verification context
};
struct CryptKey : hl::platform::KernelObject {
  ALG_ID algorithm = 0;
};

DWORD Error(HRESULT code) { return static_cast<DWORD>(code); }

bool KnownProvider(LPCSTR name) {
  if (name == nullptr) return true;
  for (const char* known : {MS_DEF_PROV_A, MS_ENHANCED_PROV_A, MS_STRONG_PROV_A})
    if (hl::platform::EqualsNoCase(name, known)) return true;
  return false;
}

// Container names may hold any character; keep them inside their folder.
std::string SafeFolderName(const std::string& name) {
  std::string safe;
  for (char c : name) safe.push_back((c == '/' || c == '\\' || c == ':' || c == '\0') ? '_' : c);
  if (safe.empty() || safe == "." || safe == "..") safe = "_" + safe;
  return safe;
}

std::string DefaultContainerName(const hl::platform::Machine& machine) {
  const auto& user = machine.Section("userName");
  return user.is_string() && !user.get<std::string>().empty() ? user.get<std::string>() : "User";
}

// The key kind (AT_SIGNATURE or AT_KEYEXCHANGE) a stored pair answers to, or 0 for session keys.
DWORD PairSpec(ALG_ID algorithm) {
  if (algorithm == AT_SIGNATURE || algorithm == kCalgRsaSign) return AT_SIGNATURE;
  if (algorithm == AT_KEYEXCHANGE || algorithm == kCalgRsaKeyx) return AT_KEYEXCHANGE;
  return 0;
}

std::filesystem::path PairFile(const std::filesystem::path& container, DWORD keySpec) {
  return container / (keySpec == AT_SIGNATURE ? "signature.key" : "exchange.key");
}

bool WritePair(const std::filesystem::path& file) {
  std::random_device random;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  static const char digits[] = "0123456789abcdef";
  for (int i = 0; i < 128; ++i) out.put(digits[random() % 16]);
  out.put('\n');
  return static_cast<bool>(out);
}

HCRYPTKEY NewKeyHandle(ALG_ID algorithm) {
  auto key = std::make_shared<CryptKey>();
  key->algorithm = algorithm;
  return reinterpret_cast<HCRYPTKEY>(hl::platform::RegisterHandle(key));
}

std::shared_ptr<CryptProvider> LookupProvider(HCRYPTPROV handle) {
  return hl::platform::LookupHandleAs<CryptProvider>(reinterpret_cast<HANDLE>(handle));
}

}  // namespace

BOOL CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider, DWORD dwProvType,
                          DWORD dwFlags) {
  if (phProv == nullptr) return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER), FALSE);
  auto machine = hl::platform::CurrentMachine();
  std::string name = szContainer != nullptr ? szContainer : DefaultContainerName(*machine);
  if (auto fault = hl::platform::InjectedFault("CryptAcquireContextA", name)) return Fail(*fault, FALSE);
  constexpr DWORD kKnownFlags = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET |
                                CRYPT_MACHINE_KEYSET | CRYPT_SILENT;
  if ((dwFlags & ~kKnownFlags) != 0) return Fail(Error(NTE_BAD_FLAGS), FALSE);
  if (dwProvType != PROV_RSA_FULL) return Fail(Error(NTE_PROV_TYPE_NOT_DEF), FALSE);
  if (!KnownProvider(szProvider)) return Fail(Error(NTE_KEYSET_NOT_DEF), FALSE);

  auto provider = std::make_shared<CryptProvider>();
  if ((dwFlags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT) {
    if (szContainer != nullptr || (dwFlags & (CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET)))
      return Fail(Error(NTE_BAD_FLAGS), FALSE);
  } else {
    if (!machine->present()) return Fail(Error(NTE_BAD_KEYSET), FALSE);  // nowhere to keep containers
    const char* scope = (dwFlags & CRYPT_MACHINE_KEYSET) ? "machine" : "user";
    provider->container = machine->root / "crypt" / scope / SafeFolderName(name);
    std::error_code ec;
    bool exists = std::filesystem::is_directory(provider->container, ec);
    if (dwFlags & CRYPT_DELETEKEYSET) {
      if (!exists) return Fail(Error(NTE_BAD_KEYSET), FALSE);
      std::filesystem::remove_all(provider->container, ec);
      *phProv = 0;
      return TRUE;
    }
    if (dwFlags & CRYPT_NEWKEYSET) {
      if (exists) return Fail(Error(NTE_EXISTS), FALSE);
      if (!std::filesystem::create_directories(provider->container, ec))
        return Fail(static_cast<DWORD>(ERROR_ACCESS_DENIED), FALSE);
    } else if (!exists) {
      return Fail(Error(NTE_BAD_KEYSET), FALSE);
    }
  }
  *phProv = reinterpret_cast<HCRYPTPROV>(hl::platform::RegisterHandle(provider));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey) {
  auto provider = LookupProvider(hProv);
  if (!provider) return Fail(Error(NTE_BAD_UID), FALSE);
  if (phUserKey == nullptr) return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER), FALSE);
  if (auto fault = hl::platform::InjectedFault("CryptGetUserKey")) return Fail(*fault, FALSE);
  if (dwKeySpec != AT_SIGNATURE && dwKeySpec != AT_KEYEXCHANGE) return Fail(Error(NTE_BAD_KEY), FALSE);
  std::error_code ec;
  bool present = provider->container.empty() ? provider->ephemeralPairs.count(dwKeySpec) != 0
                                             : std::filesystem::is_regular_file(PairFile(provider->container, dwKeySpec), ec);
  if (!present) return Fail(Error(NTE_NO_KEY), FALSE);
  *phUserKey = NewKeyHandle(dwKeySpec);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey) {
  (void)dwFlags;  // key length and exportability do not matter here
  auto provider = LookupProvider(hProv);
  if (!provider) return Fail(Error(NTE_BAD_UID), FALSE);
  if (phKey == nullptr) return Fail(static_cast<DWORD>(ERROR_INVALID_PARAMETER), FALSE);
  if (auto fault = hl::platform::InjectedFault("CryptGenKey")) return Fail(*fault, FALSE);
  if (Algid == 0) return Fail(Error(NTE_BAD_ALGID), FALSE);
  if (DWORD keySpec = PairSpec(Algid)) {
    if (provider->container.empty()) {
      provider->ephemeralPairs.insert(keySpec);
    } else if (!WritePair(PairFile(provider->container, keySpec))) {
      return Fail(static_cast<DWORD>(ERROR_WRITE_FAULT), FALSE);
    }
  }
  *phKey = NewKeyHandle(Algid);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL CryptDestroyKey(HCRYPTKEY hKey) {
  HANDLE handle = reinterpret_cast<HANDLE>(hKey);
  if (!hl::platform::LookupHandleAs<CryptKey>(handle) || !hl::platform::ReleaseHandle(handle))
    return Fail(Error(NTE_BAD_KEY), FALSE);
  return TRUE;
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
  HANDLE handle = reinterpret_cast<HANDLE>(hProv);
  if (!LookupProvider(hProv)) return Fail(Error(NTE_BAD_UID), FALSE);
  if (dwFlags != 0) return Fail(Error(NTE_BAD_FLAGS), FALSE);
  hl::platform::ReleaseHandle(handle);
  return TRUE;
}
