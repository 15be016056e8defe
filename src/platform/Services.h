// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace dayvell {

class Clock;
class Dialogs;
class Disks;
class Printer;
class Progress;
class WindowSystem;
struct SharedState;

// Everything a window reaches outside itself. The application builds one set and hands it to every window; a test
// builds a fresh set with fakes where it needs them.
struct Services {
    WindowSystem& windows;
    Dialogs& dialogs;
    Clock& clock;
    Disks& disks;
    Printer& printer;
    // The progress dialog of long tasks.
    Progress& progress;
    SharedState& state;
};

} // namespace dayvell
