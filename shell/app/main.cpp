// zel-velomar: the desktop application.
#include "shell/CZelVelomarApp.h"

int main(int argc, char** argv) {
  CZelVelomarApp app(argc, argv);
  return app.Run();
}
