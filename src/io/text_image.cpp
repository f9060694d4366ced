#include "io/text_image.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "core/errors.hpp"
#include "image/parallel.hpp"
#include "io/atomic_file.hpp"

namespace veltrane2 {
namespace {

// A malformed image file.
[[noreturn]] void file_error(const std::string& what) {
    throw Error(ErrorKind::kBadValue, what);
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Converts the leading fields of a header candidate as the conversion
// "%d %d %le %le %lf" does: the number of fields converted, or -1 when the
// line holds nothing but white space.
int scan_header(const std::string& line, ImageHeader& h) {
    const char* p = line.c_str();
    while (is_space(*p)) ++p;
    if (*p == '\0') return -1;
    int fields = 0;
    for (int f = 0; f < 5; ++f) {
        while (is_space(*p)) ++p;
        char* end = nullptr;
        errno = 0;
        if (f < 2) {
            const long long v = std::strtoll(p, &end, 10);
            if (end == p) return fields;
            (f == 0 ? h.nx : h.ny) = v;
        } else {
            const double v = std::strtod(p, &end);
            if (end == p) return fields;
            (f == 2 ? h.spanx : f == 3 ? h.spany : h.unit) = v;
        }
        p = end;
        ++fields;
    }
    return fields;
}

}  // namespace

std::string read_whole_file(const std::string& filename, int threads) {
    const int fd = ::open(filename.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw Error(std::string("I cannot open the input data file: ") + std::strerror(err), err, filename);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const auto fail = [&filename](int err) {
        throw Error("I cannot read the input data file " + filename + ": " + std::strerror(err), err, filename);
    };
    // Reads the bytes from..to-1 of the file into text[from..to), as far as
    // the file goes: where it stopped, and the error that stopped it.
    struct Stretch {
        std::size_t end;
        int err;
    };
    const auto read_into = [fd](std::string& text, std::size_t from, std::size_t to) {
        while (from < to) {
            const ssize_t got = ::pread(fd, text.data() + from, to - from, static_cast<off_t>(from));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return Stretch{from, errno};
            if (got == 0) break;
            from += static_cast<std::size_t>(got);
        }
        return Stretch{from, 0};
    };
    std::string text;
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (regular && st.st_size > 0) {
        // A file of known size: its stretches read side by side.
        const std::size_t size = static_cast<std::size_t>(st.st_size);
        text.resize(size);
        const int parts = size < (std::size_t{1} << 22) ? 1 : std::clamp(threads, 1, 4);
        std::vector<Stretch> got(static_cast<std::size_t>(parts));
        const auto bound = [size, parts](int t) {
            return size / static_cast<std::size_t>(parts) * static_cast<std::size_t>(t);
        };
        run_on_threads(parts, [&](int t) {
            got[static_cast<std::size_t>(t)] = read_into(text, bound(t), t + 1 == parts ? size : bound(t + 1));
        });
        for (int t = 0; t < parts; ++t) {
            const Stretch& g = got[static_cast<std::size_t>(t)];
            if (g.err != 0) fail(g.err);
            const std::size_t want = t + 1 == parts ? size : bound(t + 1);
            if (g.end < want) {
                // The file is shorter than it said: it ends here.
                text.resize(g.end);
                return text;
            }
        }
    }
    // The rest (all of a file of unknown size or a pipe), to the end.
    char buf[1 << 16];
    for (;;) {
        const ssize_t got =
            regular ? ::pread(fd, buf, sizeof buf, static_cast<off_t>(text.size())) : ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail(errno);
        if (got == 0) break;
        text.append(buf, static_cast<std::size_t>(got));
    }
    return text;
}

TextImageReader::TextImageReader(const std::string& filename, std::ostream& out)
    : TextImageReader(filename, (out << "Opening image: " << filename << '\n', read_whole_file(filename)), out) {}

TextImageReader::TextImageReader(const std::string& filename, std::string text, std::ostream& out)
    : filename_(filename), text_(std::move(text)) {
    // Header search, line by line: lines starting with '!' or '#', empty
    // lines and NUL-led lines are skipped; any other line is a header
    // candidate, taken when five fields convert.
    std::size_t pos = 0;
    while (pos < text_.size()) {
        std::size_t eol = text_.find('\n', pos);
        const std::size_t next = eol == std::string::npos ? text_.size() : eol + 1;
        const char first = text_[pos];
        if (first != '!' && first != '#' && first != '\n' && first != '\0') {
            std::string line = text_.substr(pos, next - pos);
            ImageHeader h;
            const int fields = scan_header(line, h);
            if (fields == 5) {
                if (h.nx <= 0 || h.ny <= 0) {
                    file_error(filename + ": the header gives " + std::to_string(h.nx) + " x " + std::to_string(h.ny) +
                               " values; both sizes must be positive");
                }
                header_ = h;
                header_start_ = pos;
                data_start_ = next;
                return;
            }
            out << "WARNING: There are " << fields << " fields in the header, instead of 5\n";
        }
        pos = next;
    }
    file_error(filename + ": no header line with the five fields \"Nx Ny spanX spanY Unit\"");
}

std::vector<std::string> TextImageReader::comments() const {
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < header_start_;) {
        const std::size_t eol = std::min(text_.find('\n', pos), header_start_);
        std::string line = text_.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && (line[0] == '#' || line[0] == '!')) lines.push_back(std::move(line));
        pos = eol + 1;
    }
    return lines;
}

namespace {

// One value of the data: true when the token reads as a finite number;
// otherwise `what` says why not.
bool parse_value(const char* tok, const char* end, double& v, const char*& what) {
    const char* b = tok;
    if (*b == '+') ++b;
    auto res = std::from_chars(b, end, v, std::chars_format::general);
    if (b == end || res.ec != std::errc() || res.ptr != end) {
        // Forms that from_chars does not take but the C library's number
        // reading does (hexadecimal floats; values beyond the double range,
        // which become zero or infinity) are read as it reads them.
        const std::string copy(tok, end);
        char* stop = nullptr;
        v = std::strtod(copy.c_str(), &stop);
        if (stop != copy.c_str() + copy.size()) {
            what = "not a number";
            return false;
        }
    }
    if (!std::isfinite(v)) {
        what = "not finite";
        return false;
    }
    return true;
}

// The values of one stretch of the data, up to the first bad token.
struct Stretch {
    const char* begin;
    const char* end;
    std::vector<double> values;  // when not parsed straight into place
    long long count = 0;         // values read
    std::string bad_token;  // set when a token is bad; it follows the values
    const char* bad_what = nullptr;

    void parse(double* into, long long limit) {
        // Every value takes at least one character and a separator; no more
        // than `limit` are kept.
        if (into == nullptr)
            values.reserve(std::min(static_cast<std::size_t>(end - begin) / 2 + 1, static_cast<std::size_t>(limit)));
        const char* p = begin;
        long long k = 0;
        for (; k < limit; ++k) {
            while (p < end && is_space(*p)) ++p;
            if (p == end) break;
            const char* tok = p;
            while (p < end && !is_space(*p)) ++p;
            double v = 0.0;
            if (!parse_value(tok, p, v, bad_what)) {
                bad_token.assign(tok, p);
                break;
            }
            if (into != nullptr)
                into[k] = v;
            else
                values.push_back(v);
        }
        count = k;
    }
};

}  // namespace

void TextImageReader::read_values(double* z, int threads, std::size_t split) const {
    const long long count = header_.nx * header_.ny;
    const char* const begin = text_.data() + data_start_;
    const char* const end = text_.data() + text_.size();
    // Stretches of the data, cut at white space so that no token is split,
    // parsed side by side; the values are then laid end to end.
    const std::size_t len = static_cast<std::size_t>(end - begin);
    const int parts = len < split ? 1 : std::max(1, threads);
    std::vector<Stretch> stretches(static_cast<std::size_t>(parts));
    const char* from = begin;
    for (int t = 0; t < parts; ++t) {
        const char* to = t + 1 == parts ? end : begin + len / static_cast<std::size_t>(parts) * (t + 1);
        while (to < end && !is_space(*to)) ++to;
        if (to < from) to = from;
        stretches[static_cast<std::size_t>(t)].begin = from;
        stretches[static_cast<std::size_t>(t)].end = to;
        from = to;
    }
    if (parts == 1) {
        stretches[0].parse(z, count);
    } else {
        run_on_threads(parts, [&](int t) { stretches[static_cast<std::size_t>(t)].parse(t == 0 ? z : nullptr, count); });
    }
    long long k = 0;
    for (const Stretch& s : stretches) {
        const long long take = std::min<long long>(s.count, count - k);
        if (&s != &stretches[0]) std::copy(s.values.begin(), s.values.begin() + take, z + k);
        k += take;
        if (k == count) return;
        if (s.bad_what != nullptr) {
            file_error(filename_ + ": value " + std::to_string(k + 1) + " of " + std::to_string(count) + " (row " +
                       std::to_string(k / header_.nx + 1) + ", column " + std::to_string(k % header_.nx + 1) + ") is " +
                       s.bad_what + ": '" + s.bad_token + "'");
        }
    }
    file_error(filename_ + ": the data end after " + std::to_string(k) + " of " + std::to_string(count) + " values");
}

void TextImageReader::refuse_short_data() const {
    const long long count = header_.nx * header_.ny;
    const std::size_t len = text_.size() - data_start_;
    if (static_cast<unsigned long long>(count) <= (len + 1) / 2) return;
    // Too short for certain: the values are read to the first bad one or the
    // end, without being kept, for read_values()' message.
    const char* p = text_.data() + data_start_;
    const char* const end = text_.data() + text_.size();
    long long k = 0;
    for (;; ++k) {
        while (p < end && is_space(*p)) ++p;
        if (p == end) break;
        const char* tok = p;
        while (p < end && !is_space(*p)) ++p;
        double v = 0.0;
        const char* what = nullptr;
        if (!parse_value(tok, p, v, what)) {
            file_error(filename_ + ": value " + std::to_string(k + 1) + " of " + std::to_string(count) + " (row " +
                       std::to_string(k / header_.nx + 1) + ", column " + std::to_string(k % header_.nx + 1) + ") is " +
                       what + ": '" + std::string(tok, p) + "'");
        }
    }
    file_error(filename_ + ": the data end after " + std::to_string(k) + " of " + std::to_string(count) + " values");
}

TextImage loadimage(const std::string& filename, std::ostream& out, long long max_values) {
    TextImageReader reader(filename, out);
    const ImageHeader& h = reader.header();
    if (h.nx > max_values || h.ny > max_values || h.nx * h.ny > max_values) {
        file_error(filename + ": the header gives " + std::to_string(h.nx) + " x " + std::to_string(h.ny) +
                   " values, more than the " + std::to_string(max_values) + " that can be read");
    }
    reader.refuse_short_data();
    TextImage img;
    img.header = h;
    img.z.resize(static_cast<std::size_t>(h.nx * h.ny));
    reader.read_values(img.z.data());
    return img;
}

char* format_e(char* p, double v, int width, int precision) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, precision);
    const int len = static_cast<int>(res.ptr - buf);
    for (int k = len; k < width; ++k) *p++ = ' ';
    std::memcpy(p, buf, static_cast<std::size_t>(len));
    return p + len;
}

std::string format_header(int nx, int ny, double spanx, double spany, double unit, bool exact) {
    char buf[64];
    const auto span = [&](double v) {
        return exact ? std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific).ptr
                     : format_e(buf, v, 9, 3);
    };
    std::string line = std::to_string(nx) + ' ' + std::to_string(ny) + ' ';
    line.append(buf, span(spanx));
    line += ' ';
    line.append(buf, span(spany));
    line += ' ';
    line.append(buf, format_e(buf, unit, 5, 1));
    line += " \n";
    return line;
}

void saveimage(std::ostream& out, const std::string& filename, const std::string& fileout, const std::string& comment,
               int nx, int ny, double spanx, double spany, const double* z, double unit, int threads) {
    stage_image(out, filename, fileout, comment, nx, ny, spanx, spany, z, unit, threads).commit();
}

AtomicFile stage_image(std::ostream& out, const std::string& filename, const std::string& fileout,
                       const std::string& comment, int nx, int ny, double spanx, double spany, const double* z,
                       double unit, int threads, const TextNotes* notes) {
    out << "Saving image: " << fileout << '\n';
    AtomicFile file(fileout);

    std::string head = "# " + filename + "\n# " + comment + '\n';
    if (notes != nullptr) {
        head += "# " + notes->about + '\n';
        for (const std::string& line : notes->comments) head += line + '\n';
    }
    head += format_header(nx, ny, spanx, spany, unit, notes != nullptr);
    file.write(head.data(), head.size());

    // The rows are formatted a block of about kChunk characters at a time,
    // block b by part b % parts into that part's own buffer, and the blocks
    // are written in their order, each by the part that formatted it.
    constexpr std::size_t kChunk = 1 << 20;
    const long long values = static_cast<long long>(nx) * ny;
    int parts = values < (1 << 16) ? 1 : std::clamp(threads, 1, ny);
    const int block_rows = std::max(1, static_cast<int>(kChunk / (14 * static_cast<std::size_t>(std::max(nx, 1)))));
    const int blocks = (ny + block_rows - 1) / block_rows;
    std::mutex lock;
    std::condition_variable turn;
    bool go = false;  // the number of parts is settled
    int next = 0;     // the block to be written next
    std::exception_ptr error;
    const auto part = [&](int t) noexcept {
        try {
            {
                // The parts wait for one another's blocks, so every part
                // needs a thread: the parts are as many as threads started.
                std::unique_lock<std::mutex> hold(lock);
                turn.wait(hold, [&] { return go; });
                if (t >= parts) return;
            }
            // Each value takes at most 14 characters and a blank.
            std::string buf(static_cast<std::size_t>(block_rows) * (static_cast<std::size_t>(nx) * 15 + 1), '\0');
            for (int b = t; b < blocks; b += parts) {
                char* p = buf.data();
                const char* last = nullptr;  // the text of the value before, in this block
                std::uint64_t last_bits = 0;
                std::size_t last_len = 0;
                for (int j = b * block_rows; j < std::min(ny, (b + 1) * block_rows); ++j) {
                    const double* zr = z + static_cast<std::size_t>(j) * static_cast<std::size_t>(nx);
                    for (int i = 0; i < nx; ++i) {
                        // A value that repeats the one before (as most of a
                        // gain image does) repeats its text.
                        const auto bits = std::bit_cast<std::uint64_t>(zr[i]);
                        if (last != nullptr && bits == last_bits) {
                            std::memcpy(p, last, last_len);
                            p += last_len;
                        } else {
                            last = p;
                            last_bits = bits;
                            p = format_e(p, zr[i], 12, 6);
                            last_len = static_cast<std::size_t>(p - last);
                        }
                        *p++ = ' ';
                    }
                    *p++ = '\n';
                }
                std::unique_lock<std::mutex> hold(lock);
                turn.wait(hold, [&] { return next == b || error; });
                if (error) return;
                hold.unlock();  // no other part writes before `next` moves on
                file.write(buf.data(), static_cast<std::size_t>(p - buf.data()));
                hold.lock();
                ++next;
                turn.notify_all();
            }
        } catch (...) {
            // Out of memory for the buffer, or the write failed: the other
            // parts stop at their next turn.
            std::lock_guard<std::mutex> hold(lock);
            if (!error) error = std::current_exception();
            turn.notify_all();
        }
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(parts));
    int started = 1;
    for (; started < parts; ++started) {
        try {
            pool.emplace_back(part, started);
        } catch (...) {
            break;  // fewer parts, each on a thread
        }
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        parts = started;
        go = true;
    }
    turn.notify_all();
    part(0);
    for (auto& th : pool) th.join();
    if (error) std::rethrow_exception(error);
    return file;
}

}  // namespace veltrane2
