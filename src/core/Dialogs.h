// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace dayvell {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Cancel, Yes, No };

// Message and input boxes. Texts are Windows-1252 bytes, as everywhere in core; an empty title shows the
// program's title, "dayvell". Line breaks may be CR, CR LF or LF.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // `defaultButton` is the answer Enter gives; a question that destroys something names its safe answer here.
    // Without one the box's own choice stands (its first button).
    virtual Answer message(const std::string& text, const std::string& title = {}, Buttons buttons = Buttons::Ok,
                           Icon icon = Icon::None, std::optional<Answer> defaultButton = std::nullopt) = 0;
    // Returns the typed text, or the empty text on Cancel.
    virtual std::string input(const std::string& prompt, const std::string& title = {}) = 0;
};

} // namespace dayvell
