// Memory for the volume image.
#pragma once

#include <cstddef>

namespace tarnwick::platform {

// Asks the system to back a large buffer that nothing has touched yet with
// large pages, and to map it at once. Loading a 10 MB volume otherwise takes
// some 2,500 page faults, which cost more than reading the volume itself. A
// hint only: where the system offers no such thing, nothing changes.
void advise_large_buffer(void* data, size_t size);

}  // namespace tarnwick::platform
