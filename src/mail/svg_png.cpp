#include "mail/svg_png.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#include <memory>

#include "util/error.h"
#include "util/shared_library.h"

namespace panorello {

namespace {

// librsvg, cairo and GLib bring some sixty libraries (pango, fontconfig, X): they are opened at
// the first chart that becomes a picture, so that no other run pays for loading them.
class RsvgApi {
 public:
  RsvgApi() {
    rsvg_.Load(rsvg_handle_new_from_data, "rsvg_handle_new_from_data");
    rsvg_.Load(rsvg_handle_get_intrinsic_dimensions, "rsvg_handle_get_intrinsic_dimensions");
    rsvg_.Load(rsvg_handle_render_document, "rsvg_handle_render_document");
    cairo_.Load(cairo_create, "cairo_create");
    cairo_.Load(cairo_destroy, "cairo_destroy");
    cairo_.Load(cairo_image_surface_create, "cairo_image_surface_create");
    cairo_.Load(cairo_surface_destroy, "cairo_surface_destroy");
    cairo_.Load(cairo_surface_flush, "cairo_surface_flush");
    cairo_.Load(cairo_surface_write_to_png_stream, "cairo_surface_write_to_png_stream");
    gobject_.Load(g_object_unref, "g_object_unref");
    glib_.Load(g_error_free, "g_error_free");
  }

  decltype(&::rsvg_handle_new_from_data) rsvg_handle_new_from_data = nullptr;
  decltype(&::rsvg_handle_get_intrinsic_dimensions) rsvg_handle_get_intrinsic_dimensions = nullptr;
  decltype(&::rsvg_handle_render_document) rsvg_handle_render_document = nullptr;
  decltype(&::cairo_create) cairo_create = nullptr;
  decltype(&::cairo_destroy) cairo_destroy = nullptr;
  decltype(&::cairo_image_surface_create) cairo_image_surface_create = nullptr;
  decltype(&::cairo_surface_destroy) cairo_surface_destroy = nullptr;
  decltype(&::cairo_surface_flush) cairo_surface_flush = nullptr;
  decltype(&::cairo_surface_write_to_png_stream) cairo_surface_write_to_png_stream = nullptr;
  decltype(&::g_object_unref) g_object_unref = nullptr;
  decltype(&::g_error_free) g_error_free = nullptr;

 private:
  static constexpr const char* kWhat = "Libreria per i grafici dell'e-mail";
  // librsvg first: when it is missing, its package is the one to install.
  SharedLibrary rsvg_{"librsvg-2.so.2", kWhat, "librsvg2-2"};
  SharedLibrary cairo_{"libcairo.so.2", kWhat, "libcairo2"};
  SharedLibrary gobject_{"libgobject-2.0.so.0", kWhat, "libglib2.0-0"};
  SharedLibrary glib_{"libglib-2.0.so.0", kWhat, "libglib2.0-0"};
};

// The functions of librsvg, cairo and GLib, loaded once; throws Error while they cannot be.
const RsvgApi& Rsvg() {
  static const RsvgApi api;
  return api;
}

struct GObjectFree {
  void operator()(RsvgHandle* h) const { Rsvg().g_object_unref(h); }
};
struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { Rsvg().cairo_surface_destroy(s); }
};
struct CairoFree {
  void operator()(cairo_t* c) const { Rsvg().cairo_destroy(c); }
};

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string GErrorText(GError* error) {
  std::string text = error != nullptr ? error->message : "errore sconosciuto";
  if (error != nullptr) Rsvg().g_error_free(error);
  return text;
}

}  // namespace

std::string SvgToPng(std::string_view svg, int pixel_width) {
  const RsvgApi& api = Rsvg();
  GError* error = nullptr;
  std::unique_ptr<RsvgHandle, GObjectFree> handle(api.rsvg_handle_new_from_data(
      reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error));
  if (!handle) throw Error("Grafico non convertibile in immagine: " + GErrorText(error));
  gboolean has_width = FALSE;
  gboolean has_height = FALSE;
  gboolean has_viewbox = FALSE;
  RsvgLength width{};
  RsvgLength height{};
  RsvgRectangle viewbox{};
  api.rsvg_handle_get_intrinsic_dimensions(handle.get(), &has_width, &width, &has_height, &height,
                                           &has_viewbox, &viewbox);
  if (!has_viewbox || !(viewbox.width > 0) || !(viewbox.height > 0)) {
    throw Error("Grafico non convertibile in immagine: dimensioni assenti o non valide");
  }
  const int w = pixel_width;
  const double pixel_height = viewbox.height * pixel_width / viewbox.width;
  if (!(pixel_height >= 1 && pixel_height <= 4.0 * pixel_width)) {
    throw Error("Grafico non convertibile in immagine: proporzioni non valide");
  }
  const int h = static_cast<int>(std::lround(pixel_height));
  std::unique_ptr<cairo_surface_t, SurfaceFree> surface(
      api.cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
  std::unique_ptr<cairo_t, CairoFree> cr(api.cairo_create(surface.get()));
  const RsvgRectangle viewport{0, 0, static_cast<double>(w), static_cast<double>(h)};
  if (!api.rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &error)) {
    throw Error("Grafico non convertibile in immagine: " + GErrorText(error));
  }
  api.cairo_surface_flush(surface.get());
  std::string png;
  if (api.cairo_surface_write_to_png_stream(surface.get(), AppendPng, &png) !=
      CAIRO_STATUS_SUCCESS) {
    throw Error("Grafico non convertibile in immagine: scrittura PNG non riuscita");
  }
  return png;
}

}  // namespace panorello
