// Entry traces shared by the store's small operations.
#pragma once

#include "agent/log/log.h"

namespace tessera {

// Writes the TRACE line "\n\t@@@@@ Inside <operation>() @@@@@ \n".
inline void TraceEntry(const char* operation) { LogTrace("\n\t@@@@@ Inside %s() @@@@@ \n", operation); }

}  // namespace tessera
