#include "run/params.hpp"

#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>
#include <vector>

#include "core/errors.hpp"
#include "core/listout.hpp"

namespace veltrane2 {
namespace {

// One value of a list-directed read: its text and whether it was quoted.
struct Item {
    std::string text;
    bool quoted = false;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// List-directed reading (of standard input, or of a parameter file named
// `source`): each read starts on a new line, takes values separated by
// blanks or commas, continues on later lines when its line runs out, and
// discards the rest of the last line it used.
class ListReader {
public:
    ListReader(std::istream& in, std::string source) : in_(in), source_(std::move(source)) {}

    std::vector<Item> read(int count, std::string_view what) {
        std::vector<Item> items;
        std::string line;
        while (static_cast<int>(items.size()) < count) {
            if (!std::getline(in_, line)) {
                throw Error(ErrorKind::kBadValue, source_ + " ended before " + std::string(what) + " could be read");
            }
            ++line_no_;
            split_line(line, count, items, what);
        }
        return items;
    }

    int line_no() const { return line_no_; }

private:
    void split_line(const std::string& line, int count, std::vector<Item>& items, std::string_view what) {
        std::size_t p = 0;
        bool after_comma = false;
        const std::size_t n = line.size();
        while (p < n && static_cast<int>(items.size()) < count) {
            while (p < n && is_blank(line[p])) ++p;
            if (p >= n) break;
            if (line[p] == ',') {
                if (after_comma || (items.empty() && p == first_nonblank(line))) {
                    throw Error(ErrorKind::kBadValue, source_ + " line " + std::to_string(line_no_) +
                                                        " has an empty value where " + std::string(what) +
                                                        " was expected");
                }
                after_comma = true;
                ++p;
                continue;
            }
            Item item;
            if (line[p] == '\'' || line[p] == '"') {
                const char q = line[p++];
                bool closed = false;
                while (p < n) {
                    if (line[p] == q) {
                        if (p + 1 < n && line[p + 1] == q) {  // a doubled quote stands for one
                            item.text += q;
                            p += 2;
                            continue;
                        }
                        ++p;
                        closed = true;
                        break;
                    }
                    item.text += line[p++];
                }
                if (!closed) {
                    throw Error(ErrorKind::kBadValue, source_ + " line " + std::to_string(line_no_) +
                                                        " has a quoted value with no closing quote");
                }
                item.quoted = true;
            } else {
                const std::size_t s = p;
                while (p < n && !is_blank(line[p]) && line[p] != ',') ++p;
                item.text = line.substr(s, p - s);
            }
            items.push_back(std::move(item));
            after_comma = false;
        }
    }

    static std::size_t first_nonblank(const std::string& line) {
        std::size_t p = 0;
        while (p < line.size() && is_blank(line[p])) ++p;
        return p;
    }

    std::istream& in_;
    std::string source_;
    int line_no_ = 0;

    friend class ValueReader;
};

// Reads values of the four reads into numbers, naming the source in its
// messages.
class ValueReader {
public:
    explicit ValueReader(const ListReader& r) : r_(r) {}
    double real(const Item& item, std::string_view name) const;
    int integer(const Item& item, std::string_view name) const;

private:
    [[noreturn]] void bad_value(const Item& item, std::string_view name, std::string_view type) const {
        throw Error(ErrorKind::kBadValue, "cannot read '" + item.text + "' on " + r_.source_ + " line " +
                                            std::to_string(r_.line_no_) + " as " + std::string(type) + " (" +
                                            std::string(name) + ")");
    }
    const ListReader& r_;
};

// A real value as list-directed input writes it: optional sign, digits with
// an optional point, an optional exponent introduced by E or D.
double ValueReader::real(const Item& item, std::string_view name) const {
    if (item.quoted) bad_value(item, name, "a number");
    std::string t = item.text;
    for (char& c : t) {
        if (c == 'd' || c == 'D') c = 'e';
    }
    const char* b = t.data();
    const char* e = t.data() + t.size();
    if (b != e && *b == '+') ++b;
    double v = 0.0;
    auto res = std::from_chars(b, e, v, std::chars_format::general);
    if (b == e || res.ec != std::errc() || res.ptr != e || !std::isfinite(v)) {
        bad_value(item, name, "a number");
    }
    return v;
}

int ValueReader::integer(const Item& item, std::string_view name) const {
    if (item.quoted) bad_value(item, name, "an integer");
    const char* b = item.text.data();
    const char* e = item.text.data() + item.text.size();
    if (b != e && *b == '+') ++b;
    int v = 0;
    auto res = std::from_chars(b, e, v);
    if (b == e || res.ec != std::errc() || res.ptr != e) bad_value(item, name, "an integer");
    return v;
}

}  // namespace

int stringlen(std::string_view dir) {
    const auto p = dir.find(' ');
    return p == std::string_view::npos ? static_cast<int>(dir.size()) : static_cast<int>(p);
}

namespace {

// The four reads, the first only when `with_name`.
ClassicInput read_input(std::istream& in, const std::string& source, bool with_name) {
    ListReader reader(in, source);
    const ValueReader value(reader);
    ClassicInput ci;
    if (with_name) {
        const auto name = reader.read(1, "the input file name");
        // Only the part of the name before its first blank is used.
        ci.file_name = name[0].text.substr(0, static_cast<std::size_t>(stringlen(name[0].text)));
    }
    Parameters& p = ci.parameters;
    const auto r2 = reader.read(3, "h_G h_C h_F");
    p.h_global = value.real(r2[0], "h_G");
    p.h_centre = value.real(r2[1], "h_C");
    p.h_off = value.real(r2[2], "h_F");
    const auto r3 = reader.read(1, "r_C");
    p.r_centre = value.real(r3[0], "r_C");
    const auto r4 = reader.read(3, "L_C L_F N_CP");
    p.l_centre = value.real(r4[0], "L_C");
    p.l_off = value.real(r4[1], "L_F");
    p.n_run = value.integer(r4[2], "N_CP");
    return ci;
}

}  // namespace

ClassicInput inpt_veltrane(std::istream& in, std::ostream& out) {
    const ClassicInput ci = read_input(in, "standard input", true);
    const Parameters& p = ci.parameters;
    out << list_line("Read in h_G=", p.h_global);
    out << list_line("Read in h_C=", p.h_centre);
    out << list_line("Read in h_F=", p.h_off);
    out << list_line("Read in r_C =", p.r_centre);
    out << list_line("Read in L_C=", p.l_centre);
    out << list_line("Read in L_F=", p.l_off);
    out << list_line("Read in N_CP=", p.n_run);
    return ci;
}

Parameters read_parameters(const std::string& text, const std::string& source) {
    // The image-name line is there unless the first value is a number.
    std::istringstream first(text);
    std::string word;
    first >> word;
    word = word.substr(0, word.find(','));
    for (char& c : word)
        if (c == 'd' || c == 'D') c = 'e';
    double v = 0.0;
    const char* b = word.data() + (!word.empty() && word[0] == '+' ? 1 : 0);
    const auto res = std::from_chars(b, word.data() + word.size(), v);
    const bool with_name = word.empty() || res.ec != std::errc() || res.ptr != word.data() + word.size();
    std::istringstream in(text);
    return read_input(in, source, with_name).parameters;
}

}  // namespace veltrane2
