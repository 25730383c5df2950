#pragma once
#include <string>
#include <string_view>

namespace zel {

// The part of a stored comment the user wrote: without the bookmark line at its
// start, the system block at its end and the blank padding before that block.
std::string UserCommentText(const std::string& comment);
// The same as a part of `comment`.
std::string_view UserCommentView(std::string_view comment);

}  // namespace zel
