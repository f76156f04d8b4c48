// Automatic installation: the desktop folder, the users.dat reader and the install flag.
// The reader walks a file the desktop software wrote, so every length it trusts is a
// chance to read past the end or to drop good users.
#include <gtest/gtest.h>

#include "frontend/install.h"
#include "frontend/memory_settings_store.h"
#include "frontend/settings.h"
#include "tests/frontend/fakes.h"

namespace {

// Builds users.dat bytes, little-endian, one field at a time.
class UsersFile {
public:
    explicit UsersFile(uint16_t count) { u16(count); }
    UsersFile& u16(uint32_t value) { return little(value, 2); }
    UsersFile& u32(uint32_t value) { return little(value, 4); }
    UsersFile& raw(const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    UsersFile& shortString(const std::string& text) {
        bytes.push_back(static_cast<uint8_t>(text.size()));
        return raw(text);
    }
    // One whole record; tag 0xFFFF takes a class record with `className`.
    UsersFile& user(uint32_t tag, uint32_t id, const std::string& name, const std::string& folder,
                    const std::string& className = "", uint16_t listItems = 0) {
        u16(tag);
        if (tag == 0xFFFF) u16(1).u16(static_cast<uint32_t>(className.size())).raw(className);
        u32(id).shortString(name).shortString(folder).u16(0x0102);
        u32(3).raw("xyz");  // passed over
        for (int list = 0; list < 2; ++list) {
            u16(listItems);
            for (uint16_t item = 0; item < listItems; ++item) u16(0x8002).raw("12345678");
        }
        return *this;
    }
    bool read(std::vector<UserEntry>& users) const { return readUsersFile(bytes.data(), bytes.size(), users); }

    std::vector<uint8_t> bytes;

private:
    UsersFile& little(uint32_t value, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }
};

}  // namespace

TEST(DesktopPath, ReadsPathAndEndsItWithABackslash) {
    struct Row { std::optional<MemorySettingsStore::Value> stored; const char* expected; };
    const Row rows[] = {
        {std::string("C:\\Desk"), "C:\\Desk\\"},
        {std::string("C:\\Desk\\"), "C:\\Desk\\"},
        {std::string("D"), "D\\"},                          // 2 bytes with the zero
        {std::string(""), ""},                              // 1 byte: too short
        {std::string(258, 'p'), nullptr},                   // 259 bytes: longest accepted
        {std::string(259, 'p'), ""},                        // 260 bytes: too long
        {uint32_t{5}, ""},                                  // not a string
        {MemorySettingsStore::Binary{'C', ':', 0}, ""},
        {std::nullopt, ""},                                 // no Path value
    };
    for (const Row& row : rows) {
        MemorySettingsStore store;
        store.put(kDesktopKeyPath, "Other", uint32_t{1});
        if (row.stored) store.put(kDesktopKeyPath, "Path", *row.stored);
        const std::string expected = row.expected ? row.expected : std::string(258, 'p') + "\\";
        EXPECT_EQ(expected, readDesktopPath(store));
    }
    MemorySettingsStore noKey;
    noKey.put(kSettingsKeyPath, "Path", std::string("C:\\Desk"));  // another key
    EXPECT_EQ("", readDesktopPath(noKey));
}

TEST(UsersFile, ReadsEveryRecordInFileOrder) {
    const UsersFile file = UsersFile(2).user(0x8001, 4000000000u, "Ann Lee", "LeeA").user(0x8001, 7, "Bob", "BobM", "", 2);
    std::vector<UserEntry> users;
    ASSERT_TRUE(file.read(users));
    ASSERT_EQ(2u, users.size());
    EXPECT_EQ((UserEntry{4000000000u, "Ann Lee", "LeeA", 0x0102}), users[0]);
    EXPECT_EQ((UserEntry{7, "Bob", "BobM", 0x0102}), users[1]);
}

TEST(UsersFile, ClassRecordTagReadsLikeAPlainTag) {
    std::vector<UserEntry> plain, withClass;
    ASSERT_TRUE(UsersFile(1).user(0x8001, 9, "Ann", "AnnL").read(plain));
    ASSERT_TRUE(UsersFile(1).user(0xFFFF, 9, "Ann", "AnnL", "CUserDa").read(withClass));
    EXPECT_EQ(plain, withClass);
    // Class records in the skipped lists are passed over too.
    UsersFile listed(1);
    listed.u16(0x8001).u32(9).shortString("Ann").shortString("AnnL").u16(0x0102).u32(0);
    listed.u16(1).u16(0xFFFF).u16(1).u16(4).raw("CIte").raw("12345678");
    listed.u16(0);
    std::vector<UserEntry> users;
    ASSERT_TRUE(listed.read(users));
    EXPECT_EQ(plain, users);
}

TEST(UsersFile, DamageKeepsTheUsersReadBeforeIt) {
    std::vector<UserEntry> users;
    // A count of 3 whose second record has an empty name gives one user.
    UsersFile emptyName = UsersFile(3).user(0x8001, 1, "Ann", "AnnL");
    emptyName.u16(0x8001).u32(2).shortString("").shortString("X").u16(0).u32(0).u16(0).u16(0);
    emptyName.user(0x8001, 3, "Cy", "CyF");
    EXPECT_FALSE(emptyName.read(users));
    ASSERT_EQ(1u, users.size());
    EXPECT_EQ("Ann", users[0].userName);

    const UsersFile full = UsersFile(2).user(0x8001, 1, "Ann", "AnnL").user(0xFFFF, 2, "Bob", "BobM", "CUserDa", 1);
    const size_t firstEnd = UsersFile(2).user(0x8001, 1, "Ann", "AnnL").bytes.size();
    for (size_t cut = firstEnd; cut < full.bytes.size(); ++cut) {
        UsersFile shortened = full;
        shortened.bytes.resize(cut);
        EXPECT_FALSE(shortened.read(users)) << "cut at " << cut;
        EXPECT_EQ(1u, users.size()) << "cut at " << cut;
    }
    ASSERT_TRUE(full.read(users));
    EXPECT_EQ(2u, users.size());
}

TEST(UsersFile, LengthsThatPointPastTheEndAreDamage) {
    std::vector<UserEntry> users;
    UsersFile hugeSkip(1);
    hugeSkip.u16(0x8001).u32(1).shortString("Ann").shortString("AnnL").u16(0).u32(0xFFFFFFF0u);
    EXPECT_FALSE(hugeSkip.read(users));
    EXPECT_TRUE(users.empty());
    UsersFile hugeClass(1);
    hugeClass.u16(0xFFFF).u16(1).u16(0xFFFF);
    EXPECT_FALSE(hugeClass.read(users));
    UsersFile longName(1);
    longName.u16(0x8001).u32(1).shortString("Ann").raw("\xC8").raw("short");  // folder of 200 bytes
    EXPECT_FALSE(longName.read(users));
    EXPECT_TRUE(users.empty());
}

TEST(UsersFile, CountZeroOrMissingMeansNoUsers) {
    std::vector<UserEntry> users{{1, "old", "old", 0}};
    EXPECT_TRUE(UsersFile(0).read(users));
    EXPECT_TRUE(users.empty());
    users.push_back({1, "old", "old", 0});
    const uint8_t oneByte = 1;
    EXPECT_FALSE(readUsersFile(&oneByte, 1, users));
    EXPECT_TRUE(users.empty());
    EXPECT_FALSE(readUsersFile(nullptr, 0, users));
}

TEST(UsersFile, LoadedFromTheDesktopFolder) {
    FakeFileSystem files;
    files.files["C:\\Desk\\users.dat"] = UsersFile(1).user(0x8001, 5, "Ann", "AnnL").bytes;
    std::vector<UserEntry> users;
    ASSERT_TRUE(loadUsers("C:\\Desk\\", files, users));
    ASSERT_EQ(1u, users.size());
    EXPECT_EQ("C:\\Desk\\AnnL\\Install", installFolder("C:\\Desk\\", users[0].userFolder));
    EXPECT_FALSE(loadUsers("", files, users));  // no desktop software
    EXPECT_TRUE(users.empty());
}

TEST(UserList, PreselectsTheLastExactMatchElseTheFirst) {
    const std::vector<UserEntry> users = {
        {1, "Zed", "Z", 0}, {2, "Ann", "A1", 0}, {3, "Ann", "A2", 0}, {4, "ann", "A3", 0}};
    EXPECT_EQ(2, preselectUser(users, "Ann"));  // two users of one name: the last
    EXPECT_EQ(3, preselectUser(users, "ann"));
    EXPECT_EQ(0, preselectUser(users, "ANN"));  // case-sensitive, so the first user
    EXPECT_EQ(0, preselectUser(users, ""));
    EXPECT_EQ(-1, preselectUser({}, "Ann"));
}

TEST(RegisterInstallation, SetsTheUsersFlagOrSaysItFailed) {
    EXPECT_EQ("Install4000000000", installValueName(4000000000u));
    EXPECT_EQ("Install0", installValueName(0));

    MemorySettingsStore store;
    RecordingSink messages;
    ASSERT_TRUE(registerInstallation(store, 4000000000u, messages));
    EXPECT_EQ(MemorySettingsStore::Value(uint32_t{1}), *store.find(kInstallFlagKeyPath, "Install4000000000"));
    EXPECT_TRUE(messages.shown.empty());

    store.refuseSettingValues(true);  // the key opens but the value is not written
    EXPECT_FALSE(registerInstallation(store, 8, messages));
    store.refuseOpeningForWriting(true);
    EXPECT_FALSE(registerInstallation(store, 8, messages));
    EXPECT_EQ(std::vector<MessageId>(2, MsgInstallFailed), messages.ids());
}
