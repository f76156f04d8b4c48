// frontend/win32/src_dst_page.cpp -- see src_dst_page.h.
#include "frontend/win32/src_dst_page.h"

#include <commdlg.h>
#include <shlobj.h>

#include "platform/standard_io.h"

#include "frontend/win32/message_box.h"
#include "frontend/win32/resource.h"
#include "frontend/win32/wide_text.h"

static constexpr UINT_PTR kProposalTimer = 1;
static constexpr UINT kProposalTickMs = 500;

CQuibSrcDstPage::CQuibSrcDstPage(ConverterApp& app)
    : app_(app), probes_(standardIoOps), location_(app.settings.destinationLocation) {}

void CQuibSrcDstPage::onInitDialog() {
    SendDlgItemMessageW(window_, IDC_TITLE, EM_LIMITTEXT, kMaxTypedTitle, 0);
    setControlText(IDC_FOLDER, app_.settings.destinationFolder);
    loadUsers(app_.desktopPath, app_.files, users_);
    fillUserBox();
    showLocation(location_, false);
    tracker_.clear();
    SetTimer(window_, kProposalTimer, kProposalTickMs, nullptr);
}

void CQuibSrcDstPage::onDestroy() { KillTimer(window_, kProposalTimer); }

void CQuibSrcDstPage::fillUserBox() {
    const HWND box = GetDlgItem(window_, IDC_USER);
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    const int preselected = preselectUser(users_, app_.settings.destinationUserName);
    for (size_t index = 0; index < users_.size(); ++index) {
        // The box is sorted, so an entry finds its user through the index it carries.
        const std::wstring name = utf8ToWide(users_[index].userName);
        const LRESULT entry = SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (entry < 0) continue;
        SendMessageW(box, CB_SETITEMDATA, static_cast<WPARAM>(entry), static_cast<LPARAM>(index));
    }
    // Adding moves entries, so the preselected user's entry is looked up afterwards.
    const LRESULT count = SendMessageW(box, CB_GETCOUNT, 0, 0);
    for (LRESULT entry = 0; entry < count; ++entry) {
        if (SendMessageW(box, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0) == preselected) {
            SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
            break;
        }
    }
}

int CQuibSrcDstPage::selectedUser() const {
    const HWND box = GetDlgItem(window_, IDC_USER);
    const LRESULT entry = SendMessageW(box, CB_GETCURSEL, 0, 0);
    if (entry == CB_ERR) return -1;
    const LRESULT index = SendMessageW(box, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void CQuibSrcDstPage::showLocation(int32_t location, bool focus) {
    location_ = location;
    CheckRadioButton(window_, IDC_LOC_AUTO, IDC_LOC_FOLDER,
                     location == LocationAutoInstall    ? IDC_LOC_AUTO
                     : location == LocationSourceFolder ? IDC_LOC_SAME
                     : location == LocationChosenFolder ? IDC_LOC_FOLDER
                                                        : 0);
    const bool users = location == LocationAutoInstall;
    const bool folder = location == LocationChosenFolder;
    enableControl(IDC_USER_LABEL, users);
    enableControl(IDC_USER, users);
    enableControl(IDC_FOLDER, folder);
    enableControl(IDC_BROWSE_FOLDER, folder);
    if (!focus) return;
    if (users) focusControl(IDC_USER);
    else if (folder) focusControl(IDC_FOLDER);
}

bool CQuibSrcDstPage::onCommand(WORD controlId, WORD code, HWND) {
    switch (controlId) {
        case IDC_SOURCE:
            if (code == EN_CHANGE) tracker_.sourceChanged();
            return code == EN_CHANGE;
        case IDC_TITLE:
            if (code == EN_CHANGE) tracker_.titleChanged();
            return code == EN_CHANGE;
        case IDC_FILENAME:
            if (code == EN_CHANGE) tracker_.fileNameChanged();
            return code == EN_CHANGE;
        case IDC_LOC_AUTO:
        case IDC_LOC_SAME:
        case IDC_LOC_FOLDER:
            if (code != BN_CLICKED) return false;
            showLocation(controlId == IDC_LOC_AUTO   ? LocationAutoInstall
                         : controlId == IDC_LOC_SAME ? LocationSourceFolder
                                                     : LocationChosenFolder,
                         true);
            return true;
        case IDC_BROWSE_SOURCE:
            if (code == BN_CLICKED) browseForSource();
            return code == BN_CLICKED;
        case IDC_BROWSE_FOLDER:
            if (code == BN_CLICKED) browseForFolder();
            return code == BN_CLICKED;
        default:
            return false;
    }
}

LRESULT CQuibSrcDstPage::onNotify(const NMHDR& header, bool& handled) {
    if (header.code == PSN_KILLACTIVE) {
        // Leaving the page proposes at once, so the fields are complete wherever the
        // user goes next.
        proposeTitleAndName();
        handled = true;
        return FALSE;  // allow the page to be left
    }
    return 0;
}

void CQuibSrcDstPage::onTimer(UINT_PTR timerId) {
    if (timerId == kProposalTimer && tracker_.tick()) proposeTitleAndName();
}

void CQuibSrcDstPage::proposeTitleAndName() {
    const Proposal proposal =
        ::proposeTitleAndName(controlText(IDC_SOURCE), PathFlavor::Windows, tracker_, probes_);
    // Whether an edit control reports setting its own text again varies, so an unchanged
    // field is not written and the page's write is marked as seen here instead.
    if (proposal.title) {
        if (controlText(IDC_TITLE) == *proposal.title) tracker_.titleChanged();
        else setControlText(IDC_TITLE, *proposal.title);
    }
    if (proposal.fileName) {
        if (controlText(IDC_FILENAME) == *proposal.fileName) tracker_.fileNameChanged();
        else setControlText(IDC_FILENAME, *proposal.fileName);
    }
}

void CQuibSrcDstPage::putSourcePath(const std::string& path) {
    setEditTextCaretAtEnd(GetDlgItem(window_, IDC_SOURCE), path);
}

void CQuibSrcDstPage::browseForSource() {
    // The dialog wants the filter list with zeros where the list has "|".
    std::wstring filters = utf8ToWide(kSourceFilterList);
    for (wchar_t& c : filters)
        if (c == L'|') c = L'\0';
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetParent(window_);
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = static_cast<DWORD>(app_.settings.browseFilterIndex);
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = L".";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameW(&dialog)) return;
    putSourcePath(wideToUtf8(path));
    if (dialog.nFilterIndex <= 4) app_.settings.browseFilterIndex = static_cast<int32_t>(dialog.nFilterIndex);
}

void CQuibSrcDstPage::browseForFolder() {
    wchar_t display[MAX_PATH] = {};
    const std::wstring title = utf8ToWide(kFolderPickerTitle);
    BROWSEINFOW info = {};
    info.hwndOwner = GetParent(window_);
    info.pszDisplayName = display;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (chosen == nullptr) return;
    wchar_t path[MAX_PATH] = {};
    const bool named = SHGetPathFromIDListW(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (named) setEditTextCaretAtEnd(GetDlgItem(window_, IDC_FOLDER), wideToUtf8(path));
}

bool CQuibSrcDstPage::commitPage(bool isActive) {
    if (window_ == nullptr) return false;
    if (isActive) proposeTitleAndName();
    SourceDestinationFields fields;
    fields.sourcePath = controlText(IDC_SOURCE);
    fields.title = controlText(IDC_TITLE);
    fields.fileName = controlText(IDC_FILENAME);
    fields.location = location_;
    fields.selectedUser = selectedUser();
    fields.folder = controlText(IDC_FOLDER);
    WindowMessageSink messages(GetParent(window_));
    return commitSourceDestination(fields, users_, app_.settings, app_.handed, messages);
}
