// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Book.h"
#include "platform/ProgramWindow.h"

#include <cstdint>

class QAction;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace dayvell {

// "Form7": shows the open book a page at a time; moves, jumps, edits, deletes and prints pages, and leads on to the
// search.
class PageViewerWindow : public ProgramWindow {
    Q_OBJECT
public:
    explicit PageViewerWindow(Services& services);

    void Command1_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Text1_Change();
    void Text2_Change();
    void editpage_Click();
    void printpage_Click();
    void delpage_Click();
    void searchbook_Click();
    void exit_Click();
    void helpme_Click();

    // Reads page `currentpage` (the last page when the book has fewer) into the page buffer; false on failure.
    bool readpage();
    void showpage();
    // Writes the text shown back as the text of the page shown; false when nothing was written.
    bool replacepage();

protected:
    void Form_Activate() override;
    bool Form_QueryUnload(Closing how) override;

private:
    std::int64_t pageCount() const;
    // The page an activation shows in a book of `count` pages: the one a search chose, else the last.
    std::int32_t pageToOpen(std::int64_t count) const;
    bool editing() const;
    // Text typed in edit mode that differs from the page as stored.
    bool hasUnsavedChanges() const;
    // Asks whether to save the changed page before it goes off screen; false when it could not be saved, so that
    // the caller stays where it is.
    bool offerToSave(const char* title);
    void setShownText(const QString& text);
    // Cancel and Exit: write the page back, then return to the cover; stays when the page could not be written.
    void leave(bool clearGotoPage);
    void returnToCover();
    void updateHint();
    // The book was closed under the window with its edit unsaved: the text stays on screen, out of the book's reach.
    void cutOff();

    QLabel* m_number;
    QLabel* m_date;
    QLabel* m_time;
    QLabel* m_editMode;
    QLabel* m_hint;
    QPlainTextEdit* m_text;
    QLineEdit* m_jumpTo;
    QPushButton* m_searchAgain;
    QPushButton* m_save;
    QPushButton* m_previous;
    QPushButton* m_next;
    QPushButton* m_jump;
    QLabel* m_cutOffNotice;
    QAction* m_editPage;
    QAction* m_printPage;
    QAction* m_deletePage;
    QAction* m_search;

    std::int32_t m_currentpage = 0;
    // The page on screen as read from the book: replacing goes by its number, and unsaved changes are measured
    // against its text.
    Page m_page;
    QString m_shownText;
    bool m_cutOff = false;
};

} // namespace dayvell
