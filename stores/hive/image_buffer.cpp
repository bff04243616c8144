#include "stores/hive/image_buffer.h"

#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace vornex::hive {

void ReserveImage(std::vector<unsigned char>* image, std::size_t size) {
    image->reserve(size);
#ifdef __linux__
    // Only advice: where the kernel gives no huge pages, nothing changes.
    constexpr std::uintptr_t kPage = 4096;
    const auto start = reinterpret_cast<std::uintptr_t>(image->data());
    const std::uintptr_t begin = (start + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t end = (start + image->capacity()) & ~(kPage - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace vornex::hive
