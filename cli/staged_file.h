// cli/staged_file.h -- a destination written under a temporary name in its own folder and
// renamed over the real name only once complete, so a failed or canceled conversion
// leaves no partial database and never destroys the file that was there.
#pragma once
#include <sys/types.h>

#include <string>

class StagedFile {
public:
    StagedFile() = default;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile() { discard(); }

    // Creates an empty temporary file beside `destination`. A link to an existing file
    // is followed, so that file is the one replaced and the link stays. The new file gets
    // the permissions of the file it replaces, or 0666 less `umaskBits`, when it is
    // committed. False when the file cannot be created.
    bool create(const std::string& destination, mode_t umaskBits);
    const std::string& temporaryPath() const { return temporary_; }
    // Renames the temporary file over the destination. On failure it is removed.
    bool commit();
    // Removes the temporary file if it is still there.
    void discard();

private:
    std::string final_;
    std::string temporary_;
    mode_t mode_ = 0;  // given on commit
};
