// frontend/win32/app.h -- the process-wide state of the Windows program (ConverterApp):
// the command line, the settings loaded at start and saved at the end, the desktop
// folder of automatic installation, the values the Source/Destination page hands to a
// run, and the platform services the core works through. Every string here is UTF-8.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "frontend/settings.h"
#include "frontend/source_destination.h"
#include "frontend/win32/registry_store.h"
#include "frontend/win32/win32_file_system.h"

struct ConverterApp {
    HINSTANCE instance = nullptr;
    ConverterCommandLine commandLine;
    ConverterSettings settings;
    std::string desktopPath;  // empty, or ending in a backslash
    PageValues handed;        // set by the Source/Destination page's commit
    RegistrySettingsStore registry;
    Win32FileSystem files;
};

// The whole program after OLE is up: usage box, or settings, sheet and settings again.
// `arguments` (UTF-8) excludes the program name. Returns the process exit code.
int runApplication(HINSTANCE instance, const std::vector<std::string>& arguments);
