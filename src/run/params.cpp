#include "run/params.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
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

std::string joined(const std::vector<std::string_view>& names, std::size_t from, std::size_t to) {
    std::string s;
    for (std::size_t k = from; k < to; ++k) s += (s.empty() ? "" : " ") + std::string(names[k]);
    return s;
}

// A value written with a decimal comma ("0,3"): a comma between two digits
// in a word without a decimal point (in "0.3,0.1" the comma separates).
bool has_decimal_comma(std::string_view word) {
    if (word.find('.') != std::string_view::npos) return false;
    for (std::size_t k = 1; k + 1 < word.size(); ++k)
        if (word[k] == ',' && std::isdigit(static_cast<unsigned char>(word[k - 1])) &&
            std::isdigit(static_cast<unsigned char>(word[k + 1])))
            return true;
    return false;
}

// List-directed reading (of standard input, or of a parameter file named
// `source`): each read starts on a new line, takes values separated by
// blanks or commas, continues on later lines when its line runs out, and
// discards the rest of the last line it used.
// A strict reader (the batch's parameter files) holds each read to one line
// with nothing after its values, and refuses decimal commas, which the
// list-directed rules would split into two values.
class ListReader {
public:
    ListReader(std::istream& in, std::string source, bool strict)
        : in_(in), source_(std::move(source)), strict_(strict) {}

    // One read of the values `names`; a name line is read as the classic
    // program reads it even by a strict reader (`values` false).
    std::vector<Item> read(const std::vector<std::string_view>& names, bool values = true) {
        const bool strict = strict_ && values;
        const std::size_t count = names.size();
        std::vector<Item> items;
        std::string line;
        int first_line = 0;
        std::size_t end = 0;
        while (items.size() < count) {
            if (!std::getline(in_, line)) ended(names, items.size(), first_line);
            ++line_no_;
            const std::size_t before = items.size();
            end = split_line(line, static_cast<int>(count), items, joined(names, 0, count));
            if (items.size() == before) continue;  // a blank line
            if (first_line == 0) first_line = line_no_;
            if (strict) {
                check_decimal_comma(line, count);
                if (items.size() < count) {
                    const std::size_t missing = count - items.size();
                    throw Error(ErrorKind::kBadValue,
                                at_line() + joined(names, items.size(), count) + (missing == 1 ? " is" : " are") +
                                    " missing: the line holds " + joined(names, 0, items.size()) + " and each line " +
                                    "holds all its values (h_G h_C h_F, then r_C, then L_C L_F N_CP)");
                }
            }
        }
        // What the read leaves of its last line.
        std::string rest = line.substr(end);
        const std::size_t from = first_nonblank(rest);
        rest = rest.substr(from < rest.size() && rest[from] == ',' ? from + 1 : from);
        std::vector<Item> left;
        try {
            split_line(rest, 1 << 20, left, "");
        } catch (const Error&) {
            left.push_back({rest, false});  // not read anyway
        }
        last_ = {names, left.size(), line_no_};
        if (strict && !left.empty()) {
            throw Error(ErrorKind::kBadValue, at_line() + std::string(names.back()) + " is followed by '" +
                                                  left.front().text + "': the line holds " +
                                                  joined(names, 0, count) + " and nothing more");
        }
        return items;
    }

    int line_no() const { return line_no_; }

private:
    std::string at_line() const { return source_ + " line " + std::to_string(line_no_) + ": "; }

    // The read of `names` found the end after `got` of them (the first on
    // line `first_line`).
    [[noreturn]] void ended(const std::vector<std::string_view>& names, std::size_t got, int first_line) const {
        const std::string missing = joined(names, got, names.size());
        std::string what = line_no_ == 0 ? source_ + " is empty: " + missing + " cannot be read"
                                         : source_ + " ends after line " + std::to_string(line_no_) + ", before " +
                                               missing + " could be read";
        if (got > 0) {
            what += " (" + joined(names, 0, got) + (got == 1 ? " was" : " were") + " read from line " +
                    std::to_string(first_line) + ")";
        } else if (last_.left > 0) {
            what += " (line " + std::to_string(last_.line) + " holds " +
                    std::to_string(last_.names.size() + last_.left) + " values, of which only " +
                    joined(last_.names, 0, last_.names.size()) + " are read: " + missing +
                    (names.size() - got == 1 ? " goes" : " go") + " on a line of its own)";
        }
        throw Error(ErrorKind::kBadValue, what);
    }

    void check_decimal_comma(const std::string& line, std::size_t count) const {
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
        std::vector<Item> all;
        split_line(line, 1 << 20, all, "");
        const std::size_t values = all.size();
        for (const std::string& word : w) {
            if (has_decimal_comma(word) && (w.size() > 1 || values != count)) {
                std::string point = word;
                std::replace(point.begin(), point.end(), ',', '.');
                throw Error(ErrorKind::kBadValue, at_line() + "'" + word + "' has a decimal comma; write " + point +
                                                      " (a comma separates two values)");
            }
        }
    }

    // Splits `line` into items up to `count` of them; returns the position
    // after the last taken.
    std::size_t split_line(const std::string& line, int count, std::vector<Item>& items, std::string_view what) const {
        std::size_t p = 0;
        bool after_comma = false;
        const std::size_t n = line.size();
        const std::size_t start = items.size();
        while (p < n && static_cast<int>(items.size()) < count) {
            while (p < n && is_blank(line[p])) ++p;
            if (p >= n) break;
            if (line[p] == ',') {
                if (after_comma || (items.size() == start && p == first_nonblank(line))) {
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
        return p;
    }

    static std::size_t first_nonblank(const std::string& line) {
        std::size_t p = 0;
        while (p < line.size() && is_blank(line[p])) ++p;
        return p;
    }

    // The last read done: its names, how many values it left on its last
    // line, and that line.
    struct Last {
        std::vector<std::string_view> names;
        std::size_t left = 0;
        int line = 0;
    };

    std::istream& in_;
    std::string source_;
    bool strict_;
    int line_no_ = 0;
    Last last_;

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
// The lines the three reads of values ended on.
struct ReadLines {
    int thresholds = 0, r_centre = 0, rest = 0;
};

ClassicInput read_input(std::istream& in, const std::string& source, bool with_name, bool strict,
                        ReadLines* lines = nullptr) {
    ListReader reader(in, source, strict);
    const ValueReader value(reader);
    ClassicInput ci;
    if (with_name) {
        const auto name = reader.read({"the input file name"}, false);
        // Only the part of the name before its first blank is used.
        ci.file_name = name[0].text.substr(0, static_cast<std::size_t>(stringlen(name[0].text)));
    }
    ReadLines at;
    Parameters& p = ci.parameters;
    const auto r2 = reader.read({"h_G", "h_C", "h_F"});
    at.thresholds = reader.line_no();
    p.h_global = value.real(r2[0], "h_G");
    p.h_centre = value.real(r2[1], "h_C");
    p.h_off = value.real(r2[2], "h_F");
    const auto r3 = reader.read({"r_C"});
    at.r_centre = reader.line_no();
    p.r_centre = value.real(r3[0], "r_C");
    const auto r4 = reader.read({"L_C", "L_F", "N_CP"});
    at.rest = reader.line_no();
    p.l_centre = value.real(r4[0], "L_C");
    p.l_off = value.real(r4[1], "L_F");
    p.n_run = value.integer(r4[2], "N_CP");
    if (lines != nullptr) *lines = at;
    return ci;
}

}  // namespace

ClassicInput inpt_veltrane(std::istream& in, std::ostream& out) {
    const ClassicInput ci = read_input(in, "standard input", true, false);
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
    // (An empty file has no name line either: what it lacks is the values.)
    const bool number = (res.ec == std::errc() || res.ec == std::errc::result_out_of_range) &&
                        res.ptr == word.data() + word.size();
    const bool with_name = !word.empty() && !number;
    std::istringstream in(text);
    ReadLines lines;
    const Parameters p = read_input(in, source, with_name, true, &lines).parameters;
    try {
        check_parameters(p);
    } catch (const Error& e) {
        // "r_C = 1.5 is out of range: ...", told on the line it is on.
        const std::string what = e.what();
        const std::string name = what.substr(0, what.find(' '));
        const int line = name == "r_C" ? lines.r_centre : name.rfind("h_", 0) == 0 ? lines.thresholds : lines.rest;
        throw Error(ErrorKind::kBadValue, source + " line " + std::to_string(line) + ": " + what);
    }
    return p;
}

}  // namespace veltrane2
