// A string record of the libraries owned by the host, for calling the text
// functions of jxplus.dll.
#pragma once
#include <string_view>
#include "jx/text_functions.h"

namespace jxhost {

// Its block comes from the host allocator; a library may grow or replace it
// through the same allocator, and whatever block the record holds when this
// object dies goes back to the allocator.
class HostString {
public:
    explicit HostString(std::string_view text);
    ~HostString();
    HostString(const HostString&) = delete;
    HostString& operator=(const HostString&) = delete;

    JxString* Record() { return &record_; }
    std::string_view Text() const { return {record_.buf ? record_.buf : "", size_t(record_.len)}; }

private:
    JxString record_{};
};

}  // namespace jxhost
