#pragma once
// The icon of the converter's windows: the system's own icon (packaging/icons), built into the
// program so that a dialog started from a build tree or an unpacked archive shows it too.
#include <gtk/gtk.h>

namespace sorel {

/// Makes the icon, in several sizes, the default of every window the process opens (the dialog
/// and its message boxes). Does nothing when the pictures cannot be decoded.
void setDefaultWindowIcon();

}  // namespace sorel
