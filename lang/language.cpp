#include "lang/language.h"

#include "lang/keys.h"
#include "update/step_text.h"

namespace lang {

Language LoadLanguage(const IniReader& ini) {
    Language language;
    for (const auto& [section, key, fallback] : kTextKeys) {
        std::wstring text = ini.Text(section, key, fallback);
        if (section == kTitle) {
            if (key == key::kTitleName) language.titleName = std::move(text);
            else if (key == key::kWindowTitle) language.windowTitle = std::move(text);
            else language.fullLayout = text == kFullLayout;
        } else if (section == kControl) {
            language.controls.at(key - key::kFirstControl) = std::move(text);
        } else {
            const bool progressTemplate = key == key::kWriteStep || key == key::kEraseStep;
            if (progressTemplate && !update::IsStepTemplate(text)) text = fallback;
            language.messages.at(key - key::kFirstMessage) = std::move(text);
        }
    }
    language.imageDelay = ini.Number(kControl, key::kImageDelay, kDefaultDelay);
    return language;
}

}  // namespace lang
