// The Gwyddion module, run as Gwyddion's "repeat last" runs it: headless,
// registered from the build, on a channel in a data browser container, with
// its parameters taken from Gwyddion's settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>
#include <veltrane2/veltrane2.hpp>

#include "io/image_file.hpp"

// Gwyddion's headers after the standard ones (they define macros such as _).
// clang-format off
#include <app/gwyapp.h>
#include <libgwymodule/gwymodule-process.h>
#include <libgwymodule/gwymoduleloader.h>
// clang-format on

// Under the address sanitizer, whole stacks for every allocation: GLib has no
// frame pointers, and the leaks Gwyddion's own modules leave are told apart
// by their callers (tools/lsan.supp).
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace {

using veltrane2::Parameters;

constexpr const char* kFunction = "veltrane2_destripe";

// What the module wrote to the console (headless, its error dialog's text).
std::vector<std::string> g_warnings;

void keep_warning(const gchar*, GLogLevelFlags, const gchar* message, gpointer) {
    g_warnings.emplace_back(message);
}

class GwyddionModule : public ::testing::Environment {
public:
    void SetUp() override {
        gwy_app_init_nongui(nullptr);
        gwy_app_data_browser_set_gui_enabled(FALSE);
        GError* error = nullptr;
        ASSERT_NE(gwy_module_register_module(VELTRANE2_GWYDDION_MODULE, &error), nullptr)
            << (error ? error->message : "");
        ASSERT_TRUE(gwy_process_func_exists(kFunction));
        g_log_set_handler("veltrane2", G_LOG_LEVEL_WARNING, keep_warning, nullptr);
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new GwyddionModule);

veltrane2::Image sample() {
    std::ostringstream quiet;
    return veltrane2::read_image_file(VELTRANE2_EXAMPLES "/sample.txt", quiet).image;
}

// A file with one height channel (metres), selected as Gwyddion's current.
GwyContainer* file_with(const veltrane2::Image& img) {
    GwyDataField* f = gwy_data_field_new(img.nx, img.ny, img.span_x * img.unit, img.span_y * img.unit, FALSE);
    std::memcpy(gwy_data_field_get_data(f), img.values.data(), img.values.size() * sizeof(double));
    gwy_si_unit_set_from_string(gwy_data_field_get_si_unit_xy(f), "m");
    gwy_si_unit_set_from_string(gwy_data_field_get_si_unit_z(f), "m");
    GwyContainer* data = gwy_container_new();
    gwy_container_set_object(data, gwy_app_get_data_key_for_id(0), f);
    g_object_unref(f);
    gwy_app_data_browser_add(data);
    gwy_app_data_browser_select_data_field(data, 0);
    return data;
}

// The module's parameters as the dialog leaves them in the settings.
void remember(int preset, const Parameters& p, int output, bool noise, bool gain) {
    GwyContainer* s = gwy_app_settings_get();
    gwy_container_remove_by_prefix(s, "/module/veltrane2_destripe");
    gwy_container_set_enum_by_name(s, "/module/veltrane2_destripe/preset", preset);
    gwy_container_set_double_by_name(s, "/module/veltrane2_destripe/h_global", p.h_global);
    gwy_container_set_double_by_name(s, "/module/veltrane2_destripe/h_centre", p.h_centre);
    gwy_container_set_double_by_name(s, "/module/veltrane2_destripe/h_off", p.h_off);
    gwy_container_set_double_by_name(s, "/module/veltrane2_destripe/r_centre", p.r_centre);
    gwy_container_set_double_by_name(s, "/module/veltrane2_destripe/l_centre", p.l_centre);
    gwy_container_set_double_by_name(s, "/module/veltrane2_destripe/l_off", p.l_off);
    gwy_container_set_int32_by_name(s, "/module/veltrane2_destripe/n_run", p.n_run);
    gwy_container_set_boolean_by_name(s, "/module/veltrane2_destripe/grouped", p.grouped);
    gwy_container_set_enum_by_name(s, "/module/veltrane2_destripe/output", output);
    gwy_container_set_boolean_by_name(s, "/module/veltrane2_destripe/add_noise", noise);
    gwy_container_set_boolean_by_name(s, "/module/veltrane2_destripe/add_gain", gain);
}

GwyDataField* channel(GwyContainer* data, int id) {
    return GWY_DATA_FIELD(gwy_container_get_object(data, gwy_app_get_data_key_for_id(id)));
}

std::string title(GwyContainer* data, int id) {
    const guchar* t = nullptr;
    gwy_container_gis_string(data, gwy_app_get_data_title_key_for_id(id), &t);
    return t ? reinterpret_cast<const char*>(t) : "";
}

std::vector<int> channel_ids(GwyContainer* data) {
    gint* ids = gwy_app_data_browser_get_data_ids(data);
    std::vector<int> v;
    for (gint* i = ids; *i >= 0; ++i) v.push_back(*i);
    g_free(ids);
    return v;
}

std::vector<double> values(GwyDataField* f) {
    const double* d = gwy_data_field_get_data_const(f);
    return {d, d + gwy_data_field_get_xres(f) * gwy_data_field_get_yres(f)};
}

std::string zunit(GwyDataField* f) {
    gchar* s = gwy_si_unit_get_string(gwy_data_field_get_si_unit_z(f), GWY_SI_UNIT_FORMAT_PLAIN);
    std::string u = s;
    g_free(s);
    return u;
}

// A channel the module made: the library's output on the same values (the
// same doubles), the channel's extents, its unit or none for the gain.
void expect_output(GwyContainer* data, int id, const char* title_prefix, const veltrane2::Image& want,
                   const char* unit) {
    SCOPED_TRACE(title_prefix);
    EXPECT_EQ(title(data, id).rfind(title_prefix, 0), 0u) << title(data, id);
    GwyDataField* f = channel(data, id);
    ASSERT_EQ(gwy_data_field_get_xres(f), want.nx);
    ASSERT_EQ(gwy_data_field_get_yres(f), want.ny);
    EXPECT_DOUBLE_EQ(gwy_data_field_get_xreal(f), want.span_x * want.unit);
    EXPECT_EQ(zunit(f), unit);
    EXPECT_TRUE(values(f) == want.values);
}

struct PresetCase {
    const char* name;
    int preset;  // as the dialog stores it: the place in kPresets, 999 for auto, 1000 for custom
    Parameters stored;
    Parameters run;  // (auto: none)
};
constexpr int kAuto = 999;

const Parameters kOwn{0.4, 0.2, 0.2, 0.5, 0.5, 0.5, 3};
const Parameters kGrouped{0.3, 0.1, 0.1, 0.5, 0.5, 0.8, 3, true};
// Stored numbers beyond the dialog's ranges run at the nearest end.
const Parameters kAbove{0.35, 0.15, 1.3, 0.6, 2.5, -0.1, 40};

// The sample, or its top 200 rows (a scan stopped early).
veltrane2::Image scan(bool square) {
    veltrane2::Image img = sample();
    if (!square) {
        img.span_y = img.span_y * 200 / img.ny;
        img.ny = 200;
        img.values.resize(static_cast<std::size_t>(img.nx) * img.ny);
    }
    return img;
}

class ModulePreset : public ::testing::TestWithParam<std::tuple<PresetCase, bool>> {};

TEST_P(ModulePreset, NewChannelsAreTheLibrarysOutputs) {
    const PresetCase& c = std::get<0>(GetParam());
    const veltrane2::Image img = scan(std::get<1>(GetParam()));
    veltrane2::Options o;
    o.max_side = veltrane2::kLargestSide;
    veltrane2::Result want;
    std::string cleaned_title = "Destriped";
    if (c.preset == kAuto) {
        // The new channel's title names the candidate taken.
        veltrane2::AutoResult a = veltrane2::destripe_auto(img, o);
        want = std::move(a.result);
        cleaned_title += " (auto: " + a.candidates[a.chosen].name + ")";
    } else {
        want = veltrane2::destripe(img, c.run, o);
    }

    GwyContainer* data = file_with(img);
    remember(c.preset, c.stored, 1, true, true);
    gwy_process_func_run(kFunction, data, GWY_RUN_IMMEDIATE);

    const std::vector<int> ids = channel_ids(data);
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_TRUE(values(channel(data, 0)) == img.values) << "the channel itself is untouched";
    expect_output(data, ids[1], "Destriped", want.cleaned, "m");
    // (Gwyddion numbers the titles it gives.)
    EXPECT_EQ(title(data, ids[1]).rfind(cleaned_title + " ", 0), 0u) << title(data, ids[1]);
    EXPECT_EQ(title(data, ids[1]).find("(auto:") != std::string::npos, c.preset == kAuto);
    expect_output(data, ids[2], "Stripe noise", want.noise, "m");
    expect_output(data, ids[3], "Stripe filter gain", want.gain, "");
    gwy_app_data_browser_remove(data);
    g_object_unref(data);
}

// A preset runs its own numbers whatever numbers are stored beside it.
INSTANTIATE_TEST_SUITE_P(
    Presets, ModulePreset,
    ::testing::Combine(::testing::Values(PresetCase{"general", 0, kOwn, Parameters::general()},
                                         PresetCase{"keep_slope", 1, kOwn, Parameters::keep_slope()},
                                         PresetCase{"conservative", 2, kOwn, Parameters::conservative()},
                                         PresetCase{"custom", 1000, kOwn, kOwn},
                                         PresetCase{"auto", kAuto, kGrouped, {}},
                                         PresetCase{"general_grouped", 0, kGrouped, kGrouped},
                                         PresetCase{"custom_above", 1000, kAbove, {0.35, 0.15, 1.0, 0.6, 2.0, 0.0, 32}}),
                       ::testing::Bool()),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_square" : "_256x200");
    });

TEST(Module, ReplaceOverwritesTheChannelWithTheCleanedImageOnly) {
    const veltrane2::Image img = sample();
    veltrane2::Options o;
    o.max_side = veltrane2::kLargestSide;
    const veltrane2::Result want = veltrane2::destripe(img, Parameters::general(), o);
    GwyContainer* data = file_with(img);
    remember(0, Parameters::general(), 0, false, false);
    gwy_process_func_run(kFunction, data, GWY_RUN_IMMEDIATE);
    EXPECT_EQ(channel_ids(data).size(), 1u);
    expect_output(data, 0, "", want.cleaned, "m");
    gwy_app_data_browser_remove(data);
    g_object_unref(data);
}

struct ErrorCase {
    const char* name;
    int nx, ny;
    std::string message;  // empty: the library's own message for this channel
    bool hole = false;    // the third value is not a number
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}
void PrintTo(const PresetCase& c, std::ostream* os) {
    *os << c.name;
}

class ModuleError : public ::testing::TestWithParam<ErrorCase> {};

// The error dialog's text goes to the console headless; the data stays as
// it was and nothing is added.
TEST_P(ModuleError, ReportsAndLeavesTheDataUntouched) {
    const ErrorCase& c = GetParam();
    veltrane2::Image img;
    img.nx = c.nx;
    img.ny = c.ny;
    img.span_x = img.span_y = 1e-6;
    for (int k = 0; k < c.nx * c.ny; ++k) img.values.push_back(1e-9 * ((k / c.nx) % 3) + 1e-10 * (k % 7));
    if (c.hole) img.values[2] = NAN;
    std::string message = c.message;
    if (message.empty()) {
        try {
            veltrane2::Options o;
            o.max_side = veltrane2::kLargestSide;
            veltrane2::destripe(img, Parameters::general(), o);
        } catch (const veltrane2::Error& e) {
            message = e.what();
        }
    }
    ASSERT_FALSE(message.empty());

    GwyContainer* data = file_with(img);
    remember(0, Parameters::general(), 0, true, true);
    g_warnings.clear();
    gwy_process_func_run(kFunction, data, GWY_RUN_IMMEDIATE);
    EXPECT_EQ(g_warnings, std::vector<std::string>{"Remove Stripes (Spectral): " + message});
    EXPECT_EQ(channel_ids(data).size(), 1u);
    const std::vector<double> after = values(channel(data, 0));
    EXPECT_EQ(std::memcmp(after.data(), img.values.data(), after.size() * sizeof(double)), 0);
    gwy_app_data_browser_remove(data);
    g_object_unref(data);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ModuleError,
                         ::testing::Values(ErrorCase{"larger_than_the_largest_side", 4097, 2,
                                                     "4097 x 2 is larger than the largest side 4096"},
                                           ErrorCase{"side_below_2", 1, 8, ""},
                                           ErrorCase{"value_not_a_number", 64, 64, "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The dialog, under a display (tests/CMakeLists.txt runs it in Xvfb).
void collect(GtkWidget* w, gpointer all) {
    static_cast<std::vector<GtkWidget*>*>(all)->push_back(w);
    if (GTK_IS_CONTAINER(w)) gtk_container_forall(GTK_CONTAINER(w), collect, all);
}

std::vector<std::string> g_listed;  // the presets the dialog offers

// Notes the presets listed, sets r_C (keep-slope's only 0.15) to 0.25 and
// presses OK.
gboolean edit_and_close(gpointer) {
    GList* windows = gtk_window_list_toplevels();
    bool done = false;
    for (GList* w = windows; w; w = w->next) {
        if (!GWY_IS_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
        std::vector<GtkWidget*> all;
        collect(GTK_WIDGET(w->data), &all);
        for (GtkWidget* c : all) {
            if (GTK_IS_COMBO_BOX(c)) {
                GtkTreeModel* m = gtk_combo_box_get_model(GTK_COMBO_BOX(c));
                GtkTreeIter it;
                for (gboolean ok = gtk_tree_model_get_iter_first(m, &it); ok; ok = gtk_tree_model_iter_next(m, &it)) {
                    const GwyEnum* e = nullptr;
                    gtk_tree_model_get(m, &it, 0, &e, -1);
                    g_listed.emplace_back(e && e->name ? e->name : "(none)");
                }
            }
            if (GTK_IS_SPIN_BUTTON(c) && std::fabs(gtk_spin_button_get_value(GTK_SPIN_BUTTON(c)) - 0.15) < 1e-9)
                gtk_spin_button_set_value(GTK_SPIN_BUTTON(c), 0.25);
        }
        gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
        done = true;
    }
    g_list_free(windows);
    return !done;
}

TEST(ModuleDialog, ListsThePresetsAndAnEditedNumberMakesCustom) {
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    GwyContainer* data = file_with(scan(false));
    remember(1, Parameters::keep_slope(), 1, false, false);
    g_timeout_add(100, edit_and_close, nullptr);
    gwy_process_func_run(kFunction, data, GWY_RUN_INTERACTIVE);
    EXPECT_EQ(g_listed, (std::vector<std::string>{"general", "keep-slope", "conservative", "auto", "custom"}));
    GwyContainer* s = gwy_app_settings_get();
    EXPECT_EQ(gwy_container_get_enum_by_name(s, "/module/veltrane2_destripe/preset"), 1000);
    EXPECT_EQ(gwy_container_get_double_by_name(s, "/module/veltrane2_destripe/r_centre"), 0.25);
    gwy_app_data_browser_remove(data);
    g_object_unref(data);
}

}  // namespace
