// frontend/install.cpp -- see install.h.
#include "frontend/install.h"

#include <optional>

#include "frontend/text_encoding.h"

namespace {

// A forward-only reader over users.dat. Every call fails once the bytes run out, and
// stays failed, so a record is complete exactly when `ok` survives it.
struct ByteReader {
    const uint8_t* bytes;
    size_t size;
    size_t position = 0;
    bool ok = true;

    bool has(size_t count) const { return ok && count <= size - position; }
    uint32_t little(int width) {
        if (!has(static_cast<size_t>(width))) {
            ok = false;
            return 0;
        }
        uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[position + i];
        position += static_cast<size_t>(width);
        return value;
    }
    void skip(uint64_t count) {
        if (!has(0) || count > size - position) ok = false;
        else position += static_cast<size_t>(count);
    }
    // A 1-byte length and that many bytes; a zero length is damage.
    std::string shortString() {
        const uint32_t length = little(1);
        if (!ok || length == 0 || !has(length)) {
            ok = false;
            return std::string();
        }
        std::string text(reinterpret_cast<const char*>(bytes + position), length);
        position += length;
        return text;
    }
    // An object tag: 0xFFFF introduces a class record (2 bytes, a 2-byte length L and L
    // bytes, all passed over); any other tag stands alone.
    void objectTag() {
        if (little(2) != 0xFFFF) return;
        skip(2);
        skip(little(2));
    }
};

bool readUser(ByteReader& reader, UserEntry& user) {
    reader.objectTag();
    user.userId = reader.little(4);
    // The desktop software writes its names in the handheld's Windows-1252; the
    // program's strings are UTF-8.
    user.userName = windows1252ToUtf8(reader.shortString());
    user.userFolder = windows1252ToUtf8(reader.shortString());
    user.userFlags = static_cast<uint16_t>(reader.little(2));
    reader.skip(reader.little(4));
    for (int list = 0; list < 2 && reader.ok; ++list) {
        const uint32_t count = reader.little(2);
        for (uint32_t item = 0; item < count && reader.ok; ++item) {
            reader.objectTag();
            reader.skip(8);
        }
    }
    return reader.ok;
}

}  // namespace

std::string readDesktopPath(SettingsStore& store) {
    const std::unique_ptr<SettingsKey> key = store.openForReading(kDesktopKeyPath);
    if (!key) return std::string();
    std::optional<std::string> path = key->getString("Path");
    // The limits count the terminating zero, so the text is 1..258 bytes and one
    // appended backslash still fits a 260-byte buffer.
    if (!path) return std::string();
    const size_t sizeWithZero = path->size() + 1;
    if (sizeWithZero < 2 || sizeWithZero > kMaxDesktopPathLength) return std::string();
    if (path->back() != '\\') *path += '\\';
    return *path;
}

bool readUsersFile(const uint8_t* bytes, size_t size, std::vector<UserEntry>& users) {
    users.clear();
    ByteReader reader{bytes, size};
    const uint32_t count = reader.little(2);
    if (!reader.ok) return false;
    for (uint32_t index = 0; index < count; ++index) {
        UserEntry user;
        if (!readUser(reader, user)) return false;
        users.push_back(std::move(user));
    }
    return true;
}

bool loadUsers(const std::string& desktopPath, const FileSystem& files,
               std::vector<UserEntry>& users) {
    users.clear();
    const std::optional<std::vector<uint8_t>> content = files.readFile(desktopPath + "users.dat");
    if (!content) return false;
    return readUsersFile(content->data(), content->size(), users);
}

std::string installFolder(const std::string& desktopPath, const std::string& userFolder) {
    return desktopPath + userFolder + "\\Install";
}

std::string installValueName(uint32_t userId) { return "Install" + std::to_string(userId); }

bool registerInstallation(SettingsStore& store, uint32_t userId, MessageSink& messages) {
    const std::unique_ptr<SettingsKey> key = store.openForWriting(kInstallFlagKeyPath);
    // A flag that was not written means the desktop never installs the database, so a
    // refused write is reported like a key that would not open.
    if (!key || !key->setDword(installValueName(userId).c_str(), 1)) {
        messages.show(MsgInstallFailed, messageText(MsgInstallFailed));
        return false;
    }
    return true;
}

int preselectUser(const std::vector<UserEntry>& users, const std::string& savedName) {
    int chosen = users.empty() ? -1 : 0;
    for (size_t index = 0; index < users.size(); ++index)
        if (users[index].userName == savedName) chosen = static_cast<int>(index);
    return chosen;
}
