#include "tools/json.h"

#include <cstdio>

namespace vqzdfu {

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::Key(std::string_view key) {
    if (text_.size() > 1) text_ += ',';
    text_ += JsonString(key);
    text_ += ':';
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
    Key(key);
    text_ += JsonString(value);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, uint64_t value) {
    Key(key);
    text_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::Flag(std::string_view key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json) {
    Key(key);
    text_ += json;
    return *this;
}

}  // namespace vqzdfu
