// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Codec.h"
#include "SealedKeys.h"
#include "SecureMemory.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace dayvell {

// What the windows hand to one another. One instance lives as long as the program; every window holds a
// reference to it. Texts are Windows-1252 bytes. The codec's working values are not here: they are locals of the
// codec, so no deciphered text lingers between calls.
struct SharedState {
    // The book: its directory (a full path; ends in the native separator while a book is open) and file name.
    std::string bookdir;
    std::string bookname;
    // The password in force, the key of every Encode and Decode; empty when no book is open.
    std::string password;
    std::int16_t passwordok = 0;
    // What the password prompt opens after a right password; 0 when nothing is pending.
    std::int32_t purpose = 0;
    // The new password while a password change is under way.
    std::string newpass;

    // As read from the open book.
    std::string covername;
    std::string secflags;
    std::string pagecount; // " 12": the page count with its sign position.
    // The page buffer: the fields of the page last read.
    std::string pagenum;
    std::string pagedate;
    std::string pagetime;
    std::string pagetext;
    // Page chosen in the search window; 0 for none.
    std::int32_t gotopage = 0;

    // Gives the password in force, or the new password, another value. The old value's bytes are overwritten
    // first: a password is never merely dropped, nor left behind in a buffer given back to the heap.
    void setPassword(std::string_view typed) { Replace(password, typed); }
    void setNewpass(std::string_view typed) { Replace(newpass, typed); }
    void clearPassword() { WipeString(password); }
    void clearNewpass() { WipeString(newpass); }

    // Wipes what the program keeps to open a book quickly: the cipher's laid-out key and a sealed book's unwrapped
    // keys. A book opened afterwards pays for its password again.
    void forgetKeys() {
        ForgetKey();
        sealed::ForgetKeys();
    }

    // Leaving a book forgets everything that could reveal it: the passwords' bytes are overwritten, not only
    // dropped, and the keys kept for a sealed book are wiped.
    void forgetBook() {
        bookname.clear();
        clearPassword();
        passwordok = 0;
        purpose = 0;
        clearNewpass();
        forgetKeys();
    }

private:
    static void Replace(std::string& secret, std::string_view value) {
        std::string next(value);
        WipeString(secret);
        secret.swap(next);
    }
};

} // namespace dayvell
