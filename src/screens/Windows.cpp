// SPDX-License-Identifier: GPL-3.0-or-later
#include "Windows.h"

#include "CoverNameWindow.h"
#include "CoverWindow.h"
#include "CreateWizard.h"
#include "ExportWindow.h"
#include "FileNameWindow.h"
#include "ImportWindow.h"
#include "MoveCopyWindow.h"
#include "NewPageWindow.h"
#include "OpenBrowser.h"
#include "PageViewerWindow.h"
#include "PasswordChangeWindow.h"
#include "PasswordPrompt.h"
#include "SearchWindow.h"
#include "SecurityWindow.h"
#include "StartWindow.h"

#include "platform/Services.h"
#include "platform/WindowSystem.h"

namespace dayvell {

void RegisterWindows(Services& services) {
    services.windows.registerWindow(QStringLiteral("form1"),
                                    [&services] { return std::make_unique<StartWindow>(services); });
    services.windows.registerWindow(QStringLiteral("form3"),
                                    [&services] { return std::make_unique<OpenBrowser>(services); });
    services.windows.registerWindow(QStringLiteral("Form4"),
                                    [&services] { return std::make_unique<CreateWizard>(services); });
    services.windows.registerWindow(QStringLiteral("frmpassword"),
                                    [&services] { return std::make_unique<PasswordPrompt>(services); });
    services.windows.registerWindow(QStringLiteral("Form5"),
                                    [&services] { return std::make_unique<CoverWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form2"),
                                    [&services] { return std::make_unique<NewPageWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form7"),
                                    [&services] { return std::make_unique<PageViewerWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form8"),
                                    [&services] { return std::make_unique<SearchWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form9"),
                                    [&services] { return std::make_unique<MoveCopyWindow>(services); });
    services.windows.registerWindow(QStringLiteral("newpassword"),
                                    [&services] { return std::make_unique<PasswordChangeWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form6"),
                                    [&services] { return std::make_unique<SecurityWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form10"),
                                    [&services] { return std::make_unique<CoverNameWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form12"),
                                    [&services] { return std::make_unique<FileNameWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form13"),
                                    [&services] { return std::make_unique<ExportWindow>(services); });
    services.windows.registerWindow(QStringLiteral("Form14"),
                                    [&services] { return std::make_unique<ImportWindow>(services); });
}

} // namespace dayvell
