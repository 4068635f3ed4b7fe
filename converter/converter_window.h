#pragma once
// The converter dialog's window (GTK 3): shows a ConverterDialog and forwards its controls.
#include <string>

namespace sorel {

struct WindowOptions {
  int jobs = 0;              ///< members converted at once; 0: one per core
  std::string gameFolder;    ///< system path that replaces the registry's folder; empty: the registry's
  std::string outputFolder;  ///< system path that replaces the current folder in the output field
  bool start = false;        ///< press Start once the dialog is shown
  /// Host path: save a PNG of the window once shown (with `start`: of the box the finished job
  /// shows), then close.
  std::string screenshot;
};

/// Runs the dialog until it is closed. Returns the program's exit status: 0, or 2 when there is
/// no display (with a one-line reason on standard error).
int runConverterWindow(int argc, char** argv, const WindowOptions& options);

}  // namespace sorel
