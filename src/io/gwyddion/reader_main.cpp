// veltrane2-read-instrument FILE PICK [ARGUMENT]: reads an instrument file
// through Gwyddion's file modules and writes its answer on descriptor 3 for
// the program that started it (read_isolated). PICK is height, all-height,
// none, number (ARGUMENT: the channel's number) or title (ARGUMENT: its
// title). Not meant to be run by hand: a file module that crashes or hangs
// on a damaged file takes only this process with it, and the programs and
// the Python module that read instrument files need not load Gwyddion's
// libraries themselves.
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <string>

#include "io/gwyddion/child.hpp"
#include "io/gwyddion/instrument.hpp"

namespace {

bool write_all(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace veltrane2::gwyddion;
    std::string answer;
    try {
        if (argc < 3) throw ReadError("usage: veltrane2-read-instrument FILE PICK [ARGUMENT]");
        const std::string kind = argv[2];
        const std::string argument = argc > 3 ? argv[3] : "";
        ChannelPick pick;
        if (kind == "height") {
            pick.kind = ChannelPick::Kind::kHeight;
        } else if (kind == "all-height") {
            pick.kind = ChannelPick::Kind::kAllHeight;
        } else if (kind == "none") {
            pick.kind = ChannelPick::Kind::kNone;
        } else if (kind == "number") {
            pick.kind = ChannelPick::Kind::kNumber;
            pick.number = std::stoi(argument);
        } else if (kind == "title") {
            pick.kind = ChannelPick::Kind::kTitle;
            pick.title = argument;
        } else {
            throw ReadError("unknown channel pick " + kind);
        }
        answer = 'R' + encode(read_here(argv[1], pick));
    } catch (const UnknownFormat& e) {
        answer = std::string("U") + e.what();
    } catch (const std::exception& e) {
        answer = std::string("E") + e.what();
    }
    // _exit: the answer is all this process is for; Gwyddion's state is not
    // torn down (nor, in a sanitizer build, checked for what it keeps).
    ::_exit(write_all(kAnswerFd, answer.data(), answer.size()) ? 0 : 1);
}
