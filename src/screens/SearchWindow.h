// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ProgramWindow.h"

#include <string>

class QLabel;
class QLineEdit;
class QListWidget;

namespace dayvell {

// The search result line as the list shows it: every line break of the text's first characters made visible, so
// that a result stays on one line. The page number at its start is untouched.
QString ShownResultLine(const std::string& resultLine);

// "Form8": lists the pages of the open book that contain a text; a double click opens the viewer at that page.
class SearchWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit SearchWindow(Services& services);

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void List1_DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCount(int matches);
    // Puts the column captions over the pieces of `line`, a result line as the list shows it.
    void alignCaptions(const QString& line);

    QLineEdit* m_text;
    QListWidget* m_list;
    QLabel* m_numberCaption;
    QLabel* m_dateCaption;
    QLabel* m_noMatches;
    QLabel* m_found;
    QLabel* m_match;
    QLabel* m_es;
};

} // namespace dayvell
