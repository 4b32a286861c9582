#pragma once

#include <cstdlib>
#include <memory>

namespace hy {

// A reply or error from xcb, which the caller frees with free().
struct XcbFree
{
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;

} // namespace hy
