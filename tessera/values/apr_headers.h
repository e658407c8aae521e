// APR's headers, read after the Windows API's: on Windows apr.h includes windows.h itself with
// NOUSER, which would leave out what the COM headers of the platform need.
#pragma once

#include "platform/win32.h"

#include <apr_general.h>
#include <apr_pools.h>
#include <apr_strings.h>
