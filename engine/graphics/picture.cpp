#include "engine/graphics/picture.h"

// Picture and PictureTable are header-only records; this unit anchors the graphics library.
namespace sorel {}
