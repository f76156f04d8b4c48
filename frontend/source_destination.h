// frontend/source_destination.h -- the logic of the Source/Destination page: proposing a
// title and a file name from the source, tracking which fields the user has edited,
// committing the page, and computing and checking the destination path. The page's
// controls, timer and dialogs stay in the Windows shell, which feeds the values in here.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frontend/file_system.h"
#include "frontend/install.h"
#include "frontend/messages.h"
#include "frontend/path_rules.h"
#include "frontend/settings.h"

// The engine's title probes, behind an interface so the page logic can be tested
// without files. EngineTitleProbes is the real one.
class TitleProbes {
public:
    virtual ~TitleProbes() = default;
    // The PalmDoc database name (up to its first zero) when `path` is a PalmDoc file.
    // Paths and titles are UTF-8.
    virtual std::optional<std::string> docTitle(const std::string& path) = 0;
    // The HTML TITLE text, at most maxLength bytes in the engine's Windows-1252, when
    // `path` has one.
    virtual std::optional<std::string> htmlTitle(const std::string& path, int32_t maxLength) = 0;
};

inline constexpr int32_t kMaxProbedHtmlTitle = 31;
inline constexpr size_t kMaxBaseNameTitle = 32;  // characters
inline constexpr size_t kMaxTypedTitle = 31;  // the title field's limit for typing

// The page's change tracking. The timer ticks every 500 ms; once the source has stayed
// unchanged for two ticks, title and name are proposed. Fields the user edited by hand
// are not overwritten again until the tracking is cleared after a run.
class ChangeTracker {
public:
    void clear() { *this = ChangeTracker(); }
    // Change notifications of the three fields.
    void sourceChanged() { sourceChanged_ = true; }
    void titleChanged();
    void fileNameChanged();
    // The page is about to write the field itself, so the next notification is its own.
    void pageWritesTitle() { titleSetByPage_ = true; }
    void pageWritesFileName() { fileNameSetByPage_ = true; }
    // One timer tick; true when proposeTitleAndName should run now.
    bool tick();
    // Title and name were proposed.
    void proposed() { sourceChanged_ = false; quietTicks_ = 0; }

    bool titleEdited() const { return titleEdited_; }
    bool fileNameEdited() const { return fileNameEdited_; }
    int quietTicks() const { return quietTicks_; }

private:
    bool sourceChanged_ = false;
    int quietTicks_ = 0;
    bool titleEdited_ = false;
    bool fileNameEdited_ = false;
    bool titleSetByPage_ = false;
    bool fileNameSetByPage_ = false;
};

// What the page writes into its title and file name fields; a field without a proposal
// (nullopt) is left as it is.
struct Proposal {
    std::optional<std::string> title;
    std::optional<std::string> fileName;
};
// From the source field (blanks trimmed; an empty one proposes nothing and changes no
// flag): the title unless the user edited it (PalmDoc name, else a non-empty HTML title
// of at most 31 bytes, else the base name cut to 32 characters), the file name unless edited
// (base name + ".pdb"). Marks the fields it proposes as written by the page and ends the
// quiet count.
Proposal proposeTitleAndName(const std::string& sourceField, PathFlavor flavor,
                             ChangeTracker& tracker, TitleProbes& probes);

// The proposal for a source on the web: the address's last path segment without its
// query, escapes and extension ("guide" for ".../docs/guide.html?x=1"), else its host,
// as the title (cut to kMaxBaseNameTitle characters) and with ".pdb" as the file name.
Proposal proposeWebTitleAndName(const std::string& address);

// The page's controls as read when a run starts.
struct SourceDestinationFields {
    std::string sourcePath;
    std::string title;
    std::string fileName;
    int32_t location = LocationAutoInstall;
    int selectedUser = -1;  // index into the user list carried by the selected entry, or -1
    std::string folder;
};

// What the page hands to the run.
struct PageValues {
    std::string sourcePath;
    std::string title;
    std::string fileName;
    uint32_t userId = 0;     // automatic installation only
    std::string userFolder;  // automatic installation only
};

// The page's commit, after the shell has proposed and read the fields. Location 0 needs a
// selected loaded user (else MsgNoValidUser) and saves the name; location 2 saves the
// folder; any other location refuses silently. On acceptance stores the location and
// fills `handed`. Returns true when the page accepts.
bool commitSourceDestination(const SourceDestinationFields& fields,
                             const std::vector<UserEntry>& users, ConverterSettings& settings,
                             PageValues& handed, MessageSink& messages);

struct DestinationRequest {
    int32_t location = LocationAutoInstall;
    std::string desktopPath;        // location 0
    std::string userFolder;         // location 0
    std::string sourcePath;         // location 1
    std::string destinationFolder;  // location 2
    std::string fileName;
};
// The full destination path: the folder of the location, blanks trimmed and one trailing
// separator removed (a lone root separator stays), checked to exist as a folder unless
// empty, a bare drive or a root, then a separator and the trimmed file name. nullopt
// after showing MsgFolderMissing or MsgNotAFolder, MsgDeviceName (Windows flavour) for a
// name Windows takes for a device, or silently for an unknown location.
std::optional<std::string> computeDestination(const DestinationRequest& request,
                                              PathFlavor flavor, const FileSystem& files,
                                              MessageSink& messages);

// Whether the two paths reach one file: equal spellings (case-blind in the Windows
// flavour), equal comparable paths, or the same file identity.
bool sameFile(const std::string& pathA, const std::string& pathB, PathFlavor flavor,
              const FileSystem& files);
// False, after showing MsgSameName, when sameFile says source and destination are one.
bool checkSameName(const std::string& sourcePath, const std::string& destinationPath,
                   PathFlavor flavor, const FileSystem& files, MessageSink& messages);
// True to go on: when forced, when nothing exists at the destination, or when the user
// answers OK to MsgOverwriteQuestion.
bool checkOverwrite(bool forceOverwrite, const std::string& destinationPath,
                    const FileSystem& files, MessageSink& messages);
