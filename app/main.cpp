// Entry point of quendalour.
#include "app/LoaderApp.h"

int main(int argc, char** argv) {
  CLoaderApp app;
  app.InitInstance(argc, argv);
  // -1 leaves the process as exit status 255.
  return app.ExitInstance() & 0xff;
}
