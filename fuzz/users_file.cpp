// fuzz/users_file.cpp -- the users.dat parser. Whatever the bytes, it keeps only whole
// users with names and folders of 1 to 255 characters (in UTF-8, each character of the
// file's Windows-1252 takes 1 to 3 bytes), says true exactly when it read as
// many as the count announces, and reads a file cut short to a prefix of the same list.
#include <cstdint>
#include <vector>

#include "frontend/install.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<UserEntry> users;
    const bool complete = readUsersFile(data, size, users);
    const size_t announced = size >= 2 ? static_cast<size_t>(data[0] | data[1] << 8) : 0;
    fuzzCheck(users.size() <= announced, "more users than the count announces");
    fuzzCheck(!complete || users.size() == announced, "true without every announced user");
    for (const UserEntry& user : users) {
        fuzzCheck(!user.userName.empty() && user.userName.size() <= 3 * 255, "a user name outside 1..255 characters");
        fuzzCheck(!user.userFolder.empty() && user.userFolder.size() <= 3 * 255, "a user folder outside 1..255 characters");
    }
    if (size > 2) {
        std::vector<UserEntry> cut;
        const std::vector<uint8_t> shorter(data, data + size - 1);
        readUsersFile(shorter.data(), shorter.size(), cut);
        fuzzCheck(cut.size() <= users.size(), "a shorter file gave more users");
        for (size_t index = 0; index < cut.size(); ++index)
            fuzzCheck(cut[index] == users[index], "a shorter file gave other users");
    }
    return 0;
}
