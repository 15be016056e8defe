// SPDX-License-Identifier: GPL-3.0-or-later
// Two running copies of the program working on the same books at once: appending, rewriting and changing the
// password of one book, and working on two books in one folder. Every success a copy reports must be in the book
// exactly once, every refusal must be one of the clear errors and leave nothing behind, and every page must
// decipher under the book's password; for a described and a sealed book, and for a book converted meanwhile.
#include "core/Book.h"
#include "core/Numbers.h"
#include "core/RuntimeError.h"
#include "core/SealedKeys.h"
#include "core/TempDir.h"

#include "SealedBooks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace dayvell;
using namespace dayvell::test;

namespace {

constexpr const char* kKey = "key1";
constexpr const char* kOtherKey = "Other99";
constexpr int kRounds = 300;

// What one copy reports of one attempt: which book, what it wrote, and the error code (0 for success).
struct Attempt {
    std::string book;
    std::string text;
    int code = 0;
};

// The log a copy keeps of its attempts, one line each.
class Log {
public:
    explicit Log(const std::string& path) : m_out(path) {}
    // Runs `change` and notes its outcome. Only run-time errors are outcomes; anything else is a fault, noted too.
    void attempt(const std::string& book, const std::string& text, const std::function<void()>& change) {
        int code = 0;
        try {
            change();
        } catch (const RuntimeError& e) {
            code = e.code();
        } catch (...) {
            code = -1;
        }
        m_out << book << '\t' << text << '\t' << code << '\n';
    }

private:
    std::ofstream m_out;
};

std::vector<Attempt> ReadLog(const std::string& path) {
    std::vector<Attempt> attempts;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        Attempt a;
        std::string code;
        std::getline(fields, a.book, '\t');
        std::getline(fields, a.text, '\t');
        std::getline(fields, code);
        a.code = std::stoi(code);
        attempts.push_back(a);
    }
    return attempts;
}

// The key that opens the book now: a copy told that the book was changed elsewhere opens it again.
std::string CurrentKey(const std::string& path) {
    for (const char* key : {kKey, kOtherKey})
        if (Book(path, key).checkPassword())
            return key;
    return {};
}

void Append(Log& log, const std::string& name, const std::string& path, const std::string& text) {
    log.attempt(name, text, [&] {
        const std::string key = CurrentKey(path);
        Book(path, key).appendPage({"", "Thursday, 12/10/2026", "5:00:00 PM", text});
    });
}

struct Copy {
    const char* who;
    std::function<void(Log&, const TempDir&)> work;
};

BookKind OtherKind(BookKind kind) {
    return kind == BookKind::Sealed ? BookKind::Described : BookKind::Sealed;
}

struct Scenario {
    const char* name;
    std::vector<std::string> books;
    Copy first, second;
};

// A copy adding pages to a book whose password another copy changes.
Copy KeptOpenAppender() {
    return {"appender", [](Log& log, const TempDir& d) {
                // Opened once, with the password of the moment: as a copy whose user keeps the book open.
                Book book(d.file("a.dvl"), kKey);
                for (int i = 0; i < kRounds; ++i) {
                    // A pause between pages leaves the other copy its turn at the folder's lock.
                    ::usleep(2000);
                    const std::string text = "appended " + std::to_string(i);
                    bool changedElsewhere = false;
                    log.attempt("a.dvl", text, [&] {
                        try {
                            book.appendPage({"", "Thursday, 12/10/2026", "5:00:00 PM", text});
                        } catch (const RuntimeError& e) {
                            changedElsewhere = e.code() == code::BookChangedElsewhere;
                            throw;
                        }
                    });
                    // Told the book was changed elsewhere, the user opens it again.
                    if (changedElsewhere)
                        book = Book(d.file("a.dvl"), CurrentKey(d.file("a.dvl")));
                }
            }};
}

// A copy changing the book's password back and forth; with `convert`, each change also turns the book into the
// other kind.
Copy PasswordChanger(bool convert) {
    return {"password_changer", [convert](Log& log, const TempDir& d) {
                // Each password stays until the other copy has added a few pages under it, so that the other copy
                // meets every change (a copy that changed the password in quick bursts would hide them).
                std::int64_t seen = 0;
                for (int i = 0; i < kRounds / 4; ++i) {
                    for (int wait = 0; wait < 100; ++wait) {
                        try {
                            if (Book(d.file("a.dvl"), CurrentKey(d.file("a.dvl"))).countPages() >= seen + 3)
                                break;
                        } catch (const RuntimeError&) {
                        }
                        ::usleep(2000);
                    }
                    log.attempt("", "", [&] {
                        Book book(d.file("a.dvl"), kKey);
                        const BookKind kind = book.kind();
                        const BookKind next = convert ? OtherKind(kind) : kind;
                        if (book.checkPassword())
                            book.changePassword(kOtherKey, next);
                        else
                            Book(d.file("a.dvl"), kOtherKey).changePassword(kKey, next);
                        seen = book.countPages();
                    });
                }
            }};
}

const std::vector<Scenario>& Scenarios() {
    static const std::vector<Scenario> scenarios = {
        {"appending",
         {"a.dvl"},
         {"first",
          [](Log& log, const TempDir& d) {
              for (int i = 0; i < kRounds; ++i)
                  Append(log, "a.dvl", d.file("a.dvl"), "first " + std::to_string(i));
          }},
         {"second",
          [](Log& log, const TempDir& d) {
              for (int i = 0; i < kRounds; ++i)
                  Append(log, "a.dvl", d.file("a.dvl"), "second " + std::to_string(i));
          }}},
        {"appending_while_rewriting",
         {"a.dvl"},
         {"appender",
          [](Log& log, const TempDir& d) {
              for (int i = 0; i < kRounds; ++i)
                  Append(log, "a.dvl", d.file("a.dvl"), "appended " + std::to_string(i));
          }},
         {"rewriter",
          [](Log& log, const TempDir& d) {
              for (int i = 0; i < kRounds; ++i) {
                  Book book(d.file("a.dvl"), kKey);
                  // Rewrites that keep every page: the appender's pages must all survive them.
                  log.attempt("", "", [&] {
                      if (i % 3 == 0)
                          book.replaceCoverName("Cover " + std::to_string(i));
                      else if (i % 3 == 1)
                          book.replaceFlags(i % 2 ? "0111111" : "0000000");
                      else
                          book.refreshDate("12/" + std::to_string(i % 28 + 1) + "/2026");
                  });
              }
          }}},
        {"appending_while_the_password_changes", {"a.dvl"}, KeptOpenAppender(), PasswordChanger(false)},
        {"appending_while_the_book_is_converted", {"a.dvl"}, KeptOpenAppender(), PasswordChanger(true)},
        {"two_books_in_one_folder",
         {"a.dvl", "b.dvl"},
         {"first",
          [](Log& log, const TempDir& d) {
              for (int i = 0; i < kRounds; ++i) {
                  Append(log, "a.dvl", d.file("a.dvl"), "a " + std::to_string(i));
                  if (i % 4 == 0)
                      log.attempt("", "",
                                  [&] { Book(d.file("a.dvl"), kKey).replaceCoverName("A" + std::to_string(i)); });
              }
          }},
         {"second",
          [](Log& log, const TempDir& d) {
              for (int i = 0; i < kRounds; ++i) {
                  Append(log, "b.dvl", d.file("b.dvl"), "b " + std::to_string(i));
                  if (i % 4 == 0)
                      log.attempt("", "", [&] { Book(d.file("b.dvl"), kKey).removePage(1000000); });
              }
          }}},
    };
    return scenarios;
}

pid_t Start(const Copy& copy, const TempDir& books, const std::string& log) {
    const pid_t child = ::fork();
    if (child == 0) {
        {
            Log out(log);
            copy.work(out, books);
        }
        _exit(0);
    }
    return child;
}

// Books of either kind to begin with; the copies inherit the quick password hash of a sealed book.
class TwoCopies : public ::testing::TestWithParam<BookKind> {
protected:
    const sealed::KdfLimitsForTests m_fastPasswords{FastKdf()};
};

TEST_P(TwoCopies, EverySuccessIsInTheBookOnceAndEveryRefusalIsClear) {
    for (const auto& s : Scenarios()) {
        SCOPED_TRACE(s.name);
        TempDir books, logs;
        for (const auto& name : s.books) {
            Book::Create(SystemFileSystem(), books.file(name), kKey, Book::NewHeader(books.dir(), "12/10/2026"),
                         GetParam());
            Book(books.file(name), kKey).appendPage({"", "Thursday, 12/10/2026", "4:00:00 PM", "The first page"});
        }
        const pid_t first = Start(s.first, books, logs.file("first"));
        const pid_t second = Start(s.second, books, logs.file("second"));
        ASSERT_GT(first, 0);
        ASSERT_GT(second, 0);
        for (pid_t p : {first, second}) {
            int status = 0;
            ::waitpid(p, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }

        std::map<std::string, std::multiset<std::string>> saved, refused;
        int successes = 0, refusals = 0;
        for (const char* log : {"first", "second"}) {
            int own = 0;
            for (const auto& a : ReadLog(logs.file(log))) {
                if (a.code == 0) {
                    ++own;
                    ++successes;
                    if (!a.book.empty())
                        saved[a.book].insert(a.text);
                    continue;
                }
                ++refusals;
                EXPECT_TRUE(a.code == code::BookInUse || a.code == code::BookChangedElsewhere)
                    << log << " " << a.text << ": error " << a.code;
                if (!a.book.empty())
                    refused[a.book].insert(a.text);
            }
            // How often each copy gets in depends on the machine's timing; that both do is what makes the run a
            // test of two copies at once.
            EXPECT_GT(own, 0) << log << " never got its change made";
        }
        std::printf("%s: %d successes, %d refusals\n", s.name, successes, refusals);

        for (const auto& name : s.books) {
            SCOPED_TRACE(name);
            const std::string key = CurrentKey(books.file(name));
            ASSERT_FALSE(key.empty()) << "no password opens the book";
            Book book(books.file(name), key);
            std::multiset<std::string> inBook;
            std::int64_t position = 0;
            book.forEachPage([&](std::int64_t, const PageView& r) {
                const Page page = PageOf(r); // a page written under an old key would fail or be garbage
                EXPECT_EQ(page.number, PageNumberText(++position));
                if (position > 1)
                    inBook.insert(page.text);
                return true;
            });
            EXPECT_EQ(inBook, saved[name]);
            for (const auto& text : refused[name])
                EXPECT_EQ(inBook.count(text), 0u) << "refused but written: " << text;
            EXPECT_FALSE(std::filesystem::exists(books.file("dvltemp.dvl")));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, TwoCopies, ::testing::Values(BookKind::Described, BookKind::Sealed),
                         [](const auto& info) { return info.param == BookKind::Sealed ? "sealed" : "described"; });

} // namespace
