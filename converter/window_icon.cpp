#include "converter/window_icon.h"

namespace sorel {
extern const unsigned char kIcon16[], kIcon32[], kIcon48[], kIcon64[], kIcon128[];
extern const unsigned kIcon16_size, kIcon32_size, kIcon48_size, kIcon64_size, kIcon128_size;

void setDefaultWindowIcon() {
  const struct {
    const unsigned char* bytes;
    unsigned size;
  } pictures[] = {{kIcon16, kIcon16_size}, {kIcon32, kIcon32_size}, {kIcon48, kIcon48_size},
                  {kIcon64, kIcon64_size}, {kIcon128, kIcon128_size}};
  GList* icons = nullptr;
  for (const auto& p : pictures) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
    if (!loader) continue;
    if (gdk_pixbuf_loader_write(loader, p.bytes, p.size, nullptr) && gdk_pixbuf_loader_close(loader, nullptr)) {
      if (GdkPixbuf* icon = gdk_pixbuf_loader_get_pixbuf(loader)) icons = g_list_append(icons, g_object_ref(icon));
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }
  if (icons) gtk_window_set_default_icon_list(icons);
  g_list_free_full(icons, g_object_unref);
}

}  // namespace sorel
