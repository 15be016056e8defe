// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Book.h"
#include "core/Import.h"
#include "core/Progress.h"
#include "core/RuntimeError.h"

#include <csignal>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What every subcommand shares. A subcommand is one function in a file of its own, listed once in
// CommandLine.cpp's table with its options and help.

namespace dayvell::cli {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kBadUsage = 2;

struct Option {
    const char* name;      // "--format"
    char shortName;        // 'f', or 0 for none
    const char* valueName; // "FORMAT" for an option that takes a value, nullptr for a switch
    const char* help;
};

// The options every subcommand that opens a book takes.
inline constexpr Option kPasswordStdin = {"--password-stdin", 0, nullptr,
                                          "read the password from the first line of standard input"};

// A command line as a subcommand sees it: its options and the other arguments, in order.
struct Invocation {
    std::string command;
    std::map<std::string, std::string> options;
    std::vector<std::string> arguments;

    bool has(const std::string& option) const { return options.count(option) != 0; }
    std::optional<std::string> value(const std::string& option) const;
};

// Thrown for a command line the subcommand cannot follow: reported with a pointer to --help, status 2.
struct UsageError {
    std::string message;
};

// A failure to report in one line naming `subject` (a file, most often), status 1.
struct Failure {
    std::string subject;
    std::string message;
};

// Opens the book `path` (the file system's own bytes) with the password from the terminal, or from standard input
// with --password-stdin; never from an argument or the environment. Throws Failure for a book that cannot be read
// and for a wrong password.
Book OpenBookForCommand(const Invocation& call, const std::string& path);
// One password for the book `path`: the next line of standard input with --password-stdin, else asked on the
// terminal with `prompt`, without echo. Throws Failure when there is none.
std::string ReadPasswordLine(const Invocation& call, const std::string& path, const std::string& prompt);
// A typed password (UTF-8) as a book holds it (Windows-1252), or nothing for a character a book cannot hold. `typed`
// is wiped either way.
std::optional<std::string> Cp1252Password(std::string& typed);

// What a failure says, in UTF-8.
std::string DescribeFailure(const std::exception& e);

// Runs `body`, turning the core's failures into Failure naming `subject`.
template <class F> auto NamingFailures(const std::string& subject, F&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const Failure&) {
        throw;
    } catch (const ImportError& e) {
        // It names its file itself.
        throw Failure{{}, DescribeFailure(e)};
    } catch (const std::exception& e) {
        throw Failure{subject, DescribeFailure(e)};
    }
}

// The progress of a script's long task, which nobody watches. While it lives, an interruption (Ctrl-C, a closed
// terminal, kill) cancels the task instead of ending the program half-way, so that what the task leaves is whole:
// a complete file or none, the book as it was. The subcommand then ends by the same signal.
class Interruptible : public Progress {
public:
    Interruptible();
    ~Interruptible() override;
    Interruptible(const Interruptible&) = delete;
    Interruptible& operator=(const Interruptible&) = delete;

    std::unique_ptr<ProgressTask> start(const std::string& text, const std::string& title, std::int64_t total) override;
    // Once the task has stopped: ends the program by the signal that interrupted it, if one did.
    void endIfInterrupted();

private:
    struct sigaction m_previous[3];
};

// Writes UTF-8 text (converted from the core's Windows-1252) to standard output.
void PrintLine(const std::string& cp1252);

int Export(const Invocation& call);
int Import(const Invocation& call);
int Search(const Invocation& call);
int Count(const Invocation& call);
int Password(const Invocation& call);

} // namespace dayvell::cli
