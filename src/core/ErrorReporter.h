// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Charset.h"
#include "core/Dialogs.h"
#include "core/RuntimeError.h"

#include <exception>
#include <functional>
#include <new>
#include <string>
#include <utility>

namespace dayvell {

// "ERROR   #71    !!!!Disk not ready": the code and its description run together.
std::string ErrorTitle(int code, const std::string& description);

// The text shown for a code; empty for every code without a message of its own.
std::string ErrorMessageText(int code);
// The text of the box that reports a failure: the code's own message, or the failure's description where the code
// has none, so that the box says what went wrong in its text and not only in its title.
std::string ErrorBoxText(int code, const std::string& description);

// Reports a run-time failure in a message box. Files need no closing here: every file operation of core closes its
// files on the way out, exception or not.
void ReportError(const RuntimeError& e, Dialogs& dialogs);

namespace detail {
// The catch clauses of Guarded, out of line. None of them throws: a report that cannot itself be shown has nowhere
// left to go, and an exception must never unwind into the event loop.
void ReportGuarded(const RuntimeError& e, Dialogs& dialogs) noexcept;
void ReportUnstorable(const UnstorableText& e, Dialogs& dialogs) noexcept;
void ReportOutOfMemory(Dialogs& dialogs) noexcept;
void ReportUnexpected(Dialogs& dialogs) noexcept;
} // namespace detail

// The error tail of an event handler: runs `body`; when it fails, reports the failure and returns false, skipping
// the rest of the body. Returns true when the body ran to its end.
//
// Beyond RuntimeError: text with characters a book cannot hold is refused with its own explanation; running out of
// memory is reported as code 7 ("Out of memory"); any other exception is a fault of the program itself and is
// reported as code 5, whose message tells the user the software may be corrupted.
template <class F> bool Guarded(Dialogs& dialogs, F&& body) noexcept {
    try {
        std::invoke(std::forward<F>(body));
        return true;
    } catch (const RuntimeError& e) {
        detail::ReportGuarded(e, dialogs);
    } catch (const UnstorableText& e) {
        detail::ReportUnstorable(e, dialogs);
    } catch (const std::bad_alloc&) {
        detail::ReportOutOfMemory(dialogs);
    } catch (...) {
        detail::ReportUnexpected(dialogs);
    }
    return false;
}

} // namespace dayvell
