// Errors the core raises. Each binding turns them into the Python exception of
// the same name, with the message unchanged.
#pragma once

#include <stdexcept>
#include <string>

namespace marrowlane {

struct ValueError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TypeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct KeyError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace marrowlane
