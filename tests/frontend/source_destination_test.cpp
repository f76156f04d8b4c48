// The Source/Destination page's logic: proposals that overwrite what the user typed,
// destinations in the wrong folder, and a destination that is the source are the faults
// that lose work here.
#include <gtest/gtest.h>

#include "frontend/source_destination.h"
#include "tests/frontend/fakes.h"

namespace {

class TableTitleProbes : public TitleProbes {
public:
    std::optional<std::string> docTitle(const std::string& path) override {
        probed.push_back(path);
        const auto found = docTitles.find(path);
        if (found == docTitles.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::string> htmlTitle(const std::string& path, int32_t maxLength) override {
        lastHtmlMaxLength = maxLength;
        const auto found = htmlTitles.find(path);
        if (found == htmlTitles.end()) return std::nullopt;
        return found->second.substr(0, static_cast<size_t>(maxLength));
    }

    std::map<std::string, std::string> docTitles;
    std::map<std::string, std::string> htmlTitles;
    std::vector<std::string> probed;
    int32_t lastHtmlMaxLength = -1;
};

}  // namespace

TEST(ChangeTracker, ProposesAfterTwoQuietTicksAndOnlyOnce) {
    ChangeTracker tracker;
    EXPECT_FALSE(tracker.tick());  // nothing changed yet
    tracker.sourceChanged();
    EXPECT_FALSE(tracker.tick());  // the tick that sees the change
    tracker.sourceChanged();       // another keystroke restarts the count
    EXPECT_FALSE(tracker.tick());
    EXPECT_FALSE(tracker.tick());
    EXPECT_TRUE(tracker.tick());   // 1 to 1.5 s after the last keystroke
    tracker.proposed();
    EXPECT_FALSE(tracker.tick());
    EXPECT_FALSE(tracker.tick());
    EXPECT_FALSE(tracker.tick());
}

TEST(ChangeTracker, OnlyTheUsersOwnEditsMarkAFieldEdited) {
    ChangeTracker tracker;
    tracker.pageWritesTitle();
    tracker.titleChanged();  // the page's own write
    EXPECT_FALSE(tracker.titleEdited());
    tracker.titleChanged();  // the user types
    EXPECT_TRUE(tracker.titleEdited());
    EXPECT_FALSE(tracker.fileNameEdited());
    tracker.fileNameChanged();
    EXPECT_TRUE(tracker.fileNameEdited());
    tracker.clear();
    EXPECT_FALSE(tracker.titleEdited());
    EXPECT_FALSE(tracker.fileNameEdited());
}

TEST(ProposeTitleAndName, TitleComesFromDocNameThenHtmlTitleThenBaseName) {
    TableTitleProbes probes;
    probes.docTitles["C:\\in\\book.pdb"] = "My Doc Book";
    probes.htmlTitles["C:\\in\\page.htm"] = "A Title Longer Than Thirty-One Bytes";
    probes.htmlTitles["C:\\in\\blank.htm"] = "";
    struct Row { const char* source; const char* title; const char* fileName; };
    const Row rows[] = {
        {"  C:\\in\\book.pdb ", "My Doc Book", "book.pdb"},
        {"C:\\in\\page.htm", "A Title Longer Than Thirty-One ", "page.pdb"},
        {"C:\\in\\blank.htm", "blank", "blank.pdb"},  // an empty HTML title is no title
        {"C:\\in\\notes.v2.txt", "notes.v2", "notes.v2.pdb"},
        {"C:\\in\\abcdefghijklmnopqrstuvwxyz0123456789.txt", "abcdefghijklmnopqrstuvwxyz012345",
         "abcdefghijklmnopqrstuvwxyz0123456789.pdb"},
    };
    for (const Row& row : rows) {
        ChangeTracker tracker;
        const Proposal proposal = proposeTitleAndName(row.source, PathFlavor::Windows, tracker, probes);
        EXPECT_EQ(row.title, proposal.title.value_or("<none>")) << row.source;
        EXPECT_EQ(row.fileName, proposal.fileName.value_or("<none>")) << row.source;
    }
    EXPECT_EQ(kMaxProbedHtmlTitle, probes.lastHtmlMaxLength);
    EXPECT_EQ("C:\\in\\book.pdb", probes.probed[0]);  // probed with blanks trimmed

    // A page on the web is named by its address and never probed: nothing is fetched
    // while the user types.
    const size_t probedBefore = probes.probed.size();
    ChangeTracker tracker;
    const Proposal web = proposeTitleAndName(" https://docs.example.org/guide/intro.html ", PathFlavor::Windows,
                                             tracker, probes);
    EXPECT_EQ("intro", web.title.value_or("<none>"));
    EXPECT_EQ("intro.pdb", web.fileName.value_or("<none>"));
    EXPECT_EQ(probedBefore, probes.probed.size());
}

TEST(ProposeTitleAndName, EditedFieldsAndEmptySourcesAreLeftAlone) {
    TableTitleProbes probes;
    ChangeTracker tracker;
    tracker.sourceChanged();
    tracker.tick();
    EXPECT_FALSE(proposeTitleAndName("   ", PathFlavor::Windows, tracker, probes).title);
    EXPECT_EQ(1, tracker.quietTicks());  // an empty source ends nothing

    tracker.titleChanged();  // typed by the user
    const Proposal proposal = proposeTitleAndName("x\\first.txt", PathFlavor::Windows, tracker, probes);
    EXPECT_FALSE(proposal.title);
    EXPECT_EQ("first.pdb", *proposal.fileName);
    EXPECT_EQ(0, tracker.quietTicks());
    tracker.fileNameChanged();  // the page's own write of the name
    EXPECT_FALSE(tracker.fileNameEdited());
    // Later sources keep the typed title until the tracking is cleared after a run.
    EXPECT_FALSE(proposeTitleAndName("second.txt", PathFlavor::Windows, tracker, probes).title);
    tracker.clear();
    EXPECT_EQ("second", *proposeTitleAndName("second.txt", PathFlavor::Windows, tracker, probes).title);
}

static std::vector<UserEntry> twoUsers() {
    return {{11, "Ann", "AnnL", 0}, {4000000000u, "Bob", "BobM", 0}};
}

TEST(CommitSourceDestination, AutomaticInstallationNeedsALoadedUser) {
    ConverterSettings settings;
    PageValues handed;
    RecordingSink messages;
    SourceDestinationFields fields;
    fields.location = LocationAutoInstall;
    fields.selectedUser = 0;
    EXPECT_FALSE(commitSourceDestination(fields, {}, settings, handed, messages));  // no users loaded
    fields.selectedUser = -1;
    EXPECT_FALSE(commitSourceDestination(fields, twoUsers(), settings, handed, messages));
    fields.selectedUser = 2;
    EXPECT_FALSE(commitSourceDestination(fields, twoUsers(), settings, handed, messages));
    EXPECT_EQ(std::vector<MessageId>(3, MsgNoValidUser), messages.ids());

    settings.destinationLocation = LocationSourceFolder;
    fields.selectedUser = 1;
    fields.sourcePath = "a.txt";
    fields.title = "T";
    fields.fileName = "a.pdb";
    ASSERT_TRUE(commitSourceDestination(fields, twoUsers(), settings, handed, messages));
    EXPECT_EQ("Bob", settings.destinationUserName);
    EXPECT_EQ(LocationAutoInstall, settings.destinationLocation);
    EXPECT_EQ(4000000000u, handed.userId);
    EXPECT_EQ("BobM", handed.userFolder);
    EXPECT_EQ("a.txt", handed.sourcePath);
    EXPECT_EQ("T", handed.title);
    EXPECT_EQ("a.pdb", handed.fileName);
}

TEST(CommitSourceDestination, FolderIsSavedOnlyForItsChoiceAndUnknownChoicesRefuseSilently) {
    ConverterSettings settings;
    settings.destinationFolder = "D:\\old";
    PageValues handed;
    RecordingSink messages;
    SourceDestinationFields fields;
    fields.folder = "D:\\new";
    fields.location = LocationSourceFolder;
    ASSERT_TRUE(commitSourceDestination(fields, {}, settings, handed, messages));
    EXPECT_EQ("D:\\old", settings.destinationFolder);
    fields.location = LocationChosenFolder;
    ASSERT_TRUE(commitSourceDestination(fields, {}, settings, handed, messages));
    EXPECT_EQ("D:\\new", settings.destinationFolder);
    EXPECT_EQ(LocationChosenFolder, settings.destinationLocation);
    fields.location = 3;
    EXPECT_FALSE(commitSourceDestination(fields, {}, settings, handed, messages));
    EXPECT_EQ(LocationChosenFolder, settings.destinationLocation);
    EXPECT_TRUE(messages.shown.empty());
}

class Destination : public ::testing::Test {
protected:
    Destination() {
        files.entries["C:\\docs"] = PathLookup::Folder;
        files.entries["D:\\out"] = PathLookup::Folder;
        files.entries["D:\\file.txt"] = PathLookup::File;
        files.entries["C:\\Desk\\AnnL\\Install"] = PathLookup::Folder;
        files.entries["C:\\Desk"] = PathLookup::Folder;
    }
    std::optional<std::string> compute(int32_t location, const std::string& source,
                                       const std::string& folder, const std::string& name = "report.pdb") {
        DestinationRequest request;
        request.location = location;
        request.desktopPath = "C:\\Desk\\";
        request.userFolder = "AnnL";
        request.sourcePath = source;
        request.destinationFolder = folder;
        request.fileName = name;
        return computeDestination(request, PathFlavor::Windows, files, messages);
    }
    FakeFileSystem files;
    RecordingSink messages;
};

TEST_F(Destination, EachLocationGivesItsFolder) {
    EXPECT_EQ("C:\\Desk\\AnnL\\Install\\report.pdb", compute(LocationAutoInstall, "", "").value_or(""));
    EXPECT_EQ("C:\\docs\\report.pdb", compute(LocationSourceFolder, "C:\\docs\\report.txt", "").value_or(""));
    EXPECT_EQ("report.pdb", compute(LocationSourceFolder, "report.txt", "").value_or("<none>"));
    // A page on the web has no folder of its own here: the book goes to the desktop.
    EXPECT_EQ("C:\\Desk\\report.pdb", compute(LocationSourceFolder, "http://site/docs/report.html", "").value_or(""));
    EXPECT_EQ("D:\\out\\report.pdb", compute(LocationChosenFolder, "", "  D:\\out\\  ").value_or(""));
    EXPECT_EQ("D:\\out\\x y.pdb", compute(LocationChosenFolder, "", "D:\\out", "  x y.pdb ").value_or(""));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(compute(3, "C:\\docs\\report.txt", "D:\\out"));
    EXPECT_TRUE(messages.shown.empty());  // an unknown location refuses without a message
}

TEST_F(Destination, BareDrivesAndRootsNeedNoLookupAndStayRoots) {
    EXPECT_EQ("C:\\report.pdb", compute(LocationChosenFolder, "", "C:\\").value_or(""));
    EXPECT_EQ("E:\\report.pdb", compute(LocationChosenFolder, "", "E:").value_or(""));
    EXPECT_EQ("C:\\report.pdb", compute(LocationSourceFolder, "C:\\report.txt", "").value_or(""));
    // A lone separator is the root of the current drive, not the current directory.
    EXPECT_EQ("\\report.pdb", compute(LocationChosenFolder, "", "\\").value_or(""));
    EXPECT_EQ("\\report.pdb", compute(LocationSourceFolder, "\\report.txt", "").value_or(""));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Destination, MissingFoldersAndFilesAreRefusedWithTheirMessage) {
    EXPECT_FALSE(compute(LocationChosenFolder, "", "D:\\nowhere\\"));
    EXPECT_FALSE(compute(LocationChosenFolder, "", "D:\\file.txt"));
    files.entries.erase("C:\\Desk\\AnnL\\Install");
    EXPECT_FALSE(compute(LocationAutoInstall, "", ""));
    ASSERT_EQ(3u, messages.shown.size());
    EXPECT_EQ(MsgFolderMissing, messages.shown[0].id);
    EXPECT_EQ("The destination folder D:\\nowhere does not exist.", messages.shown[0].text);
    EXPECT_EQ(MsgNotAFolder, messages.shown[1].id);
    EXPECT_EQ("D:\\file.txt is not a folder.", messages.shown[1].text);
    EXPECT_EQ("The destination folder C:\\Desk\\AnnL\\Install does not exist.", messages.shown[2].text);
}

TEST(DestinationPosix, UsesSlashesAndNoDrives) {
    FakeFileSystem files;
    files.entries["/home/u/docs"] = PathLookup::Folder;
    files.entries["C:"] = PathLookup::Missing;
    RecordingSink messages;
    DestinationRequest request;
    request.location = LocationSourceFolder;
    request.sourcePath = "/home/u/docs/a.txt";
    request.fileName = "a.pdb";
    EXPECT_EQ("/home/u/docs/a.pdb", computeDestination(request, PathFlavor::Posix, files, messages).value_or(""));
    request.sourcePath = "/a.txt";
    EXPECT_EQ("/a.pdb", computeDestination(request, PathFlavor::Posix, files, messages).value_or(""));
    request.location = LocationChosenFolder;
    request.destinationFolder = "C:";  // a folder name like any other here
    EXPECT_FALSE(computeDestination(request, PathFlavor::Posix, files, messages));
    EXPECT_EQ(std::vector<MessageId>{MsgFolderMissing}, messages.ids());
}

TEST(CheckSameName, RefusesEverySpellingOfTheSourceFile) {
    FakeFileSystem files;
    files.cwd = "C:\\Work";
    files.driveDirectories['C'] = "C:\\Work";
    files.identities["C:\\a\\x.pdb"] = {7, 100};
    files.identities["C:\\links\\x-link.pdb"] = {7, 100};  // a link to the same file
    files.identities["C:\\a\\y.pdb"] = {7, 101};
    struct Row { const char* source; const char* destination; bool refused; };
    const Row rows[] = {
        {"C:\\a\\x.pdb", "c:\\A\\X.PDB", true},   // equal spellings apart from case
        {".\\x.pdb", "x.pdb", true},
        {"C:x.pdb", "C:\\Work\\x.pdb", true},
        {"C:\\a\\sub\\..\\x.pdb", "C:\\a\\x.pdb", true},
        {"C:\\a\\x.pdb", "C:\\links\\x-link.pdb", true},
        {"C:\\a\\x.pdb", "C:\\a\\y.pdb", false},
        {"C:\\a\\x.htm", "C:\\a\\x.pdb", false},
        {"x.pdb", "D:\\x.pdb", false},
    };
    for (const Row& row : rows) {
        RecordingSink messages;
        EXPECT_EQ(!row.refused, checkSameName(row.source, row.destination, PathFlavor::Windows, files, messages))
            << row.source << " / " << row.destination;
        EXPECT_EQ(row.refused ? 1u : 0u, messages.shown.size());
        if (row.refused) {
            EXPECT_EQ(MsgSameName, messages.shown[0].id);
        }
    }
}

TEST(CheckSameName, PosixNamesDifferingInCaseAreDifferentFiles) {
    FakeFileSystem files;
    files.cwd = "/w";
    RecordingSink messages;
    EXPECT_TRUE(checkSameName("Book.pdb", "book.pdb", PathFlavor::Posix, files, messages));
    EXPECT_FALSE(checkSameName("./book.pdb", "/w/book.pdb", PathFlavor::Posix, files, messages));
    files.cwd.reset();  // without a current directory the spellings still count
    EXPECT_FALSE(checkSameName("book.pdb", "book.pdb", PathFlavor::Posix, files, messages));
    EXPECT_TRUE(checkSameName("book.pdb", "./book.pdb", PathFlavor::Posix, files, messages));
}

TEST(CheckOverwrite, AsksOnlyWhenSomethingExistsAndNotForced) {
    FakeFileSystem files;
    files.entries["D:\\out\\a.pdb"] = PathLookup::File;
    RecordingSink messages;
    EXPECT_TRUE(checkOverwrite(false, "D:\\out\\b.pdb", files, messages));
    EXPECT_TRUE(checkOverwrite(true, "D:\\out\\a.pdb", files, messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(checkOverwrite(false, "D:\\out\\a.pdb", files, messages));
    messages.answerOk = false;
    EXPECT_FALSE(checkOverwrite(false, "D:\\out\\a.pdb", files, messages));
    ASSERT_EQ(2u, messages.shown.size());
    EXPECT_EQ("D:\\out\\a.pdb already exists. Overwrite?", messages.shown[1].text);
}

// Windows hands a device name to the device whatever the folder or extension: "NUL"
// swallows the book and the run still reports success.
TEST_F(Destination, DeviceNamesAreRefusedAsDestinations) {
    const char* const devices[] = {"NUL", "nul.pdb", "Con.pdb", "PRN", "aux.tar.pdb", "COM1.pdb",
                                   "com9", "LPT1.pdb", "lpt9.x", "NUL .pdb", "CONOUT$.pdb"};
    for (const char* name : devices) {
        messages.shown.clear();
        EXPECT_FALSE(compute(LocationChosenFolder, "", "D:\\out", name)) << name;
        ASSERT_EQ(std::vector<MessageId>{MsgDeviceName}, messages.ids()) << name;
    }
    EXPECT_EQ("D:\\out\\CONOUT$.pdb names a device, not a file. Please choose another "
              "destination file name.",
              messages.shown[0].text);
    EXPECT_FALSE(compute(LocationSourceFolder, "C:\\docs\\nul.txt", "", "nul.pdb"));
    messages.shown.clear();
    const char* const ordinary[] = {"console.pdb", "COM10.pdb", "COM0.pdb", "LPT.pdb", "nullify.pdb",
                                 "my nul.pdb", "com1x.pdb", "pdb.nul"};
    for (const char* name : ordinary)
        EXPECT_TRUE(compute(LocationChosenFolder, "", "D:\\out", name)) << name;
    EXPECT_TRUE(messages.shown.empty());

    // The POSIX flavour has no devices by name: "nul.pdb" is a file there.
    DestinationRequest request;
    request.location = LocationChosenFolder;
    request.destinationFolder = "D:\\out";
    request.fileName = "nul.pdb";
    EXPECT_TRUE(computeDestination(request, PathFlavor::Posix, files, messages));
}

TEST(WebProposal, TheLastSegmentWithoutItsExtensionElseTheHost) {
    struct Row {
        const char* address;
        const char* title;
    };
    const Row rows[] = {
        {"https://docs.example.org/guide/intro.html?lang=en#top", "intro"},
        {"http://127.0.0.1:8000/docs/", "127.0.0.1"},
        {"http://user:pw@Example.org:8080", "Example.org"},
        {"http://[::1]:8080/a/", "[::1]"},
        {"http://site/caf%C3%A9.html", "caf\xC3\xA9"},
        {"http://site/half%E9.html", "half%E9"},  // not UTF-8: kept as written
        {"http://site/a%2Fb.html", "a%2Fb"},      // an escaped slash stays escaped
        {"http://site/archive.tar.gz", "archive.tar"},
        {"http://site/..", "site"},
        {"http://site/a-very-long-page-name-beyond-thirty-two-characters.html",
         "a-very-long-page-name-beyond-thi"},
    };
    for (const Row& row : rows) {
        const Proposal proposal = proposeWebTitleAndName(row.address);
        EXPECT_EQ(row.title, proposal.title.value_or("<none>")) << row.address;
    }
    EXPECT_EQ("intro.pdb", proposeWebTitleAndName("https://docs.example.org/guide/intro.html").fileName);
    EXPECT_EQ("a-very-long-page-name-beyond-thirty-two-characters.pdb",
              proposeWebTitleAndName("http://site/a-very-long-page-name-beyond-thirty-two-characters.html").fileName);
}
