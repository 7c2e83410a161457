// The progress bar's step text ("Erase 40% (1/4)"): a template from the language file with three
// integers in the order percentage, step, number of steps. Templates are translators' text, so
// they are never handed to printf: this file reads and fills them itself.
#pragma once

#include <string>
#include <string_view>

namespace update {

inline constexpr int kMaxStepFieldWidth = 64;

// True exactly when the template has three integer conversions and nothing else but text and
// "%%". A conversion is '%', any of the flags "-+ 0#", an optional decimal width, an optional
// '.' with a decimal precision (no digits: 0), then 'd' or 'i'. A width or precision above
// kMaxStepFieldWidth is refused: it only makes a caption longer than any progress bar.
bool IsStepTemplate(std::wstring_view tmpl);

// The template filled with the three values, as printf would fill it. A template that is not a
// step template comes back as it is, so a translator sees the text that needs mending and no value
// is ever read that was not passed.
std::wstring FormatStepTemplate(std::wstring_view tmpl, int percent, int step, int steps);

}  // namespace update
