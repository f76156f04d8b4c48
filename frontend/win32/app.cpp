// frontend/win32/app.cpp -- start-up after OLE: the usage box, or the settings loaded,
// the sheet shown and the settings saved however it closed.
#include "frontend/win32/app.h"

#include <commctrl.h>

#include "frontend/install.h"
#include "frontend/messages.h"
#include "frontend/win32/message_box.h"
#include "frontend/win32/property_sheet.h"

int runApplication(HINSTANCE instance, const std::vector<std::string>& arguments) {
    ConverterApp app;
    app.instance = instance;
    app.commandLine = parseCommandLine(arguments);
    if (app.commandLine.showHelp) {
        WindowMessageSink messages(nullptr);
        messages.show(MsgUsage, messageText(MsgUsage));
        return 0;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    app.desktopPath = readDesktopPath(app.registry);
    app.settings = loadSettings(app.registry);
    {
        CQuibPropertySheet sheet(app);
        sheet.run();
    }
    saveSettings(app.registry, app.settings);  // a failure is not reported
    return 0;
}
