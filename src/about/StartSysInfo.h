#pragma once

class Registry;
class UserInterface;

// Starts the system-information tool as a separate process and returns without waiting.
// The tool is looked up in the registry (its full path, or the directory that holds
// MSINFO32.EXE); where the platform has no such tool, a system-information program found on
// the search path (hardinfo, gnome-system-monitor, kinfocenter) is started instead. When
// nothing can be started, the user is told "System Information Is Unavailable At This Time".
void StartSysInfo(Registry& registry, UserInterface& ui);
