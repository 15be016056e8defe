// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QObject>

#include <deque>
#include <functional>

namespace dayvell::test {

// Answers real modal boxes for the few tests of the box implementation itself: each time a box is shown, the
// next step runs on it once it is up and is the modal widget, so the step can click or type as a user would.
// A box with no step left is rejected, and counted, so that nothing blocks.
class BoxAnswerer : public QObject {
public:
    using Step = std::function<void(QDialog&)>;

    BoxAnswerer();
    ~BoxAnswerer() override;

    BoxAnswerer& then(Step step);
    int answered() const { return m_answered; }
    int unexpected() const { return m_unexpected; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void answer(QDialog* box);

    std::deque<Step> m_steps;
    int m_answered = 0;
    int m_unexpected = 0;
};

} // namespace dayvell::test
