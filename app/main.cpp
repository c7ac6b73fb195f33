// Entry point of quendalour.
#include "app/LoaderApp.h"
#ifdef QL_HAVE_FLTK
#include "platform/ui/fltk/fltk_backend.h"
#endif

int main(int argc, char** argv) {
#ifdef QL_HAVE_FLTK
  // Dialogs show on the display when there is one.
  ui::fltk::Install();
#endif
  CLoaderApp app;
  app.InitInstance(argc, argv);
  // -1 leaves the process as exit status 255.
  return app.ExitInstance() & 0xff;
}
