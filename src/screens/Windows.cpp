// SPDX-License-Identifier: GPL-3.0-or-later
#include "Windows.h"

#include "StartWindow.h"

#include "platform/Services.h"
#include "platform/WindowSystem.h"

namespace dayvell {

void RegisterWindows(Services& services) {
    services.windows.registerWindow(QStringLiteral("form1"),
                                    [&services] { return std::make_unique<StartWindow>(services); });
}

} // namespace dayvell
