// frontend/win32/src_dst_page.h -- CQuibSrcDstPage, the "Source/Destination" page: the
// source file, the title and file name of the database, and where it goes. The core
// proposes title and name, tracks the user's edits and commits the page; this class
// owns the controls, the 500 ms proposal timer and the two browse dialogs.
#pragma once
#include <vector>

#include "frontend/engine_title_probes.h"
#include "frontend/install.h"
#include "frontend/source_destination.h"
#include "frontend/win32/app.h"
#include "frontend/win32/property_page.h"

class CQuibSrcDstPage : public CQuibPage {
public:
    explicit CQuibSrcDstPage(ConverterApp& app);
    // True when the page accepts; hands the page's values to app.handed.
    bool commitPage(bool isActive);
    // Puts `path` into the source field with the caret at its end, which starts the
    // proposal of title and name like any other change.
    void putSourcePath(const std::string& path);
    void clearChangeTracking() { tracker_.clear(); }
    // Title and name proposed from the source field now.
    void proposeTitleAndName();

protected:
    void onInitDialog() override;
    bool onCommand(WORD controlId, WORD code, HWND control) override;
    LRESULT onNotify(const NMHDR& header, bool& handled) override;
    void onTimer(UINT_PTR timerId) override;
    void onDestroy() override;

private:
    void fillUserBox();
    int selectedUser() const;
    void showLocation(int32_t location, bool focus);
    void browseForSource();
    void browseForFolder();

    ConverterApp& app_;
    std::vector<UserEntry> users_;
    ChangeTracker tracker_;
    EngineTitleProbes probes_;
    int32_t location_;
};
