// frontend/win32/options_page.cpp -- see options_page.h.
#include "frontend/win32/options_page.h"

#include "frontend/win32/message_box.h"
#include "frontend/win32/resource.h"

static constexpr int kCountDigits = 4;

void CQuibOptionsPage::onInitDialog() {
    const OptionsFields fields = optionsFieldsFrom(app_.settings);
    SendDlgItemMessageW(window_, IDC_MAXDEPTH, EM_LIMITTEXT, kCountDigits, 0);
    setControlText(IDC_MAXDEPTH, fields.maxDepth);
    setChecked(IDC_REMOVE_CR, fields.removeCR);
    setChecked(IDC_REMOVE_LF, fields.removeLF);
    setChecked(IDC_CR_TO_LF, fields.convertCRtoLF);
    setChecked(IDC_SLB, fields.convertSingleLB);
    setControlText(IDC_SLB_COUNT, fields.slbToSpace);
    setControlText(IDC_TAB_LB_COUNT, fields.tabToLB);
    setControlText(IDC_TAB_SPACE_COUNT, fields.tabToSpace);
    enableCount(IDC_SLB_COUNT, fields.convertSingleLB, false);
    showTabChoice(fields.tabChoice, false);
}

void CQuibOptionsPage::enableCount(int controlId, bool enabled, bool focus) {
    enableControl(controlId, enabled);
    if (!enabled) return;
    SendDlgItemMessageW(window_, controlId, EM_LIMITTEXT, kCountDigits, 0);
    if (focus) {
        focusControl(controlId);
        SendDlgItemMessageW(window_, controlId, EM_SETSEL, 0, -1);
    }
}

void CQuibOptionsPage::showTabChoice(int32_t choice, bool focus) {
    CheckRadioButton(window_, IDC_TAB_NONE, IDC_TAB_SPACE,
                     choice == TabsToLineBreaks ? IDC_TAB_LB
                     : choice == TabsToSpaces   ? IDC_TAB_SPACE
                                                : IDC_TAB_NONE);
    // The field being disabled goes first, so the focus never rests on it.
    if (choice == TabsToLineBreaks) {
        enableCount(IDC_TAB_SPACE_COUNT, false, false);
        enableCount(IDC_TAB_LB_COUNT, true, focus);
    } else if (choice == TabsToSpaces) {
        enableCount(IDC_TAB_LB_COUNT, false, false);
        enableCount(IDC_TAB_SPACE_COUNT, true, focus);
    } else {
        enableCount(IDC_TAB_LB_COUNT, false, false);
        enableCount(IDC_TAB_SPACE_COUNT, false, false);
    }
}

bool CQuibOptionsPage::onCommand(WORD controlId, WORD code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (controlId) {
        case IDC_SLB:
            enableCount(IDC_SLB_COUNT, isChecked(IDC_SLB), true);
            return true;
        case IDC_TAB_NONE:
            showTabChoice(TabsKept, true);
            return true;
        case IDC_TAB_LB:
            showTabChoice(TabsToLineBreaks, true);
            return true;
        case IDC_TAB_SPACE:
            showTabChoice(TabsToSpaces, true);
            return true;
        default:
            return false;
    }
}

OptionsFields CQuibOptionsPage::readFields() const {
    OptionsFields fields;
    fields.maxDepth = controlText(IDC_MAXDEPTH);
    fields.removeCR = isChecked(IDC_REMOVE_CR);
    fields.removeLF = isChecked(IDC_REMOVE_LF);
    fields.convertCRtoLF = isChecked(IDC_CR_TO_LF);
    fields.convertSingleLB = isChecked(IDC_SLB);
    fields.slbToSpace = controlText(IDC_SLB_COUNT);
    fields.tabChoice = isChecked(IDC_TAB_LB)      ? TabsToLineBreaks
                       : isChecked(IDC_TAB_SPACE) ? TabsToSpaces
                                                  : TabsKept;
    fields.tabToLB = controlText(IDC_TAB_LB_COUNT);
    fields.tabToSpace = controlText(IDC_TAB_SPACE_COUNT);
    return fields;
}

bool CQuibOptionsPage::commitPage(bool) {
    // The controls keep their state while another page is shown, so reading them is the
    // same whether or not this page is active.
    const OptionsFields fields =
        window_ != nullptr ? readFields() : optionsFieldsFrom(app_.settings);
    WindowMessageSink messages(GetParent(window_));
    return commitOptions(fields, app_.settings, messages);
}
