// frontend/win32/property_sheet.h -- CQuibPropertySheet, the program's main window: the
// Source/Destination, Options and About pages, "Convert" (OK, starts a run and keeps the
// sheet open) and "Done" (Cancel, closes it), files dropped on it, and the start of a
// run 500 ms after opening when the command line named a source.
#pragma once
#include <windows.h>

#include "frontend/win32/app.h"
#include "frontend/win32/options_page.h"
#include "frontend/win32/src_dst_page.h"

class CQuibAboutPage : public CQuibPage {
protected:
    void onInitDialog() override;
};

class CQuibPropertySheet {
public:
    explicit CQuibPropertySheet(ConverterApp& app);
    // Shows the sheet modally until "Done" or the close box.
    void run();

    HWND window() const { return window_; }
    CQuibSrcDstPage& sourcePage() { return sourcePage_; }
    CQuibOptionsPage& optionsPage() { return optionsPage_; }
    void activateSourcePage();

private:
    static int CALLBACK sheetCallback(HWND window, UINT message, LPARAM lParam);
    static LRESULT CALLBACK sheetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR subclassId, DWORD_PTR data);
    void onCreated(HWND window);
    void onDrop(HDROP drop);
    void onCommandLineTimer();
    // runConversion, unless one is already running; true when it succeeded.
    bool runOnce();
    void close();

    ConverterApp& app_;
    CQuibSrcDstPage sourcePage_;
    CQuibOptionsPage optionsPage_;
    CQuibAboutPage aboutPage_;
    HWND window_ = nullptr;
    bool running_ = false;
};
