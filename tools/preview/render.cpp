#include "preview/render.hpp"

#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace veltrane2::preview {
namespace {

constexpr int kMargin = 16;
constexpr int kTitle = 24;    // title strip above a picture
constexpr int kCaption = 22;  // extent line below it
constexpr int kBarGap = 8;    // between picture and colour bar
constexpr int kBarWidth = 14;
constexpr int kBarLabels = 78;  // room for the value labels
constexpr int kLargest = 512;   // larger images are averaged down to this
constexpr int kSmallest = 128;  // smaller ones are repeated up to at least this
constexpr int kPlot = 200;      // height of the row-mean plot's frame
constexpr int kPlotLeft = 70;   // room for its value labels
constexpr int kLine = 18;       // a line of text under it

// Stops of a dark-to-bright perceptual map (black, purple, red, orange, pale
// yellow), interpolated linearly.
constexpr std::array<Rgb, 9> kInferno = {{{0, 0, 4},
                                          {31, 12, 72},
                                          {85, 15, 109},
                                          {136, 34, 106},
                                          {186, 54, 85},
                                          {227, 89, 51},
                                          {249, 140, 10},
                                          {249, 201, 50},
                                          {252, 255, 164}}};

std::string base_name(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// A length in metres with an SI prefix, three decimals.
std::string metres(double m) {
    struct Prefix {
        double f;
        const char* name;
    };
    const Prefix prefixes[] = {{1.0, "m"}, {1e-3, "mm"}, {1e-6, "\u00b5m"}, {1e-9, "nm"}, {1e-12, "pm"}};
    const double a = std::abs(m);
    for (const Prefix& p : prefixes) {
        if (a >= p.f || p.f == 1e-12) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.3g %s", m / p.f, p.name);
            return buf;
        }
    }
    return "";
}

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

}  // namespace

Rgb colour(ColourMap map, double t) {
    if (!(t > 0.0)) t = 0.0;  // also catches NaN
    if (t > 1.0) t = 1.0;
    if (map == ColourMap::kGrey) {
        const auto g = static_cast<unsigned char>(std::lround(255.0 * t));
        return {g, g, g};
    }
    const double x = t * (kInferno.size() - 1);
    const auto k = std::min(static_cast<std::size_t>(x), kInferno.size() - 2);
    const double f = x - static_cast<double>(k);
    Rgb c{};
    for (int ch = 0; ch < 3; ++ch) {
        const double a = kInferno[k][ch];
        const double b = kInferno[k + 1][ch];
        c[ch] = static_cast<unsigned char>(std::lround(a + (b - a) * f));
    }
    return c;
}

double percentile(std::vector<double> values, double percent) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    const double pos = std::clamp(percent, 0.0, 100.0) / 100.0 * static_cast<double>(values.size() - 1);
    const auto k = static_cast<std::size_t>(pos);
    if (k + 1 >= values.size()) return values.back();
    return values[k] + (values[k + 1] - values[k]) * (pos - static_cast<double>(k));
}

std::vector<std::string> run_set(const std::string& name, const std::string& folder) {
    namespace fs = std::filesystem;
    const fs::path input(name);
    const fs::path where = folder.empty() ? input.parent_path() : fs::path(folder);
    std::vector<std::string> set{name};
    for (const char* prefix : {"DENOISE_", "NOISE_", "FIL_"}) {
        const std::string stem = prefix + input.stem().string();
        std::string found = (where / (prefix + input.filename().string())).string();
        for (const char* ext : {".gsf", ".txt"}) {
            const fs::path other = where / (stem + ext);
            if (!fs::exists(found) && fs::exists(other)) found = other.string();
        }
        set.push_back(found);
    }
    return set;
}

bool is_filter_name(const std::string& path) {
    return base_name(path).rfind("FIL_", 0) == 0;
}

std::string value_label(double v, double scale, const std::string& unit) {
    if (unit.empty()) return number(v);
    struct Prefix {
        double f;
        const char* name;
    };
    const Prefix prefixes[] = {{1e3, "k"}, {1.0, ""}, {1e-3, "m"}, {1e-6, "\u00b5"}, {1e-9, "n"}, {1e-12, "p"}, {1e-15, "f"}};
    const double a = std::abs(scale);
    for (const Prefix& p : prefixes)
        if (a >= p.f || p.f == 1e-15) return number(v / p.f) + " " + p.name + unit;
    return number(v) + " " + unit;
}

Panel make_panel(const std::string& title, const Image& img, const std::string& unit, const Options& opt) {
    const int nx = img.nx;
    const int ny = img.ny;
    std::vector<double> v = img.values;
    if (opt.log) {
        double smallest = 0.0;
        for (double x : v)
            if (std::abs(x) > 0.0 && (smallest == 0.0 || std::abs(x) < smallest)) smallest = std::abs(x);
        for (double& x : v) x = std::log10(std::abs(x) > 0.0 ? std::abs(x) : (smallest > 0.0 ? smallest : 1.0));
    }

    Panel p;
    p.title = title;
    if (!opt.log) p.unit = unit;
    const double ex = img.span_x * img.unit;
    const double ey = img.span_y * img.unit;
    p.extent = metres(ex) + " \u00d7 " + metres(ey);

    const int big = std::max(nx, ny);
    if (big > kLargest) {
        const int f = (big + kLargest - 1) / kLargest;  // values per pixel along each axis
        p.scale = -f;
        p.width = (nx + f - 1) / f;
        p.height = (ny + f - 1) / f;
        p.pixels.assign(static_cast<std::size_t>(p.width) * p.height, 0.0);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                double sum = 0.0;
                int count = 0;
                for (int j = y * f; j < std::min(ny, (y + 1) * f); ++j)
                    for (int i = x * f; i < std::min(nx, (x + 1) * f); ++i) {
                        sum += v[static_cast<std::size_t>(j) * nx + i];
                        ++count;
                    }
                p.pixels[static_cast<std::size_t>(y) * p.width + x] = sum / count;
            }
    } else {
        const int f = big < kSmallest ? (kSmallest + big - 1) / big : 1;
        p.scale = f;
        p.width = nx * f;
        p.height = ny * f;
        p.pixels.assign(static_cast<std::size_t>(p.width) * p.height, 0.0);
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                p.pixels[static_cast<std::size_t>(y) * p.width + x] = v[static_cast<std::size_t>(y / f) * nx + x / f];
    }

    if (is_filter_name(title) && !opt.log) {
        p.lo = 0.0;
        p.hi = 1.0;
    } else {
        p.lo = percentile(p.pixels, opt.low_percent);
        p.hi = percentile(p.pixels, opt.high_percent);
    }
    return p;
}

RowPlot row_plot(const Image& input, const Image& cleaned, const Image& gain, const std::string& unit) {
    RowPlot p;
    p.unit = unit;
    const int nx = std::min(input.nx, cleaned.nx);
    const int ny = std::min(input.ny, cleaned.ny);
    const auto means = [&](const Image& im) {
        std::vector<double> m(static_cast<std::size_t>(ny));
        double all = 0.0;
        for (int j = 0; j < ny; ++j) {
            double s = 0.0;
            for (int i = 0; i < nx; ++i) s += im.at(i, j);
            m[static_cast<std::size_t>(j)] = s / nx;
            all += s / nx;
        }
        for (double& v : m) v -= all / ny;
        return m;
    };
    p.input = means(input);
    p.cleaned = means(cleaned);
    Result r;
    r.gain = gain;
    r.cleaned = cleaned;
    const RunFigures f = run_figures(input, r);
    char buf[256];
    const double scale = std::max(f.input.line_step, f.cleaned.line_step);
    std::snprintf(buf, sizeof buf, "stripe energy %.4f \u2192 %.4f    line-to-line step %s \u2192 %s",
                  f.input.stripe_energy, f.cleaned.stripe_energy, value_label(f.input.line_step, scale, unit).c_str(),
                  value_label(f.cleaned.line_step, scale, unit).c_str());
    p.lines.push_back(buf);
    std::snprintf(buf, sizeof buf,
                  "change along the lines %.4f    lowered %.2f %% of the spectrum    energy removed %.1f %%",
                  f.change_along_lines, 100.0 * f.lowered_share, 100.0 * f.energy_removed);
    p.lines.push_back(buf);
    return p;
}

int plot_height(const RowPlot& plot) {
    return kTitle + kPlot + kCaption + static_cast<int>(plot.lines.size()) * kLine + kMargin;
}

Layout layout(const std::vector<Panel>& panels) {
    Layout l;
    int x = kMargin;
    int tallest = 0;
    for (const Panel& p : panels) {
        l.origins.emplace_back(x, kMargin + kTitle);
        x += p.width + kBarGap + kBarWidth + kBarLabels + kMargin;
        tallest = std::max(tallest, p.height);
    }
    l.width = x;
    l.height = kMargin + kTitle + tallest + kCaption + kMargin;
    return l;
}

namespace {

// The row means of input and cleaned image against the row index, in a
// frame of the picture's width below the panels starting at height y0.
void draw_plot(cairo_t* cr, const RowPlot& plot, int width, int y0) {
    const double fx = kMargin + kPlotLeft;
    const double fw = width - kMargin - fx;
    const double fy = y0 + kTitle;
    const double fh = kPlot;
    double lo = 0.0, hi = 0.0;
    for (const auto* v : {&plot.input, &plot.cleaned})
        for (double x : *v) {
            lo = std::min(lo, x);
            hi = std::max(hi, x);
        }
    if (hi <= lo) hi = lo + 1.0;
    const std::size_t rows = plot.input.size();
    const auto px = [&](std::size_t j) { return fx + (rows > 1 ? fw * j / (rows - 1) : fw / 2); };
    const auto py = [&](double v) { return fy + fh * (hi - v) / (hi - lo); };

    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 13);
    cairo_move_to(cr, kMargin, fy - 8);
    cairo_show_text(cr, "row means less the image mean:");
    const struct {
        const std::vector<double>* v;
        double r, g, b;
        const char* name;
    } curves[] = {{&plot.input, 0.55, 0.55, 0.55, "input"}, {&plot.cleaned, 0.80, 0.25, 0.05, "cleaned"}};
    double lx = kMargin + 260;
    for (const auto& c : curves) {
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_rectangle(cr, lx, fy - 17, 14, 10);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        cairo_move_to(cr, lx + 18, fy - 8);
        cairo_show_text(cr, c.name);
        lx += 90;
    }
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, fx + 0.5, fy + 0.5, fw, fh);
    cairo_stroke(cr);
    if (lo < 0.0 && hi > 0.0) {
        cairo_set_source_rgb(cr, 0.8, 0.8, 0.8);
        cairo_move_to(cr, fx, py(0.0));
        cairo_line_to(cr, fx + fw, py(0.0));
        cairo_stroke(cr);
    }
    for (const auto& c : curves) {
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        for (std::size_t j = 0; j < rows; ++j) {
            if (j == 0)
                cairo_move_to(cr, px(j), py((*c.v)[j]));
            else
                cairo_line_to(cr, px(j), py((*c.v)[j]));
        }
        cairo_stroke(cr);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 11);
    const double scale = std::max(std::abs(lo), std::abs(hi));
    cairo_move_to(cr, kMargin, fy + 10);
    cairo_show_text(cr, value_label(hi, scale, plot.unit).c_str());
    cairo_move_to(cr, kMargin, fy + fh);
    cairo_show_text(cr, value_label(lo, scale, plot.unit).c_str());
    cairo_move_to(cr, fx, fy + fh + 15);
    cairo_show_text(cr, "row 1");
    const std::string last = "row " + std::to_string(rows);
    cairo_move_to(cr, fx + fw - 7.0 * last.size(), fy + fh + 15);
    cairo_show_text(cr, last.c_str());
    cairo_set_font_size(cr, 13);
    double ly = fy + fh + kCaption + 14;
    for (const std::string& line : plot.lines) {
        cairo_move_to(cr, kMargin, ly);
        cairo_show_text(cr, line.c_str());
        ly += kLine;
    }
}

}  // namespace

void write_png(const std::vector<Panel>& panels, const Options& opt, const std::string& out, const RowPlot* plot) {
    Layout l = layout(panels);
    const int panels_height = l.height;
    if (plot != nullptr) l.height += plot_height(*plot);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, l.width, l.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        throw std::runtime_error("cannot make a picture of " + std::to_string(l.width) + " x " +
                                 std::to_string(l.height) + " pixels");
    }
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_surface_flush(surface);

    // The pictures and bars are set pixel by pixel, so every value keeps
    // exactly the colour of the map.
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto put = [&](int x, int y, const Rgb& c) {
        auto* px = reinterpret_cast<uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride) + x;
        *px = (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | uint32_t{c[2]};
    };
    for (std::size_t k = 0; k < panels.size(); ++k) {
        const Panel& p = panels[k];
        const auto [ox, oy] = l.origins[k];
        const double span = p.hi - p.lo;
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x) {
                const double v = p.pixels[static_cast<std::size_t>(y) * p.width + x];
                put(ox + x, oy + y, colour(opt.map, span > 0.0 ? (v - p.lo) / span : 0.5));
            }
        const int bx = ox + p.width + kBarGap;
        for (int y = 0; y < p.height; ++y) {
            const Rgb c = colour(opt.map, p.height > 1 ? 1.0 - static_cast<double>(y) / (p.height - 1) : 0.5);
            for (int x = 0; x < kBarWidth; ++x) put(bx + x, oy + y, c);
        }
    }
    cairo_surface_mark_dirty(surface);

    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    for (std::size_t k = 0; k < panels.size(); ++k) {
        const Panel& p = panels[k];
        const auto [ox, oy] = l.origins[k];
        cairo_set_font_size(cr, 13);
        cairo_move_to(cr, ox, oy - 8);
        cairo_show_text(cr, p.title.c_str());
        cairo_set_font_size(cr, 11);
        cairo_move_to(cr, ox, oy + p.height + 16);
        cairo_show_text(cr, p.extent.c_str());
        const int lx = ox + p.width + kBarGap + kBarWidth + 4;
        const double scale = std::max(std::abs(p.lo), std::abs(p.hi));
        cairo_move_to(cr, lx, oy + 10);
        cairo_show_text(cr, value_label(p.hi, scale, p.unit).c_str());
        cairo_move_to(cr, lx, oy + p.height);
        cairo_show_text(cr, value_label(p.lo, scale, p.unit).c_str());
    }
    if (plot != nullptr) draw_plot(cr, *plot, l.width, panels_height - kMargin);
    cairo_destroy(cr);

    // Written beside the final name and renamed: no half-written PNG is
    // ever seen under that name.
    const std::string temp = out + ".tmp." + std::to_string(::getpid());
    const cairo_status_t status = cairo_surface_write_to_png(surface, temp.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::remove(temp.c_str());
        throw std::runtime_error("cannot write " + out + ": " + cairo_status_to_string(status));
    }
    if (std::rename(temp.c_str(), out.c_str()) != 0) {
        std::remove(temp.c_str());
        throw std::runtime_error("cannot write " + out);
    }
}

}  // namespace veltrane2::preview
