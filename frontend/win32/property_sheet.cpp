// frontend/win32/property_sheet.cpp -- see property_sheet.h.
#include "frontend/win32/property_sheet.h"

#include <commctrl.h>
#include <shellapi.h>

#include "frontend/win32/conversion_runner.h"
#include "frontend/win32/message_box.h"
#include "frontend/win32/resource.h"
#include "frontend/win32/shell_drop.h"
#include "frontend/win32/wide_text.h"

namespace {

constexpr UINT_PTR kSheetSubclass = 1;
constexpr UINT_PTR kCommandLineTimer = 0x5151;
constexpr UINT kCommandLineDelayMs = 500;
constexpr int kSourcePageIndex = 0;

// The comctl32 sheet callback has no user pointer; one sheet exists at a time.
CQuibPropertySheet* creatingSheet = nullptr;

}  // namespace

void CQuibAboutPage::onInitDialog() { setControlText(IDC_ABOUT_TEXT, kAboutText); }

CQuibPropertySheet::CQuibPropertySheet(ConverterApp& app)
    : app_(app), sourcePage_(app), optionsPage_(app) {}

void CQuibPropertySheet::run() {
    PROPSHEETPAGEW pages[3] = {
        sourcePage_.describe(app_.instance, IDD_SRCDST),
        optionsPage_.describe(app_.instance, IDD_OPTIONS),
        aboutPage_.describe(app_.instance, IDD_ABOUT, kAboutCaption),
    };
    const std::wstring caption = utf8ToWide(kProgramName);
    PROPSHEETHEADERW header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK | PSH_USEICONID;
    header.hInstance = app_.instance;
    header.pszIcon = MAKEINTRESOURCEW(IDI_APP);
    header.pszCaption = caption.c_str();
    header.nPages = sizeof pages / sizeof pages[0];
    header.nStartPage = 0;
    header.ppsp = pages;
    header.pfnCallback = &CQuibPropertySheet::sheetCallback;
    creatingSheet = this;
    PropertySheetW(&header);
    creatingSheet = nullptr;
    window_ = nullptr;
}

int CALLBACK CQuibPropertySheet::sheetCallback(HWND window, UINT message, LPARAM) {
    if (message == PSCB_INITIALIZED && creatingSheet != nullptr) creatingSheet->onCreated(window);
    return 0;
}

void CQuibPropertySheet::onCreated(HWND window) {
    window_ = window;
    SetWindowSubclass(window, &CQuibPropertySheet::sheetProc, kSheetSubclass,
                      reinterpret_cast<DWORD_PTR>(this));
    SetDlgItemTextW(window, IDOK, L"Convert");
    SetDlgItemTextW(window, IDCANCEL, L"Done");
    DragAcceptFiles(window, TRUE);
    if (app_.commandLine.fileGiven) SetTimer(window, kCommandLineTimer, kCommandLineDelayMs, nullptr);
}

void CQuibPropertySheet::activateSourcePage() {
    SendMessageW(window_, PSM_SETCURSEL, kSourcePageIndex, 0);
}

void CQuibPropertySheet::close() {
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window_, IDCANCEL)));
}

bool CQuibPropertySheet::runOnce() {
    // A modal box of a run dispatches timer messages too; a second run must not start
    // inside the first.
    if (running_) return false;
    running_ = true;
    const RunEnd end = runConversion(app_, window_, sourcePage_, optionsPage_);
    running_ = false;
    if (end == RunEnd::TargetRefused) activateSourcePage();
    return end == RunEnd::Succeeded;
}

void CQuibPropertySheet::onCommandLineTimer() {
    if (running_) return;  // the timer stays set and tries again
    KillTimer(window_, kCommandLineTimer);
    // Shown first, so the page proposes title and name as for a typed source.
    activateSourcePage();
    sourcePage_.putSourcePath(app_.commandLine.sourceFile);
    if (runOnce()) close();
}

void CQuibPropertySheet::onDrop(HDROP drop) {
    if (running_) {
        DragFinish(drop);
        return;
    }
    WindowMessageSink messages(window_);
    const std::optional<std::string> name = firstDroppedName(drop, messages);
    DragFinish(drop);
    if (!name) return;
    const std::optional<std::string> path = acceptDroppedPath(*name);
    if (!path) return;
    activateSourcePage();
    sourcePage_.putSourcePath(*path);
}

LRESULT CALLBACK CQuibPropertySheet::sheetProc(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    CQuibPropertySheet& sheet = *reinterpret_cast<CQuibPropertySheet*>(data);
    switch (message) {
        case WM_COMMAND:
            // "Convert" runs and keeps the sheet open; the sheet's own OK would close it.
            if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
                sheet.runOnce();
                return 0;
            }
            break;
        case WM_TIMER:
            if (wParam == kCommandLineTimer) {
                sheet.onCommandLineTimer();
                return 0;
            }
            break;
        case WM_DROPFILES:
            sheet.onDrop(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_NCDESTROY:
            RemoveWindowSubclass(window, &CQuibPropertySheet::sheetProc, kSheetSubclass);
            break;
        default:
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
