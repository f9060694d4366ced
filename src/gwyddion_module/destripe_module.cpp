// Gwyddion data process module: Data Process -> Correct Data -> Remove
// Stripes (Spectral), one destripe() call on the current channel.
//
// The dialog (GwyDialog with a GwyParamTable) holds the ready parameter
// sets, the automatic choice among them, the seven numbers, the grouped mode
// and what to create; it shows the cleaned image as a live preview and,
// under it, the run's figures (and with auto the candidate taken). Run non-interactively (Gwyddion's "repeat
// last" and its macros) it takes the parameters last used, which Gwyddion
// keeps in its settings under /module/veltrane2_destripe/.
#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <iterator>
#include <new>
#include <string>
#include <utility>
#include <veltrane2/veltrane2.hpp>

// Gwyddion's headers after the standard ones (they define macros such as _).
// clang-format off
#include <app/gwyapp.h>
#include <app/gwymoduleutils.h>
#include <libgwyddion/gwymacros.h>
#include <libgwymodule/gwymodule-process.h>
#include <libprocess/datafield.h>
// clang-format on

namespace {

using veltrane2::Parameters;

constexpr GwyRunType kRunModes = static_cast<GwyRunType>(GWY_RUN_IMMEDIATE | GWY_RUN_INTERACTIVE);
constexpr const char* kFunctionName = "veltrane2_destripe";
constexpr const char* kMenuPath = "/_Correct Data/Remove _Stripes (Spectral)...";
constexpr gint kPreviewSize = 400;

enum {
    PARAM_PRESET,
    PARAM_H_GLOBAL,
    PARAM_H_CENTRE,
    PARAM_H_OFF,
    PARAM_R_CENTRE,
    PARAM_L_CENTRE,
    PARAM_L_OFF,
    PARAM_N_RUN,
    PARAM_GROUPED,
    PARAM_OUTPUT,
    PARAM_ADD_NOISE,
    PARAM_ADD_GAIN,
    PARAM_UPDATE,
    MESSAGE_UNITS,
    MESSAGE_STATUS,
    INFO_TAKEN,
    INFO_STRIPE_ENERGY,
    INFO_LINE_STEP,
    INFO_CHANGE,
    INFO_LOWERED,
};

// The preset is stored as its place in veltrane2::kPresets (new sets come
// after the others), auto and custom as numbers beyond them.
constexpr gint kPresetAuto = 999;
constexpr gint kPresetCustom = 1000;

enum Output { kOutputReplace = 0, kOutputNewChannel = 1 };

// The parameter set a preset stands for; custom has none.
bool preset_parameters(gint preset, Parameters& p) {
    if (preset < 0 || preset >= static_cast<gint>(veltrane2::kPresets.size())) return false;
    p = veltrane2::kPresets[static_cast<std::size_t>(preset)].parameters;
    return true;
}

GwyParamDef* define_params() {
    static GwyParamDef* paramdef = nullptr;
    // The names the command line's --preset takes.
    static std::array<std::string, veltrane2::kPresets.size()> names;
    static std::array<GwyEnum, veltrane2::kPresets.size() + 2> presets;
    static const GwyEnum outputs[] = {
        {"Replace the channel's data", kOutputReplace},
        {"Add the cleaned image as a new channel", kOutputNewChannel},
    };
    if (paramdef) return paramdef;

    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = veltrane2::kPresets[i].name;
        presets[i] = {names[i].c_str(), static_cast<gint>(i)};
    }
    presets[names.size()] = {"auto", kPresetAuto};
    presets.back() = {"custom", kPresetCustom};
    const Parameters g = Parameters::general();
    paramdef = gwy_param_def_new();
    gwy_param_def_set_function_name(paramdef, kFunctionName);
    gwy_param_def_add_gwyenum(paramdef, PARAM_PRESET, "preset", "_Preset", presets.data(), presets.size(), 0);
    gwy_param_def_add_double(paramdef, PARAM_H_GLOBAL, "h_global", "Global threshold h__G", 0.0, 1.0, g.h_global);
    gwy_param_def_add_double(paramdef, PARAM_H_CENTRE, "h_centre", "Centre threshold h__C", 0.0, 1.0, g.h_centre);
    gwy_param_def_add_double(paramdef, PARAM_H_OFF, "h_off", "Off-centre threshold h__F", 0.0, 1.0, g.h_off);
    gwy_param_def_add_double(paramdef, PARAM_R_CENTRE, "r_centre", "Centre disc growth r__C", 0.0, 1.0, g.r_centre);
    gwy_param_def_add_double(paramdef, PARAM_L_CENTRE, "l_centre", "Centre line fraction L__C", 0.0, 2.0, g.l_centre);
    gwy_param_def_add_double(paramdef, PARAM_L_OFF, "l_off", "Off-centre line fraction L__F", 0.0, 1.0, g.l_off);
    gwy_param_def_add_int(paramdef, PARAM_N_RUN, "n_run", "Run length N__CP", 1, 32, g.n_run);
    gwy_param_def_add_boolean(paramdef, PARAM_GROUPED, "grouped", "_Grouped level estimation (cluster by cluster)",
                              FALSE);
    gwy_param_def_add_gwyenum(paramdef, PARAM_OUTPUT, "output", "Result", outputs, G_N_ELEMENTS(outputs),
                              kOutputNewChannel);
    gwy_param_def_add_boolean(paramdef, PARAM_ADD_NOISE, "add_noise", "Add the removed _noise as a channel", FALSE);
    gwy_param_def_add_boolean(paramdef, PARAM_ADD_GAIN, "add_gain", "Add the filter _gain as a channel", FALSE);
    gwy_param_def_add_instant_updates(paramdef, PARAM_UPDATE, "update", nullptr, TRUE);
    return paramdef;
}

// The parameters of a run: a preset's own numbers (whatever the settings
// hold beside it), or the stored ones for custom.
Parameters run_parameters(GwyParams* params) {
    Parameters p;
    if (!preset_parameters(gwy_params_get_enum(params, PARAM_PRESET), p)) {
        p.h_global = gwy_params_get_double(params, PARAM_H_GLOBAL);
        p.h_centre = gwy_params_get_double(params, PARAM_H_CENTRE);
        p.h_off = gwy_params_get_double(params, PARAM_H_OFF);
        p.r_centre = gwy_params_get_double(params, PARAM_R_CENTRE);
        p.l_centre = gwy_params_get_double(params, PARAM_L_CENTRE);
        p.l_off = gwy_params_get_double(params, PARAM_L_OFF);
        p.n_run = gwy_params_get_int(params, PARAM_N_RUN);
    }
    p.grouped = gwy_params_get_boolean(params, PARAM_GROUPED);
    return p;
}

// Whether the preset is the automatic choice, which tries the ready sets in
// both modes and leaving the channel as it is.
bool is_auto(GwyParams* params) {
    return gwy_params_get_enum(params, PARAM_PRESET) == kPresetAuto;
}

// Makes the stored numbers those of the stored preset.
void sanitise_params(GwyParams* params) {
    const Parameters p = run_parameters(params);
    gwy_params_set_double(params, PARAM_H_GLOBAL, p.h_global);
    gwy_params_set_double(params, PARAM_H_CENTRE, p.h_centre);
    gwy_params_set_double(params, PARAM_H_OFF, p.h_off);
    gwy_params_set_double(params, PARAM_R_CENTRE, p.r_centre);
    gwy_params_set_double(params, PARAM_L_CENTRE, p.l_centre);
    gwy_params_set_double(params, PARAM_L_OFF, p.l_off);
    gwy_params_set_int(params, PARAM_N_RUN, p.n_run);
}

// The run's outputs as channels (in the order of veltrane2::kOutputs), or
// why there are none.
struct Outcome {
    std::array<GwyDataField*, veltrane2::kOutputs.size()> fields{};
    std::string error;
    std::string taken;  // auto: the candidate taken
    veltrane2::RunFigures figures;

    Outcome() = default;
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;
    ~Outcome() { clear(); }
    void clear() {
        for (GwyDataField*& f : fields) GWY_OBJECT_UNREF(f);
        error.clear();
        taken.clear();
    }
    GwyDataField* operator[](veltrane2::Output which) const { return fields[static_cast<std::size_t>(which)]; }
};

// An output as a channel: with the extents, offsets and units of the channel
// it came from when it has its size, the library's extents otherwise; the
// gain without a unit.
GwyDataField* to_field(const veltrane2::Image& img, GwyDataField* like, bool height_unit) {
    GwyDataField* f;
    if (img.nx == gwy_data_field_get_xres(like) && img.ny == gwy_data_field_get_yres(like)) {
        f = gwy_data_field_new_alike(like, FALSE);
    } else {
        f = gwy_data_field_new(img.nx, img.ny, img.span_x * img.unit, img.span_y * img.unit, FALSE);
        gwy_si_unit_assign(gwy_data_field_get_si_unit_xy(f), gwy_data_field_get_si_unit_xy(like));
        gwy_si_unit_assign(gwy_data_field_get_si_unit_z(f), gwy_data_field_get_si_unit_z(like));
    }
    if (!height_unit) gwy_si_unit_set_from_string(gwy_data_field_get_si_unit_z(f), nullptr);
    std::copy(img.values.begin(), img.values.end(), gwy_data_field_get_data(f));
    return f;
}

// Runs the filter (with `automatic`, the automatic choice) on the channel's
// values; its extents and units go to the outputs as they are (the values
// do not depend on them).
void destripe_field(GwyDataField* field, bool automatic, const Parameters& p, Outcome& out) {
    out.clear();
    const gint nx = gwy_data_field_get_xres(field);
    const gint ny = gwy_data_field_get_yres(field);
    const std::string size = std::to_string(nx) + " x " + std::to_string(ny);
    if (std::max(nx, ny) > veltrane2::kLargestSide) {
        out.error = size + " is larger than the largest side " + std::to_string(veltrane2::kLargestSide);
        return;
    }
    veltrane2::Image img;
    img.nx = nx;
    img.ny = ny;
    img.span_x = gwy_data_field_get_xreal(field);
    img.span_y = gwy_data_field_get_yreal(field);
    img.unit = 1.0;
    const gdouble* d = gwy_data_field_get_data_const(field);
    img.values.assign(d, d + static_cast<std::size_t>(nx) * ny);

    veltrane2::Options options;
    options.max_side = veltrane2::kLargestSide;
    try {
        veltrane2::Result r;
        if (automatic) {
            veltrane2::AutoResult a = veltrane2::destripe_auto(img, options);
            r = std::move(a.result);
            out.taken = a.candidates[a.chosen].name;
            out.figures = a.candidates[a.chosen].figures;
        } else {
            r = veltrane2::destripe(img, p, options);
            out.figures = veltrane2::run_figures(img, r);
        }
        for (std::size_t k = 0; k < veltrane2::kOutputs.size(); ++k) {
            const veltrane2::OutputInfo& info = veltrane2::kOutputs[k];
            out.fields[k] = to_field(r.*info.image, field, info.height_unit);
        }
    } catch (const veltrane2::Error& e) {
        out.error = e.kind() == veltrane2::ErrorKind::kLimit
                        ? "a limit of the filter was reached: " + std::string(e.what())
                        : e.what();
    } catch (const std::bad_alloc&) {
        out.error = "not enough memory for a " + size + " channel";
    }
}

// Gwyddion's error dialog over the channel's window; on the console when
// Gwyddion runs without its windows (batch programs, tests).
void report_error(GwyContainer* data, gint id, const std::string& message) {
    if (!gwy_app_wait_get_enabled()) {
        g_warning("Remove Stripes (Spectral): %s", message.c_str());
        return;
    }
    GtkWidget* dialog =
        gtk_message_dialog_new(gwy_app_find_window_for_channel(data, id), GTK_DIALOG_DESTROY_WITH_PARENT,
                               GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "Stripes cannot be removed from this channel.");
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", message.c_str());
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
}

gint add_channel(GwyContainer* data, gint id, GwyDataField* f, const char* title, bool keep_palette) {
    const gint new_id = gwy_app_data_browser_add_data_field(f, data, TRUE);
    if (keep_palette) gwy_app_sync_data_items(data, data, id, new_id, FALSE, GWY_DATA_ITEM_GRADIENT, 0);
    gwy_app_set_data_field_title(data, new_id, title);
    gwy_app_channel_log_add_proc(data, id, new_id);
    return new_id;
}

// Puts the outputs where the parameters say: the cleaned image over the
// channel's data (undoable) or as a new channel, the noise and gain beside.
void apply(GwyContainer* data, gint id, GQuark quark, GwyDataField* field, GwyParams* params, const Outcome& out) {
    if (gwy_params_get_enum(params, PARAM_OUTPUT) == kOutputReplace) {
        gwy_app_undo_qcheckpointv(data, 1, &quark);
        gwy_data_field_copy(out[veltrane2::Output::kCleaned], field, FALSE);
        gwy_data_field_data_changed(field);
        gwy_app_channel_log_add_proc(data, id, id);
    } else {
        const std::string title = out.taken.empty() ? "Destriped" : "Destriped (auto: " + out.taken + ")";
        add_channel(data, id, out[veltrane2::Output::kCleaned], title.c_str(), true);
    }
    if (gwy_params_get_boolean(params, PARAM_ADD_NOISE)) {
        add_channel(data, id, out[veltrane2::Output::kNoise], "Stripe noise", true);
    }
    if (gwy_params_get_boolean(params, PARAM_ADD_GAIN)) {
        add_channel(data, id, out[veltrane2::Output::kGain], "Stripe filter gain", false);
    }
}

struct Gui {
    GwyParams* params = nullptr;
    GwyDataField* field = nullptr;
    GwyContainer* preview = nullptr;
    GwyDialog* dialog = nullptr;
    GwyParamTable* table = nullptr;
    GwyParamTable* figures = nullptr;  // under the preview
    Outcome* outcome = nullptr;
};

const gint kNumbers[] = {PARAM_H_GLOBAL, PARAM_H_CENTRE, PARAM_H_OFF, PARAM_R_CENTRE,
                         PARAM_L_CENTRE, PARAM_L_OFF,    PARAM_N_RUN};

// The numbers and the mode mean nothing to auto, which tries its own.
void set_sensitivity(Gui* gui) {
    const gboolean own = !is_auto(gui->params);
    for (gint n : kNumbers) gwy_param_table_set_sensitive(gui->table, n, own);
    gwy_param_table_set_sensitive(gui->table, PARAM_GROUPED, own);
}

std::string before_after(double before, double after, const char* format) {
    char buf[100];
    std::snprintf(buf, sizeof buf, format, before, after);
    return buf;
}

// The figures of the run shown, or none.
void show_figures(Gui* gui, const Outcome* out) {
    GwyParamTable* t = gui->figures;
    if (out == nullptr) {
        for (gint id : {INFO_TAKEN, INFO_STRIPE_ENERGY, INFO_LINE_STEP, INFO_CHANGE, INFO_LOWERED})
            gwy_param_table_info_set_valuestr(t, id, nullptr);
        return;
    }
    const veltrane2::RunFigures& f = out->figures;
    gwy_param_table_info_set_valuestr(t, INFO_TAKEN, out->taken.empty() ? nullptr : out->taken.c_str());
    gwy_param_table_info_set_valuestr(
        t, INFO_STRIPE_ENERGY,
        before_after(f.input.stripe_energy, f.cleaned.stripe_energy, "%.4g \u2192 %.4g").c_str());
    // The step in the channel's own unit, scaled as Gwyddion shows its values.
    GwySIValueFormat* vf = gwy_data_field_get_value_format_z(gui->field, GWY_SI_UNIT_FORMAT_VFMARKUP, nullptr);
    gwy_param_table_info_set_valuestr(t, INFO_LINE_STEP,
                                      before_after(f.input.line_step / vf->magnitude,
                                                   f.cleaned.line_step / vf->magnitude, "%.4g \u2192 %.4g")
                                          .c_str());
    gwy_param_table_set_unitstr(t, INFO_LINE_STEP, vf->units);
    gwy_si_unit_value_format_free(vf);
    gwy_param_table_info_set_valuestr(t, INFO_CHANGE, before_after(f.change_along_lines, 0.0, "%.4g").c_str());
    gwy_param_table_info_set_valuestr(
        t, INFO_LOWERED,
        before_after(100.0 * f.lowered_share, 100.0 * f.energy_removed, "%.3g %% of the spectrum, %.3g %% of the energy")
            .c_str());
}


void param_changed(Gui* gui, gint id) {
    GwyParams* params = gui->params;
    Parameters p;
    if (id == PARAM_PRESET || id < 0) {
        if (preset_parameters(gwy_params_get_enum(params, PARAM_PRESET), p)) {
            gwy_param_table_set_double(gui->table, PARAM_H_GLOBAL, p.h_global);
            gwy_param_table_set_double(gui->table, PARAM_H_CENTRE, p.h_centre);
            gwy_param_table_set_double(gui->table, PARAM_H_OFF, p.h_off);
            gwy_param_table_set_double(gui->table, PARAM_R_CENTRE, p.r_centre);
            gwy_param_table_set_double(gui->table, PARAM_L_CENTRE, p.l_centre);
            gwy_param_table_set_double(gui->table, PARAM_L_OFF, p.l_off);
            gwy_param_table_set_int(gui->table, PARAM_N_RUN, p.n_run);
        }
    } else if (std::find(std::begin(kNumbers), std::end(kNumbers), id) != std::end(kNumbers)) {
        // An edited number leaves its preset unless it was set back to the
        // preset's value.
        if (preset_parameters(gwy_params_get_enum(params, PARAM_PRESET), p)) {
            const bool same = gwy_params_get_double(params, PARAM_H_GLOBAL) == p.h_global &&
                              gwy_params_get_double(params, PARAM_H_CENTRE) == p.h_centre &&
                              gwy_params_get_double(params, PARAM_H_OFF) == p.h_off &&
                              gwy_params_get_double(params, PARAM_R_CENTRE) == p.r_centre &&
                              gwy_params_get_double(params, PARAM_L_CENTRE) == p.l_centre &&
                              gwy_params_get_double(params, PARAM_L_OFF) == p.l_off &&
                              gwy_params_get_int(params, PARAM_N_RUN) == p.n_run;
            if (!same) gwy_param_table_set_enum(gui->table, PARAM_PRESET, kPresetCustom);
        }
    }
    if (id == PARAM_PRESET || id < 0) set_sensitivity(gui);
    if (id != PARAM_OUTPUT && id != PARAM_ADD_NOISE && id != PARAM_ADD_GAIN && id != PARAM_UPDATE) {
        gwy_dialog_invalidate(gui->dialog);
    }
}

void preview(gpointer user_data) {
    Gui* gui = static_cast<Gui*>(user_data);
    destripe_field(gui->field, is_auto(gui->params), run_parameters(gui->params), *gui->outcome);
    if (!gui->outcome->error.empty()) {
        gwy_param_table_set_label(gui->table, MESSAGE_STATUS, gui->outcome->error.c_str());
        show_figures(gui, nullptr);
        return;
    }
    gwy_param_table_set_label(gui->table, MESSAGE_STATUS, nullptr);
    show_figures(gui, gui->outcome);
    GwyDataField* shown = GWY_DATA_FIELD(gwy_container_get_object(gui->preview, gwy_app_get_data_key_for_id(0)));
    gwy_data_field_copy((*gui->outcome)[veltrane2::Output::kCleaned], shown, FALSE);
    gwy_data_field_data_changed(shown);
    gwy_dialog_have_result(gui->dialog);
}

// What the dialog says about a channel whose values are not heights.
std::string units_note(GwyDataField* field) {
    GwySIUnit* z = gwy_data_field_get_si_unit_z(field);
    if (gwy_si_unit_equal_string(z, "m")) return {};
    gchar* s = gwy_si_unit_get_string(z, GWY_SI_UNIT_FORMAT_PLAIN);
    std::string unit = (s && *s) ? s : "no unit";
    g_free(s);
    return "The values are not heights (" + unit + ", not m); the filter runs on them all the same.";
}

GwyDialogOutcome run_gui(GwyContainer* data, gint id, GwyDataField* field, GwyParams* params, Outcome& outcome) {
    Gui gui;
    gui.params = params;
    gui.field = field;
    gui.outcome = &outcome;
    gui.preview = gwy_container_new();
    GwyDataField* shown = gwy_data_field_duplicate(field);
    gwy_container_set_object(gui.preview, gwy_app_get_data_key_for_id(0), shown);
    g_object_unref(shown);
    gwy_app_sync_data_items(data, gui.preview, id, 0, FALSE, GWY_DATA_ITEM_GRADIENT, GWY_DATA_ITEM_REAL_SQUARE, 0);

    GtkWidget* dialog = gwy_dialog_new("Remove Stripes (Spectral)");
    gui.dialog = GWY_DIALOG(dialog);
    gwy_dialog_add_buttons(gui.dialog, GWY_RESPONSE_UPDATE, GWY_RESPONSE_RESET, GTK_RESPONSE_CANCEL, GTK_RESPONSE_OK,
                           0);
    // The preview with the run's figures under it, the controls beside.
    GtkWidget* view = gwy_create_preview(gui.preview, 0, kPreviewSize, FALSE);
    GtkWidget* hbox = gtk_hbox_new(FALSE, 0);
    gwy_dialog_add_content(gui.dialog, hbox, TRUE, TRUE, 0);
    GtkWidget* left = gtk_vbox_new(FALSE, 4);
    gtk_box_pack_start(GTK_BOX(hbox), left, FALSE, FALSE, 4);
    gtk_box_pack_start(GTK_BOX(left), view, FALSE, FALSE, 0);
    GwyParamTable* figures = gwy_param_table_new(params);
    gui.figures = figures;
    gwy_param_table_append_header(figures, -1, "Figures of the run (input \u2192 cleaned)");
    gwy_param_table_append_info(figures, INFO_TAKEN, "Auto took");
    gwy_param_table_append_info(figures, INFO_STRIPE_ENERGY, "Stripe energy");
    gwy_param_table_append_info(figures, INFO_LINE_STEP, "Line-to-line step");
    gwy_param_table_append_info(figures, INFO_CHANGE, "Change along the lines");
    gwy_param_table_append_info(figures, INFO_LOWERED, "Lowered");
    gtk_box_pack_start(GTK_BOX(left), gwy_param_table_widget(figures), FALSE, FALSE, 0);
    gwy_dialog_add_param_table(gui.dialog, figures);

    GwyParamTable* table = gwy_param_table_new(params);
    gui.table = table;
    gwy_param_table_append_header(table, -1, "Parameters");
    gwy_param_table_append_combo(table, PARAM_PRESET);
    for (gint n : kNumbers) gwy_param_table_append_slider(table, n);
    for (gint n : kNumbers) {
        if (n != PARAM_N_RUN) gwy_param_table_slider_set_digits(table, n, 3);
    }
    gwy_param_table_append_checkbox(table, PARAM_GROUPED);
    gwy_param_table_append_header(table, -1, "Output");
    gwy_param_table_append_radio(table, PARAM_OUTPUT);
    gwy_param_table_append_checkbox(table, PARAM_ADD_NOISE);
    gwy_param_table_append_checkbox(table, PARAM_ADD_GAIN);
    gwy_param_table_append_separator(table);
    gwy_param_table_append_checkbox(table, PARAM_UPDATE);
    const std::string note = units_note(field);
    gwy_param_table_append_message(table, MESSAGE_UNITS, note.empty() ? nullptr : note.c_str());
    gwy_param_table_message_set_type(table, MESSAGE_UNITS, GTK_MESSAGE_WARNING);
    gwy_param_table_append_message(table, MESSAGE_STATUS, nullptr);
    gwy_param_table_message_set_type(table, MESSAGE_STATUS, GTK_MESSAGE_ERROR);
    gtk_box_pack_start(GTK_BOX(hbox), gwy_param_table_widget(table), TRUE, TRUE, 0);
    gwy_dialog_add_param_table(gui.dialog, table);

    g_signal_connect_swapped(table, "param-changed", G_CALLBACK(param_changed), &gui);
    set_sensitivity(&gui);
    gwy_dialog_set_preview_func(gui.dialog, GWY_PREVIEW_IMMEDIATE, preview, &gui, nullptr);
    const GwyDialogOutcome result = gwy_dialog_run(gui.dialog);
    g_object_unref(gui.preview);
    return result;
}

void destripe_channel(GwyContainer* data, GwyRunType run, const gchar*) {
    g_return_if_fail(run & kRunModes);
    GwyDataField* field = nullptr;
    GQuark quark = 0;
    gint id = -1;
    gwy_app_data_browser_get_current(GWY_APP_DATA_FIELD, &field, GWY_APP_DATA_FIELD_KEY, &quark, GWY_APP_DATA_FIELD_ID,
                                     &id, 0);
    g_return_if_fail(field && quark);

    GwyParams* params = gwy_params_new_from_settings(define_params());
    sanitise_params(params);
    Outcome outcome;
    GwyDialogOutcome result = GWY_DIALOG_PROCEED;
    if (run == GWY_RUN_INTERACTIVE) {
        result = run_gui(data, id, field, params, outcome);
        gwy_params_save_to_settings(params);
    }
    if (result != GWY_DIALOG_CANCEL) {
        if (result != GWY_DIALOG_HAVE_RESULT) {
            GtkWindow* window = gwy_app_find_window_for_channel(data, id);
            if (window) gwy_app_wait_cursor_start(window);
            destripe_field(field, is_auto(params), run_parameters(params), outcome);
            if (window) gwy_app_wait_cursor_finish(window);
        }
        if (outcome.error.empty()) {
            apply(data, id, quark, field, params, outcome);
        } else {
            report_error(data, id, outcome.error);
        }
    }
    g_object_unref(params);
}

gboolean module_register() {
    gwy_process_func_register(kFunctionName, &destripe_channel, kMenuPath, nullptr, kRunModes, GWY_MENU_FLAG_DATA,
                              "Remove scan-line stripes in the Fourier spectrum");
    return TRUE;
}

GwyModuleInfo module_info = {
    GWY_MODULE_ABI_VERSION,
    &module_register,
    "Removes scan-line stripe noise in the Fourier spectrum: finds the streak the stripes draw through the "
    "spectrum's centre and lowers it to what its surroundings say (veltrane2).",
    "veltrane2 developers",
    veltrane2::kVersion,
    "veltrane2 developers",
    "2026",
};

}  // namespace

GWY_MODULE_QUERY(module_info)
