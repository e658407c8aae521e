// Pieces shared by the agent configuration sources.
#pragma once

#include <string>
#include <string_view>

#include "agent/config/agent_config.h"

namespace hl::config {

// The agent's subkeys under HKEY_LOCAL_MACHINE.
std::string ServerInfoKey();
std::string SystemDetailsKey();

// ASCII case-insensitive equality of a value with a literal; none never matches.
bool EqualsNoCase(const OptString& value, std::string_view literal);
// The leading decimal integer of a text, as atoi reads it (0 when there is none).
int DecimalValue(const OptString& text);

// Standard Base64 with "=" fill after trimming white space; empty on any malformation.
std::string DecodeBase64(std::string_view text);

// Written to the log in place of a secret.
inline constexpr const char* kSecretMask = "********";

// Makes sure the default key container has both key pairs; true on success.
bool EnsureCryptographicClient();

// The parts of InitializeAgentDetails with their own rules.
void ReadDataTransferRate();
LONG ReadEnableDSRoute();
void FormClientDataPath();

// The summary lines of the start-up and the distribution-server route.
void LogConfigurationSummary();
void LogDistributionServerSummary();
void ApplyDistributionServerRoute();

}  // namespace hl::config
