// frontend/read_pages.h -- an IoOps wrapper that remembers which files a conversion read.
// Every file the engine opens for reading (the source and each linked page) is noted by
// its identity, so the front end can refuse, after the run and before anything is put in
// place, to replace one of them with the book or its preview page. It also refuses to
// open for reading the very file the run writes: a page that is the destination would be
// read back half written. Everything else passes to `inner` untouched.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "engine/io_ops.h"
#include "frontend/file_system.h"

struct ReadPages {
    IoOps inner{};                        // what this wraps; borrowed for the whole run
    const FileSystem* files = nullptr;    // answers the identities; borrowed
    std::string written;                  // the file the run writes; never read as a page
    // The files whose reading matters afterwards (those the run's results would replace).
    // When given, only files that are one of them are noted, so a site of any size costs
    // no memory here; when empty, every file read is noted.
    std::vector<std::string> watched;
    std::vector<FileIdentity> read;       // each file opened for reading (and watched), once
};

// The table to hand to the engine; its userData points at `state`, which must outlive it.
IoOps readPagesIoOps(ReadPages& state);

// Whether the file at `path` is one of `read`; false when it does not exist.
bool wasRead(const std::vector<FileIdentity>& read, const std::string& path,
             const FileSystem& files);
