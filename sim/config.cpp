#include "sim/config.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <sstream>

namespace sim {

namespace {

std::string Trim(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::optional<uint64_t> Number(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int base = 10;
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits = digits.substr(2);
    }
    uint64_t value = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return value;
}

class Parser {
public:
    explicit Parser(std::string origin) : origin_(std::move(origin)) {}

    Outcome<Config> Run(const std::string& text);

private:
    Failure Bad(size_t line, const std::string& what) const {
        return Failure{origin_ + ":" + std::to_string(line) + ": " + what};
    }
    std::optional<Failure> Assign(size_t line, const std::string& section, const std::string& key,
                                  const std::string& value);
    template <class T>
    std::optional<Failure> Set(T& field, size_t line, const std::string& key,
                               const std::string& value, uint64_t min, uint64_t max) {
        std::optional<uint64_t> n = Number(value);
        if (!n || *n < min || *n > max) {
            std::ostringstream what;
            what << key << ": expected a number from " << min << " to " << max << ", got '"
                 << value << "'";
            return Bad(line, what.str());
        }
        field = static_cast<T>(*n);
        return std::nullopt;
    }

    std::string origin_;
    Config config_;
    std::map<size_t, AltConfig> alts_;
    std::map<size_t, size_t> alt_lines_;
    bool has_fault_ = false;
    size_t fault_line_ = 0;
    std::string phase_;
    std::vector<FaultAction> actions_;
};

std::optional<Failure> Parser::Assign(size_t line, const std::string& section,
                                      const std::string& key, const std::string& value) {
    if (section == "device") {
        if (key == "present") return Set(config_.device.present, line, key, value, 0, 1);
        if (key == "plug_after_ms") return Set(config_.device.plug_after_ms, line, key, value, 0, 0xFFFFFFFF);
        if (key == "vendor_id") return Set(config_.device.vendor_id, line, key, value, 0, 0xFFFF);
        if (key == "product_id") return Set(config_.device.product_id, line, key, value, 0, 0xFFFF);
        if (key == "bcd_device") return Set(config_.device.bcd_device, line, key, value, 0, 0xFFFF);
        if (key == "dfu_version") return Set(config_.device.dfu_version, line, key, value, 0, 0xFFFF);
        if (key == "attributes") return Set(config_.device.attributes, line, key, value, 0, 0xFF);
        if (key == "transfer_size") return Set(config_.device.transfer_size, line, key, value, 1, 0xFFFF);
        if (key == "detach_timeout") return Set(config_.device.detach_timeout, line, key, value, 0, 0xFFFF);
        if (key == "serial") {
            config_.device.serial = value;
            return std::nullopt;
        }
    } else if (section == "timing") {
        if (key == "erase_ms_per_sector")
            return Set(config_.timing.erase_ms_per_sector, line, key, value, 0, 60000);
        if (key == "program_ms_per_block")
            return Set(config_.timing.program_ms_per_block, line, key, value, 0, 60000);
    } else if (section == "fault") {
        FaultConfig& fault = *config_.fault;
        if (key == "phase") {
            phase_ = Lower(value);
            if (phase_ == "erase") fault.phase = FaultPhase::Erase;
            else if (phase_ == "write") fault.phase = FaultPhase::Write;
            else return Bad(line, "phase: expected erase or write, got '" + value + "'");
            return std::nullopt;
        }
        if (key == "alt") return Set(fault.alt, line, key, value, 0, 255);
        if (key == "at_percent") return Set(fault.at_percent, line, key, value, 0, 100);
        if (key == "total") return Set(fault.total, line, key, value, 0, 0xFFFFFFFF);
        if (key == "status") {
            if (auto bad = Set(fault.status, line, key, value, 1, 15)) return bad;
            actions_.push_back(FaultAction::Status);
            return std::nullopt;
        }
        const std::pair<const char*, FaultAction> switches[] = {
            {"unplug", FaultAction::Unplug}, {"corrupt", FaultAction::Corrupt}, {"stall", FaultAction::Stall}};
        for (const auto& [name, action] : switches) {
            if (key != name) continue;
            bool on = false;
            if (auto bad = Set(on, line, key, value, 0, 1)) return bad;
            if (on) actions_.push_back(action);
            return std::nullopt;
        }
    } else {
        size_t alt = std::stoul(section.substr(3));
        if (key == "name") {
            alts_[alt].name = value;
            return std::nullopt;
        }
        if (key == "store") {
            alts_[alt].store = value;
            return std::nullopt;
        }
    }
    return Bad(line, "unknown key '" + key + "' in [" + section + "]");
}

bool IsAltSection(const std::string& section) {
    if (section.size() < 4 || section.compare(0, 3, "alt") != 0 || section.size() > 6) return false;
    std::string digits = section.substr(3);
    if (digits.size() > 1 && digits[0] == '0') return false;
    return std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); });
}

Outcome<Config> Parser::Run(const std::string& text) {
    std::istringstream in(text);
    std::string raw, section;
    size_t line = 0;
    while (std::getline(in, raw)) {
        ++line;
        if (line == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
        std::string content = Trim(std::string_view(raw).substr(0, raw.find(';')));
        if (content.empty()) continue;
        if (content.front() == '[') {
            if (content.back() != ']') return Bad(line, "a section header must end with ']'");
            section = Lower(Trim(std::string_view(content).substr(1, content.size() - 2)));
            if (section == "fault") {
                if (!has_fault_) config_.fault.emplace();
                has_fault_ = true;
                fault_line_ = line;
            } else if (IsAltSection(section)) {
                size_t alt = std::stoul(section.substr(3));
                alts_[alt];
                alt_lines_.emplace(alt, line);
            } else if (section != "device" && section != "timing") {
                return Bad(line, "unknown section [" + section + "]");
            }
            continue;
        }
        size_t equals = content.find('=');
        if (equals == std::string::npos) return Bad(line, "expected key = value");
        if (section.empty()) return Bad(line, "a key before the first [section]");
        std::string key = Lower(Trim(std::string_view(content).substr(0, equals)));
        std::string value = Trim(std::string_view(content).substr(equals + 1));
        if (auto bad = Assign(line, section, key, value)) return *bad;
    }

    if (!alts_.empty()) {
        config_.alts.clear();
        for (const auto& [index, alt] : alts_) {
            if (index != config_.alts.size())
                return Bad(alt_lines_[index], "[alt" + std::to_string(index) + "] without [alt" +
                                                  std::to_string(config_.alts.size()) + "] before it");
            if (alt.name.empty())
                return Bad(alt_lines_[index], "[alt" + std::to_string(index) + "] has no name");
            config_.alts.push_back(alt);
        }
    }
    if (has_fault_) {
        if (phase_.empty()) return Bad(fault_line_, "[fault] needs phase = erase or write");
        if (actions_.size() != 1)
            return Bad(fault_line_, "[fault] needs exactly one of status, unplug = 1, corrupt = 1, stall = 1");
        config_.fault->action = actions_.front();
        if (config_.fault->alt >= config_.alts.size())
            return Bad(fault_line_, "[fault] alt " + std::to_string(config_.fault->alt) +
                                        ": the device has no such alternate setting");
    }
    return config_;
}

}  // namespace

Outcome<Config> ParseConfig(const std::string& text, const std::string& origin) {
    return Parser(origin).Run(text);
}

Outcome<Config> LoadConfig(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Failure{Display(path) + ": cannot read the simulation file"};
    std::ostringstream text;
    text << in.rdbuf();
    Outcome<Config> config = ParseConfig(text.str(), Display(path));
    if (!config) return config;
    config->folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    return config;
}

std::string Display(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path StorePath(const Config& config, size_t alt) {
    if (config.folder.empty()) return {};
    const std::string& store = alt < config.alts.size() ? config.alts[alt].store : std::string();
    if (store.empty()) return config.folder / ("alt" + std::to_string(alt) + ".bin");
    return config.folder / std::filesystem::path(std::u8string(store.begin(), store.end()));
}

}  // namespace sim
