// tests/win32/ui_driver.cpp -- drives the real VimloW32.exe as a user would, through its
// windows: it starts the program with registry settings and files prepared, finds the
// sheet, its pages, the progress dialog and message boxes by caption and class, reads
// control texts, types with WM_SETTEXT and presses buttons with posted messages, then
// checks what the program showed, wrote and saved. The expected texts are spelled out
// here rather than taken from the core, so a wrong table entry fails too.
//
//   vimlo_ui_driver.exe PROGRAM WORKFOLDER [SCENARIO...]
//   vimlo_ui_driver.exe PROGRAM WORKFOLDER pose-0|pose-1|pose-2|pose-progress|pose-message|pose-close
//
// WORKFOLDER must hold story.txt, page.htm and big.txt (the test script writes them). The
// web scenarios need the loopback server the script started (VIMLO_TEST_WEB_PORT), serving
// a folder that holds broken.htm (links to index.html, missing.htm and status/500).
// Texts are spelled in UTF-8, as the program holds them, and cross to the windows, the
// registry and the files through the wide calls.
// Prints "PASS: name" or "FAIL: name: why" per scenario and exits 1 when any failed.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---- the program's ids (frontend/win32/resource.h) ----
constexpr int kSource = 1001, kBrowseSource = 1002, kTitle = 1003, kFileName = 1004;
constexpr int kLocAuto = 1005, kLocFolder = 1007, kUser = 1009, kFolder = 1010, kBrowseFolder = 1011;
constexpr int kMaxDepth = 1101, kSlb = 1105, kSlbCount = 1106, kTabNone = 1107, kTabLb = 1108;
constexpr int kTabLbCount = 1109, kTabSpace = 1110, kTabSpaceCount = 1111;
constexpr int kProgSource = 1301, kProgDest = 1302, kProgStep = 1303, kProgPage = 1304;
constexpr int kApplyButton = 0x3021;

const char* const kSettingsKey = "Software\\Quib\\QuibW32";
const char* const kDesktopKey = "Software\\U.S. Robotics\\Pilot Desktop\\Core";
const char* const kHotSyncKey = "Software\\U.S. Robotics\\Pilot Desktop\\HotSync Manager";

// UTF-8 text as UTF-16, converted here rather than by the program's own helper.
std::wstring wide(const std::string& utf8) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), units);
    return text;
}

std::string utf8(const wchar_t* text) {
    char buffer[16384] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer - 1, nullptr, nullptr);
    return buffer;
}

const char* const kUsage =
    "VimloW32 {Options} SourceFileName\n\nOptions:\n-h | -?   Displays this usage help information\n"
    "-y         Force overwrite of destination file if it exists\n"
    "-u         Do not display successful conversion message";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(bool condition, const std::string& why) {
    if (!condition) throw Failure(why);
}

std::string g_program;  // the exe, as a Windows path
std::string g_work;     // the work folder, without a trailing separator

std::string work(const std::string& name) { return g_work + "\\" + name; }

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, wide(a).c_str(), -1, wide(b).c_str(), -1) ==
           CSTR_EQUAL;
}

// ---- windows ----

std::string textOf(HWND window) {
    wchar_t buffer[4096] = {};
    DWORD_PTR copied = 0;
    // WM_GETTEXT is carried across processes; GetWindowText would not ask the control.
    if (!SendMessageTimeoutW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0],
                             reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, &copied))
        return std::string();
    return utf8(buffer);
}

std::string className(HWND window) {
    char name[128] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> topWindows(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.pid && IsWindowVisible(window) && className(window) == "#32770")
                s.found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool isSheet(HWND window) {
    for (HWND child : children(window))
        if (className(child) == "SysTabControl32") return true;
    return false;
}

HWND findSheet(DWORD pid) {
    for (HWND window : topWindows(pid))
        if (isSheet(window)) return window;
    return nullptr;
}

// A dialog of the process with this caption that is not the sheet.
HWND findDialog(DWORD pid, const std::string& caption) {
    for (HWND window : topWindows(pid))
        if (!isSheet(window) && textOf(window) == caption) return window;
    return nullptr;
}

// Any dialog of the process other than the sheet, described for a failure message.
std::string strayDialogs(DWORD pid) {
    std::string what;
    for (HWND window : topWindows(pid)) {
        if (isSheet(window)) continue;
        what += " [" + textOf(window) + ": ";
        for (HWND child : children(window))
            if (className(child) == "Static") what += textOf(child);
        what += "]";
    }
    return what;
}

template <typename Find>
HWND waitFor(Find find, DWORD timeoutMs, const std::string& what, DWORD pid) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND found = find()) return found;
        if (GetTickCount() - start > timeoutMs)
            throw Failure("no " + what + " within " + std::to_string(timeoutMs) + " ms; open:" +
                          strayDialogs(pid));
        Sleep(20);
    }
}

HWND waitSheet(DWORD pid) {
    return waitFor([pid] { return findSheet(pid); }, 15000, "main window", pid);
}

HWND waitDialog(DWORD pid, const std::string& caption, DWORD timeoutMs = 15000) {
    return waitFor([pid, caption] { return findDialog(pid, caption); }, timeoutMs,
                   "window \"" + caption + "\"", pid);
}

// The message text of a message box: its static control that is neither empty nor an
// icon.
std::string messageText(HWND box) {
    std::string text;
    for (HWND child : children(box)) {
        if (className(child) != "Static") continue;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        const std::string candidate = textOf(child);
        if (candidate.size() > text.size()) text = candidate;
    }
    return text;
}

// Whether the box shows an icon: an icon control that holds one.
bool hasIcon(HWND box) {
    for (HWND child : children(box))
        if (className(child) == "Static" && IsWindowVisible(child) &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            SendMessageA(child, STM_GETICON, 0, 0) != 0)
            return true;
    return false;
}

// Waits for the message box, checks its text, and answers it with `button`.
void expectMessage(DWORD pid, const std::string& caption, const std::string& text, int button = IDOK,
                   bool icon = true) {
    const HWND box = waitDialog(pid, caption);
    const std::string shown = messageText(box);
    require(shown == text, "\"" + caption + "\" said \"" + shown + "\", expected \"" + text + "\"");
    require(hasIcon(box) == icon, "\"" + caption + "\": icon " + (icon ? "missing" : "unexpected"));
    const HWND answer = GetDlgItem(box, button);
    require(answer != nullptr, "\"" + caption + "\" has no button " + std::to_string(button));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(answer));
    waitFor([box] { return IsWindow(box) ? nullptr : HWND(1); }, 5000, "closing of " + caption, pid);
}

HWND page(HWND sheet, int index) {
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_INDEXTOHWND, static_cast<WPARAM>(index), 0));
}

HWND showPage(HWND sheet, int index) {
    SendMessageA(sheet, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
    return page(sheet, index);
}

HWND control(HWND page, int id) {
    const HWND found = GetDlgItem(page, id);
    require(found != nullptr, "control " + std::to_string(id) + " missing");
    return found;
}

void setText(HWND window, const std::string& text) {
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(text).c_str()));
}

void typeText(HWND page, int id, const std::string& text) {
    setText(control(page, id), text);
}

std::string fieldText(HWND page, int id) { return textOf(control(page, id)); }

// A click as the button sees it, so auto check boxes and radio buttons change state.
// Sent, so the page has handled it on return; a click that opens a dialog is posted.
void click(HWND page, int id) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(control(page, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
}

void clickToOpen(HWND page, int id) { PostMessageA(control(page, id), BM_CLICK, 0, 0); }

bool checked(HWND page, int id) {
    return SendMessageA(control(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool enabled(HWND page, int id) { return IsWindowEnabled(control(page, id)) != FALSE; }

HWND focused(HWND anyWindow) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(anyWindow, nullptr), &info);
    return info.hwndFocus;
}

void pressSheetButton(HWND sheet, int id) {
    PostMessageA(sheet, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(sheet, id)));
}

// The tab titles, read from the sheet's tab control through memory in its process.
std::vector<std::string> tabTitles(HWND sheet, DWORD pid) {
    HWND tabs = nullptr;
    for (HWND child : children(sheet))
        if (className(child) == "SysTabControl32") tabs = child;
    std::vector<std::string> titles;
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (tabs == nullptr || process == nullptr) return titles;
    char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    const int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = remote + 1024;
        item.cchTextMax = 256;
        WriteProcessMemory(process, remote, &item, sizeof item, nullptr);
        SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote));
        char text[257] = {};
        ReadProcessMemory(process, remote + 1024, text, 256, nullptr);
        titles.push_back(text);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return titles;
}

void requireControls(HWND page, const std::vector<std::string>& captions, const std::string& pageName) {
    std::vector<std::string> present;
    for (HWND child : children(page)) present.push_back(textOf(child));
    for (const std::string& caption : captions) {
        bool found = false;
        for (const std::string& text : present) found = found || text == caption;
        require(found, pageName + ": no control \"" + caption + "\"");
    }
}

// ---- the process ----

class Program {
public:
    explicit Program(const std::string& arguments) {
        std::string line = "\"" + g_program + "\" " + arguments;
        std::wstring wideLine = wide(line);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        require(CreateProcessW(wide(g_program).c_str(), wideLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               wide(g_work).c_str(), &startup, &info_) != FALSE,
                "cannot start " + g_program);
    }
    ~Program() {
        if (!detached_ && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    DWORD pid() const { return info_.dwProcessId; }
    // Leaves the program running when this object goes (for screenshots).
    void detach() { detached_ = true; }
    bool running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // Waits for the end; fails, naming any dialog still open, when it does not come,
    // and when the exit code is not 0 (a crash ends with an exception code).
    void expectExit(DWORD timeoutMs) {
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(info_.hProcess, 50) == WAIT_TIMEOUT) {
            if (GetTickCount() - start > timeoutMs)
                throw Failure("program still running after " + std::to_string(timeoutMs) + " ms; open:" +
                              strayDialogs(pid()));
        }
        requireCleanExit();
    }
    void requireCleanExit() {
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%lx", code);
        require(code == 0, std::string("program ended with exit code ") + hex);
    }

private:
    PROCESS_INFORMATION info_ = {};
    bool detached_ = false;
};

// ---- registry and files ----

void resetRegistry() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quib");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\U.S. Robotics");
}

void putRaw(const char* keyPath, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    require(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS,
            std::string("cannot create ") + keyPath);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void putDword(const char* keyPath, const char* name, DWORD value) {
    putRaw(keyPath, name, REG_DWORD, &value, sizeof value);
}

void putString(const char* keyPath, const char* name, const std::string& value) {
    const std::wstring text = wide(value);
    HKEY key = nullptr;
    require(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS,
            std::string("cannot create ") + keyPath);
    RegSetValueExW(key, wide(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The DWORD, or -1 when missing or of another type.
long long readDword(const char* keyPath, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, keyPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return -1;
    return value;
}

std::string readString(const char* keyPath, const char* name) {
    wchar_t value[1024] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, wide(keyPath).c_str(), wide(name).c_str(), RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return "<missing>";
    return utf8(value);
}

void writeFile(const std::string& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    require(file != INVALID_HANDLE_VALUE, "cannot write " + path);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

bool exists(const std::string& path) { return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void makeFolder(const std::string& path) { CreateDirectoryW(wide(path).c_str(), nullptr); }

void deleteFile(const std::string& path) { DeleteFileW(wide(path).c_str()); }

// The name of a file matching `pattern`, or empty when none does.
std::string anyMatch(const std::string& pattern) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(wide(pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return std::string();
    FindClose(search);
    return utf8(found.cFileName);
}

// Sets an environment variable of this process, and so of the programs it starts, for
// the object's life.
class EnvironmentOverride {
public:
    EnvironmentOverride(const wchar_t* name, const std::string& value) : name_(name) {
        wchar_t previous[4 * MAX_PATH] = {};
        const DWORD length = GetEnvironmentVariableW(name, previous, 4 * MAX_PATH);
        had_ = length > 0 && length < 4 * MAX_PATH;
        previous_ = previous;
        SetEnvironmentVariableW(name, wide(value).c_str());
    }
    ~EnvironmentOverride() { SetEnvironmentVariableW(name_, had_ ? previous_.c_str() : nullptr); }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;

private:
    const wchar_t* name_;
    std::wstring previous_;
    bool had_ = false;
};

// Last write time and size, to see whether a file was written again.
std::pair<unsigned long long, unsigned long long> stamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data)) return {0, 0};
    return {(static_cast<unsigned long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime,
            (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow};
}

// One users.dat record: tag (0xFFFF with a class name, or a plain tag), id, name,
// folder, flags, a skipped block and two empty lists.
std::string userRecord(bool classTag, uint32_t id, const std::string& name, const std::string& folder) {
    std::string record;
    auto little = [&record](uint32_t value, int width) {
        for (int i = 0; i < width; ++i) record += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    if (classTag) {
        little(0xFFFF, 2);
        little(1, 2);
        little(7, 2);
        record += "CPalmUs";
    } else {
        little(0x8001, 2);
    }
    little(id, 4);
    record += static_cast<char>(name.size()) + name;
    record += static_cast<char>(folder.size()) + folder;
    little(0, 2);
    little(0, 4);
    little(0, 2);
    little(0, 2);
    return record;
}

// A desktop folder with users.dat holding `records` under `count`, install folders for
// Ann and Bob, and its Path in the registry.
std::string makeDesktop(uint16_t count, const std::string& records) {
    const std::string desk = work("desk");
    makeFolder(desk);
    for (const char* user : {"AnnF", "BobF"}) {
        makeFolder(desk + "\\" + user);
        makeFolder(desk + "\\" + user + "\\Install");
    }
    writeFile(desk + "\\users.dat", std::string{static_cast<char>(count & 0xFF), static_cast<char>(count >> 8)} + records);
    putString(kDesktopKey, "Path", desk);  // without the trailing separator
    return desk;
}

// ---- scenarios ----

void usageBox() {
    for (const char* option : {"-?", "/h"}) {
        Program program(option);
        const HWND box = waitDialog(program.pid(), "VimloW32");
        require(messageText(box) == kUsage, std::string(option) + ": usage text was \"" + messageText(box) + "\"");
        require(hasIcon(box), std::string(option) + ": no icon");
        require(findSheet(program.pid()) == nullptr, std::string(option) + ": the sheet opened");
        expectMessage(program.pid(), "VimloW32", kUsage);
        program.expectExit(5000);
    }
}

void sheetAndPages() {
    resetRegistry();
    Program program("-H");  // the option letter is case-sensitive: no usage box
    const HWND sheet = waitSheet(program.pid());
    require(textOf(sheet) == "VimloW32", "sheet caption \"" + textOf(sheet) + "\"");
    require(textOf(GetDlgItem(sheet, IDOK)) == "Convert", "OK reads \"" + textOf(GetDlgItem(sheet, IDOK)) + "\"");
    require(textOf(GetDlgItem(sheet, IDCANCEL)) == "Done", "Cancel reads \"" + textOf(GetDlgItem(sheet, IDCANCEL)) + "\"");
    for (int hidden : {kApplyButton, IDHELP}) {
        const HWND button = GetDlgItem(sheet, hidden);
        require(button == nullptr || !IsWindowVisible(button), "Apply or Help is shown");
    }
    const std::vector<std::string> titles = tabTitles(sheet, program.pid());
    require(titles == std::vector<std::string>({"Source/Destination", "Options", "About VimloW32"}),
            "tabs: " + (titles.empty() ? std::string("none") : titles[0] + ", ..."));

    const HWND source = page(sheet, 0);
    requireControls(source, {"Source", "&File name:", "&Browse...", "Destination", "&Title:", "File &name:",
                             "Location", "A&utomatic installation", "User name:",
                             "&Save in same folder as source", "Specify &destination folder:", "Bro&wse..."},
                    "Source/Destination");
    require(SendMessageA(control(source, kTitle), EM_GETLIMITTEXT, 0, 0) == 31, "title not limited to 31");
    require(checked(source, kLocAuto) && enabled(source, kUser) && !enabled(source, kFolder) &&
                !enabled(source, kBrowseFolder),
            "default location state");
    click(source, kLocFolder);
    require(enabled(source, kFolder) && enabled(source, kBrowseFolder) && !enabled(source, kUser),
            "folder choice does not enable the folder field only");
    require(focused(sheet) == control(source, kFolder), "folder field not focused");

    const HWND options = showPage(sheet, 1);
    requireControls(options, {"HTML", "Maximum link &depth:", "DOC/Text", "Line breaks",
                              "Remove &CR (ASCII 13) characters", "Remove &LF (ASCII 10) characters",
                              "Convert C&R characters to LF characters", "Convert &single line breaks to",
                              "spaces", "Tab (ASCII 9) conversion", "&None", "Convert ta&bs to",
                              "line breaks (ASCII 10)", "Convert &tabs to", "spaces (ASCII 32)"},
                    "Options");
    require(fieldText(options, kMaxDepth) == "1", "depth shows \"" + fieldText(options, kMaxDepth) + "\"");
    require(SendMessageA(control(options, kMaxDepth), EM_GETLIMITTEXT, 0, 0) == 4, "depth not limited to 4");
    require(checked(options, kTabNone) && !enabled(options, kTabLbCount) && !enabled(options, kTabSpaceCount) &&
                !enabled(options, kSlbCount),
            "default option states");
    click(options, kTabLb);
    require(enabled(options, kTabLbCount) && !enabled(options, kTabSpaceCount), "tabs-to-line-breaks state");
    require(focused(sheet) == control(options, kTabLbCount), "line-break count not focused");
    require(SendMessageA(control(options, kTabLbCount), EM_GETLIMITTEXT, 0, 0) == 4, "count not limited to 4");

    const HWND about = showPage(sheet, 2);
    requireControls(about, {"This program converts HTML, text, or Doc files to Vimlo format."}, "About");

    pressSheetButton(sheet, IDCANCEL);  // "Done" saves whatever the pages hold in memory
    program.expectExit(10000);
    require(readDword(kSettingsKey, "MaxDepth") == 1 && readDword(kSettingsKey, "DestinationLocation") == 0 &&
                readDword(kSettingsKey, "TabConversion") == 0,
            "settings not saved after Done");
}

// Runs `arguments` and expects the program to convert and end without any message.
void convertsAlone(const std::string& arguments, const std::string& output) {
    deleteFile(output);
    Program program(arguments);
    const DWORD start = GetTickCount();
    std::vector<HWND> suspects;  // seen once: a window being made may not look like itself yet
    while (program.running()) {
        std::vector<HWND> now;
        for (HWND window : topWindows(program.pid())) {
            const std::string caption = textOf(window);
            if (caption.empty() || caption == "Vimlo Convert Progress" || isSheet(window)) continue;
            for (HWND earlier : suspects)
                require(earlier != window, "a message appeared:" + strayDialogs(program.pid()));
            now.push_back(window);
        }
        suspects = now;
        require(GetTickCount() - start < 60000, "program still running after 60 s");
        Sleep(50);
    }
    program.requireCleanExit();
    require(exists(output), output + " was not written");
}

void commandLineText() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    convertsAlone("-y -u story.txt", work("story.pdb"));
}

void commandLineHtml() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    putDword(kSettingsKey, "MaxDepth", 1);
    convertsAlone("-y -u page.htm", work("page.pdb"));
}

// A site of a root page and three linked pages with MaxPages 2: the book is written, and
// the success box, shown even with -u, says how many pages were left and what lifts the limit.
void pageLimitSaid() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    putDword(kSettingsKey, "MaxDepth", 1);
    putDword(kSettingsKey, "MaxPages", 2);
    writeFile(work("limit.htm"), "<p>root <a href=\"l1.htm\">1</a> <a href=\"l2.htm\">2</a> <a href=\"l3.htm\">3</a></p>");
    for (const char* name : {"l1.htm", "l2.htm", "l3.htm"}) writeFile(work(name), "<p>linked</p>");
    deleteFile(work("limit.pdb"));
    Program program("-y -u limit.htm");
    expectMessage(program.pid(), "VimloW32",
                  "Conversion successfully completed.\n\n"
                  "stopped after 2 pages; 2 more were queued: raise the registry value MaxPages",
                  IDOK, false);
    program.expectExit(10000);
    require(exists(work("limit.pdb")), "the book was not written");
}

void overwriteQuestion() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    const std::string output = work("story.pdb");
    writeFile(output, "old");
    const auto before = stamp(output);
    {
        Program program("-u " + work("story.txt"));
        expectMessage(program.pid(), "Destination File", output + " already exists. Overwrite?", IDCANCEL);
        Sleep(300);
        require(program.running() && findSheet(program.pid()) != nullptr, "the sheet closed after Cancel");
        require(findDialog(program.pid(), "Vimlo Convert Progress") == nullptr, "converted after Cancel");
        require(stamp(output) == before, "the destination changed after Cancel");
        pressSheetButton(findSheet(program.pid()), IDCANCEL);
        program.expectExit(10000);
    }
    // OK converts; without -u success is reported, and then the program ends.
    Program program(work("story.txt"));
    expectMessage(program.pid(), "Destination File", output + " already exists. Overwrite?", IDOK);
    expectMessage(program.pid(), "VimloW32", "Conversion successfully completed.", IDOK, false);
    program.expectExit(10000);
    require(stamp(output) != before, "the destination was not written after OK");
}

void missingSource() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    Program program("-y missing.txt");
    expectMessage(program.pid(), "Conversion Error", "Error opening source file.");
    Sleep(300);
    const HWND sheet = findSheet(program.pid());
    require(program.running() && sheet != nullptr, "the sheet closed after a failed run");
    require(!exists(work("missing.pdb")), "a destination was made for a missing source");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

void optionsRefusalAndSavedDepth() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    HWND options = showPage(sheet, 1);
    typeText(options, kMaxDepth, "7");
    click(options, kSlb);
    require(checked(options, kSlb) && enabled(options, kSlbCount), "single-line-break count not enabled");
    require(focused(sheet) == control(options, kSlbCount), "single-line-break count not focused");
    typeText(options, kSlbCount, "");
    click(options, kTabSpace);
    require(enabled(options, kTabSpaceCount) && !enabled(options, kTabLbCount), "tabs-to-spaces state");
    typeText(options, kTabSpaceCount, "4");
    const HWND source = showPage(sheet, 0);
    typeText(source, kSource, work("story.txt"));
    pressSheetButton(sheet, IDOK);
    expectMessage(program.pid(), "Options",
                  "You must specify how many spaces to substitute for each single line break");
    Sleep(200);
    require(findDialog(program.pid(), "Vimlo Convert Progress") == nullptr, "the run started after a refusal");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
    // What the commit wrote before it refused stays; the tab choice after it does not.
    require(readDword(kSettingsKey, "MaxDepth") == 7, "MaxDepth " + std::to_string(readDword(kSettingsKey, "MaxDepth")));
    require(readDword(kSettingsKey, "ConvertSingleLB") == 1, "ConvertSingleLB not saved");
    require(readDword(kSettingsKey, "TabConversion") == 0, "TabConversion changed by a refused commit");
}

void automaticInstallation() {
    resetRegistry();
    const std::string desk =
        makeDesktop(2, userRecord(true, 4000000000u, "Ann", "AnnF") + userRecord(false, 7, "Bob", "BobF"));
    putDword(kSettingsKey, "DestinationLocation", 0);
    putString(kSettingsKey, "DestinationUserName", "Ann");
    const std::string output = desk + "\\AnnF\\Install\\story.pdb";
    convertsAlone("-y -u " + work("story.txt"), output);
    require(!exists(desk + "\\BobF\\Install\\story.pdb"), "Bob got the database too");
    require(readDword(kHotSyncKey, "Install4000000000") == 1, "Install4000000000 not set");
    require(readDword(kHotSyncKey, "Install7") == -1, "Install7 set");
    require(readString(kSettingsKey, "DestinationUserName") == "Ann", "DestinationUserName not kept");
}

void damagedUsersFile() {
    resetRegistry();
    // Count 3, the second record with an empty name: Ann only.
    makeDesktop(3, userRecord(true, 1, "Ann", "AnnF") + userRecord(false, 2, "", "BobF") +
                       userRecord(false, 3, "Cy", "CyF"));
    {
        Program program("-H");
        const HWND sheet = waitSheet(program.pid());
        const HWND box = control(page(sheet, 0), kUser);
        require(SendMessageA(box, CB_GETCOUNT, 0, 0) == 1, "user box holds " +
                std::to_string(SendMessageA(box, CB_GETCOUNT, 0, 0)) + " entries");
        require(textOf(box) == "Ann", "selected user \"" + textOf(box) + "\"");
        pressSheetButton(sheet, IDCANCEL);
        program.expectExit(10000);
    }
    // Noise: whatever it parses to, the program opens and closes normally.
    std::string noise;
    unsigned state = 12345;
    for (int i = 0; i < 4096; ++i) {
        state = state * 1103515245u + 12345u;
        noise += static_cast<char>(state >> 24);
    }
    writeFile(work("desk\\users.dat"), noise);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

void userBoxSortedWithLastNamesakeChosen() {
    resetRegistry();
    // File order: Zed, Ann (first), Ann (second). The box sorts; the saved name picks the
    // last Ann in file order.
    makeDesktop(3, userRecord(false, 1, "Zed", "ZedF") + userRecord(false, 2, "Ann", "AnnF") +
                       userRecord(true, 3, "Ann", "BobF"));
    putString(kSettingsKey, "DestinationUserName", "Ann");
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND box = control(page(sheet, 0), kUser);
    // Each entry carries its user's index in file order (0 Zed, 1 and 2 Ann); item data
    // crosses processes where entry texts do not reliably.
    std::string order;
    const LRESULT count = SendMessageA(box, CB_GETCOUNT, 0, 0);
    for (LRESULT entry = 0; entry < count; ++entry)
        order += std::to_string(SendMessageA(box, CB_GETITEMDATA, static_cast<WPARAM>(entry), 0));
    require(order == "120" || order == "210", "user box order by file index " + order);
    const LRESULT selected = SendMessageA(box, CB_GETCURSEL, 0, 0);
    require(SendMessageA(box, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0) == 2,
            "the selected entry is not the last Ann in file order");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

void wrongRegistryTypes() {
    resetRegistry();
    putDword(kDesktopKey, "Path", 1);                          // not a string: no desktop
    putString(kSettingsKey, "DestinationLocation", "1");       // not a DWORD: 0
    putRaw(kSettingsKey, "MaxDepth", REG_BINARY, "\x05\0\0\0", 4);
    putDword(kSettingsKey, "TabToSpace", 10000);               // out of range: 8
    putDword(kSettingsKey, "TabConversion", 2);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND options = showPage(sheet, 1);
    const HWND source = showPage(sheet, 0);
    require(checked(source, kLocAuto), "location not the default");
    require(fieldText(options, kMaxDepth) == "1", "depth \"" + fieldText(options, kMaxDepth) + "\"");
    require(fieldText(options, kTabSpaceCount) == "8", "spaces per tab \"" + fieldText(options, kTabSpaceCount) + "\"");
    require(checked(options, kTabSpace), "a valid TabConversion was not taken");
    require(SendMessageA(control(source, kUser), CB_GETCOUNT, 0, 0) == 0, "users without a desktop");
    typeText(source, kSource, work("story.txt"));
    pressSheetButton(sheet, IDOK);
    expectMessage(program.pid(), "Source/Destination", "A valid user name must be selected for automatic installation.");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

void longSourceAndFileAsFolder() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 2);
    putString(kSettingsKey, "DestinationFolder", g_work);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND source = page(sheet, 0);
    const std::string longName = work(std::string(290, 'x') + ".txt");  // over 300 characters
    typeText(source, kSource, longName);
    pressSheetButton(sheet, IDOK);
    expectMessage(program.pid(), "Conversion Error", "Error opening source file.");

    typeText(source, kSource, work("story.txt"));
    typeText(source, kFolder, work("story.txt"));
    pressSheetButton(sheet, IDOK);
    expectMessage(program.pid(), "Destination Folder", work("story.txt") + " is not a folder.");
    typeText(source, kFolder, work("nowhere"));
    pressSheetButton(sheet, IDOK);
    expectMessage(program.pid(), "Destination Folder", "The destination folder " + work("nowhere") + " does not exist.");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

void proposalOfTitleAndName() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND source = page(sheet, 0);
    typeText(source, kSource, work("page.htm"));
    Sleep(400);
    require(fieldText(source, kFileName).empty(), "proposed before the source was quiet");
    waitFor([&] { return fieldText(source, kFileName) == "page.pdb" ? sheet : nullptr; }, 2500,
            "proposed file name", program.pid());
    require(fieldText(source, kTitle) == "Welcome Page", "HTML title \"" + fieldText(source, kTitle) + "\"");
    // The same source again proposes the same texts; the page must still tell its own
    // writes from the user's afterwards.
    typeText(source, kSource, work("page.htm"));
    Sleep(1700);
    typeText(source, kTitle, "Mine");  // the user's title is kept from now on
    typeText(source, kSource, work("story.txt"));
    waitFor([&] { return fieldText(source, kFileName) == "story.pdb" ? sheet : nullptr; }, 2500,
            "second proposed file name", program.pid());
    require(fieldText(source, kTitle) == "Mine", "the edited title was replaced");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

// Opens the source dialog, checks the filter it starts with, and either picks `pick`
// (a file of the work folder) or cancels.
void browseForSource(DWORD filterIndex, const std::string& expectedFilter, const std::string& pick) {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    putDword(kSettingsKey, "BrowseFilterIndex", filterIndex);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND source = page(sheet, 0);
    clickToOpen(source, kBrowseSource);
    const HWND dialog = waitDialog(program.pid(), "Open");
    const HWND types = GetDlgItem(dialog, 0x470);  // the common dialog's file type box
    require(types != nullptr, "no file type box");
    require(textOf(types) == expectedFilter, "filter \"" + textOf(types) + "\"");
    require(SendMessageA(types, CB_GETCOUNT, 0, 0) == 5,
            "filters: " + std::to_string(SendMessageA(types, CB_GETCOUNT, 0, 0)));
    if (pick.empty()) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else {
        HWND name = GetDlgItem(dialog, 0x47c);  // the file name box
        if (name == nullptr) name = GetDlgItem(dialog, 0x480);
        require(name != nullptr, "no file name box");
        setText(name, work(pick));
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    }
    waitFor([&] { return IsWindow(dialog) ? nullptr : sheet; }, 5000, "closing of the Open dialog", program.pid());
    if (!pick.empty())
        require(equalsIgnoringCase(fieldText(source, kSource), work(pick)),
                "source field \"" + fieldText(source, kSource) + "\"");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

// Names beyond ASCII: a Latin letter that Western ANSI code pages have, and a Chinese
// one that none of theirs has.
const std::string kLatin = "Jos\u00e9";
const std::string kChinese = "\u4e66";

// The temporary files go into the user's temporary folder, which lies below the user's
// name: named beyond any ANSI code page, it must still take them, and keep none.
void temporaryFolderBeyondAscii() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    const std::string temporary = work("Temp " + kLatin + " " + kChinese);
    makeFolder(temporary);
    {
        EnvironmentOverride tmp(L"TMP", temporary);
        EnvironmentOverride temp(L"TEMP", temporary);
        convertsAlone("-y -u page.htm", work("page.pdb"));
    }
    const std::string left = anyMatch(temporary + "\\*.tmp");
    require(left.empty(), "a temporary file was left: " + left);
}

// A text and an HTML source in folders named beyond ASCII, given on the command line
// and chosen in the Open dialog, each converted beside itself.
void namesBeyondAscii() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    const std::string base = "caf\u00e9 \u2019story\u2019 " + kChinese;
    for (const std::string& name : {kLatin + "\u2019s files", kChinese}) {
        const std::string folder = work(name);
        makeFolder(folder);
        writeFile(folder + "\\" + base + ".txt", "Once upon a time\r\nthere was a story.\r\n");
        convertsAlone("-y -u \"" + folder + "\\" + base + ".txt\"", folder + "\\" + base + ".pdb");
        writeFile(folder + "\\page.htm", "<html><body><p>Page in a folder.</p></body></html>");
        convertsAlone("-y -u \"" + folder + "\\page.htm\"", folder + "\\page.pdb");
    }

    const std::string source = work(kChinese) + "\\" + base + ".txt";
    const std::string output = work(kChinese) + "\\" + base + ".pdb";
    deleteFile(output);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND sourcePage = page(sheet, 0);
    clickToOpen(sourcePage, kBrowseSource);
    const HWND dialog = waitDialog(program.pid(), "Open");
    HWND name = GetDlgItem(dialog, 0x47c);  // the file name box
    if (name == nullptr) name = GetDlgItem(dialog, 0x480);
    require(name != nullptr, "no file name box");
    setText(name, source);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    waitFor([&] { return IsWindow(dialog) ? nullptr : sheet; }, 5000, "closing of the Open dialog", program.pid());
    require(equalsIgnoringCase(fieldText(sourcePage, kSource), source),
            "source field \"" + fieldText(sourcePage, kSource) + "\"");
    waitFor([&] { return fieldText(sourcePage, kFileName) == base + ".pdb" ? sheet : nullptr; }, 2500,
            "proposed file name \"" + base + ".pdb\"", program.pid());
    require(fieldText(sourcePage, kTitle) == base, "proposed title \"" + fieldText(sourcePage, kTitle) + "\"");
    pressSheetButton(sheet, IDOK);
    expectMessage(program.pid(), "VimloW32", "Conversion successfully completed.", IDOK, false);
    require(exists(output), output + " was not written");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

// A title and a destination folder beyond ASCII typed into the page: the book lands in
// that folder (the stage compares it with vimlo's book of the same source and title),
// and the folder is saved as typed.
void titleAndFolderBeyondAscii() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 2);
    const std::string site = work(kChinese + " site");
    makeFolder(site);
    writeFile(site + "\\page.htm",
              "<html><head><title>Welcome Page</title></head><body><h1>Hello</h1>"
              "<p>First page. <a href=\"second.htm\">Next</a></p></body></html>\n");
    writeFile(site + "\\second.htm", "<html><body><p>Second page.</p></body></html>\n");
    const std::string folder = work("B\u00fccher " + kChinese);
    makeFolder(folder);
    const std::string title = "Caf\u00e9 \u2019" + kChinese + "\u2019";
    deleteFile(folder + "\\page.pdb");

    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND source = page(sheet, 0);
    typeText(source, kFolder, folder);
    typeText(source, kSource, site + "\\page.htm");
    waitFor([&] { return fieldText(source, kFileName) == "page.pdb" ? sheet : nullptr; }, 2500,
            "proposed file name", program.pid());
    typeText(source, kTitle, title);
    require(fieldText(source, kTitle) == title, "title field \"" + fieldText(source, kTitle) + "\"");
    pressSheetButton(sheet, IDOK);
    expectMessage(program.pid(), "VimloW32", "Conversion successfully completed.", IDOK, false);
    require(exists(folder + "\\page.pdb"), folder + "\\page.pdb was not written");
    require(fieldText(source, kTitle) == title, "title field after the run \"" + fieldText(source, kTitle) + "\"");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
    require(readString(kSettingsKey, "DestinationFolder") == folder,
            "DestinationFolder saved as \"" + readString(kSettingsKey, "DestinationFolder") + "\"");
}

// The desktop software's users.dat holds names in Windows-1252: a user named Zo\u00eb
// with an install folder of that name, below a desktop folder named beyond any ANSI code
// page, is listed, chosen, installed into and remembered.
void userNamesBeyondAscii() {
    resetRegistry();
    const std::string desk = work("desk " + kChinese);
    makeFolder(desk);
    makeFolder(desk + "\\Zo\u00eb");
    makeFolder(desk + "\\Zo\u00eb\\Install");
    writeFile(desk + "\\users.dat", std::string("\x01\x00", 2) + userRecord(false, 9, "Zo\xeb", "Zo\xeb"));
    putString(kDesktopKey, "Path", desk);
    putDword(kSettingsKey, "DestinationLocation", 0);
    {
        Program program("-H");
        const HWND sheet = waitSheet(program.pid());
        const HWND box = control(page(sheet, 0), kUser);
        require(textOf(box) == "Zo\u00eb", "selected user \"" + textOf(box) + "\"");
        pressSheetButton(sheet, IDCANCEL);
        program.expectExit(10000);
    }
    convertsAlone("-y -u " + work("story.txt"), desk + "\\Zo\u00eb\\Install\\story.pdb");
    require(readDword(kHotSyncKey, "Install9") == 1, "Install9 not set");
    require(readString(kSettingsKey, "DestinationUserName") == "Zo\u00eb",
            "DestinationUserName saved as \"" + readString(kSettingsKey, "DestinationUserName") + "\"");
}

void browseFilterRemembered() {
    // 0 means the first filter; the one the dialog ends with is saved.
    browseForSource(0, "HTML Files (*.htm;*.html)", "story.txt");
    require(readDword(kSettingsKey, "BrowseFilterIndex") == 1,
            "BrowseFilterIndex " + std::to_string(readDword(kSettingsKey, "BrowseFilterIndex")));
    browseForSource(4, "All Files (*.*)", "");
    require(readDword(kSettingsKey, "BrowseFilterIndex") == 4, "a canceled dialog changed BrowseFilterIndex");
    // The EPUB filter came last, so saved positions keep naming the same filters.
    browseForSource(5, "EPUB Books (*.epub)", "");
}

void cancelLongConversion() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 1);
    Program program("-y " + work("big.txt"));
    const HWND progress = waitDialog(program.pid(), "Vimlo Convert Progress");
    require(fieldText(progress, kProgSource) == work("big.txt"), "progress source \"" + fieldText(progress, kProgSource) + "\"");
    require(fieldText(progress, kProgDest) == "big.pdb", "progress destination \"" + fieldText(progress, kProgDest) + "\"");
    // Enter does nothing while the worker runs.
    PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    waitFor([&] { return fieldText(progress, kProgStep).empty() ? nullptr : progress; }, 3000, "a step line",
            program.pid());
    require(IsWindow(progress), "Enter closed the progress dialog");
    const std::string step = fieldText(progress, kProgStep);
    require(step.rfind("Step ", 0) == 0, "step line \"" + step + "\"");
    PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(progress, IDCANCEL)));
    expectMessage(program.pid(), "VimloW32", "Conversion canceled.", IDOK, false);
    Sleep(200);
    const HWND sheet = findSheet(program.pid());
    require(program.running() && sheet != nullptr, "the sheet closed after a cancel");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

// ---- pages on the web, from the loopback server the test script started ----

std::string webBase() {
    const char* port = std::getenv("VIMLO_TEST_WEB_PORT");
    require(port != nullptr && *port != '\0', "no loopback server (VIMLO_TEST_WEB_PORT)");
    return std::string("http://127.0.0.1:") + port;
}

void prepareWebRun() {
    resetRegistry();
    putDword(kSettingsKey, "DestinationLocation", 2);
    putString(kSettingsKey, "DestinationFolder", g_work);
    putDword(kSettingsKey, "MaxDepth", 1);
}

// A page linking to two that cannot be had: the book is written from the rest, and the
// success box, shown even with -u, names each missing page with its reason.
void webFailuresSaid() {
    const std::string base = webBase();
    prepareWebRun();
    deleteFile(work("broken.pdb"));
    Program program("-y -u " + base + "/broken.htm");
    expectMessage(program.pid(), "VimloW32",
                  "Conversion successfully completed.\n\n2 pages could not be fetched:\n" +
                      base + "/missing.htm: HTTP 404 File not found\n" +
                      base + "/status/500: HTTP 500 Internal Server Error",
                  IDOK, false);
    program.expectExit(10000);
    require(exists(work("broken.pdb")), "the book was not written");
}

// A source the server does not have: the error names the address and the reason, and
// no book is made.
void webSourceFailure() {
    const std::string base = webBase();
    prepareWebRun();
    deleteFile(work("404.pdb"));
    Program program("-y " + base + "/status/404");
    expectMessage(program.pid(), "Conversion Error",
                  "Error opening source file.\n\n" + base + "/status/404: HTTP 404 Not Found");
    Sleep(300);
    const HWND sheet = findSheet(program.pid());
    require(program.running() && sheet != nullptr, "the sheet closed after a failed run");
    require(!exists(work("404.pdb")), "a book was made of a page that could not be fetched");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

// A server that sends nothing for 30 s: the progress line shows the address being
// fetched, and Cancel ends the run at once rather than after the silence.
void webCancelSlowDownload() {
    const std::string base = webBase();
    prepareWebRun();
    deleteFile(work("slow.pdb"));
    Program program("-y " + base + "/slow?seconds=30");
    const HWND progress = waitDialog(program.pid(), "Vimlo Convert Progress");
    waitFor([&] { return fieldText(progress, kProgPage).find("/slow") != std::string::npos ? progress : nullptr; },
            5000, "the fetched address on the progress line", program.pid());
    Sleep(500);
    const DWORD pressed = GetTickCount();
    PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(progress, IDCANCEL)));
    expectMessage(program.pid(), "VimloW32", "Conversion canceled.", IDOK, false);
    const DWORD took = GetTickCount() - pressed;
    require(took < 2000, "the cancel took " + std::to_string(took) + " ms");
    require(!exists(work("slow.pdb")), "a canceled run left a book");
    const HWND sheet = findSheet(program.pid());
    require(program.running() && sheet != nullptr, "the sheet closed after a cancel");
    pressSheetButton(sheet, IDCANCEL);
    program.expectExit(10000);
}

// ---- poses for scripts/screenshots: each leaves the program running in a state worth
// a picture; "pose-close" ends it ----

void prepareShowcase(int32_t location) {
    resetRegistry();
    makeDesktop(2, userRecord(false, 1, "Ann Smith", "AnnF") + userRecord(false, 2, "Bob Jones", "BobF"));
    putDword(kSettingsKey, "DestinationLocation", static_cast<DWORD>(location));
    putString(kSettingsKey, "DestinationUserName", "Ann Smith");
    putString(kSettingsKey, "DestinationFolder", g_work);
}

void posePage(int index) {
    prepareShowcase(0);
    Program program("-H");
    const HWND sheet = waitSheet(program.pid());
    const HWND source = page(sheet, 0);
    typeText(source, kSource, work("page.htm"));
    waitFor([&] { return fieldText(source, kFileName).empty() ? nullptr : sheet; }, 3000, "proposal", program.pid());
    showPage(sheet, index);
    program.detach();
}

void poseProgress() {
    prepareShowcase(1);
    Program program("-y " + work("big.txt"));
    const HWND progress = waitDialog(program.pid(), "Vimlo Convert Progress");
    waitFor([&] { return fieldText(progress, kProgStep).empty() ? nullptr : progress; }, 5000, "a step line",
            program.pid());
    Sleep(700);
    program.detach();
}

void poseMessage() {
    prepareShowcase(1);
    Program program("-y " + work("story.txt"));
    waitDialog(program.pid(), "VimloW32");
    program.detach();
}

void poseClose() {
    for (const char* caption : {"VimloW32", "Vimlo Convert Progress"}) {
        while (HWND window = FindWindowA("#32770", caption)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
            if (process == nullptr) break;
            TerminateProcess(process, 0);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: vimlo_ui_driver PROGRAM WORKFOLDER [SCENARIO...]\n");
        return 2;
    }
    g_program = argv[1];
    g_work = argv[2];
    if (argc == 4 && std::string(argv[3]).rfind("pose-", 0) == 0) {
        const std::string pose = argv[3];
        try {
            if (pose == "pose-close") poseClose();
            else if (pose == "pose-progress") poseProgress();
            else if (pose == "pose-message") poseMessage();
            else posePage(std::stoi(pose.substr(5)));
            if (pose != "pose-close") writeFile(work("posed"), pose);  // the picture can be taken
        } catch (const std::exception& error) {
            std::printf("FAIL: %s: %s\n", pose.c_str(), error.what());
            return 1;
        }
        return 0;
    }
    const struct {
        const char* name;
        void (*run)();
    } scenarios[] = {
        {"usage-box", usageBox},
        {"sheet-and-pages", sheetAndPages},
        {"command-line-text", commandLineText},
        {"command-line-html", commandLineHtml},
        {"overwrite-question", overwriteQuestion},
        {"page-limit-said", pageLimitSaid},
        {"missing-source", missingSource},
        {"options-refusal-and-saved-depth", optionsRefusalAndSavedDepth},
        {"automatic-installation", automaticInstallation},
        {"damaged-users-file", damagedUsersFile},
        {"user-box-sorted", userBoxSortedWithLastNamesakeChosen},
        {"wrong-registry-types", wrongRegistryTypes},
        {"long-source-and-file-as-folder", longSourceAndFileAsFolder},
        {"proposal-of-title-and-name", proposalOfTitleAndName},
        {"browse-filter-remembered", browseFilterRemembered},
        {"cancel-long-conversion", cancelLongConversion},
        {"web-failures-said", webFailuresSaid},
        {"web-source-failure", webSourceFailure},
        {"web-cancel-slow-download", webCancelSlowDownload},
        {"temporary-folder-beyond-ascii", temporaryFolderBeyondAscii},
        {"names-beyond-ascii", namesBeyondAscii},
        {"title-and-folder-beyond-ascii", titleAndFolderBeyondAscii},
        {"user-names-beyond-ascii", userNamesBeyondAscii},
    };
    int failed = 0;
    int passed = 0;
    for (const auto& scenario : scenarios) {
        bool wanted = argc == 3;
        for (int i = 3; i < argc; ++i) wanted = wanted || std::string(argv[i]) == scenario.name;
        if (!wanted) continue;
        const DWORD start = GetTickCount();
        try {
            scenario.run();
            std::printf("PASS: %s (%lu ms)\n", scenario.name, GetTickCount() - start);
            ++passed;
        } catch (const Failure& failure) {
            std::printf("FAIL: %s: %s\n", scenario.name, failure.what());
            ++failed;
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
