// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>

namespace dayvell {

// The start window's 108 x 126 picture of a closed diary, which is also the program's icon.
QPixmap BookPicture();

} // namespace dayvell
