// Filtering an image for one phase of an update against the memory map of one alternate setting:
// the write phase keeps the bytes that land in writable sectors; the erase phase names the
// erasable sectors those bytes touch.
#pragma once

#include <span>

#include "dfu/image.h"
#include "dfu/memory_map.h"
#include "dfu/result.h"

namespace dfu {

// An image fits a mapping entry when it holds a byte and every byte lies in a writable sector;
// otherwise the error names the first range of bytes that lies outside, or says the image is
// empty. Nothing is written or erased for an image that does not fit.
Status CheckImageFits(const Image& image, uint8_t alternate, std::span<const Sector> sectors);

// Write: the copy keeps exactly its bytes that fall in writable sectors. Erase: no bytes left,
// the placement lists the erasable sectors that the writable bytes touch, once each, in address
// order. Filtering a filtered image works on the bytes it still holds. The placement records
// whether the image fitted (CheckImageFits), so the launch of the phase can refuse it.
Result<Image> FilterImage(const Image& image, uint8_t alternate, std::span<const Sector> sectors,
                          Phase phase);

}  // namespace dfu
