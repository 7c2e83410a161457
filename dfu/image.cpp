#include "dfu/image.h"

namespace dfu {

uint64_t Image::size() const {
    uint64_t total = 0;
    for (const Element& e : elements) total += e.data.size();
    return total;
}

}  // namespace dfu
