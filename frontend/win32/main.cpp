// frontend/win32/main.cpp -- VimloW32's entry point: OLE for drag and drop and shortcut
// resolution, then the application. Without OLE the program ends at once, silently.
#include <windows.h>
#include <ole2.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frontend/win32/app.h"
#include "frontend/win32/wide_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    if (FAILED(OleInitialize(nullptr))) return 1;
    // The C runtime has split the UTF-16 command line by the usual quoting rules.
    std::vector<std::string> arguments;
    for (int index = 1; __wargv != nullptr && index < __argc; ++index)
        arguments.push_back(wideToUtf8(__wargv[index]));
    const int exitCode = runApplication(instance, arguments);
    OleUninitialize();
    return exitCode;
}
