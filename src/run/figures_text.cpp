#include "run/figures_text.hpp"

#include <charconv>
#include <cstdio>

namespace veltrane2 {
namespace {

std::string format(const char* fmt, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

// The shortest form that reads back to v.
std::string shortest(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

}  // namespace

std::string parameters_line(const std::string& name, const Parameters& p) {
    return "parameters: " + name + " (" + shortest(p.h_global) + " " + shortest(p.h_centre) + " " +
           shortest(p.h_off) + " / " + shortest(p.r_centre) + " / " + shortest(p.l_centre) + " " +
           shortest(p.l_off) + " " + std::to_string(p.n_run) + ")" + (p.grouped ? ", grouped" : "") + "\n";
}

std::string figures_lines(const RunFigures& f) {
    return format("Figures: stripe energy %.4f -> %.4f, line-to-line step %.4g -> %.4g\n", f.input.stripe_energy,
                  f.cleaned.stripe_energy, f.input.line_step, f.cleaned.line_step) +
           format("Figures: change along the lines %.4f, lowered %.4f of the spectrum, energy removed %.4f\n",
                  f.change_along_lines, f.lowered_share, f.energy_removed);
}

std::string choice_lines(const AutoResult& a) {
    std::string s = "Auto: took " + a.candidates[a.chosen].name + "\n";
    s += "Auto: candidate              score  stripe energy  line step    change  lowered  energy removed\n";
    for (const Candidate& c : a.candidates) {
        char buf[200];
        if (!c.stop.empty()) {
            std::snprintf(buf, sizeof buf, "Auto: %-20s stopped at a fixed limit\n", c.name.c_str());
        } else {
            const RunFigures& f = c.figures;
            std::snprintf(buf, sizeof buf, "Auto: %-20s %7.3f  %13.4f  %9.4g  %8.4f  %7.4f  %14.4f\n", c.name.c_str(),
                          c.score, f.cleaned.stripe_energy, f.cleaned.line_step, f.change_along_lines,
                          f.lowered_share, f.energy_removed);
        }
        s += buf;
    }
    return s;
}

std::string csv_field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string q = "\"";
    for (char ch : text) {
        if (ch == '"') q += '"';
        q += ch;
    }
    return q + "\"";
}

std::string report_header() {
    return "file,channel,nx,ny,padded_to,parameters,h_global,h_centre,h_off,r_centre,l_centre,l_off,n_run,grouped,"
           "stripe_energy_in,stripe_energy_out,line_step_in,line_step_out,change_along_lines,lowered_share,"
           "energy_removed,candidates,seconds\n";
}

std::string report_row(const ReportRow& r) {
    std::string s = csv_field(r.file) + "," + std::to_string(r.channel) + "," + std::to_string(r.nx) + "," +
                    std::to_string(r.ny) + "," +
                    (r.grid != r.nx || r.grid != r.ny ? std::to_string(r.grid) : std::string()) + "," +
                    csv_field(r.choice) + ",";
    const auto g = [](double v) { return format("%.15g", v); };
    if (r.leave) {
        s += ",,,,,,,,";
    } else {
        const Parameters& p = r.parameters;
        s += g(p.h_global) + "," + g(p.h_centre) + "," + g(p.h_off) + "," + g(p.r_centre) + "," + g(p.l_centre) +
             "," + g(p.l_off) + "," + std::to_string(p.n_run) + "," + (p.grouped ? "1" : "0") + ",";
    }
    const RunFigures& f = r.figures;
    for (const double v : {f.input.stripe_energy, f.cleaned.stripe_energy, f.input.line_step, f.cleaned.line_step,
                           f.change_along_lines, f.lowered_share, f.energy_removed}) {
        s += format("%.6g", v) + ",";
    }
    s += csv_field(r.candidates) + "," + format("%.3f", r.seconds) + "\n";
    return s;
}

}  // namespace veltrane2
