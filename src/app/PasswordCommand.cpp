// SPDX-License-Identifier: GPL-3.0-or-later
// dayvell password BOOK.dvl [--seal | --unseal]
#include "Subcommands.h"

#include "core/Charset.h"
#include "core/DescribedFormat.h"
#include "core/SecureMemory.h"

#include <cstdio>

namespace dayvell::cli {

namespace {

std::string KindName(BookKind kind) {
    return kind == BookKind::Sealed ? "sealed with modern encryption" : "enciphered with the classic Dayvell cipher";
}

// Why the book could not take the new password; the old one holds.
std::string Refusal(const UncarriedCharacter& e) {
    if (e.place() == Place::CheckPhrase)
        return "the new password cannot be used: its character \"" + std::string(1, char(e.keyCharacter())) +
               "\" is too far up the character set to encipher the book";
    return "the new password cannot encipher the character \"" + std::string(1, char(e.character())) + "\"" +
           (e.place() == Place::Page ? " on " : " in ") + e.placeName();
}

// Overwrites a text that held a password when it goes out of scope, however that happens.
struct WipedOnExit {
    std::string& text;
    ~WipedOnExit() { WipeString(text); }
};

} // namespace

int Password(const Invocation& call) {
    if (call.arguments.size() != 1)
        throw UsageError{"give one book"};
    if (call.has("--seal") && call.has("--unseal"))
        throw UsageError{"give --seal or --unseal, not both"};
    const std::string& path = call.arguments[0];
    Book book = OpenBookForCommand(call, path);
    const BookKind kind = call.has("--seal")     ? BookKind::Sealed
                          : call.has("--unseal") ? BookKind::Described
                                                 : NamingFailures(path, [&] { return book.kind(); });

    std::string typed = ReadPasswordLine(call, path, "New password for " + path + ": ");
    // Wiped however this ends, a failure to read the repetition included.
    const WipedOnExit wipedTyped{typed};
    if (!call.has(kPasswordStdin.name)) {
        // Typed unseen: a slip of the finger would lock the book for good.
        std::string again = ReadPasswordLine(call, path, "Repeat the new password: ");
        const WipedOnExit wipedAgain{again};
        if (again != typed)
            throw Failure{path, "the new passwords differ; the password is unchanged"};
    }
    std::optional<std::string> newPassword = Cp1252Password(typed);
    if (!newPassword)
        throw Failure{path, "the new password holds a character a book cannot store; the password is unchanged"};
    const SecretText secret(*newPassword);
    WipeString(*newPassword);

    const PasswordRange range = Book::PasswordsOf(kind);
    if (!range.fits(secret.str()))
        throw Failure{path, "a book " + KindName(kind) + " takes a password of " + std::to_string(range.least) +
                                " to " + std::to_string(range.most) + " characters; the password is unchanged"};
    try {
        book.changePassword(secret.str(), kind);
    } catch (const UncarriedCharacter& e) {
        throw Failure{path, Utf8FromCp1252(Refusal(e)) + "; the password is unchanged"};
    } catch (const UnprovableKey&) {
        throw Failure{path, "the new password repeats itself, and the book could not tell it from the shorter "
                            "password that repeats the same way; the password is unchanged"};
    } catch (const std::exception& e) {
        // A change that failed after the new book took the old one's place leaves the new password in force.
        throw Failure{path, DescribeFailure(e) + (book.password() == secret.str()
                                                      ? "; the book now answers to the new password"
                                                      : "; the password is unchanged")};
    }
    std::printf("The password of %s is changed; the book is %s.\n", path.c_str(), KindName(kind).c_str());
    return kSuccess;
}

} // namespace dayvell::cli
