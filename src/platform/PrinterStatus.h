// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMarginsF>
#include <QSizeF>
#include <QString>

namespace dayvell {

// What the system's print scheduler (CUPS) says about the printer a printout goes to: the default printer, or the
// first one where none is chosen as the default.
struct PrinterStatus {
    enum class Kind {
        // Takes jobs and prints them.
        Ready,
        // Takes jobs, but holds them until someone resumes it.
        Paused,
        // Takes jobs, but has stopped printing after a fault.
        Stopped,
        // Refuses new jobs.
        NotAccepting,
        // The scheduler runs and knows no printer.
        NoPrinter,
        // No scheduler answers: nothing can be printed at all.
        NoScheduler,
    };
    Kind kind = Kind::NoPrinter;
    QString name;
    // The scheduler's own words about the printer's state, when it has any.
    QString message;
    // The edges of the default paper the printer cannot print on, in millimetres; zero where it does not say.
    QMarginsF unprintableMm;
    // The size of the printer's default paper in millimetres; empty where it does not say.
    QSizeF paperMm;

    // Whether a job sent now reaches the printer's queue.
    bool takesJobs() const { return kind == Kind::Ready || kind == Kind::Paused || kind == Kind::Stopped; }
};

// Asks the scheduler.
PrinterStatus DefaultPrinterStatus();

} // namespace dayvell
