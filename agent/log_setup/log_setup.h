// Starting the agent's log from its registry settings: level, event switch and install folder.
// (The log itself depends on the platform only; these reads need the registry and configuration.)
#pragma once

#include "agent/log/log.h"

// 1 unless the agent key's HLEventEnabled says otherwise (refreshed by InitLogger).
extern DWORD gv_eventEnabled;

// 0 on success, 13 on any failure. openMode 2 truncates, anything else appends.
int InitLogger(const char* fileName, const char* folder, int openMode);
// Rotation start (timer or one check), then InitLogger with the settings' name, folder and mode.
int StartLogger(LogRotationSettings* settings);
// The agent's way to start the log: reads HLAgentInstallDir, rotates, arms the timer, opens.
int StartAgentLog(const char* fileName);
