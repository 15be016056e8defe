// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Dialogs.h"

#include <string>

namespace dayvell {

// The help text of a topic, lines separated by CR; a topic without a text gives the empty text.
std::string HelpText(int topic);

// Shows the topic's text in a box titled "Help" and returns when the user closes it.
void ShowHelp(Dialogs& dialogs, int topic);

} // namespace dayvell
