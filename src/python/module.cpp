// The Python module: import veltrane2.
//
//   r = veltrane2.destripe(z, preset="general")
//   r.gain, r.noise, r.cleaned (numpy arrays), r.report (text)
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <sstream>
#include <utility>

#include <veltrane2/veltrane2.hpp>

#include "io/gsf.hpp"
#include "io/image_file.hpp"

namespace py = pybind11;
using namespace veltrane2;

namespace {

// A numpy array that owns the values of an image (no copy).
py::array_t<double> to_array(Image& img) {
    auto* v = new std::vector<double>(std::move(img.values));
    py::capsule owner(v, [](void* p) { delete static_cast<std::vector<double>*>(p); });
    return py::array_t<double>({static_cast<py::ssize_t>(img.ny), static_cast<py::ssize_t>(img.nx)}, v->data(),
                               owner);
}

// Any real 2-D array, as an Image's values (rows = file rows), with its
// extents (default: one unit per pixel) in multiples of `unit`.
Image from_array(const py::array& z, std::optional<std::pair<double, double>> extent, double unit) {
    const char kind = z.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b') {
        throw py::value_error("expected an array of real numbers, got dtype " + std::string(py::str(z.dtype())));
    }
    if (z.ndim() != 2) throw py::value_error("expected a 2-D array, got " + std::to_string(z.ndim()) + " dimensions");
    const auto c = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(z);
    if (!c) throw py::value_error("cannot convert the array to float64");
    Image img;
    img.ny = static_cast<int>(c.shape(0));
    img.nx = static_cast<int>(c.shape(1));
    if (img.nx == 0 || img.ny == 0) throw py::value_error("the array is empty");
    img.values.assign(c.data(), c.data() + c.size());
    img.span_x = extent ? extent->first : img.nx;
    img.span_y = extent ? extent->second : img.ny;
    img.unit = unit;
    return img;
}

struct PyResult {
    py::array_t<double> gain, noise, cleaned;
    std::string report;
    std::pair<double, double> extent;
    double unit = 1.0;
    int side = 0;
    std::string preset;  // for the repr: the ready set, "auto: <candidate>" or "custom"
    py::dict figures;
    py::object choice = py::none();
    py::list candidates;
};

py::dict figures_dict(const RunFigures& f) {
    py::dict d;
    d["stripe_energy_in"] = f.input.stripe_energy;
    d["stripe_energy_out"] = f.cleaned.stripe_energy;
    d["line_step_in"] = f.input.line_step;
    d["line_step_out"] = f.cleaned.line_step;
    d["change_along_lines"] = f.change_along_lines;
    d["lowered_share"] = f.lowered_share;
    d["energy_removed"] = f.energy_removed;
    return d;
}

// The seven numbers by their Python names, in the order of a parameter file.
constexpr const char* kParameterNames[] = {"h_global", "h_centre", "h_off", "r_centre", "l_centre", "l_off", "n_run"};

// A set as the keywords of destripe(): PRESETS' entries and the candidates'
// parameters (these with grouped) come from the one table of ready sets.
py::dict parameters_dict(const Parameters& p, bool with_grouped) {
    const double numbers[] = {p.h_global, p.h_centre, p.h_off, p.r_centre, p.l_centre, p.l_off};
    py::dict d;
    for (std::size_t i = 0; i < 6; ++i) d[kParameterNames[i]] = numbers[i];
    d[kParameterNames[6]] = p.n_run;
    if (with_grouped) d["grouped"] = p.grouped;
    return d;
}

// "<veltrane2.Result 256 x 256, extent 2 x 2 (unit 1e-06 m)".
std::string shape_text(const char* what, const py::array& z, std::pair<double, double> extent, double unit) {
    std::ostringstream s;
    s << "<veltrane2." << what << ' ' << z.shape(0) << " x " << z.shape(1) << ", extent " << extent.first << " x "
      << extent.second << " (unit " << unit << " m)";
    return s.str();
}

std::string preset_list() {
    std::string names;
    for (const Preset& p : kPresets) names += "'" + std::string(p.name) + "', ";
    return names + "'auto'";
}

// The parameters of a destripe() call: a ready set by name, the seven
// numbers by name overriding it, or all seven without one; or 'auto'.
// Mistakes are short TypeErrors or ValueErrors that do not print the image
// (pybind's own TypeError for a mistyped argument prints every argument).
struct CallParameters {
    Parameters parameters;
    std::optional<std::string> preset;  // the ready set's name, none when a number was given
    bool automatic = false;
    std::optional<std::pair<double, double>> extent;
    double unit = 1.0;
};

CallParameters call_parameters(const py::args& args, const py::kwargs& kwargs) {
    if (!args.empty()) {
        throw py::type_error("destripe() takes the image as its only positional argument; give preset= (" +
                             preset_list() + ") or the parameters by name");
    }
    CallParameters c;
    std::optional<Parameters> preset;
    std::optional<double> number[7];
    bool grouped = false;
    for (const auto& [k, v] : kwargs) {
        const std::string key = py::str(k);
        try {
            if (key == "preset") {
                if (v.is_none()) continue;
                if (!py::isinstance<py::str>(v)) throw py::type_error("preset must be a name (" + preset_list() + ")");
                c.preset = py::cast<std::string>(v);
                if (*c.preset == "auto") {
                    c.automatic = true;
                    continue;
                }
                const Preset* p = find_preset(*c.preset);
                if (p == nullptr) throw py::value_error("unknown preset '" + *c.preset + "' (" + preset_list() + ")");
                preset = p->parameters;
            } else if (key == "grouped") {
                grouped = py::cast<bool>(v);
            } else if (key == "extent") {
                if (!v.is_none()) c.extent = py::cast<std::pair<double, double>>(v);
            } else if (key == "unit") {
                c.unit = py::cast<double>(v);
            } else {
                const auto* name = std::find(std::begin(kParameterNames), std::end(kParameterNames), key);
                if (name == std::end(kParameterNames)) {
                    throw py::type_error("destripe() got an unexpected keyword argument '" + key + "'");
                }
                if (v.is_none()) continue;
                const std::size_t i = static_cast<std::size_t>(name - std::begin(kParameterNames));
                number[i] = i == 6 ? py::cast<int>(v) : py::cast<double>(v);
            }
        } catch (const py::cast_error&) {
            throw py::type_error(key + " cannot be " + std::string(py::str(py::type::of(v).attr("__name__"))) +
                                 (key == "n_run" ? " (a whole number)" : ""));
        }
    }
    std::string given, missing;
    for (std::size_t i = 0; i < 7; ++i) {
        std::string& list = number[i] ? given : missing;
        list += (list.empty() ? "" : ", ") + std::string(kParameterNames[i]);
    }
    if (c.automatic) {
        if (!given.empty()) throw py::value_error("preset='auto' chooses the parameters itself: no " + given);
        if (grouped) throw py::value_error("preset='auto' tries both level-estimation modes: no grouped");
        return c;
    }
    if (!preset && !missing.empty()) {
        throw py::type_error("destripe() needs preset= (" + preset_list() + ") or all seven parameters; missing: " +
                             missing);
    }
    Parameters& p = c.parameters;
    if (preset) p = *preset;
    double* fields[] = {&p.h_global, &p.h_centre, &p.h_off, &p.r_centre, &p.l_centre, &p.l_off};
    for (std::size_t i = 0; i < 6; ++i)
        if (number[i]) *fields[i] = *number[i];
    if (number[6]) p.n_run = static_cast<int>(*number[6]);
    if (!given.empty()) c.preset.reset();
    p.grouped = grouped;
    return c;
}

// An image file: its values with its extents and units.
struct Scan {
    py::array_t<double> z;
    std::pair<double, double> extent;  // in multiples of unit
    double unit = 1.0;                 // metres
    std::string zunits;
    std::string title;
    std::string format;  // "text", "gsf" or "instrument"
};

const char* format_name(FileFormat f) {
    return f == FileFormat::kGsf ? "gsf" : f == FileFormat::kInstrument ? "instrument" : "text";
}

void require_file(const std::string& path) {
    if (!std::filesystem::exists(path)) {
        PyErr_SetString(PyExc_FileNotFoundError, ("no such file: " + path).c_str());
        throw py::error_already_set();
    }
}

py::object limit_stop;

}  // namespace

PYBIND11_MODULE(veltrane2, m) {
    m.doc() =
        "Removes scan-line stripe noise from scanning-probe (AFM) height images.\n\n"
        "destripe() takes a 2-D array and returns the filter gain, the removed noise and the cleaned image;\n"
        "PRESETS holds the ready parameter sets; read() and write() handle text images and Gwyddion .gsf files.\n"
        "See the README's parameter guide ('Choosing parameters') for what the seven parameters do.";
    m.attr("__version__") = veltrane2::kVersion;

    limit_stop = py::exception<FatalStop>(m, "LimitStop", PyExc_RuntimeError);
    // Each kind of failure as the Python exception a caller expects: a bad
    // array, file or value is a ValueError, an I/O failure an OSError of its
    // errno (FileNotFoundError for a missing file) naming the file, a limit a
    // LimitStop.
    m.attr("LimitStop").attr("__doc__") =
        "A fixed limit of the engine was reached (for example more clusters than it holds); the run was stopped. "
        "args[0] is the report line naming the limit.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const Error& e) {
            switch (e.kind()) {
                case ErrorKind::kLimit:
                    PyErr_SetString(limit_stop.ptr(), e.what());
                    break;
                case ErrorKind::kIo: {
                    // OSError(errno, message, path) is made the subclass of its errno.
                    const py::object error =
                        py::reinterpret_borrow<py::object>(PyExc_OSError)(e.error_number(), e.what(), e.path());
                    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
                    break;
                }
                case ErrorKind::kBadShape:
                case ErrorKind::kBadValue:
                    PyErr_SetString(PyExc_ValueError, e.what());
                    break;
            }
        }
    });

    py::class_<PyResult>(m, "Result",
                         "The outputs of destripe(): noise and cleaned (the input's shape), gain (on the padded "
                         "side x side square) and report.")
        .def_readonly("gain", &PyResult::gain,
                      "filter gain in the centred spectrum layout of the padded side x side square, 0 to 1; the zero "
                      "frequency is at index (side/2 - 1, side/2 - 1), one before numpy's fftshift: "
                      "np.roll(r.gain, 1, axis=(0, 1)) is in np.fft.fftshift's layout")
        .def_readonly("noise", &PyResult::noise, "the removed stripe noise")
        .def_readonly("cleaned", &PyResult::cleaned, "the cleaned image; noise + cleaned = z - z.min()")
        .def_readonly("report", &PyResult::report, "the run's report lines")
        .def_readonly("extent", &PyResult::extent, "(x, y) extents of the outputs in multiples of unit")
        .def_readonly("unit", &PyResult::unit, "the length unit of extent, in metres")
        .def_readonly("side", &PyResult::side,
                      "the side of the power-of-two square the run analysed (the padded side)")
        .def_readonly("figures", &PyResult::figures,
                      "the run's figures (README, 'Figures of a run'): stripe_energy_in/_out, line_step_in/_out, "
                      "change_along_lines, lowered_share, energy_removed")
        .def_readonly("choice", &PyResult::choice,
                      "the preset's name, or for preset='auto' the candidate taken; None for the seven numbers")
        .def_readonly("candidates", &PyResult::candidates,
                      "preset='auto': every candidate tried, as dicts of name, score, parameters, figures, stopped")
        .def("__repr__", [](const PyResult& r) {
            return shape_text("Result", r.cleaned, r.extent, r.unit) + ", preset " + r.preset + ">";
        });

    py::class_<Scan>(m, "Scan", "An image file as read(): z with its extent, unit and what the file says of itself.")
        .def_readonly("z", &Scan::z, "the values, rows as in the file")
        .def_readonly("extent", &Scan::extent, "(x, y) extents in multiples of unit")
        .def_readonly("unit", &Scan::unit, "the length unit of extent, in metres")
        .def_readonly("zunits", &Scan::zunits, "unit of the values (a .gsf's ZUnits; empty for text images)")
        .def_readonly("title", &Scan::title,
                      "a .gsf's Title, or an instrument file's name and channel (empty for text images)")
        .def_readonly("format", &Scan::format, "'text', 'gsf' or 'instrument' (read through Gwyddion)")
        .def("__repr__", [](const Scan& s) {
            std::string text = shape_text("Scan", s.z, s.extent, s.unit) + ", " + s.format;
            if (!s.zunits.empty()) text += ", heights in " + s.zunits;
            if (!s.title.empty()) text += ", '" + s.title + "'";
            return text + ">";
        });

    py::class_<gwyddion::Channel>(m, "Channel", "A channel of an image file, as channels() lists them.")
        .def_readonly("number", &gwyddion::Channel::number, "the channel's number (Gwyddion's)")
        .def_readonly("title", &gwyddion::Channel::title)
        .def_property_readonly("size", [](const gwyddion::Channel& c) { return std::pair(c.xres, c.yres); },
                               "(values per row, rows)")
        .def_property_readonly("extent", [](const gwyddion::Channel& c) { return std::pair(c.xreal, c.yreal); },
                               "(x, y) extents in xy_unit")
        .def_property_readonly("offset", [](const gwyddion::Channel& c) { return std::pair(c.xoffset, c.yoffset); },
                               "(x, y) offsets in xy_unit")
        .def_readonly("xy_unit", &gwyddion::Channel::xy_unit)
        .def_readonly("z_unit", &gwyddion::Channel::z_unit, "unit of the values ('m' for heights)")
        .def_property_readonly("height", [](const gwyddion::Channel& c) { return gwyddion::is_height(c); },
                               "whether the height rule takes it (in metres, titled height, topography or Z)")
        .def("__repr__", [](const gwyddion::Channel& c) {
            return "<veltrane2.Channel " + gwyddion::channel_name(c) + " " + std::to_string(c.xres) + " x " +
                   std::to_string(c.yres) + " " + c.z_unit + ">";
        });

    py::dict presets;
    for (const Preset& p : kPresets) presets[py::str(std::string(p.name))] = parameters_dict(p.parameters, false);
    m.attr("PRESETS") = presets;

    m.def(
        "destripe",
        [](const py::array& z, const py::args& args, const py::kwargs& kwargs) {
            const CallParameters c = call_parameters(args, kwargs);
            const bool automatic = c.automatic;
            const Parameters& p = c.parameters;
            Image img = from_array(z, c.extent, c.unit);
            std::ostringstream report;
            Options o;
            o.report = &report;
            o.max_side = kLargestSide;

            Result r;
            RunFigures figures;
            std::optional<AutoResult> chosen;
            {
                py::gil_scoped_release free;
                if (automatic) {
                    chosen = destripe_auto(img, o);
                    r = std::move(chosen->result);
                    figures = chosen->candidates[chosen->chosen].figures;
                } else {
                    r = destripe(img, p, o);
                    figures = run_figures(img, r);
                }
            }
            const std::pair<double, double> out_extent{r.cleaned.span_x, r.cleaned.span_y};
            PyResult out;
            out.gain = to_array(r.gain);
            out.noise = to_array(r.noise);
            out.cleaned = to_array(r.cleaned);
            out.report = report.str();
            out.extent = out_extent;
            out.unit = c.unit;
            out.side = r.side;
            out.figures = figures_dict(figures);
            out.choice = automatic ? py::object(py::str(chosen->candidates[chosen->chosen].name))
                                   : (c.preset ? py::object(py::str(*c.preset)) : py::object(py::none()));
            out.preset = automatic ? "auto: " + chosen->candidates[chosen->chosen].name : c.preset.value_or("custom");
            if (automatic) {
                for (const Candidate& k : chosen->candidates) {
                    py::dict d;
                    d["name"] = k.name;
                    d["score"] = k.score;
                    d["parameters"] = k.leave ? py::object(py::none()) : py::object(parameters_dict(k.parameters, true));
                    d["figures"] = figures_dict(k.figures);
                    d["stopped"] = k.stop.empty() ? py::object(py::none()) : py::object(py::str(k.stop));
                    out.candidates.append(d);
                }
            }
            return out;
        },
        py::arg("z"),
        "destripe(z, *, preset=None, h_global=None, h_centre=None, h_off=None, r_centre=None, l_centre=None,\n"
        "         l_off=None, n_run=None, grouped=False, extent=None, unit=1.0) -> Result\n\n"
        "Removes the scan-line stripes of the height image z.\n\n"
        "    r = veltrane2.destripe(z, preset=\"general\")\n"
        "    r = veltrane2.destripe(z, preset=\"general\", h_off=0.3)   # a ready set with one value changed\n\n"
        "z         2-D array, rows = scan lines (file rows); any real dtype and strides; each side from 2 to 4096.\n"
        "          Any other shape than a power-of-two square is padded to the next one by mirroring it across\n"
        "          its edges; noise and cleaned are cut back to z's shape.\n"
        "preset    a ready set by name ('general', 'keep-slope', 'conservative'), or 'auto': per image the best\n"
        "          of them in both level-estimation modes or the image left as it is. The seven numbers below,\n"
        "          given by name, override a ready set; without one all seven are needed\n"
        "h_global  h_G, global homogeneity threshold (useful range 0.25 to 0.45)\n"
        "h_centre  h_C, centre-pass threshold (0.02 to 0.2 on, 0.7 to 1.0 off)\n"
        "h_off     h_F, off-centre threshold (0.05 to 0.15 adds neighbouring rows; above 0.3 only the middle lines)\n"
        "r_centre  r_C, bright fraction that keeps the centre disc growing (0.5 to 0.8)\n"
        "l_centre  L_C, centre line fraction (above 1 deletes short runs of the centre selection)\n"
        "l_off     L_F, off-centre line fraction\n"
        "n_run     N_CP, run length of the line tests (1 turns the deletion off)\n"
        "grouped   level estimation cluster by cluster\n"
        "extent    (x, y) extents in multiples of unit (default: one unit per pixel); they do not change the values\n"
        "unit      the length unit of extent, in metres\n\n"
        "Returns a Result with noise and cleaned (arrays of z's shape), gain (on the padded side x side\n"
        "square, a spectral map), report (which says when and how z was padded), side, and the extent and\n"
        "unit of noise and cleaned, the run's figures, the choice (the preset's name, None when numbers were\n"
        "given) and for preset='auto' every candidate.\n"
        "Adding a constant to z changes noise and cleaned by nothing (cleaned\n"
        "is lifted to a zero minimum), up to rounding.\n"
        "Raises TypeError for a missing, unknown or mistyped parameter; ValueError for a parameter out of its range (thresholds and r_centre from 0 to 1, line fractions\n"
        "from 0 up, n_run from 1 up; never NaN or infinite), for an array that is not 2-D, is empty, holds NaN\n"
        "or infinity, or has a side below 2 or above 4096; LimitStop when a fixed limit of the engine is reached. The engine runs without\n"
        "the GIL: threads over many images use every core.\n"
        "The parameters: README, 'Choosing parameters'; ready sets: veltrane2.PRESETS.");

    m.def(
        "figures",
        [](const py::array& z) {
            const Image img = from_array(z, std::nullopt, 1.0);
            const ImageFigures f = image_figures(img);
            py::dict d;
            d["stripe_energy"] = f.stripe_energy;
            d["line_step"] = f.line_step;
            return d;
        },
        py::arg("z"),
        "The stripe energy and line-to-line step of the 2-D array z (rows = scan lines), as a dict; README, "
        "'Figures of a run'.");

    m.def(
        "read",
        [](const std::string& path, const py::object& channel) {
            require_file(path);
            std::string pick;
            if (py::isinstance<py::int_>(channel) && channel.cast<long long>() >= 0) {
                pick = std::to_string(channel.cast<long long>());
            } else if (py::isinstance<py::str>(channel)) {
                pick = channel.cast<std::string>();
                if (pick.empty()) throw py::value_error("channel must be a number or a title, not ''");
            } else if (!channel.is_none()) {
                throw py::value_error("channel must be a number (from 0) or a title");
            }
            std::ostringstream quiet;
            ImageFile f;
            {
                py::gil_scoped_release free;
                f = read_image_file(path, quiet, 1, pick);
            }
            Scan s;
            s.extent = {f.image.span_x, f.image.span_y};
            s.unit = f.image.unit;
            s.zunits = f.gsf.zunits;
            s.title = f.gsf.title;
            s.format = format_name(f.format);
            s.z = to_array(f.image);
            return s;
        },
        py::arg("path"), py::arg("channel") = py::none(),
        "Reads a text image, a .gsf file or an instrument's file (chosen by content; instrument files through\n"
        "Gwyddion's file modules when the module was built with them) into a Scan: z, extent, unit, zunits, title,\n"
        "format. channel picks an instrument file's channel by number or title (default: its first height\n"
        "channel; see channels()).\nRaises ValueError for a malformed file, OSError (FileNotFoundError for a missing one) naming the file\n"
        "when it cannot be read.");

    m.def(
        "channels",
        [](const std::string& path) {
            require_file(path);
            py::gil_scoped_release free;
            return image_channels(path);
        },
        py::arg("path"),
        "The channels of an image file, as a list of Channel (number, title, size, extent, offset, xy_unit,\n"
        "z_unit, height): an instrument file's, or the one image of a text or .gsf file.\n"
        "Raises ValueError for a file that cannot be read (Gwyddion's reason, or that the module was built\n"
        "without it).");

    m.def(
        "write",
        [](const std::string& path, const py::array& z, std::optional<std::pair<double, double>> extent, double unit,
           std::optional<std::string> format, const std::string& zunits, const std::string& title,
           const std::string& source) {
            Image img = from_array(z, extent, unit);
            const std::filesystem::path p(path);
            FileToWrite f;
            f.path = path;
            const std::string fmt = format.value_or(p.extension() == ".gsf" ? "gsf" : "text");
            if (fmt == "text") {
                f.format = FileFormat::kText;
                f.source = source.empty() ? p.filename().string() : source;
            } else if (fmt == "gsf") {
                f.format = FileFormat::kGsf;
                f.header = gsf_header_in_metres(img);
                f.header.zunits = zunits;
                f.header.title = title;
            } else {
                throw py::value_error("format must be 'text' or 'gsf', not '" + fmt + "'");
            }
            std::ostringstream quiet;
            write_image_file(quiet, f, img);
        },
        py::arg("path"), py::arg("z"), py::kw_only(), py::arg("extent") = py::none(), py::arg("unit") = 1.0,
        py::arg("format") = py::none(), py::arg("zunits") = "", py::arg("title") = "", py::arg("source") = "",
        "Writes the 2-D array z as an image file (atomically).\n\n"
        "extent  (x, y) extents in multiples of unit (default: one unit per pixel)\n"
        "unit    the length unit of extent, in metres\n"
        "format  'text' or 'gsf' (default: 'gsf' for a .gsf name, else 'text')\n"
        "zunits  a .gsf's ZUnits (the unit of the values)\n"
        "title   a .gsf's Title\n"
        "source  the name on a text image's first comment line (default: the file's own name)\n\n"
        "Raises OSError (FileNotFoundError for a missing folder) naming the file when it cannot be written.");
}
