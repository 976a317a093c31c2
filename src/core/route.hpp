#pragma once
#include <cstddef>
#include <vector>

namespace tourwright {

// A visiting order of location indices; the tour returns from the last to the first.
using Route = std::vector<std::size_t>;

}  // namespace tourwright
