// frontend/win32/app.h -- the process-wide state of the Windows program (ConverterApp):
// the command line, the settings loaded at start and saved at the end, the desktop
// folder of automatic installation, the values the Source/Destination page hands to a
// run, and the platform services the core works through.
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

// Sets the C library's character type to the user's locale, whose multibyte code page is
// the ANSI code page. The program's paths are ANSI strings (the "A" calls give and take
// them, and the narrow fopen reads them so), but the C library starts in the "C" locale,
// whose conversion to wide characters takes every byte for the code point of that value;
// std::filesystem converts through it, so the engine's check of a source named with
// such a byte as "\x92" (a right quotation mark) looked at another name and failed.
// Returns false when the locale could not be set.
bool useAnsiCodePageForNames();

// The whole program after OLE is up: usage box, or settings, sheet and settings again.
// `arguments` excludes the program name. Returns the process exit code.
int runApplication(HINSTANCE instance, const std::vector<std::string>& arguments);
