// List-directed output lines: a leading blank, a text, then each value in
// its standard form (integers in decimal, doubles in the shortest form that
// reads back to the same double).
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace veltrane2 {

void append_value(std::string& line, double v);
void append_value(std::string& line, long long v);
inline void append_value(std::string& line, int v) { append_value(line, static_cast<long long>(v)); }
void append_value(std::string& line, std::string_view v);
inline void append_value(std::string& line, const char* v) { append_value(line, std::string_view(v)); }
inline void append_value(std::string& line, const std::string& v) { append_value(line, std::string_view(v)); }

// v in the shortest form that reads back to the same double.
std::string shown(double v);

// " <text> <v1> <v2> ...\n"
template <class... Values>
std::string list_line(std::string_view text, const Values&... values) {
    std::string line;
    line.reserve(64);
    line += ' ';
    line += text;
    (append_value(line, values), ...);
    line += '\n';
    return line;
}

}  // namespace veltrane2
