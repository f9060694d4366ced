/* Opens the Gwyddion module's dialog on a text image, with the automatic
 * choice as its preset, and saves a picture of it
 * (tools/gwyddion-screenshot.sh runs it under Xvfb).
 *
 *   gwyddion_screenshot MODULE.so IMAGE.txt OUT.png
 */
#include <stdio.h>
#include <stdlib.h>

#include <app/gwyapp.h>
#include <libgwymodule/gwymodule-process.h>
#include <libgwymodule/gwymoduleloader.h>

static const char *out_png;
static int status = 1;

/* A text image: comment lines (# or !), then nx ny span_x span_y unit, then
 * nx * ny values row after row. Heights are taken as nanometres. */
static GwyDataField *read_text_image(const char *path) {
    FILE *f = fopen(path, "r");
    char line[4096];
    int nx, ny;
    double sx, sy, unit;
    if (!f) return NULL;
    while (fgets(line, sizeof line, f)) {
        if (line[0] != '#' && line[0] != '!' && sscanf(line, "%d %d %lf %lf %lf", &nx, &ny, &sx, &sy, &unit) == 5)
            break;
    }
    GwyDataField *field = gwy_data_field_new(nx, ny, sx * unit, sy * unit, FALSE);
    double *d = gwy_data_field_get_data(field);
    for (int k = 0; k < nx * ny; k++) {
        if (fscanf(f, "%lf", &d[k]) != 1) {
            fclose(f);
            g_object_unref(field);
            return NULL;
        }
        d[k] *= 1e-9;
    }
    fclose(f);
    gwy_si_unit_set_from_string(gwy_data_field_get_si_unit_xy(field), "m");
    gwy_si_unit_set_from_string(gwy_data_field_get_si_unit_z(field), "m");
    return field;
}

static gboolean snap(gpointer data) {
    (void)data;
    GList *windows = gtk_window_list_toplevels();
    for (GList *w = windows; w; w = w->next) {
        if (!GWY_IS_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
        GdkWindow *window = gtk_widget_get_window(GTK_WIDGET(w->data));
        int width, height;
        gdk_drawable_get_size(window, &width, &height);
        GdkPixbuf *pixbuf = gdk_pixbuf_get_from_drawable(NULL, window, NULL, 0, 0, 0, 0, width, height);
        if (pixbuf && gdk_pixbuf_save(pixbuf, out_png, "png", NULL, NULL)) status = 0;
        if (pixbuf) g_object_unref(pixbuf);
        gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_CANCEL);
    }
    g_list_free(windows);
    return FALSE;
}

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: gwyddion_screenshot MODULE.so IMAGE.txt OUT.png\n");
        return 2;
    }
    out_png = argv[3];
    gtk_init(&argc, &argv);
    gwy_app_init_nongui(NULL);
    GError *error = NULL;
    if (!gwy_module_register_module(argv[1], &error)) {
        fprintf(stderr, "%s: %s\n", argv[1], error->message);
        return 1;
    }
    GwyDataField *field = read_text_image(argv[2]);
    if (!field) {
        fprintf(stderr, "cannot read %s\n", argv[2]);
        return 1;
    }
    GwyContainer *data = gwy_container_new();
    gwy_container_set_object(data, gwy_app_get_data_key_for_id(0), field);
    gwy_container_set_const_string(data, gwy_app_get_data_palette_key_for_id(0), "Gwyddion.net");
    gwy_app_data_browser_add(data);
    gwy_app_data_browser_select_data_field(data, 0);
    /* The preset auto (as the module stores it), which shows the candidate
     * it took beside the figures. */
    gwy_container_set_enum_by_name(gwy_app_settings_get(), "/module/veltrane2_destripe/preset", 999);
    g_timeout_add(6000, snap, NULL);
    gwy_process_func_run("veltrane2_destripe", data, GWY_RUN_INTERACTIVE);
    return status;
}
