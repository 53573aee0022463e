#include "platform/byteblock/BlockSnapshot.h"

#include <sys/mman.h>

namespace plat::detail {

SharedBytes::~SharedBytes()
{
    // The shared pointer's count orders this after the block's Adopt, whichever thread lets go last.
    if (mapping_ != nullptr)
        munmap(mapping_, length_);
}

void SharedBytes::Adopt(unsigned char* mapping, std::size_t length)
{
    mapping_ = mapping;
    length_ = length;
}

} // namespace plat::detail
