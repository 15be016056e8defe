// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "Subcommands.h"

#include "core/Charset.h"
#include "core/Codec.h"
#include "core/Import.h"
#include "core/Progress.h"
#include "core/SealedKeys.h"
#include "core/SecureMemory.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <termios.h>
#include <unistd.h>

namespace dayvell::cli {

namespace {

struct Subcommand {
    const char* name;
    // What follows the name in a usage line.
    const char* synopsis;
    // What it does, in a sentence or two.
    const char* description;
    std::vector<Option> options;
    int (*run)(const Invocation&);
};

// Every subcommand. A new one is a function in a file of its own and one entry here.
const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> list = {
        {"export",
         "BOOK.dvl --format FORMAT [-o FILE]",
         "Writes the book's cover name and pages to a file other programs can read, as UTF-8, or to standard output "
         "without -o. FORMAT is txt (laid out as the printout), md (Markdown), json (every page as stored, with ISO "
         "dates), html (one page for a browser) or pdf (the document the whole-book print makes, on the paper of the "
         "locale). The file is not protected by the password; it is created readable by its owner alone.",
         {{"--format", 'f', "FORMAT", "txt, md, json, html or pdf"},
          {"--output", 'o', "FILE", "write to FILE (never replaced unless --force is given); - is standard output"},
          {"--force", 0, nullptr, "replace FILE when it exists"},
          kPasswordStdin},
         Export},
        {"import",
         "BOOK.dvl FILE...",
         "Adds pages to the book from each FILE: a JSON export of Dayvell, a JSON export of jrnl (jrnl --export "
         "json), or plain UTF-8 text (one page, dated from the file's modification time). The pages are added in the "
         "order of their dates, after the book's last page, all in one change: all of them or none. A page the book "
         "cannot store under its password stops the import before anything is written.",
         {{"--skip-unstorable", 0, nullptr, "leave out the pages the book cannot store, naming each, and add the rest"},
          kPasswordStdin},
         Import},
        {"search",
         "BOOK.dvl WORD",
         "Lists the pages holding WORD, letter case ignored, one line each as the search window shows them: the page "
         "number, the date and time, and the start of the text.",
         {kPasswordStdin},
         Search},
        {"count", "BOOK.dvl", "Prints the number of pages in the book.", {kPasswordStdin}, Count},
        {"password",
         "BOOK.dvl [--seal | --unseal]",
         "Gives the book a new password; with --seal or --unseal it also converts the book. A sealed book's password "
         "goes through Argon2id and its pages are sealed with XChaCha20-Poly1305: the password cannot be read off the "
         "file, and may be a passphrase of 4 to 128 characters; older copies of Dayvell cannot open it. A book "
         "enciphered with the classic Dayvell cipher takes 4 to 10 characters, and anyone who has the file can work "
         "out its password. The current password is asked for first, then the new one twice; with --password-stdin "
         "they are the first two lines of standard input. If anything fails the book stays as it was, under its old "
         "password.",
         {{"--seal", 0, nullptr, "seal the book with modern encryption"},
          {"--unseal", 0, nullptr, "encipher the book with the classic Dayvell cipher, as older copies can read it"},
          {"--password-stdin", 0, nullptr,
           "read the current password and the new one from the first two lines of standard input"}},
         Password},
    };
    return list;
}

const Subcommand* Find(const char* name) {
    for (const Subcommand& s : Subcommands())
        if (std::strcmp(s.name, name) == 0)
            return &s;
    return nullptr;
}

void PrintHelp(const Subcommand& s) {
    std::printf("Usage: dayvell %s %s\n\n", s.name, s.synopsis);
    // The description wrapped at 78 columns.
    std::string line;
    std::string text = s.description;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && line.size() + 1 + word.size() > 78) {
            std::printf("%s\n", line.c_str());
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    std::printf("%s\n\nOptions:\n", line.c_str());
    auto option = [](const Option& o) {
        std::string left = o.shortName ? std::string("-") + o.shortName + ", " : "    ";
        left += o.name;
        if (o.valueName)
            left += std::string("=") + o.valueName;
        std::printf("  %-26s %s\n", left.c_str(), o.help);
    };
    for (const Option& o : s.options)
        option(o);
    option({"--help", 'h', nullptr, "show this help and exit"});
    std::printf("\nThe password is asked for on the terminal, without echo, or read from standard input with\n"
                "--password-stdin; never from an argument or the environment.\n"
                "Exit status: 0 on success, 1 on an error, 2 when the command line is not understood.\n");
}

const Option* FindOption(const Subcommand& s, const std::string& name, char shortName) {
    for (const Option& o : s.options)
        if ((!name.empty() && name == o.name) || (shortName && shortName == o.shortName))
            return &o;
    return nullptr;
}

// Splits the arguments after the subcommand's name into its options and the rest.
Invocation Parse(const Subcommand& s, int argc, char* argv[]) {
    Invocation call;
    call.command = s.name;
    auto set = [&](const Option& o, std::string value) {
        if (!call.options.emplace(o.name, std::move(value)).second)
            throw UsageError{std::string(o.name) + " is given twice"};
    };
    bool optionsEnd = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnd || arg == "-" || arg.empty() || arg[0] != '-') {
            call.arguments.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        const Option* option = nullptr;
        std::optional<std::string> attached;
        if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            option = FindOption(s, arg.substr(0, equals), 0);
            if (equals != std::string::npos)
                attached = arg.substr(equals + 1);
        } else {
            option = FindOption(s, {}, arg[1]);
            if (arg.size() > 2)
                attached = arg.substr(2);
        }
        if (!option)
            throw UsageError{"unknown option '" + arg + "'"};
        if (!option->valueName) {
            if (attached)
                throw UsageError{std::string(option->name) + " takes no value"};
            set(*option, {});
        } else if (attached) {
            set(*option, *attached);
        } else if (i + 1 < argc) {
            set(*option, argv[++i]);
        } else {
            throw UsageError{std::string(option->name) + " needs a value (" + option->valueName + ")"};
        }
    }
    return call;
}

bool AsksForHelp(int argc, char* argv[]) {
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return true;
    }
    return false;
}

// The longest line read as a password: far beyond any password, short of filling the memory.
constexpr std::size_t kPasswordLineLimit = 4096;

// One line from `fd`, without its line end; false when nothing at all could be read.
bool ReadLine(int fd, std::string& line) {
    line.clear();
    bool any = false;
    char c;
    while (true) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        any = true;
        if (line.size() < kPasswordLineLimit)
            line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return any || !line.empty();
}

// The terminal's settings while echo is off, put back if the user interrupts the question.
int g_terminal = -1;
termios g_saved{};

extern "C" void RestoreTerminalAndDie(int signal) {
    if (g_terminal >= 0)
        ::tcsetattr(g_terminal, TCSAFLUSH, &g_saved);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::string AskOnTerminal(const std::string& book, const std::string& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (tty < 0 || ::tcgetattr(tty, &settings) != 0) {
        if (tty >= 0)
            ::close(tty);
        throw Failure{book, "there is no terminal to ask for the password on; give it on standard input with "
                            "--password-stdin"};
    }
    g_saved = settings;
    g_terminal = tty;
    struct sigaction restore {};
    restore.sa_handler = RestoreTerminalAndDie;
    struct sigaction previous[3];
    const int signals[] = {SIGINT, SIGTERM, SIGQUIT};
    for (int i = 0; i < 3; ++i)
        ::sigaction(signals[i], &restore, &previous[i]);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    settings.c_lflag |= ECHONL;
    const bool silent = ::tcsetattr(tty, TCSAFLUSH, &settings) == 0;
    std::string line;
    if (silent) {
        (void)!::write(tty, prompt.data(), prompt.size());
        ReadLine(tty, line);
        ::tcsetattr(tty, TCSAFLUSH, &g_saved);
    }
    for (int i = 0; i < 3; ++i)
        ::sigaction(signals[i], &previous[i], nullptr);
    g_terminal = -1;
    ::close(tty);
    if (!silent)
        throw Failure{book, "the terminal cannot be kept from showing the password; give it on standard input with "
                            "--password-stdin"};
    return line;
}

} // namespace

std::optional<std::string> Invocation::value(const std::string& option) const {
    const auto it = options.find(option);
    if (it == options.end())
        return std::nullopt;
    return it->second;
}

std::string DescribeFailure(const std::exception& e) {
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&e))
        return Utf8FromCp1252(runtime->description());
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return "out of memory";
    return Utf8FromCp1252(e.what());
}

std::string ReadPasswordLine(const Invocation& call, const std::string& path, const std::string& prompt) {
    std::string typed;
    if (call.has(kPasswordStdin.name)) {
        if (!ReadLine(STDIN_FILENO, typed))
            throw Failure{path, "no password on standard input"};
    } else {
        typed = AskOnTerminal(path, prompt);
    }
    if (typed.empty())
        throw Failure{path, "no password given"};
    return typed;
}

std::optional<std::string> Cp1252Password(std::string& typed) {
    std::optional<std::string> key;
    try {
        // A password is Windows-1252 inside a book, and UTF-8 on the command line.
        key = Cp1252FromUtf8(typed);
    } catch (const UnstorableText&) {
    }
    WipeString(typed);
    return key;
}

Book OpenBookForCommand(const Invocation& call, const std::string& path) {
    std::string typed = ReadPasswordLine(call, path, "Password for " + path + ": ");
    std::optional<std::string> key = Cp1252Password(typed);
    // Every book was written under a key of that character set: no other password opens one.
    if (!key)
        throw Failure{path, "wrong password"};
    std::string bookPath;
    try {
        bookPath = Cp1252FromUtf8(path);
    } catch (const UnstorableText&) {
        WipeString(*key);
        throw Failure{path, "the path holds characters that Dayvell cannot name"};
    }
    Book book(bookPath, *key);
    WipeString(*key);
    if (!NamingFailures(path, [&] { return book.checkPassword(); }))
        throw Failure{path, "wrong password"};
    return book;
}

namespace {

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t g_interruption = 0;

extern "C" void NoteInterruption(int signal) {
    g_interruption = signal;
}

} // namespace

Interruptible::Interruptible() {
    struct sigaction note {};
    note.sa_handler = NoteInterruption;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kInterruptions[i], &note, &m_previous[i]);
        // A signal ignored when the program started (nohup, a job in the background) stays ignored.
        if (m_previous[i].sa_handler == SIG_IGN)
            ::sigaction(kInterruptions[i], &m_previous[i], nullptr);
    }
}

Interruptible::~Interruptible() {
    for (int i = 0; i < 3; ++i)
        ::sigaction(kInterruptions[i], &m_previous[i], nullptr);
}

std::unique_ptr<ProgressTask> Interruptible::start(const std::string&, const std::string&, std::int64_t) {
    struct Task : ProgressTask {
        bool advance(std::int64_t) override { return g_interruption == 0; }
    };
    return std::make_unique<Task>();
}

void Interruptible::endIfInterrupted() {
    const int signal = g_interruption;
    if (signal == 0)
        return;
    std::fflush(stdout);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void PrintLine(const std::string& cp1252) {
    const std::string line = Utf8FromCp1252(cp1252) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

std::optional<int> RunSubcommand(int argc, char* argv[]) {
    if (argc < 2)
        return std::nullopt;
    const Subcommand* s = Find(argv[1]);
    if (!s)
        return std::nullopt;
    if (AsksForHelp(argc, argv)) {
        PrintHelp(*s);
        return kSuccess;
    }
    int status = kSuccess;
    try {
        status = s->run(Parse(*s, argc, argv));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "dayvell %s: %s\nTry 'dayvell %s --help'.\n", s->name, e.message.c_str(), s->name);
        status = kBadUsage;
    } catch (const Failure& e) {
        if (e.subject.empty())
            std::fprintf(stderr, "dayvell: %s\n", e.message.c_str());
        else
            std::fprintf(stderr, "dayvell: %s: %s\n", e.subject.c_str(), e.message.c_str());
        status = kFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dayvell: %s\n", DescribeFailure(e).c_str());
        status = kFailure;
    }
    ForgetKey();
    sealed::ForgetKeys();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "dayvell: standard output: %s\n", std::strerror(errno));
        return kFailure;
    }
    return status;
}

} // namespace dayvell::cli
