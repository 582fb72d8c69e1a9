#pragma once

#include "i18n/InterfaceTexts.h"

#include <QString>

namespace quillon::i18n {

// The window's side of a language change: it puts texts on its controls.
class LanguageTarget {
public:
    virtual ~LanguageTarget() = default;
    // Label, radio button or button that shows `id`.
    virtual void SetControlText(TextId id, const QString& text) = 0;
    virtual void SetHelpText(const QString& text) = 0;
};

inline const QString kLanguageFileName = QStringLiteral("Language_jp.ini");
inline const QString kLanguageSection = QStringLiteral("LANGUAGE");

// Replaces the interface texts from "Language_jp.ini" in the current directory, if there is
// one, and then sets the window's controls from them. Without the file nothing is read or set.
// Every failure is silent.
class LanguageLoader {
public:
    LanguageLoader(InterfaceTexts& texts, LanguageTarget& window) : texts_(texts), window_(window) {}

    void ApplyLanguage();

    const QString& FilePath() const { return filePath_; }

private:
    void ReadText(const class ProfileFile& file, TextId id);
    void SetControls();

    InterfaceTexts& texts_;
    LanguageTarget& window_;
    QString filePath_;
};

} // namespace quillon::i18n
