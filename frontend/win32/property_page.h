// frontend/win32/property_page.h -- the common frame of the sheet's pages: the dialog
// procedure that routes messages to a page object, and small control helpers. A page
// object outlives its window; its window exists from the sheet's creation on. The
// helpers take and give UTF-8.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

class CQuibPage {
public:
    virtual ~CQuibPage() = default;
    // The sheet's description of this page. `title` (UTF-8) replaces the template's
    // caption when given; the page keeps its own copy for the sheet.
    PROPSHEETPAGEW describe(HINSTANCE instance, int templateId, const char* title = nullptr);
    HWND window() const { return window_; }
    // Whether this page is the one the sheet shows.
    bool isActive() const;

protected:
    virtual void onInitDialog() {}
    // True when the command was handled.
    virtual bool onCommand(WORD /*controlId*/, WORD /*code*/, HWND /*control*/) { return false; }
    // The notification's result, stored as the dialog's result when `handled` is set.
    virtual LRESULT onNotify(const NMHDR& /*header*/, bool& /*handled*/) { return 0; }
    virtual void onTimer(UINT_PTR /*timerId*/) {}
    virtual void onDestroy() {}

    std::string controlText(int controlId) const;
    void setControlText(int controlId, const std::string& text);
    bool isChecked(int controlId) const;
    void setChecked(int controlId, bool checked);
    void enableControl(int controlId, bool enabled);
    // Focus to the control as the dialog manager gives it (an edit's text is selected).
    void focusControl(int controlId);

    HWND window_ = nullptr;

private:
    std::wstring title_;  // the sheet reads it while it builds the tabs
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The whole text of a window, however long.
std::string windowText(HWND window);
// Sets an edit control's text and puts the caret at its end, scrolled into view.
void setEditTextCaretAtEnd(HWND edit, const std::string& text);
