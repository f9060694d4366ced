#include "io/atomic_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/errors.hpp"

namespace veltrane2 {
namespace {

// The names of the temporaries alive, for remove_temporaries(): a fixed
// table that a signal handler can read without locks. A slot is free (0),
// being filled or emptied (1), or holds a name (2). A temporary that finds
// no free slot or whose name is too long is simply not listed.
constexpr int kSlots = 256;
constexpr std::size_t kNameRoom = 4096;
struct TemporarySlot {
    std::atomic<int> state{0};
    char name[kNameRoom];
};
TemporarySlot g_temporaries[kSlots];

int list_temporary(const std::string& name) {
    if (name.size() >= kNameRoom) return -1;
    for (int k = 0; k < kSlots; ++k) {
        int expected = 0;
        if (g_temporaries[k].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(g_temporaries[k].name, name.c_str(), name.size() + 1);
            g_temporaries[k].state.store(2);
            return k;
        }
    }
    return -1;
}

void unlist_temporary(int slot) {
    if (slot < 0) return;
    g_temporaries[slot].state.store(1);
    g_temporaries[slot].state.store(0);
}

}  // namespace

void remove_temporaries() noexcept {
    for (TemporarySlot& t : g_temporaries)
        if (t.state.load() == 2) ::unlink(t.name);
}

AtomicFile::AtomicFile(const std::string& fileout) : final_(fileout) {
    // A name of its own beside the final one, created with the mode a plain
    // create has (0666 less the umask, which the system applies: the umask
    // is never changed to be read, as other threads create files meanwhile).
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        unsigned char pick[6];
        if (::getrandom(pick, sizeof pick, 0) != static_cast<ssize_t>(sizeof pick)) {
            for (std::size_t k = 0; k < sizeof pick; ++k)
                pick[k] = static_cast<unsigned char>((::getpid() + 7919 * attempt + 31 * k) & 0xff);
        }
        temp_ = fileout + ".tmp.";
        for (const unsigned char c : pick) temp_ += kLetters[c % (sizeof kLetters - 1)];
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        err = fd_ < 0 ? errno : 0;
    }
    if (fd_ < 0) throw Error(std::string("I cannot open the output data file: ") + std::strerror(err), err, final_);
    slot_ = list_temporary(temp_);
}

AtomicFile::AtomicFile(AtomicFile&& o) noexcept
    : final_(std::move(o.final_)), temp_(std::move(o.temp_)), fd_(o.fd_), committed_(o.committed_), slot_(o.slot_) {
    o.fd_ = -1;
    o.committed_ = true;  // nothing left for the moved-from object to remove
    o.slot_ = -1;
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
    unlist_temporary(slot_);
}

void AtomicFile::write(const char* data, std::size_t len) {
    while (len > 0) {
        const ssize_t n = ::write(fd_, data, len);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        data += n;
        len -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::commit() {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail(errno);
    if (::rename(temp_.c_str(), final_.c_str()) != 0) fail(errno);
    committed_ = true;
    unlist_temporary(slot_);
    slot_ = -1;
}

FolderLock::FolderLock(const std::string& folder) {
    fd_ = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        ::close(fd_);
        fd_ = -1;
        return;
    }
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

void AtomicFile::fail(int err) {
    throw Error("I cannot write the output data file " + final_ + ": " + std::strerror(err), err, final_);
}

}  // namespace veltrane2
