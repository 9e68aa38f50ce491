#include "host_string.h"
#include <string.h>
#include "counting_allocator.h"

namespace jxhost {

namespace {
constexpr size_t kTerminators = 2;
constexpr size_t kBlockOverhead = 3;  // cap is the block size minus 3
constexpr size_t kBlockAlignment = 8;
}  // namespace

HostString::HostString(std::string_view text) {
    const size_t block = (text.size() + kBlockOverhead + kBlockAlignment - 1) & ~(kBlockAlignment - 1);
    record_.buf = static_cast<char*>(Allocator().Alloc(block));
    if (!record_.buf) return;
    memcpy(record_.buf, text.data(), text.size());
    memset(record_.buf + text.size(), 0, kTerminators);
    record_.len = static_cast<int>(text.size());
    record_.cap = static_cast<int>(block - kBlockOverhead);
}

HostString::~HostString() {
    if (record_.buf) Allocator().Free(record_.buf);
}

}  // namespace jxhost
