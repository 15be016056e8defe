// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

namespace dayvell {

// The directory the create wizard and the open browser show first. The start window leaves a "/" on `bookdir` as
// a terminator, not as part of the name ("/opt/dayvell/" is /opt/dayvell, "//" is the root); a `bookdir` that a
// directory list set carries none, and is the directory itself.
QString FirstDirectory(const std::string& bookdir);

} // namespace dayvell
