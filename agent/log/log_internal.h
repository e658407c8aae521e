// Pieces of the logger shared between its own files.
#pragma once

// The address that keys the logger's object lock, or null before the defaults are set.
const void* LoggerLockToken();
