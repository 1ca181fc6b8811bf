// The application icon: a shaded three-quarter view of the stick.
#pragma once

#include "raster.h"

namespace art {

// A square image `size` pixels wide, drawn from one scene at any size.
Canvas DrawIcon(int size);

}  // namespace art
