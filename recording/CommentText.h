#pragma once
#include <string>

namespace zel {

// The part of a stored comment the user wrote: without the bookmark line at its
// start, the system block at its end and the blank padding before that block.
std::string UserCommentText(const std::string& comment);

}  // namespace zel
