// CryptoAPI key-container subset of the stand-in. Containers live under <machine>/crypt/.
#pragma once

#include "platform/core/win_types.h"

// ---- CryptoAPI key containers ----
typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTKEY;
typedef unsigned int ALG_ID;

#define PROV_RSA_FULL 1
#define MS_DEF_PROV_A "Microsoft Base Cryptographic Provider v1.0"
#define MS_ENHANCED_PROV_A "Microsoft Enhanced Cryptographic Provider v1.0"
#define MS_STRONG_PROV_A "Microsoft Strong Cryptographic Provider"
#define CRYPT_VERIFYCONTEXT 0xF0000000
#define CRYPT_NEWKEYSET 0x00000008
#define CRYPT_DELETEKEYSET 0x00000010
#define CRYPT_MACHINE_KEYSET 0x00000020
#define CRYPT_SILENT 0x00000040
#define CRYPT_EXPORTABLE 0x00000001
#define AT_KEYEXCHANGE 1
#define AT_SIGNATURE 2

#define NTE_BAD_UID (static_cast<HRESULT>(0x80090001L))
#define NTE_BAD_KEY (static_cast<HRESULT>(0x80090003L))
#define NTE_BAD_ALGID (static_cast<HRESULT>(0x80090008L))
#define NTE_BAD_FLAGS (static_cast<HRESULT>(0x80090009L))
#define NTE_NO_KEY (static_cast<HRESULT>(0x8009000DL))
#define NTE_EXISTS (static_cast<HRESULT>(0x8009000FL))
#define NTE_BAD_KEYSET (static_cast<HRESULT>(0x80090016L))
#define NTE_PROV_TYPE_NOT_DEF (static_cast<HRESULT>(0x80090017L))
#define NTE_KEYSET_NOT_DEF (static_cast<HRESULT>(0x80090019L))
#define NTE_BAD_KEYSET_PARAM (static_cast<HRESULT>(0x8009001FL))

// Container null: the user's default container (machine.json "userName", else "User").
// Missing container without CRYPT_NEWKEYSET: NTE_BAD_KEYSET; existing one with it: NTE_EXISTS.
BOOL CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR szContainer, LPCSTR szProvider, DWORD dwProvType,
                          DWORD dwFlags);
// A key pair not generated yet: NTE_NO_KEY.
BOOL CryptGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey);
// AT_SIGNATURE and AT_KEYEXCHANGE pairs are stored in the container; other algorithms are session keys.
BOOL CryptGenKey(HCRYPTPROV hProv, ALG_ID Algid, DWORD dwFlags, HCRYPTKEY* phKey);
BOOL CryptDestroyKey(HCRYPTKEY hKey);
BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
