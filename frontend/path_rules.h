// frontend/path_rules.h -- the front end's path rules as pure string functions. The
// Windows flavour knows drive letters, "\" and "/" as separators and case-blind names;
// the POSIX flavour knows only "/" and exact names. Nothing here touches the disk except
// through the FileSystem handed in.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "frontend/file_system.h"

enum class PathFlavor { Windows, Posix };

// Without leading and trailing blanks (spaces and tabs).
std::string trimBlanks(std::string_view text);
bool isSeparator(char c, PathFlavor flavor);
// ASCII case folding only, as everywhere in the system.
bool equalIgnoringCase(std::string_view a, std::string_view b);

// A path cut as the C runtime's splitpath does: drive ("C:" or empty), folder (up to and
// including the last separator), base name, and extension (from the last dot of the
// name on, dot included). The POSIX flavour never has a drive.
struct PathParts {
    std::string drive;
    std::string folder;
    std::string baseName;
    std::string extension;
};
PathParts splitPath(std::string_view path, PathFlavor flavor);

// Whether Windows takes the last name of `path` for a device rather than a file: CON,
// PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$ or CONOUT$, in any case, also with an
// extension ("nul.pdb") or trailing blanks, in any folder. Writing to one loses the book.
bool isWindowsDeviceName(std::string_view path);

// "C:" exactly: two characters, the second a colon.
bool isBareDrive(std::string_view path);
// A letter and a colon not followed by a separator ("C:file.txt", "C:").
bool isDriveRelative(std::string_view path);

// `path` made absolute against the current directories and reduced to one spelling per
// location: separators unified, "." segments and repeated separators dropped, ".."
// applied, and in the Windows flavour trailing dots and blanks of each name dropped and
// case folded. Two paths naming the same place give equal strings (links aside). nullopt
// when a current directory it needs is unknown.
std::optional<std::string> comparablePath(std::string_view path, PathFlavor flavor,
                                          const FileSystem& files);

// `path` with every "\" after a UNC path's leading pair spelled "/", in the Windows
// flavour; the POSIX flavour is returned unchanged. Links in pages spell their
// separators "/", and the engine tells pages apart by their spelling, so a root page
// spelled with "\" would not be found again by the links that come back to it.
std::string withSlashSeparators(std::string_view path, PathFlavor flavor);
