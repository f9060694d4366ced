// The one place that calls Gwyddion's library. The standard headers come
// first: Gwyddion's define gettext as a macro, which <fstream> would meet.
#include <filesystem>
#include <fstream>

#include <libgwyddion/gwyddion.h>
#include <libgwymodule/gwymodule-file.h>
#include <libprocess/datafield.h>
#include <app/gwyapp.h>

#include <dlfcn.h>
#include <link.h>

#include <cmath>
#include <memory>

#include "io/gwyddion/instrument.hpp"

namespace veltrane2::gwyddion {
namespace {

struct GFreeDeleter {
    void operator()(void* p) const { g_free(p); }
};
struct UnrefDeleter {
    void operator()(void* p) const { g_object_unref(p); }
};

std::string unit_text(GwySIUnit* unit) {
    std::unique_ptr<gchar, GFreeDeleter> s(gwy_si_unit_get_string(unit, GWY_SI_UNIT_FORMAT_PLAIN));
    return s ? std::string(s.get()) : std::string();
}

Channel describe(GwyContainer* data, int id, GwyDataField* field) {
    Channel c;
    c.number = id;
    std::unique_ptr<gchar, GFreeDeleter> title(gwy_app_get_data_field_title(data, id));
    c.title = title ? title.get() : "";
    c.xres = gwy_data_field_get_xres(field);
    c.yres = gwy_data_field_get_yres(field);
    c.xreal = gwy_data_field_get_xreal(field);
    c.yreal = gwy_data_field_get_yreal(field);
    c.xoffset = gwy_data_field_get_xoffset(field);
    c.yoffset = gwy_data_field_get_yoffset(field);
    c.xy_unit = unit_text(gwy_data_field_get_si_unit_xy(field));
    c.z_unit = unit_text(gwy_data_field_get_si_unit_z(field));
    return c;
}

// Gwyddion's modules leave the symbols of its libraries (and of GLib and
// GTK) to the program that loads them, as the gwyddion program links them.
// A library that loaded this code privately (the Python module) keeps them
// out of reach: every library loaded so far is made visible to later loads.
void share_loaded_libraries() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') {
                // Takes a reference that is kept: the libraries stay for the process's life.
                (void)dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
            }
            return 0;
        },
        nullptr);
}

}  // namespace

InstrumentFile read_here(const std::string& path, const ChannelPick& pick) {
    {
        // A file cut short, which a file module might fill out unasked.
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        std::ifstream in(path, std::ios::binary);
        std::string head(1 << 16, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        head.resize(static_cast<std::size_t>(in.gcount()));
        if (!ec) {
            const std::string why = cut_short(head, size);
            if (!why.empty()) throw ReadError(why);
        }
    }
    static const bool ready = [] {
        share_loaded_libraries();
        gwy_app_init_nongui(nullptr);
        return true;
    }();
    (void)ready;

    GError* error = nullptr;
    std::unique_ptr<GwyContainer, UnrefDeleter> data(gwy_file_load(path.c_str(), GWY_RUN_NONINTERACTIVE, &error));
    if (!data) {
        const std::string reason =
            error != nullptr && error->message != nullptr ? error->message : "no reason given";
        const bool unknown = error != nullptr && error->domain == GWY_MODULE_FILE_ERROR &&
                             error->code == GWY_MODULE_FILE_ERROR_UNIMPLEMENTED;
        if (error != nullptr) g_error_free(error);
        if (unknown) throw UnknownFormat(reason);
        throw ReadError("Gwyddion cannot read it: " + reason);
    }
    if (error != nullptr) g_error_free(error);

    InstrumentFile file;
    std::vector<GwyDataField*> fields;
    std::unique_ptr<gint, GFreeDeleter> ids(gwy_app_data_browser_get_data_ids(data.get()));
    for (const gint* id = ids.get(); id != nullptr && *id >= 0; ++id) {
        GObject* object = nullptr;
        if (!gwy_container_gis_object(data.get(), gwy_app_get_data_key_for_id(*id), &object) ||
            !GWY_IS_DATA_FIELD(object)) {
            continue;
        }
        GwyDataField* field = GWY_DATA_FIELD(object);
        file.channels.push_back(describe(data.get(), *id, field));
        fields.push_back(field);
    }
    if (file.channels.empty() && pick.kind != ChannelPick::Kind::kNone) {
        throw ReadError("the file holds no image channel");
    }
    for (const std::size_t k : pick_channels(file.channels, pick)) {
        ChannelValues v;
        v.channel = file.channels[k];
        const gdouble* z = gwy_data_field_get_data_const(fields[k]);
        v.values.assign(z, z + static_cast<std::size_t>(v.channel.xres) * static_cast<std::size_t>(v.channel.yres));
        for (const double x : v.values) {
            if (!std::isfinite(x)) {
                throw ReadError("channel " + channel_name(v.channel) +
                                " holds values that are not finite (the file may be cut short or damaged)");
            }
        }
        file.picked.push_back(std::move(v));
    }
    return file;
}

}  // namespace veltrane2::gwyddion
