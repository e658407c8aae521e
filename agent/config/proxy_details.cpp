// The proxy items of the agent key, and the key container the proxy credentials rely on.
#include "agent/config/config_internal.h"
#include "agent/log/log.h"
#include "agent/registry/registry.h"

namespace hl::config {
namespace {

// Opens the default container of the base provider, creating it on first use.
bool AcquireDefaultContainer(HCRYPTPROV& provider) {
  if (CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, 0)) return true;
  return CryptAcquireContextA(&provider, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_NEWKEYSET) != FALSE;
}

// The pair for `keySpec` exists afterwards, generated when it was missing.
bool EnsureKeyPair(HCRYPTPROV provider, DWORD keySpec) {
  HCRYPTKEY key = 0;
  if (CryptGetUserKey(provider, keySpec, &key)) {
    CryptDestroyKey(key);
    return true;
  }
  if (GetLastError() != static_cast<DWORD>(NTE_NO_KEY)) return false;
  if (!CryptGenKey(provider, keySpec, 0, &key)) return false;
  CryptDestroyKey(key);
  return true;
}

// What the log may show of a secret: whether there is one, never its text.
const char* Masked(const OptString& secret) {
  if (!secret) return nullptr;
  return secret->empty() ? "" : kSecretMask;
}

}  // namespace

bool EnsureCryptographicClient() {
  HCRYPTPROV provider = 0;
  bool ok = AcquireDefaultContainer(provider);
  if (ok) {
    ok = EnsureKeyPair(provider, AT_SIGNATURE) && EnsureKeyPair(provider, AT_KEYEXCHANGE);
    CryptReleaseContext(provider, 0);
  }
  LogDebug(ok ? "Cryptographic client Ok\r\n" : "Cryptographic client error\r\n");
  return ok;
}

}  // namespace hl::config

int InitializeProxyDetails() {
  hl::config::EnsureCryptographicClient();

  const char* key = gv_RegKey.c_str();
  OptString storedPassword;
  ReadRegSZ(HKEY_LOCAL_MACHINE, key, "ProxyUserName", gv_proxyUserName);
  ReadRegSZ(HKEY_LOCAL_MACHINE, key, "ProxyPassword", storedPassword);
  ReadRegSZ(HKEY_LOCAL_MACHINE, key, "ProxyServerName", gv_proxyServerName);
  ReadRegSZ(HKEY_LOCAL_MACHINE, key, "ProxyByPass", gv_proxyByPass);
  // The password lines keep their place in the log, but never carry the secret itself.
  LogDebug("Password from registry: %s\n", hl::config::Masked(storedPassword));
  LogDebug("Encrypted password is: %s\n", hl::config::Masked(storedPassword));

  gv_proxyPassword = storedPassword ? hl::config::DecodeBase64(*storedPassword) : std::string();
  LogDebug("Decrypted password is: %s\n", hl::config::Masked(gv_proxyPassword));

  if (hl::config::EqualsNoCase(gv_proxyEnabled, "yes")) {
    const std::string stars = std::string(59, '*') + " \n";
    LogInfo(stars);
    LogInfo("Proxy Server Name -> %s \n", gv_proxyServerName);
    LogInfo("Proxy UserName    -> %s \n", gv_proxyUserName);
    LogInfo("Proxy ByPass List -> %s \n", gv_proxyByPass);
    LogInfo(stars);
  }
  return 0;
}
