// What the GUI smoke tests need: PNG screenshots and queued clicks.
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <png.h>

#include <cstdio>
#include <memory>

#include "platform/ui/fltk/fltk_backend.h"

namespace ui::fltk {

bool SaveScreenshot(CDialog& dlg, const std::string& path) {
  Fl_Window* win = WindowOf(dlg);
  if (!win) return false;
  if (!win->shown()) win->show();
  win->redraw();
  Fl::flush();
  win->make_current();
  int w = win->w(), h = win->h();
  std::unique_ptr<uchar[]> pixels(fl_read_image(nullptr, 0, 0, w, h));
  if (!pixels) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  volatile bool ok = false;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) png_write_row(png, pixels.get() + static_cast<size_t>(y) * w * 3);
    png_write_end(png, nullptr);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 && ok;
}

bool QueueClick(CDialog& dlg, int id) {
  Fl_Widget* w = WidgetOf(dlg, id);
  Fl_Window* win = w ? w->window() : nullptr;
  if (!win || !win->shown()) return false;
  XEvent ev{};
  ev.xbutton.display = fl_display;
  ev.xbutton.window = fl_xid(win);
  ev.xbutton.root = RootWindow(fl_display, fl_screen);
  ev.xbutton.x = w->x() + w->w() / 2;
  ev.xbutton.y = w->y() + w->h() / 2;
  ev.xbutton.button = Button1;
  ev.xbutton.same_screen = True;
  ev.xbutton.time = CurrentTime;
  ev.type = ButtonPress;
  XSendEvent(fl_display, ev.xbutton.window, True, ButtonPressMask, &ev);
  ev.type = ButtonRelease;
  ev.xbutton.state = Button1Mask;
  XSendEvent(fl_display, ev.xbutton.window, True, ButtonReleaseMask, &ev);
  XSync(fl_display, False);
  return true;
}

}  // namespace ui::fltk
