#include "io/atomic_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/errors.hpp"

namespace veltrane2 {

AtomicFile::AtomicFile(const std::string& fileout) : final_(fileout), temp_(fileout + ".tmp.XXXXXX") {
    fd_ = ::mkstemp(temp_.data());
    if (fd_ < 0) {
        const int err = errno;
        throw Error(std::string("I cannot open the output data file: ") + std::strerror(err), err, final_);
    }
    // mkstemp creates the file private to its owner; give it the mode a
    // plain create would have.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
}

AtomicFile::AtomicFile(AtomicFile&& o) noexcept
    : final_(std::move(o.final_)), temp_(std::move(o.temp_)), fd_(o.fd_), committed_(o.committed_) {
    o.fd_ = -1;
    o.committed_ = true;  // nothing left for the moved-from object to remove
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
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
}

void AtomicFile::fail(int err) {
    throw Error("I cannot write the output data file " + final_ + ": " + std::strerror(err), err, final_);
}

}  // namespace veltrane2
