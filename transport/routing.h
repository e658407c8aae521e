// The agent's one way to its servers: picks the main or the distribution server, forms the
// URL path for the product edition, dispatches to the download or upload functions, falls
// back through the server's other addresses and remembers the one that answered.
#pragma once

#include <optional>
#include <string>

#include "platform/win32.h"

// Transfer kinds of the GET types.
inline constexpr int kTransferWhole = 0;    // InternetGetRequestEx
inline constexpr int kTransferPaced = 1;    // InternetGetRequestByBitrate
inline constexpr int kTransferNone = 2;     // no GET call

// `text` is the destination (GET_DATA, DOWNLOAD_FILE), the data to post (11002, 11004, 11005) or the
// file to upload (11006). The transfer's result, or 12007 when no usable address exists.
int AgentSendRequest(const char* resourcePath, const char* text, std::optional<std::string>* answer, int requestType,
                     BYTE keepAlive, BYTE toMainServer, DWORD size, int transferKind);
// GET_DATA of `resourcePath` from the main server into `answer`.
int AgentSendRequestData(const char* resourcePath, std::optional<std::string>* answer, BYTE keepAlive);
