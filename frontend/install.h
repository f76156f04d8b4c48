// frontend/install.h -- automatic installation: where the handheld desktop software
// lives, its list of handheld users, each user's install folder, and the flag that tells
// the software a file is waiting. The software itself is outside the system; this module
// only reads its registry value and users.dat and writes one flag.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "frontend/file_system.h"
#include "frontend/messages.h"
#include "frontend/settings_store.h"

inline constexpr const char* kDesktopKeyPath = "Software\\U.S. Robotics\\Pilot Desktop\\Core";
inline constexpr const char* kInstallFlagKeyPath =
    "Software\\U.S. Robotics\\Pilot Desktop\\HotSync Manager";
inline constexpr size_t kMaxDesktopPathLength = 259;

struct UserEntry {
    uint32_t userId = 0;
    // Both are 1..255 Windows-1252 bytes in users.dat, held here in UTF-8.
    std::string userName;
    std::string userFolder;  // below the desktop folder
    uint16_t userFlags = 0;  // read and not used
    bool operator==(const UserEntry&) const = default;
};

// The desktop folder from the desktop key's "Path" string, ending in a backslash; empty
// when the key or value is missing, not a string, or its size with the terminating zero
// is outside 2..259 bytes.
std::string readDesktopPath(SettingsStore& store);

// Parses users.dat (little-endian): a 2-byte count, then at most that many user
// records, whose names it turns from Windows-1252 into UTF-8. Replaces `users` with the records read before the first one that is cut
// short, has an empty name or folder, or skips past the end. Returns true when the count
// and every record it announces were read.
bool readUsersFile(const uint8_t* bytes, size_t size, std::vector<UserEntry>& users);
// desktopPath + "users.dat" read and parsed; an unreadable file gives no users and false.
bool loadUsers(const std::string& desktopPath, const FileSystem& files,
               std::vector<UserEntry>& users);

// desktopPath + userFolder + "\Install".
std::string installFolder(const std::string& desktopPath, const std::string& userFolder);
// "Install" followed by the id in unsigned decimal.
std::string installValueName(uint32_t userId);
// Sets the user's install flag to 1 in the desktop software's key, creating the key
// when missing. On failure shows MsgInstallFailed and returns false.
bool registerInstallation(SettingsStore& store, uint32_t userId, MessageSink& messages);

// The index of the user the list preselects: the last one whose name equals `savedName`
// exactly, else the first in file order; -1 when there are no users.
int preselectUser(const std::vector<UserEntry>& users, const std::string& savedName);
