// frontend/win32/conversion_runner.cpp -- see conversion_runner.h.
#include "frontend/win32/conversion_runner.h"

#include <commctrl.h>

#include <memory>

#include "driver/conversion.h"
#include "platform/standard_io.h"
#include "frontend/html_reference_rules.h"
#include "frontend/install.h"
#include "frontend/web_source.h"
#include "frontend/win32/message_box.h"
#include "frontend/win32/property_page.h"
#include "frontend/win32/resource.h"
#include "frontend/win32/wide_text.h"
#include "frontend/win32/winhttp_fetcher.h"

DWORD WINAPI conversionWorker(void* parameter) {
    ConversionTask& task = *static_cast<ConversionTask*>(parameter);
    // The copy's userData carries the channel to reportProgress; the standard
    // operations ignore it.
    IoOps io = standardIoOps;
    io.userData = task.channel;
    io.reportProgress = &reportProgressToChannel;
    const HtmlReferenceRules rules;
    const Win32FileSystem files;
    task.status.store(runWorker(task.request, task.settings, io, PathFlavor::Windows, rules, files,
                                &convertDocument, kMaxDestinationPathLength, &task.report));
    return 0;
}

namespace {

constexpr UINT_PTR kProgressTimer = 1;

// ProgressState of one run: the channel the worker reports to, and its task.
struct SharedRun {
    Win32ProgressChannel channel;
    ConversionTask task;
    std::unique_ptr<WebSource> web;  // for a page on the web
};

// How many pages that could not be fetched the result box names.
constexpr size_t kListedWebFailures = 10;

// Prepares a run from a page on the web: WinHTTP, the places the run may go (FollowHosts
// opens every host, FollowLinksOutside the source's whole host), the wait and timeout of
// the registry, and the progress line showing each address as it is fetched. False,
// with the reason, when it cannot start.
bool prepareWebRun(SharedRun& run, const ConverterSettings& settings, const std::string& source,
                   std::string& reason) {
    WebRunOptions options;
    options.mode = settings.followHosts          ? WebScopeMode::AnyHost
                   : settings.followLinksOutside ? WebScopeMode::WholeHost
                                                 : WebScopeMode::BelowRoot;
    options.waitSeconds = settings.webWaitMilliseconds / 1000.0;
    options.timeoutSeconds = settings.webTimeoutSeconds;
    run.web = std::make_unique<WebSource>(
        options, std::make_unique<WinHttpFetcher>(FetchSettings{options.timeoutSeconds, std::string()}), "WinHTTP");
    Win32ProgressChannel* channel = &run.channel;
    auto stillWanted = [channel] { return !channel->cancelAsked(); };
    auto fetching = [channel](const std::string& address) {
        reportProgressToChannel(channel, StageCurrentPage, const_cast<char*>(address.c_str()));
    };
    if (!run.web->start(source, stillWanted, fetching, reason)) return false;
    run.task.request.sourcePath = run.web->root();
    run.task.request.web = &run.web->access();
    return true;
}

struct ProgressDialogState {
    HINSTANCE instance;
    ConversionTask* task;
    const std::string* sourceAsEntered;
    const std::string* destinationName;
    HANDLE thread = nullptr;
};

bool workerEnded(HANDLE thread) { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }

void showSnapshot(HWND dialog, const ProgressDialogState& state) {
    const std::optional<ProgressFields> snapshot = takeProgressSnapshot(*state.task->channel);
    if (!snapshot) return;  // the worker holds the lock too long: skip this tick's update
    const ProgressDisplay display = progressDisplay(*snapshot);
    SendDlgItemMessageW(dialog, IDC_PROG_BAR, PBM_SETPOS, static_cast<WPARAM>(display.barPosition), 0);
    const std::wstring percent = std::to_wstring(display.barPosition) + L"%";
    SetDlgItemTextW(dialog, IDC_PROG_PERCENT, percent.c_str());
    if (display.stepLine) {
        wchar_t step[128] = {};
        if (LoadStringW(state.instance, IDS_STEP_FIRST + static_cast<UINT>(snapshot->stage), step,
                        sizeof step / sizeof step[0]) > 0)
            SetDlgItemTextW(dialog, IDC_PROG_STEP, step);
    }
    if (display.pageLine) SetDlgItemTextW(dialog, IDC_PROG_PAGE, utf8ToWide(*display.pageLine).c_str());
}

void cancelWorker(HWND dialog, ProgressDialogState& state) {
    KillTimer(dialog, kProgressTimer);
    const bool signalled = state.task->channel->requestCancel();
    const bool ended = WaitForSingleObject(state.thread, kCancelWaitMs) == WAIT_OBJECT_0;
    if (!signalled || !ended) {
        // Stopped by force, the worker leaves the status at "unknown error".
        if (!TerminateThread(state.thread, kForcedExitCode)) {
            WindowMessageSink messages(dialog);
            messages.show(MsgThreadTerminateFailed, messageText(MsgThreadTerminateFailed));
        }
    }
    EndDialog(dialog, IDCANCEL);
}

INT_PTR CALLBACK progressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<ProgressDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            state = reinterpret_cast<ProgressDialogState*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            setEditTextCaretAtEnd(GetDlgItem(dialog, IDC_PROG_SOURCE), *state->sourceAsEntered);
            setEditTextCaretAtEnd(GetDlgItem(dialog, IDC_PROG_DEST), *state->destinationName);
            SendDlgItemMessageW(dialog, IDC_PROG_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            DWORD threadId = 0;
            state->thread = CreateThread(nullptr, 0, &conversionWorker, state->task, 0, &threadId);
            if (state->thread == nullptr) {
                WindowMessageSink messages(dialog);
                messages.show(MsgThreadCreateFailed, messageText(MsgThreadCreateFailed));
                EndDialog(dialog, IDABORT);
                return TRUE;
            }
            SetTimer(dialog, kProgressTimer, kProgressTickMs, nullptr);
            SetFocus(GetDlgItem(dialog, IDCANCEL));
            return FALSE;  // focus set here
        }
        case WM_TIMER:
            if (state == nullptr || wParam != kProgressTimer) return FALSE;
            showSnapshot(dialog, *state);
            if (workerEnded(state->thread)) {
                KillTimer(dialog, kProgressTimer);
                EndDialog(dialog, IDOK);
            }
            return TRUE;
        case WM_COMMAND:
            if (state == nullptr) return FALSE;
            // Enter (IDOK) does nothing: only the worker's end or Cancel closes the dialog.
            if (LOWORD(wParam) == IDCANCEL) cancelWorker(dialog, *state);
            return TRUE;
        case WM_DESTROY:
            KillTimer(dialog, kProgressTimer);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

bool runProgressDialog(HINSTANCE instance, HWND owner, ConversionTask& task,
                       const std::string& sourceAsEntered, const std::string& destinationName) {
    ProgressDialogState state{instance, &task, &sourceAsEntered, &destinationName};
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PROGRESS), owner, &progressDialogProc,
                    reinterpret_cast<LPARAM>(&state));
    if (state.thread == nullptr) return true;
    const bool ended = workerEnded(state.thread);
    CloseHandle(state.thread);
    return ended;
}

RunEnd runConversion(ConverterApp& app, HWND owner, CQuibSrcDstPage& sourcePage,
                     CQuibOptionsPage& optionsPage) {
    if (!sourcePage.commitPage(sourcePage.isActive())) return RunEnd::NotSucceeded;
    if (!optionsPage.commitPage(optionsPage.isActive())) return RunEnd::NotSucceeded;

    WindowMessageSink messages(owner);
    const std::optional<RunTarget> target =
        checkRunTarget(app.handed, app.settings, app.desktopPath, app.commandLine.forceOverwrite,
                       PathFlavor::Windows, app.files, messages);
    if (!target) return RunEnd::TargetRefused;

    // On the heap: a worker that could not be stopped keeps reading them, so they are
    // then left alive rather than freed under it.
    auto run = std::make_unique<SharedRun>();
    if (!run->channel.ready()) {
        messages.show(MsgInitializationFailed, messageText(MsgInitializationFailed));
        return RunEnd::NotSucceeded;
    }
    ConversionTask& task = run->task;
    task.request.sourcePath = target->sourcePath;
    task.request.destinationPath = target->destinationPath;
    task.request.title = app.handed.title;
    task.settings = app.settings;
    task.channel = &run->channel;
    const bool fromWeb = isWebAddress(target->sourcePath);
    std::string webRefusal;
    if (fromWeb && !prepareWebRun(*run, app.settings, target->sourcePath, webRefusal)) {
        messages.show(MsgSourceOpenError, messageText(MsgSourceOpenError) + "\n\n" + target->sourcePath + ": " + webRefusal);
        return RunEnd::NotSucceeded;
    }
    const bool workerGone = runProgressDialog(app.instance, owner, task,
                                              app.handed.sourcePath, app.handed.fileName);
    const int32_t status = workerGone ? task.status.load() : StatusUnknownError;
    if (!workerGone) static_cast<void>(run.release());
    const RunOutcome outcome = runOutcome(status, app.commandLine.quiet, app.settings.destinationLocation);
    if (outcome.clearChangeTracking) sourcePage.clearChangeTracking();
    const LinkedPageReport& report = task.report;
    if (status == StatusSourceRefused)
        messages.show(MsgSourceRefused, messageText(MsgSourceRefused, app.handed.sourcePath + ": " +
                                                                          report.refusal));
    else if (outcome.message || (outcome.succeeded && (!report.limits.empty() || report.fetchFailures > 0))) {
        // A limit that left pages out, and pages of the web that could not be had, are
        // told in the success box, even a quiet run's: the book lacks pages the user may
        // expect in it.
        const MessageId id = outcome.message.value_or(MsgConversionSucceeded);
        std::string text = messageText(id);
        if (outcome.succeeded) {
            for (const LimitReport& limit : report.limits)
                text += "\n\n" + limitMessage(limit, "raise the registry value MaxPages");
            if (report.fetchFailures > 0)
                text += "\n\n" + webFailureListMessage(report.fetchFailures, report.fetchFailed, kListedWebFailures);
        }
        // A page on the web that could not be had is named with the reason.
        if (fromWeb && status == StatusSourceError && report.sourceOpen.happened)
            text += "\n\n" + report.sourceOpen.path + ": " + report.sourceOpen.reason;
        messages.show(id, text);
    }
    if (outcome.registerInstallation) registerInstallation(app.registry, app.handed.userId, messages);
    return outcome.succeeded ? RunEnd::Succeeded : RunEnd::NotSucceeded;
}
