#include "lang/language.h"

#include "lang/keys.h"
#include "update/step_text.h"

namespace lang {

Language LoadLanguage(const IniReader& ini) {
    Language language;
    for (const auto& [section, key, fallback] : kTextKeys) {
        std::wstring text = ini.Text(section, key, fallback);
        if (section == kTitle) {
            if (key == 100) language.titleName = std::move(text);
            else if (key == 101) language.windowTitle = std::move(text);
            else language.fullLayout = text == kFullLayout;
        } else if (section == kControl) {
            language.controls.at(key - 1000) = std::move(text);
        } else {
            const bool progressTemplate = key == 1034 || key == 1035;
            if (progressTemplate && !update::IsStepTemplate(text)) text = fallback;
            language.messages.at(key - 1020) = std::move(text);
        }
    }
    language.imageDelay = ini.Number(kControl, kDelayKey, kDefaultDelay);
    return language;
}

}  // namespace lang
