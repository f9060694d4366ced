// An output file under construction: written under a temporary name in the
// same folder and renamed over the final name only once complete, so that a
// reader never sees a half-written file and a failed write leaves no trace.
#pragma once

#include <cstddef>
#include <string>

namespace veltrane2 {

class AtomicFile {
public:
    // Throws an I/O Error ("I cannot open the output data file: ...") when
    // the temporary cannot be created.
    explicit AtomicFile(const std::string& fileout);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    AtomicFile(AtomicFile&& o) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;

    // Throws an I/O Error ("I cannot write the output data file NAME: ...").
    void write(const char* data, std::size_t len);
    // Closes the file and renames it into place.
    void commit();
    // The final name.
    const std::string& path() const { return final_; }

private:
    [[noreturn]] void fail(int err);

    std::string final_;
    std::string temp_;
    int fd_ = -1;
    bool committed_ = false;
    int slot_ = -1;  // of the temporary's name in the list remove_temporaries() goes through
};

// Holds an exclusive advisory lock (flock) on a folder while it lives, so
// that two processes putting sets of files in place in the same folder do so
// one set after the other, never interleaved. Where the folder cannot be
// opened or the file system has no such locks, nothing is locked: each file
// is still put in place whole.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

// Removes the temporary file of every AtomicFile of the process that is
// neither put in place nor removed yet, for a process stopping at once (on a
// signal). Safe in a signal handler: it only reads a fixed table of names and
// unlinks them.
void remove_temporaries() noexcept;

}  // namespace veltrane2
