#include "core/listout.hpp"

#include <charconv>

namespace veltrane2 {

void append_value(std::string& line, double v) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    line += ' ';
    line.append(buf, res.ptr);
}

void append_value(std::string& line, long long v) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    line += ' ';
    line.append(buf, res.ptr);
}

std::string shown(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

void append_value(std::string& line, std::string_view v) {
    line += ' ';
    line += v;
}

}  // namespace veltrane2
