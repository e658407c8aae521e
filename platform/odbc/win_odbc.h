// The ODBC headers for product code. On Windows they are the SDK's; elsewhere they are
// unixODBC's, read over the stand-in's Windows types: the stand-in already defines the
// Windows names the ODBC headers would otherwise define themselves (with other widths).
#pragma once

#include "platform/win32.h"

#ifdef _WIN32
#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>
#else
#ifndef ALREADY_HAVE_WINDOWS_TYPE
#define ALREADY_HAVE_WINDOWS_TYPE 1
#endif
#ifndef SQL_API
#define SQL_API
#endif

// The ODBC headers' own basic types that the stand-in does not define.
typedef signed char SCHAR;
typedef SCHAR SQLSCHAR;
typedef int SDWORD;
typedef unsigned int UDWORD;
typedef signed short int SWORD;
typedef unsigned short int UWORD;
typedef long SLONG;
typedef signed short SSHORT;
typedef double SDOUBLE;
typedef double LDOUBLE;
typedef float SFLOAT;
typedef void* PTR;
typedef signed short RETCODE;
typedef void* SQLHWND;

#include <sql.h>
#include <sqlext.h>
#include <odbcinst.h>
#endif
