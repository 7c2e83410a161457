// One JSON object per line, built field by field: what --json prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vqzdfu {

// A JSON string literal, quotes included.
std::string JsonString(std::string_view text);

class JsonObject {
public:
    JsonObject& Add(std::string_view key, std::string_view value);
    JsonObject& Add(std::string_view key, uint64_t value);
    JsonObject& Flag(std::string_view key, bool value);
    // A value already written as JSON (an array, say).
    JsonObject& AddRaw(std::string_view key, std::string_view json);
    // The object and its line feed.
    std::string Line() const { return text_ + "}\n"; }
    std::string Text() const { return text_ + "}"; }

private:
    JsonObject& Key(std::string_view key);
    std::string text_ = "{";
};

}  // namespace vqzdfu
