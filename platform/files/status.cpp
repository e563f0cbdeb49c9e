#include "status.h"

namespace files {

std::string Error::toString() const {
  if (path.empty()) return message;
  return path + ": " + message;
}

}  // namespace files
