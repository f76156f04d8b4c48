// A conversion run without its windows: the absolute source path the engine needs to
// resolve links, the job built from the settings, the status and its message, and the
// checks before and after a run.
#include <gtest/gtest.h>

#include "frontend/conversion_run.h"
#include "html/references.h"
#include "tests/frontend/fakes.h"

namespace {

// The reference helpers written out from their rules, including the stop at 255 bytes.
class RuleBookReferences : public ReferenceRules {
public:
    int pathKind(const std::string& ref) const override {
        if (ref.size() >= 3 && std::isalpha(static_cast<unsigned char>(ref[0])) && ref[1] == ':' &&
            (ref[2] == '\\' || ref[2] == '/'))
            return 1;
        if (ref.rfind("\\\\", 0) == 0) return 2;
        if (!ref.empty() && ref[0] == '/') return 3;
        if (ref.size() >= 7) {
            std::string scheme = ref.substr(0, 7);
            for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (scheme == "http://") return 4;
        }
        return 0;
    }
    std::optional<std::string> resolveReference(const std::string& base,
                                                const std::string& ref) const override {
        lastBase = base;
        lastReference = ref;
        std::string out;
        if (pathKind(ref) != 0) {
            out = ref;
        } else {
            const int kind = pathKind(base);
            if (base.size() >= 254 || kind == 0) return std::nullopt;
            out = base;
            const char separator = kind <= 2 ? '\\' : '/';
            const bool ends = !out.empty() && (out.back() == '/' || (kind <= 2 && out.back() == '\\'));
            if (!ends) out += separator;
            if (!ref.empty() && (ref[0] == '\\' || ref[0] == '/')) {
                if (kind == 1) out.resize(2);
                else if (kind == 2) out.resize(1);
                else if (kind == 3) out.clear();
                else return std::nullopt;  // URLs are not needed here
            }
            out += ref;
        }
        if (out.size() > 255) out.resize(255);
        return out;
    }
    std::optional<std::string> normalizePath(const std::string& path) const override {
        std::string out = path;
        auto separator = [](char c) { return c == '\\' || c == '/'; };
        size_t i = 0;
        while (i + 3 < out.size()) {
            if (!(separator(out[i]) && out[i + 1] == '.' && out[i + 2] == '.' && separator(out[i + 3]))) {
                ++i;
                continue;
            }
            const size_t previous = i == 0 ? std::string::npos : out.find_last_of("\\/", i - 1);
            if (previous == std::string::npos) return std::nullopt;
            out.erase(previous + 1, i + 4 - (previous + 1));
            i = previous;
        }
        return out;
    }

    mutable std::string lastBase;
    mutable std::string lastReference;
};

// The engine call, recording the job it was handed.
ConversionJob lastJob{};
std::string lastSource, lastDestination, lastTitle;
int32_t nextResult = ResultOk;
int convertCalls = 0;

int32_t recordingConvert(const ConversionJob& job) {
    ++convertCalls;
    lastJob = job;
    lastSource = job.sourcePath;
    lastDestination = job.destinationPath;
    lastTitle = job.title;
    return nextResult;
}

// A table under which no file exists: the worker looks at the source's first bytes
// (an archive is an EPUB) before the engine runs.
uint32_t openNothing(void*, const char*, int32_t) { return 0; }
IoOps noFiles() {
    IoOps io{};
    io.openStream = &openNothing;
    return io;
}

class ConversionRun : public ::testing::Test {
protected:
    ConversionRun() {
        convertCalls = 0;
        nextResult = ResultOk;
        files.cwd = "C:\\Work\\Site";
        files.driveDirectories['C'] = "C:\\Work\\Site";
        files.driveDirectories['D'] = "D:\\Books";
    }
    std::optional<std::string> absolute(const std::string& path,
                                        PathFlavor flavor = PathFlavor::Windows) {
        return makeSourceAbsolute(path, flavor, rules, files);
    }
    FakeFileSystem files;
    RuleBookReferences rules;
};

}  // namespace

TEST(StatusTable, EngineResultsMapToStatusesAndMessages) {
    struct Row { int32_t result; int32_t status; MessageId message; };
    const Row rows[] = {
        {ResultOk, StatusSucceeded, MsgConversionSucceeded},
        {ResultCanceled, StatusCanceled, MsgConversionCanceled},
        {ResultSourceOpenError, StatusSourceError, MsgSourceOpenError},
        {ResultDestinationOpenError, StatusDestinationError, MsgDestinationOpenError},
        {ResultTempOpenError, StatusTempError, MsgTempOpenError},
        {ResultPreprocessError, StatusPreprocessError, MsgPreprocessError},
        {ResultConversionError, StatusConversionError, MsgConversionError},
        {101, StatusUnknownError, MsgUnknownError},
        {-1, StatusUnknownError, MsgUnknownError},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.status, statusForResult(row.result)) << row.result;
        EXPECT_EQ(row.message, statusMessage(row.status)) << row.result;
    }
    // A refusal comes from the front end, not from an engine result; its message carries the reason.
    EXPECT_EQ(MsgSourceRefused, statusMessage(StatusSourceRefused));
    EXPECT_EQ("book.epub: why", messageText(statusMessage(StatusSourceRefused), "book.epub: why"));
    EXPECT_EQ(MsgUnknownError, statusMessage(9));
}

TEST_F(ConversionRun, SourcePathsAreMadeAbsolute) {
    struct Row { const char* source; const char* expected; };
    const Row rows[] = {
        {"C:\\docs\\a.htm", "C:\\docs\\a.htm"},            // already absolute: untouched
        {"C:\\docs\\..\\a.htm", "C:\\docs\\..\\a.htm"},
        {"\\\\srv\\share\\a.htm", "\\\\srv\\share\\a.htm"},
        {"page.htm", "C:\\Work\\Site\\page.htm"},
        {"sub\\..\\page.htm", "C:\\Work\\Site\\page.htm"},
        {"..\\page.htm", "C:\\Work\\page.htm"},
        {"\\top.htm", "C:\\top.htm"},                      // rooted: the current drive's root
        {"D:novel.txt", "D:\\Books\\novel.txt"},           // drive-relative: that drive's directory
        {"d:..\\x.txt", "D:\\x.txt"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, absolute(row.source).value_or("<none>")) << row.source;
}

TEST_F(ConversionRun, DriveRelativeSourceDropsTheDriveBeforeResolving) {
    ASSERT_TRUE(absolute("D:novel.txt"));
    EXPECT_EQ("D:\\Books", rules.lastBase);
    EXPECT_EQ("novel.txt", rules.lastReference);
}

TEST_F(ConversionRun, NormalizingFailureKeepsTheResolvedPath) {
    files.cwd = "C:\\";
    EXPECT_EQ("C:\\..\\x.htm", absolute("..\\x.htm").value_or("<none>"));  // ".." above the root
}

TEST_F(ConversionRun, SourcesThatCannotBeMadeAbsoluteAreRefused) {
    EXPECT_FALSE(absolute("E:x.txt"));                 // drive without a current directory
    EXPECT_FALSE(absolute(std::string(250, 'n')));     // resolved path would be cut at 255
    EXPECT_FALSE(absolute("C:\\" + std::string(253, 'n')));  // absolute but over 255
    EXPECT_TRUE(absolute("C:\\" + std::string(252, 'n')));   // exactly 255
    files.cwd = "C:";  // not an absolute base by the helpers' rules
    EXPECT_FALSE(absolute("a.htm"));
    files.cwd.reset();
    EXPECT_FALSE(absolute("a.htm"));
}

TEST_F(ConversionRun, PosixSourcesResolveAgainstTheWorkingDirectory) {
    files.cwd = "/home/u/site";
    EXPECT_EQ("/home/u/site/a.htm", absolute("a.htm", PathFlavor::Posix).value_or(""));
    EXPECT_EQ("/home/u/b.htm", absolute("../b.htm", PathFlavor::Posix).value_or(""));
    // No drives on POSIX: "C:x" is a plain relative name.
    EXPECT_EQ("/home/u/site/C:x", absolute("C:x", PathFlavor::Posix).value_or(""));
    EXPECT_EQ("/abs/c.htm", absolute("/abs/c.htm", PathFlavor::Posix).value_or(""));
}

TEST(ConversionJobFill, TextOptionsFollowTheSettings) {
    const IoOps io{};
    struct Row { bool singleLB; int32_t tabs; int32_t slb, lb, sp; };
    const Row rows[] = {
        {false, TabsKept, -1, -1, -1},
        {true, TabsKept, 5, -1, -1},
        {false, TabsToLineBreaks, -1, 3, -1},
        {false, TabsToSpaces, -1, -1, 6},  // tabToLB is -1 so the engine uses tabToSpace
    };
    for (const Row& row : rows) {
        ConverterSettings settings;
        settings.convertSingleLB = row.singleLB;
        settings.slbToSpace = 5;
        settings.tabConversion = row.tabs;
        settings.tabToLB = 3;
        settings.tabToSpace = 6;
        PreparedJob prepared;
        fillConversionJob(prepared, settings, io, "C:\\a.txt", "C:\\a.pdb", "A");
        EXPECT_EQ(row.slb, prepared.job().slbSpaces);
        EXPECT_EQ(row.lb, prepared.job().tabToLB);
        EXPECT_EQ(row.sp, prepared.job().tabToSpace);
    }
}

TEST(ConversionJobFill, FlagsDepthPathsAndTitleReachTheJob) {
    const IoOps io{};
    ConverterSettings settings;
    settings.removeCR = false;
    settings.removeLF = true;
    settings.convertCRtoLF = true;
    settings.maxDepth = 0;
    PreparedJob prepared;
    std::string title(40, 't');
    {
        std::string source = "C:\\in\\a.htm";
        std::string destination = "D:\\out\\a.pdb";
        fillConversionJob(prepared, settings, io, source, destination, title);
        source.assign(50, 'x');  // the job keeps its own copies
        destination.clear();
    }
    const ConversionJob& job = prepared.job();
    EXPECT_EQ(&io, job.io);
    EXPECT_STREQ("C:\\in\\a.htm", job.sourcePath);
    EXPECT_STREQ("D:\\out\\a.pdb", job.destinationPath);
    EXPECT_EQ(std::string(kMaxJobTitleLength, 't'), job.title);
    EXPECT_EQ(0, job.removeCR);
    EXPECT_EQ(1, job.removeLF);
    EXPECT_EQ(1, job.convertCRtoLF);
    EXPECT_EQ(0, job.maxDepth);
}

TEST_F(ConversionRun, WorkerHandsTheAbsoluteJobToTheEngineAndMapsItsResult) {
    const IoOps io = noFiles();
    ConverterSettings settings;
    settings.tabConversion = TabsToSpaces;
    settings.tabToSpace = 4;
    const WorkerRequest request{"site\\index.htm", "D:\\out\\index.pdb", "Index"};
    EXPECT_EQ(StatusSucceeded, runWorker(request, settings, io, PathFlavor::Windows, rules, files, recordingConvert));
    EXPECT_EQ("C:/Work/Site/site/index.htm", lastSource);
    EXPECT_EQ("D:\\out\\index.pdb", lastDestination);
    EXPECT_EQ("Index", lastTitle);
    EXPECT_EQ(-1, lastJob.tabToLB);
    EXPECT_EQ(4, lastJob.tabToSpace);
    nextResult = ResultCanceled;
    EXPECT_EQ(StatusCanceled, runWorker(request, settings, io, PathFlavor::Windows, rules, files, recordingConvert));
    nextResult = 55;
    EXPECT_EQ(StatusUnknownError, runWorker(request, settings, io, PathFlavor::Windows, rules, files, recordingConvert));
    EXPECT_EQ(3, convertCalls);
}

// Links in pages spell their separators "/", and the engine tells pages apart by their
// spelling (case aside): the root page must reach it spelled as links reach it.
TEST_F(ConversionRun, WorkerSpellsTheSourceAsLinksSpellIt) {
    const IoOps io = noFiles();
    const ConverterSettings settings;
    struct Row { const char* typed; PathFlavor flavor; const char* handed; };
    const Row rows[] = {
        {"Z:\\usr\\doc\\tutorial\\index.html", PathFlavor::Windows, "Z:/usr/doc/tutorial/index.html"},
        {"tutorial\\index.html", PathFlavor::Windows, "C:/Work/Site/tutorial/index.html"},
        {"D:novel.txt", PathFlavor::Windows, "D:/Books/novel.txt"},
        // The leading pair stays: "//" is a rooted path to the reference helpers.
        {"\\\\srv\\share\\a.htm", PathFlavor::Windows, "\\\\srv/share/a.htm"},
        {"/home/u/a\\b.htm", PathFlavor::Posix, "/home/u/a\\b.htm"},  // "\\" is a name byte
    };
    for (const Row& row : rows) {
        const WorkerRequest request{row.typed, "D:\\out.pdb", "T"};
        EXPECT_EQ(StatusSucceeded, runWorker(request, settings, io, row.flavor, rules, files, recordingConvert));
        EXPECT_EQ(row.handed, lastSource) << row.typed;
    }

    // With the engine's own helpers: a link from a page in a sibling folder back to the
    // root page resolves to the very name the root page was handed under.
    const WorkerRequest request{"Z:\\Usr\\doc\\tutorial\\index.html", "D:\\out.pdb", "T"};
    ASSERT_EQ(StatusSucceeded, runWorker(request, settings, io, PathFlavor::Windows, rules, files, recordingConvert));
    char rootDirectory[kReferenceBytes], sibling[kReferenceBytes], back[kReferenceBytes];
    directoryPart(lastSource.c_str(), rootDirectory);
    ASSERT_NE(nullptr, ::resolveReference(rootDirectory, "../reference/index.html", sibling));
    ASSERT_NE(nullptr, ::normalizePath(sibling));
    char siblingDirectory[kReferenceBytes];
    directoryPart(sibling, siblingDirectory);
    ASSERT_NE(nullptr, ::resolveReference(siblingDirectory, "../tutorial/index.html", back));
    ASSERT_NE(nullptr, ::normalizePath(back));
    EXPECT_TRUE(equalIgnoringCase(lastSource, back)) << lastSource << " against " << back;
}

TEST_F(ConversionRun, WorkerRefusesPathsItCannotPassWhole) {
    const IoOps io = noFiles();
    const ConverterSettings settings;
    WorkerRequest request{"E:x.htm", "D:\\x.pdb", "X"};
    EXPECT_EQ(StatusSourceError, runWorker(request, settings, io, PathFlavor::Windows, rules, files, recordingConvert));
    request.sourcePath = "x.htm";
    request.destinationPath = "D:\\" + std::string(257, 'd');  // 260 characters
    EXPECT_EQ(StatusDestinationError,
              runWorker(request, settings, io, PathFlavor::Windows, rules, files, recordingConvert));
    EXPECT_EQ(0, convertCalls);
    request.destinationPath.pop_back();  // 259 fits
    EXPECT_EQ(StatusSucceeded, runWorker(request, settings, io, PathFlavor::Windows, rules, files, recordingConvert));
}

class RunChecks : public ::testing::Test {
protected:
    RunChecks() {
        files.cwd = "C:\\Work";
        files.entries["C:\\docs"] = PathLookup::Folder;
        files.entries["C:\\docs\\report.pdb"] = PathLookup::File;
        settings.destinationLocation = LocationSourceFolder;
        page.sourcePath = " C:\\docs\\report.txt ";
        page.fileName = "report.pdb";
    }
    std::optional<RunTarget> check(bool force = false) {
        return checkRunTarget(page, settings, "C:\\Desk\\", force, PathFlavor::Windows, files, messages);
    }
    FakeFileSystem files;
    ConverterSettings settings;
    PageValues page;
    RecordingSink messages;
};

TEST_F(RunChecks, ForcedRunGetsTrimmedSourceAndFullDestination) {
    const std::optional<RunTarget> target = check(true);
    ASSERT_TRUE(target);
    EXPECT_EQ("C:\\docs\\report.txt", target->sourcePath);
    EXPECT_EQ("C:\\docs\\report.pdb", target->destinationPath);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(RunChecks, EachCheckRefusesInTurn) {
    messages.answerOk = false;
    EXPECT_FALSE(check());
    EXPECT_EQ(std::vector<MessageId>{MsgOverwriteQuestion}, messages.ids());

    page.fileName = "report.txt";  // the destination would be the source itself
    EXPECT_FALSE(check(true));
    EXPECT_EQ(MsgSameName, messages.ids().back());

    settings.destinationLocation = LocationChosenFolder;
    settings.destinationFolder = "C:\\gone";
    EXPECT_FALSE(check(true));
    EXPECT_EQ(MsgFolderMissing, messages.ids().back());

    page.sourcePath = "  ";
    EXPECT_FALSE(check(true));
    EXPECT_EQ(MsgNoSourceFile, messages.ids().back());
}

TEST_F(RunChecks, AutomaticInstallationUsesTheChosenUsersFolder) {
    settings.destinationLocation = LocationAutoInstall;
    page.userFolder = "AnnL";
    files.entries["C:\\Desk\\AnnL\\Install"] = PathLookup::Folder;
    const std::optional<RunTarget> target = check();
    ASSERT_TRUE(target);
    EXPECT_EQ("C:\\Desk\\AnnL\\Install\\report.pdb", target->destinationPath);
}

TEST(RunOutcome, MessagesTrackingAndInstallationAfterARun) {
    const RunOutcome quietSuccess = runOutcome(StatusSucceeded, true, LocationAutoInstall);
    EXPECT_TRUE(quietSuccess.succeeded);
    EXPECT_FALSE(quietSuccess.message);
    EXPECT_TRUE(quietSuccess.registerInstallation);
    EXPECT_TRUE(quietSuccess.clearChangeTracking);

    const RunOutcome success = runOutcome(StatusSucceeded, false, LocationSourceFolder);
    EXPECT_EQ(MsgConversionSucceeded, success.message.value_or(MsgUnknownError));
    EXPECT_FALSE(success.registerInstallation);

    const RunOutcome canceled = runOutcome(StatusCanceled, true, LocationAutoInstall);
    EXPECT_FALSE(canceled.succeeded);
    EXPECT_FALSE(canceled.clearChangeTracking);  // the next source keeps the typed title
    EXPECT_FALSE(canceled.registerInstallation);
    EXPECT_EQ(MsgConversionCanceled, canceled.message.value_or(MsgUnknownError));

    const RunOutcome failed = runOutcome(StatusSourceError, true, LocationAutoInstall);
    EXPECT_EQ(MsgSourceOpenError, failed.message.value_or(MsgUnknownError));  // quiet hides success only
    EXPECT_TRUE(failed.clearChangeTracking);
    EXPECT_FALSE(failed.registerInstallation);

    EXPECT_EQ(MsgUnknownError, runOutcome(StatusUnknownError, false, 1).message.value_or(MsgConversionSucceeded));
}
