// frontend/win32/property_page.cpp -- see property_page.h.
#include "frontend/win32/property_page.h"

#include <vector>

#include "frontend/win32/wide_text.h"

PROPSHEETPAGEW CQuibPage::describe(HINSTANCE instance, int templateId, const char* title) {
    if (title != nullptr) title_ = utf8ToWide(title);
    PROPSHEETPAGEW page = {};
    page.dwSize = sizeof page;
    // Premature: every page's window is made with the sheet, so its controls hold the
    // page's state from the start and a run can read an unvisited page.
    page.dwFlags = PSP_DEFAULT | PSP_PREMATURE | (title != nullptr ? PSP_USETITLE : 0);
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEW(templateId);
    page.pszTitle = title != nullptr ? title_.c_str() : nullptr;
    page.pfnDlgProc = &CQuibPage::dialogProc;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

bool CQuibPage::isActive() const {
    if (window_ == nullptr) return false;
    const HWND sheet = GetParent(window_);
    return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) == window_;
}

INT_PTR CALLBACK CQuibPage::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CQuibPage* page = nullptr;
    if (message == WM_INITDIALOG) {
        const auto* description = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
        page = reinterpret_cast<CQuibPage*>(description->lParam);
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(page));
        page->window_ = window;
        page->onInitDialog();
        return TRUE;
    }
    page = reinterpret_cast<CQuibPage*>(GetWindowLongPtrW(window, DWLP_USER));
    if (page == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            return page->onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))
                       ? TRUE
                       : FALSE;
        case WM_NOTIFY: {
            bool handled = false;
            const LRESULT result = page->onNotify(*reinterpret_cast<const NMHDR*>(lParam), handled);
            if (!handled) return FALSE;
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case WM_TIMER:
            page->onTimer(wParam);
            return TRUE;
        case WM_DESTROY:
            page->onDestroy();
            page->window_ = nullptr;
            SetWindowLongPtrW(window, DWLP_USER, 0);
            return FALSE;
        default:
            return FALSE;
    }
}

std::string windowText(HWND window) {
    if (window == nullptr) return std::string();
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::string();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, buffer.data(), length + 1);
    return wideToUtf8(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

void setEditTextCaretAtEnd(HWND edit, const std::string& text) {
    const std::wstring wide = utf8ToWide(text);
    SetWindowTextW(edit, wide.c_str());
    // The control counts UTF-16 units, not bytes.
    const WPARAM end = static_cast<WPARAM>(wide.size());
    SendMessageW(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

std::string CQuibPage::controlText(int controlId) const {
    return windowText(GetDlgItem(window_, controlId));
}

void CQuibPage::setControlText(int controlId, const std::string& text) {
    SetDlgItemTextW(window_, controlId, utf8ToWide(text).c_str());
}

bool CQuibPage::isChecked(int controlId) const {
    return IsDlgButtonChecked(window_, controlId) == BST_CHECKED;
}

void CQuibPage::setChecked(int controlId, bool checked) {
    CheckDlgButton(window_, controlId, checked ? BST_CHECKED : BST_UNCHECKED);
}

void CQuibPage::enableControl(int controlId, bool enabled) {
    EnableWindow(GetDlgItem(window_, controlId), enabled ? TRUE : FALSE);
}

void CQuibPage::focusControl(int controlId) {
    const HWND control = GetDlgItem(window_, controlId);
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}
