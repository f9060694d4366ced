// The plain-text image format: optional comment lines, a header line
// "Nx Ny spanX spanY Unit", then Nx x Ny values, row after row.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "io/atomic_file.hpp"

namespace veltrane2 {

struct ImageHeader {
    long long nx = 0;  // values per row
    long long ny = 0;  // rows
    double spanx = 0.0;
    double spany = 0.0;
    double unit = 0.0;
};

// An input image file that has been opened and whose header has been found.
// Reading is split in two so that the caller can check the header's sizes
// before any storage for the values is set aside.
class TextImageReader {
public:
    // Prints "Opening image: <name>", reads the file and searches the header,
    // printing a warning for every candidate line without five fields.
    // Throws Error (kIo) when the file cannot be opened, (kBadValue) when it
    // has no header line or the header's sizes are not both positive.
    TextImageReader(const std::string& filename, std::ostream& out);
    // The same on the file's contents, read already; prints no "Opening
    // image:" line.
    TextImageReader(const std::string& filename, std::string text, std::ostream& out);

    const ImageHeader& header() const { return header_; }
    const std::string& filename() const { return filename_; }
    // The comment lines before the header line (those starting with '#' or
    // '!'), as they are.
    std::vector<std::string> comments() const;

    // Reads the Nx x Ny values that follow the header line into z (room for
    // Nx x Ny values), in file order, parsing data of `split` bytes or more
    // in `threads` stretches side by side (the values and errors do not
    // depend on either). Throws Error (kBadValue) naming the file when the
    // data run short, or a value is not a number or not finite (the first
    // such value in file order).
    static constexpr std::size_t kParallelSplit = std::size_t{1} << 20;
    void read_values(double* z, int threads = 1, std::size_t split = kParallelSplit) const;

    // Refuses, as read_values() would, data that cannot hold the header's
    // nx * ny values for their length alone (every value takes a character
    // and a separator), so that no storage is set aside for them first.
    void refuse_short_data() const;

private:
    std::string filename_;
    std::string text_;
    std::size_t header_start_ = 0;
    std::size_t data_start_ = 0;
    ImageHeader header_;
};

// The contents of a file, a large one read by up to `threads` threads.
// Throws Error (kIo: "I cannot open the input data file: ...") when it
// cannot be opened or read.
std::string read_whole_file(const std::string& filename, int threads = 1);

// Whole image as read by loadimage.
struct TextImage {
    ImageHeader header;
    std::vector<double> z;  // element j * Nx + i holds row j, column i (from 0)
};

// Reads a whole text image; refuses (Error, kBadValue) a header whose sizes
// are not positive or give more than max_values values.
TextImage loadimage(const std::string& filename, std::ostream& out, long long max_values);

// Writes a text image: "# <filename>", "# <comment>", the header line and one
// line of "%12.6e " values per row. Prints "Saving image: <fileout>". The file
// is written under a temporary name beside fileout and renamed into place
// only when complete. A large image is formatted by `threads` threads, rows
// shared out. Throws an I/O Error when it cannot be created or written.
void saveimage(std::ostream& out, const std::string& filename, const std::string& fileout, const std::string& comment,
               int nx, int ny, double spanx, double spany, const double* z, double unit, int threads = 1);

// saveimage() up to the renaming: the complete file under its temporary
// name, for the caller to commit().
// What a text output says of itself besides the classic program's two
// comment lines: a line saying what the file is, then the input's comment
// lines; and the header's extents with enough digits to read back exactly.
struct TextNotes {
    std::string about;                  // without its "# "
    std::vector<std::string> comments;  // each written as it is
};
AtomicFile stage_image(std::ostream& out, const std::string& filename, const std::string& fileout,
                       const std::string& comment, int nx, int ny, double spanx, double spany, const double* z,
                       double unit, int threads = 1, const TextNotes* notes = nullptr);

// printf("%<width>.<precision>e") of one value, written at p; returns the end.
char* format_e(char* p, double v, int width, int precision);

// The header line exactly as written: "%d %d %9.3e %9.3e %5.1e \n"; with
// `exact`, the extents in the shortest form that reads back to them.
std::string format_header(int nx, int ny, double spanx, double spany, double unit, bool exact = false);

}  // namespace veltrane2
