#include "mail/svg_png.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cmath>
#include <memory>

#include "util/error.h"

namespace panorello {

namespace {

struct GObjectFree {
  void operator()(RsvgHandle* h) const { g_object_unref(h); }
};
struct SurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFree {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

std::string GErrorText(GError* error) {
  std::string text = error != nullptr ? error->message : "errore sconosciuto";
  if (error != nullptr) g_error_free(error);
  return text;
}

}  // namespace

std::string SvgToPng(std::string_view svg, int pixel_width) {
  GError* error = nullptr;
  std::unique_ptr<RsvgHandle, GObjectFree> handle(
      rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(svg.data()), svg.size(), &error));
  if (!handle) throw Error("Grafico non convertibile in immagine: " + GErrorText(error));
  gboolean has_width = FALSE;
  gboolean has_height = FALSE;
  gboolean has_viewbox = FALSE;
  RsvgLength width{};
  RsvgLength height{};
  RsvgRectangle viewbox{};
  rsvg_handle_get_intrinsic_dimensions(handle.get(), &has_width, &width, &has_height, &height,
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
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
  std::unique_ptr<cairo_t, CairoFree> cr(cairo_create(surface.get()));
  const RsvgRectangle viewport{0, 0, static_cast<double>(w), static_cast<double>(h)};
  if (!rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &error)) {
    throw Error("Grafico non convertibile in immagine: " + GErrorText(error));
  }
  cairo_surface_flush(surface.get());
  std::string png;
  if (cairo_surface_write_to_png_stream(surface.get(), AppendPng, &png) != CAIRO_STATUS_SUCCESS) {
    throw Error("Grafico non convertibile in immagine: scrittura PNG non riuscita");
  }
  return png;
}

}  // namespace panorello
