// cli/staged_file.h -- a destination written aside and put in place only once complete,
// so a failed or canceled conversion leaves no partial database and never destroys the
// file that was there. On Linux the file has no name until then (O_TMPFILE), so not even
// a killed vimlo leaves one behind; elsewhere it is a hidden name in the same folder.
// Before it is put in place its data and then its folder reach the disk.
#pragma once
#include <sys/types.h>

#include <string>

class StagedFile {
public:
    StagedFile() = default;
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;
    ~StagedFile() { discard(); }

    // Creates an empty file beside `destination`. A link to an existing file is followed,
    // so that file is the one replaced and the link stays. The new file gets the
    // permissions of the file it replaces, or 0666 less `umaskBits`, when it is committed.
    // False when the file cannot be created.
    bool create(const std::string& destination, mode_t umaskBits);
    // The path a writer opens the file by: "/proc/self/fd/N" for an unnamed file.
    const std::string& temporaryPath() const { return openPath_; }

    enum class Commit { Done, Exists, NotRegular, Failed };
    // Puts the file in place. With `replace` it goes over an existing regular file;
    // without, only where nothing exists by then (Exists otherwise), checked by the very
    // operation that names it. NotRegular when a FIFO, device or the like stands there.
    // On any failure the staged file is removed.
    Commit commit(bool replace);
    // Removes the staged file if it is still there.
    void discard();
    // The errno of the failure that made create false or commit Failed, else 0.
    int error() const { return error_; }

private:
    std::string final_;
    std::string temporary_;  // the hidden name, when the file has one
    std::string openPath_;
    int descriptor_ = -1;    // the unnamed file, held open until committed
    mode_t mode_ = 0;        // given on commit
    int error_ = 0;
};
