// The agent's resource ID asked of the management server: the document at the path the
// configuration forms is fetched over the transport, imported into the store and its
// RESOURCE_ID row read. Installed as the configuration's fetcher by programs that link it.
#pragma once

#include <string>

#include "agent/config/agent_config.h"

// 0 (also when the document lacks the row, which is logged), the transport's error, or the
// system error of a failed import.
int FetchResourceIdFromServer(const std::string& path, OptString& resourceId);
// Makes GetResourceIDFromServer use FetchResourceIdFromServer.
void InstallResourceIdFetcher();
