// frontend/win32/options_page.h -- CQuibOptionsPage, the "Options" page: the link depth
// for HTML sources and the text and Doc filters. Its controls hold the page's state; the
// settings change only when a run commits the page through the core.
#pragma once
#include "frontend/options.h"
#include "frontend/win32/app.h"
#include "frontend/win32/property_page.h"

class CQuibOptionsPage : public CQuibPage {
public:
    explicit CQuibOptionsPage(ConverterApp& app) : app_(app) {}
    // True when the page accepts; a refusal has shown its message.
    bool commitPage(bool isActive);

protected:
    void onInitDialog() override;
    bool onCommand(WORD controlId, WORD code, HWND control) override;

private:
    OptionsFields readFields() const;
    // Enables a count field for its choice: limited to 4 digits and, when `focus`,
    // focused with its whole text selected.
    void enableCount(int controlId, bool enabled, bool focus);
    void showTabChoice(int32_t choice, bool focus);

    ConverterApp& app_;
};
