// The ODBC calls the provider makes, with the platform's Windows types.
#pragma once

#include "platform/odbc/win_odbc.h"
