// The folder the program was started in, as the narrow path that the
// program's own file opens take.
#pragma once

#include <string>

namespace plat {

// "." when it cannot be told or has no narrow spelling here.
std::string CurrentFolder();

}  // namespace plat
