// celconv/staged_output.h -- an output file that is written whole or not at all. The
// bytes go to a staged file beside the output (celconv-<process>-<n>.tmp in the same
// folder, so the final step is a rename on one disk); only commit() puts it in the
// output's place, after every byte reached the disk. A run that ends without commit()
// removes the staged file: a failed run leaves an existing output as it was and no new
// file behind. An output that names a symbolic link replaces the file the link names and
// keeps the link; an existing output keeps its permission bits. An output that is no
// regular file (a device such as /dev/null or NUL, a pipe) has nothing to keep and is
// written directly.
#pragma once
#include <fstream>
#include <ostream>
#include <string>

namespace celconv {

class StagedOutput {
public:
    StagedOutput() = default;
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;
    // Removes the staged file unless commit() succeeded.
    ~StagedOutput();

    // Gets ready to write `path`. False, with nothing created, when an existing output
    // cannot be written (a folder, no write permission) or no staged file can be created
    // beside it (no such folder, no room in the folder).
    bool open(const std::string& path);
    // Where the conversion writes; valid after open() succeeded.
    std::ostream& stream() { return stream_; }
    // Closes the staged file and forces its bytes to the disk. False when any write
    // failed (a full disk shows here at the latest); the output is still untouched.
    bool finish();
    // finish() if not done yet, then puts the staged file in the output's place. False,
    // with the staged file removed and the output as it was, when either step fails.
    bool commit();

private:
    void discard();

    std::ofstream stream_;
    std::string target_;  // the file to replace, links followed
    std::string staged_;  // empty when the output is written directly
    bool finished_ = false;
    bool written_ = false;  // finish() found every byte written
    bool committed_ = false;
};

}  // namespace celconv
