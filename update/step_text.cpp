#include "update/step_text.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace update {
namespace {

struct Conversion {
    bool leftAlign = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool zeroPad = false;
    int width = 0;
    std::optional<int> precision;
};

// A template cut into the literal text between conversions and the conversions themselves:
// literals[i] comes before conversions[i], and literals has one element more.
struct ParsedTemplate {
    std::vector<std::wstring> literals;
    std::vector<Conversion> conversions;
};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Reads a decimal number at pos; nullopt when it exceeds the largest allowed field width.
std::optional<int> ReadNumber(std::wstring_view text, std::size_t& pos) {
    int value = 0;
    while (pos < text.size() && IsDigit(text[pos])) {
        value = value * 10 + (text[pos] - L'0');
        if (value > kMaxStepFieldWidth) return std::nullopt;
        ++pos;
    }
    return value;
}

std::optional<ParsedTemplate> Parse(std::wstring_view tmpl) {
    ParsedTemplate parsed;
    parsed.literals.emplace_back();
    std::size_t pos = 0;
    while (pos < tmpl.size()) {
        const wchar_t c = tmpl[pos++];
        if (c != L'%') {
            parsed.literals.back() += c;
            continue;
        }
        if (pos < tmpl.size() && tmpl[pos] == L'%') {
            parsed.literals.back() += L'%';
            ++pos;
            continue;
        }
        Conversion conversion;
        for (; pos < tmpl.size(); ++pos) {
            const wchar_t flag = tmpl[pos];
            if (flag == L'-')
                conversion.leftAlign = true;
            else if (flag == L'+')
                conversion.plusSign = true;
            else if (flag == L' ')
                conversion.spaceSign = true;
            else if (flag == L'0')
                conversion.zeroPad = true;
            else if (flag != L'#')
                break;  // '#' changes nothing for a decimal integer
        }
        const std::optional<int> width = ReadNumber(tmpl, pos);
        if (!width) return std::nullopt;
        conversion.width = *width;
        if (pos < tmpl.size() && tmpl[pos] == L'.') {
            ++pos;
            conversion.precision = ReadNumber(tmpl, pos);
            if (!conversion.precision) return std::nullopt;
        }
        if (pos >= tmpl.size() || (tmpl[pos] != L'd' && tmpl[pos] != L'i')) return std::nullopt;
        ++pos;
        parsed.conversions.push_back(conversion);
        parsed.literals.emplace_back();
    }
    return parsed;
}

std::optional<ParsedTemplate> ParseStepTemplate(std::wstring_view tmpl) {
    std::optional<ParsedTemplate> parsed = Parse(tmpl);
    if (!parsed || parsed->conversions.size() != 3) return std::nullopt;
    return parsed;
}

std::wstring FormatInteger(const Conversion& conversion, int value) {
    const bool negative = value < 0;
    // In 64 bits so that the magnitude of the smallest int is representable.
    uint64_t magnitude = negative ? uint64_t{0} - static_cast<uint64_t>(static_cast<int64_t>(value))
                                  : static_cast<uint64_t>(value);
    std::wstring digits;
    while (magnitude != 0) {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + magnitude % 10));
        magnitude /= 10;
    }
    const std::size_t minDigits =
        conversion.precision ? static_cast<std::size_t>(*conversion.precision) : 1;
    if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), L'0');

    std::wstring sign;
    if (negative)
        sign = L"-";
    else if (conversion.plusSign)
        sign = L"+";
    else if (conversion.spaceSign)
        sign = L" ";

    const std::size_t width = static_cast<std::size_t>(conversion.width);
    const std::size_t length = sign.size() + digits.size();
    if (length >= width) return sign + digits;
    const std::size_t padding = width - length;
    if (conversion.leftAlign) return sign + digits + std::wstring(padding, L' ');
    // A precision turns zero padding off, as in printf.
    if (conversion.zeroPad && !conversion.precision)
        return sign + std::wstring(padding, L'0') + digits;
    return std::wstring(padding, L' ') + sign + digits;
}

}  // namespace

bool IsStepTemplate(std::wstring_view tmpl) { return ParseStepTemplate(tmpl).has_value(); }

std::wstring FormatStepTemplate(std::wstring_view tmpl, int percent, int step, int steps) {
    const std::optional<ParsedTemplate> parsed = ParseStepTemplate(tmpl);
    if (!parsed) return std::wstring(tmpl);
    const std::array values{percent, step, steps};
    std::wstring text = parsed->literals[0];
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += FormatInteger(parsed->conversions[i], values[i]);
        text += parsed->literals[i + 1];
    }
    return text;
}

}  // namespace update
