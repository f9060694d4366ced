#include "io/gwyddion/instrument.hpp"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "io/gwyddion/child.hpp"

namespace veltrane2::gwyddion {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool has_word(const std::string& text, std::string_view word) {
    std::size_t k = 0;
    while (k < text.size()) {
        while (k < text.size() && !std::isalnum(static_cast<unsigned char>(text[k]))) ++k;
        std::size_t end = k;
        while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) ++end;
        if (end > k && std::string_view(text).substr(k, end - k) == word) return true;
        k = end;
    }
    return false;
}

// The wire format: native integers and doubles (parent and child are the
// same program), strings as their length and bytes.
class Writer {
public:
    template <class T>
    void put(T v) {
        out_.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    void put(const std::string& s) {
        put<std::uint64_t>(s.size());
        out_ += s;
    }
    void put(const Channel& c) {
        put<std::int32_t>(c.number);
        put(c.title);
        put<std::int32_t>(c.xres);
        put<std::int32_t>(c.yres);
        put(c.xreal);
        put(c.yreal);
        put(c.xoffset);
        put(c.yoffset);
        put(c.xy_unit);
        put(c.z_unit);
    }
    void put_doubles(const std::vector<double>& v) {
        out_.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(double));
    }
    std::string take() { return std::move(out_); }

private:
    std::string out_;
};

class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}
    template <class T>
    T get() {
        T v{};
        need(sizeof v);
        std::memcpy(&v, in_.data() + at_, sizeof v);
        at_ += sizeof v;
        return v;
    }
    std::string get_string() {
        const auto n = get<std::uint64_t>();
        need(n);
        std::string s(in_.substr(at_, n));
        at_ += n;
        return s;
    }
    Channel get_channel() {
        Channel c;
        c.number = get<std::int32_t>();
        c.title = get_string();
        c.xres = get<std::int32_t>();
        c.yres = get<std::int32_t>();
        c.xreal = get<double>();
        c.yreal = get<double>();
        c.xoffset = get<double>();
        c.yoffset = get<double>();
        c.xy_unit = get_string();
        c.z_unit = get_string();
        return c;
    }
    void get_doubles(std::vector<double>& v, std::uint64_t n) {
        need(n * sizeof(double));
        v.resize(n);
        std::memcpy(v.data(), in_.data() + at_, n * sizeof(double));
        at_ += n * sizeof(double);
    }
    bool done() const { return at_ == in_.size(); }

private:
    void need(std::uint64_t n) const {
        if (n > in_.size() - at_) throw ReadError("the reader's answer is cut short");
    }
    std::string_view in_;
    std::size_t at_ = 0;
};

// The whole number after "<key>" (and blanks or a colon) in a header, or
// -1 when there is none or it is beyond `limit`.
long long header_number(std::string_view head, std::string_view key, long long limit = 1LL << 40) {
    const std::size_t k = head.find(key);
    if (k == std::string_view::npos) return -1;
    std::size_t p = k + key.size();
    while (p < head.size() && (head[p] == ':' || head[p] == ' ')) ++p;
    long long v = 0;
    bool any = false;
    for (; p < head.size() && std::isdigit(static_cast<unsigned char>(head[p])); ++p, any = true) {
        v = v * 10 + (head[p] - '0');
        if (v > limit) return -1;
    }
    return any ? v : -1;
}

// Sides beyond this are not judged (and the sizes stay far from overflow).
constexpr long long kLargestHeaderSide = 1 << 20;

}  // namespace

ChannelPick ChannelPick::parse(const std::string& text) {
    ChannelPick p;
    if (text.empty()) return p;
    if (text == "all-height") {
        p.kind = Kind::kAllHeight;
        return p;
    }
    if (text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos) {
        p.kind = Kind::kNumber;
        p.number = std::stoi(text);
        return p;
    }
    p.kind = Kind::kTitle;
    p.title = text;
    return p;
}

bool is_height(const Channel& channel) {
    if (channel.z_unit != "m") return false;
    const std::string t = lower(channel.title);
    return t.find("height") != std::string::npos || t.find("topograph") != std::string::npos || has_word(t, "z") ||
           has_word(t, "zsensor");
}

std::string channel_name(const Channel& channel) {
    return std::to_string(channel.number) + " '" + channel.title + "'";
}

std::string channel_names(const std::vector<Channel>& channels) {
    std::string s;
    for (const Channel& c : channels) s += (s.empty() ? "" : ", ") + channel_name(c);
    return s.empty() ? "none" : s;
}

std::vector<std::size_t> pick_channels(const std::vector<Channel>& channels, const ChannelPick& pick) {
    using Kind = ChannelPick::Kind;
    std::vector<std::size_t> picked;
    if (pick.kind == Kind::kNone) return picked;
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const Channel& c = channels[k];
        const bool match = pick.kind == Kind::kNumber  ? c.number == pick.number
                           : pick.kind == Kind::kTitle ? lower(c.title) == lower(pick.title)
                                                       : is_height(c);
        if (!match) continue;
        picked.push_back(k);
        if (pick.kind != Kind::kAllHeight) break;
    }
    if (!picked.empty()) return picked;
    const std::string there = "; its channels are " + channel_names(channels);
    switch (pick.kind) {
        case Kind::kNumber:
            throw ReadError("no channel " + std::to_string(pick.number) + there);
        case Kind::kTitle:
            throw ReadError("no channel titled '" + pick.title + "'" + there);
        default:
            throw ReadError("no height channel (in metres, titled height, topography or Z)" + there +
                            "; pick one by number or title (--channel)");
    }
}

std::string encode(const InstrumentFile& file) {
    Writer w;
    w.put<std::uint64_t>(file.channels.size());
    for (const Channel& c : file.channels) w.put(c);
    w.put<std::uint64_t>(file.picked.size());
    for (const ChannelValues& p : file.picked) {
        w.put(p.channel);
        w.put<std::uint64_t>(p.values.size());
        w.put_doubles(p.values);
    }
    return w.take();
}

InstrumentFile decode(std::string_view bytes) {
    Reader r(bytes);
    InstrumentFile f;
    const auto n = r.get<std::uint64_t>();
    for (std::uint64_t k = 0; k < n; ++k) f.channels.push_back(r.get_channel());
    const auto m = r.get<std::uint64_t>();
    for (std::uint64_t k = 0; k < m; ++k) {
        ChannelValues p;
        p.channel = r.get_channel();
        r.get_doubles(p.values, r.get<std::uint64_t>());
        f.picked.push_back(std::move(p));
    }
    if (!r.done()) throw ReadError("the reader's answer is malformed");
    return f;
}

namespace {

constexpr const char* kReaderName = "veltrane2-read-instrument";

bool executable(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

// The reading program: $VELTRANE2_INSTRUMENT_READER, else the first found
// around this process's program and around the file holding this code (the
// program itself, or the Python module): beside it (a build folder), one
// folder up (the tests' and the module's build folders), in ../lib/veltrane2
// (the program installed in bin/), in ../../veltrane2 (the module installed
// in lib/python3/dist-packages or lib/python3.X/site-packages), and last
// where this build installs it.
std::string reader_program() {
    if (const char* set = std::getenv("VELTRANE2_INSTRUMENT_READER"); set != nullptr && *set != '\0') return set;
    std::vector<std::filesystem::path> places;
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) places.push_back(self.parent_path());
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&reader_program), &info) != 0 && info.dli_fname != nullptr &&
        std::strchr(info.dli_fname, '/') != nullptr) {
        places.push_back(std::filesystem::absolute(info.dli_fname, ec).parent_path());
    }
    for (const std::filesystem::path& dir : places) {
        for (const std::filesystem::path& p : {dir / kReaderName, dir / ".." / kReaderName,
                                               dir / ".." / "lib" / "veltrane2" / kReaderName,
                                               dir / ".." / ".." / "veltrane2" / kReaderName}) {
            if (executable(p)) return p.lexically_normal().string();
        }
    }
    const std::filesystem::path installed = std::filesystem::path(VELTRANE2_INSTALL_PREFIX) / "lib" / "veltrane2" / kReaderName;
    if (executable(installed)) return installed.string();
    throw ReadError(std::string("the instrument file reader ") + kReaderName +
                    " was not found beside this program, in its ../lib/veltrane2 or in " +
                    installed.parent_path().string() + " (set VELTRANE2_INSTRUMENT_READER to its path)");
}

std::vector<std::string> pick_arguments(const ChannelPick& pick) {
    switch (pick.kind) {
        case ChannelPick::Kind::kHeight: return {"height"};
        case ChannelPick::Kind::kAllHeight: return {"all-height"};
        case ChannelPick::Kind::kNone: return {"none"};
        case ChannelPick::Kind::kNumber: return {"number", std::to_string(pick.number)};
        case ChannelPick::Kind::kTitle: return {"title", pick.title};
    }
    return {"height"};
}

}  // namespace

bool backend_built() {
    return VELTRANE2_INSTRUMENT_READER != 0;
}

InstrumentFile read_isolated(const std::string& path, const ChannelPick& pick, std::chrono::milliseconds timeout) {
    if (!backend_built()) {
        throw ReadError(
            "instrument files are read through Gwyddion, and this veltrane2 was built without it "
            "(install libgwyddion20-dev libgtk2.0-dev libgtkglext1-dev and build again, "
            "or export the scan from Gwyddion as .gsf)");
    }
    std::vector<std::string> argv{reader_program(), path};
    for (std::string& a : pick_arguments(pick)) argv.push_back(std::move(a));
    return decode(run_reader(argv, timeout));
}

namespace {

// What a header announces: `images` images of rows x columns values of
// `bytes` bytes each after `header` bytes.
struct Announced {
    long long header = -1, images = 1, rows = -1, columns = -1, bytes = 0;
};

// WSxM: "Image header size:", "Number of rows:", "Number of columns:" and
// "Image Data Type:" (two-byte integers when it is not there).
std::optional<Announced> wsxm_sizes(std::string_view head) {
    if (head.rfind("WSxM file copyright", 0) != 0) return std::nullopt;
    Announced a;
    a.header = header_number(head, "Image header size");
    if (a.header < 0) return std::nullopt;
    head = head.substr(0, static_cast<std::size_t>(std::min<long long>(a.header, static_cast<long long>(head.size()))));
    a.columns = header_number(head, "Number of columns", kLargestHeaderSide);
    a.rows = header_number(head, "Number of rows", kLargestHeaderSide);
    a.bytes = 2;
    const std::size_t t = head.find("Image Data Type:");
    if (t != std::string_view::npos) {
        const std::string type = lower(head.substr(t + 16, head.find('\n', t) - t - 16));
        a.bytes = type.find("double") != std::string::npos    ? 8
                  : type.find("float") != std::string::npos   ? 4
                  : type.find("integer") != std::string::npos ? 4
                  : type.find("short") != std::string::npos   ? 2
                  : type.find("char") != std::string::npos    ? 1
                                                              : 0;
    }
    return a;
}

// PicoView images: "xPixels", "yPixels", a "bufferLabel" line per image,
// then the line "data BINARY" (two-byte values) or "data BINARY_32" after
// which the values start.
std::optional<Announced> picoview_sizes(std::string_view head) {
    if (head.rfind("fileType", 0) != 0 || lower(head.substr(0, head.find('\n'))).find("image") == std::string::npos)
        return std::nullopt;
    const std::size_t data = head.find("\ndata ");
    if (data == std::string_view::npos) return std::nullopt;
    const std::size_t eol = head.find('\n', data + 1);
    if (eol == std::string_view::npos) return std::nullopt;
    std::string type(head.substr(data + 6, eol - data - 6));
    type.erase(0, type.find_first_not_of(' '));
    type.erase(type.find_last_not_of(" \r") + 1);
    Announced a;
    a.bytes = type == "BINARY_32" ? 4 : type == "BINARY" ? 2 : 0;
    a.header = static_cast<long long>(eol + 1);
    head = head.substr(0, data);
    a.columns = header_number(head, "\nxPixels", kLargestHeaderSide);
    a.rows = header_number(head, "\nyPixels", kLargestHeaderSide);
    a.images = 0;
    for (std::size_t k = head.find("\nbufferLabel"); k != std::string_view::npos; k = head.find("\nbufferLabel", k + 1))
        ++a.images;
    return a;
}

}  // namespace

std::string cut_short(std::string_view head, std::uintmax_t size) {
    std::optional<Announced> a = wsxm_sizes(head);
    if (!a) a = picoview_sizes(head);
    if (!a || a->header < 0 || a->rows < 0 || a->columns < 0 || a->images < 1 || a->bytes == 0) return {};
    const long long needed = a->header + a->images * a->rows * a->columns * a->bytes;
    if (static_cast<long long>(size) >= needed) return {};
    return "the file ends before the data its header announces: " +
           (a->images > 1 ? std::to_string(a->images) + " images of " : std::string()) + std::to_string(a->rows) +
           " x " + std::to_string(a->columns) + " values after a header of " + std::to_string(a->header) +
           " bytes need " + std::to_string(needed) + " bytes, the file has " + std::to_string(size) + " (cut short?)";
}

}  // namespace veltrane2::gwyddion
