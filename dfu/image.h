// A firmware image: the elements (address + bytes) of one target of a DFU file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dfu {

struct Element {
    uint32_t address = 0;
    std::vector<uint8_t> data;
};

struct Image {
    uint8_t alternate = 0;
    std::string name;              // target name, empty when the target is unnamed
    std::vector<Element> elements;  // in file order

    // Total number of data bytes over all elements.
    uint64_t size() const;
};

}  // namespace dfu
