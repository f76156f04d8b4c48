// frontend/settings.h -- the converter's saved settings and the parsed command line.
// Settings are loaded once at start and saved once at the end; in between the pages
// change the in-memory copy when a conversion run commits them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frontend/settings_store.h"
#include "frontend/text_encoding.h"

// The key below the current user's hive that holds the settings.
inline constexpr const char* kSettingsKeyPath = "Software\\Quib\\QuibW32";

// Where the database goes (DestinationLocation).
enum DestinationLocation : int32_t {
    LocationAutoInstall = 0,
    LocationSourceFolder = 1,
    LocationChosenFolder = 2,
};

// Tab handling (TabConversion).
enum TabConversion : int32_t {
    TabsKept = 0,
    TabsToLineBreaks = 1,
    TabsToSpaces = 2,
};

// The page limit of an HTML conversion: the engine's own bound unless the user moves it.
inline constexpr int32_t kDefaultMaxPages = 32000;
inline constexpr int32_t kHighestMaxPages = 2147483647;

// The politeness and patience of a conversion from the web.
inline constexpr int32_t kDefaultWebWaitMilliseconds = 500;
inline constexpr int32_t kHighestWebWaitMilliseconds = 3600 * 1000;
inline constexpr int32_t kDefaultWebTimeoutSeconds = 30;
inline constexpr int32_t kHighestWebTimeoutSeconds = 3600;

// Member initialisers are the defaults; the comment gives the range accepted on loading.
struct ConverterSettings {
    int32_t destinationLocation = LocationAutoInstall;  // 0..2
    std::string destinationUserName;
    std::string destinationFolder;
    bool removeCR = true;  // flags: any stored number, nonzero is on
    bool removeLF = false;
    bool convertCRtoLF = false;
    bool convertSingleLB = false;
    int32_t slbToSpace = 1;               // 0..9999
    int32_t tabConversion = TabsKept;     // 0..2
    int32_t tabToLB = 2;                  // 0..9999
    int32_t tabToSpace = 8;               // 0..9999
    int32_t maxDepth = 1;                 // 0..9999
    int32_t browseFilterIndex = 0;        // 0..5, 1-based filter position, 0 = the first
    // Linked pages outside the root page's folder are followed too. Loaded only: no page
    // shows it, so it is set by hand and saving leaves it as it is.
    bool followLinksOutside = false;      // any stored number, nonzero is on
    // The text of HTML navigation blocks is written too. Loaded only, like the above;
    // `vimlo convert --keep-navigation` sets it.
    bool keepNavigation = false;          // any stored number, nonzero is on
    // Pages the HTML pass converts before it stops and says so. Loaded only, like the
    // above; `vimlo convert --max-pages` sets it.
    int32_t maxPages = kDefaultMaxPages;  // 1..kHighestMaxPages
    // A conversion from the web may go to any host. Loaded only; `vimlo convert
    // --follow-hosts` sets it for the command line.
    bool followHosts = false;             // any stored number, nonzero is on
    // The wait between two requests to one host, and the timeout of connecting and of
    // each silence, of a conversion from the web. Loaded only; `vimlo convert --wait` and
    // `--timeout` set them for the command line.
    int32_t webWaitMilliseconds = kDefaultWebWaitMilliseconds;  // 0..kHighestWebWaitMilliseconds
    int32_t webTimeoutSeconds = kDefaultWebTimeoutSeconds;      // 1..kHighestWebTimeoutSeconds
    // The encoding every page and text of a run is read in, whatever each says of itself;
    // nullopt lets each page decide. Set by `vimlo convert --encoding`; never stored.
    std::optional<TextEncoding> encoding;

    bool operator==(const ConverterSettings&) const = default;
};

// Defaults, then every value of the settings key that is present, of the right type and,
// for numbers, in range. A key that cannot be opened gives all defaults. Never reports.
ConverterSettings loadSettings(SettingsStore& store);
// Writes every value but the loaded-only ones (FollowLinksOutside, KeepNavigation,
// MaxPages, FollowHosts, WebWait, WebTimeout) with its type,
// flags as 0 or 1, creating the key when missing. When the key cannot be opened nothing
// is written. Returns false when anything was not
// written; the Windows program does not report it.
bool saveSettings(SettingsStore& store, const ConverterSettings& settings);

struct ConverterCommandLine {
    bool fileGiven = false;
    bool showHelp = false;        // -h, -?, /h, /?
    bool forceOverwrite = false;  // -y
    bool quiet = false;           // -u
    std::string sourceFile;
};

// `arguments` excludes the program name. An argument starting with "-" or "/" is an
// option and only its next character counts, case-sensitively; unknown letters are
// ignored. The first other argument is the source file; later ones are ignored.
ConverterCommandLine parseCommandLine(const std::vector<std::string>& arguments);
