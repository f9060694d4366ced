#include "run/params.hpp"

#include <charconv>
#include <cmath>
#include <optional>
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

// List-directed reading of standard input: each read starts on a new line,
// takes values separated by blanks or commas, continues on later lines when
// its line runs out, and discards the rest of the last line it used.
class ListReader {
public:
    explicit ListReader(std::istream& in) : in_(in) {}

    std::vector<Item> read(int count, std::string_view what) {
        std::vector<Item> items;
        std::string line;
        while (static_cast<int>(items.size()) < count) {
            if (!std::getline(in_, line)) {
                throw RunError(kExitInputError, "standard input ended before " + std::string(what) +
                                                    " could be read");
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
                    throw RunError(kExitInputError, "standard input line " + std::to_string(line_no_) +
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
                    throw RunError(kExitInputError, "standard input line " + std::to_string(line_no_) +
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
    int line_no_ = 0;
};

[[noreturn]] void bad_value(const Item& item, std::string_view name, std::string_view type, int line_no) {
    throw RunError(kExitInputError, "cannot read '" + item.text + "' on standard input line " +
                                        std::to_string(line_no) + " as " + std::string(type) + " (" +
                                        std::string(name) + ")");
}

// A real value as list-directed input writes it: optional sign, digits with
// an optional point, an optional exponent introduced by E or D.
double to_real(const Item& item, std::string_view name, int line_no) {
    if (item.quoted) bad_value(item, name, "a number", line_no);
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
        bad_value(item, name, "a number", line_no);
    }
    return v;
}

int to_int(const Item& item, std::string_view name, int line_no) {
    if (item.quoted) bad_value(item, name, "an integer", line_no);
    const char* b = item.text.data();
    const char* e = item.text.data() + item.text.size();
    if (b != e && *b == '+') ++b;
    int v = 0;
    auto res = std::from_chars(b, e, v);
    if (b == e || res.ec != std::errc() || res.ptr != e) bad_value(item, name, "an integer", line_no);
    return v;
}

}  // namespace

int stringlen(std::string_view dir) {
    const auto p = dir.find(' ');
    return p == std::string_view::npos ? static_cast<int>(dir.size()) : static_cast<int>(p);
}

ClassicInput inpt_veltrane(std::istream& in, std::ostream& out) {
    ListReader reader(in);

    const auto name = reader.read(1, "the input file name");

    const auto r2 = reader.read(3, "h_G h_C h_F");
    const int l2 = reader.line_no();
    ClassicInput ci;
    Parameters& p = ci.parameters;
    p.h_global = to_real(r2[0], "h_G", l2);
    p.h_centre = to_real(r2[1], "h_C", l2);
    p.h_off = to_real(r2[2], "h_F", l2);

    const auto r3 = reader.read(1, "r_C");
    p.r_centre = to_real(r3[0], "r_C", reader.line_no());

    const auto r4 = reader.read(3, "L_C L_F N_CP");
    const int l4 = reader.line_no();
    p.l_centre = to_real(r4[0], "L_C", l4);
    p.l_off = to_real(r4[1], "L_F", l4);
    p.n_run = to_int(r4[2], "N_CP", l4);

    // Only the part of the name before its first blank is used.
    ci.file_name = name[0].text.substr(0, static_cast<std::size_t>(stringlen(name[0].text)));

    out << list_line("Read in h_G=", p.h_global);
    out << list_line("Read in h_C=", p.h_centre);
    out << list_line("Read in h_F=", p.h_off);
    out << list_line("Read in r_C =", p.r_centre);
    out << list_line("Read in L_C=", p.l_centre);
    out << list_line("Read in L_F=", p.l_off);
    out << list_line("Read in N_CP=", p.n_run);
    return ci;
}

}  // namespace veltrane2
